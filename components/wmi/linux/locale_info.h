// The machine's language settings: the system locale (/etc/default/locale on Debian,
// /etc/locale.conf elsewhere) and its Windows locale identifier (LCID), and the machine's
// identity (/etc/machine-id).
//
// Pure functions plus small file reads; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

// The system locale's name ("en_US.UTF-8"): LANG from <root>/etc/default/locale, else from
// <root>/etc/locale.conf; nullopt when neither sets it.
std::optional<std::string> ReadSystemLocale(const std::string& root = "/");

// The Windows locale identifier of a POSIX locale name ("de_DE.UTF-8@euro" gives 0x0407):
// the language and territory decide; a language alone gives its main country's identifier;
// "C" and "POSIX" give US English, the language of their messages. nullopt for a locale
// Windows has no identifier for in this table.
std::optional<std::uint32_t> LcidOfLocale(std::string_view name);

// Whether the locale's character set is UTF-8 (no character set named counts as not).
bool IsUtf8Locale(std::string_view name);

// The 32 hexadecimal digits of <root>/etc/machine-id, or nullopt when it is missing or not
// an identifier.
std::optional<std::string> ReadMachineId(const std::string& root = "/");

}  // namespace kvlinux
