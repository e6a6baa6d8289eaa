// The main keywords of a PostScript Printer Description (PPD) file, which the spooler
// reports as a queue's driver and the version-resource reader reads a version from.
//
//   *FileVersion: "2.7.1"      the driver's version
//   *NickName: "Acme 9000"     the driver's name as the queue shows it
//
// Only keywords without an option are read ("*Key: value", not "*Key Option: value");
// a quoted value may run over several lines. Texts are UTF-8, or ISO 8859-1 when
// *LanguageEncoding says ISOLatin1. Reentrant; no state.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace kvwin {

// True when the text starts as a PPD does ("*PPD-Adobe:").
KVWIN_API bool LooksLikePpd(std::string_view text);

// Keyword (without '*') to its value, quotes removed; the first occurrence wins.
KVWIN_API std::map<std::string, std::u16string> ReadPpdKeywords(std::string_view text);

// Up to four dot-separated decimal numbers from the start of text ("2.7" is 2.7.0.0);
// nothing when it does not start with a number or a part exceeds 65535.
KVWIN_API std::optional<std::array<uint16_t, 4>> ParsePpdVersion(std::u16string_view text);

}  // namespace kvwin
