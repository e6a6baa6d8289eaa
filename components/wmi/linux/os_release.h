// The distribution's identity from os-release (/etc/os-release, else /usr/lib/os-release).
//
// Pure parsing plus one file read; safe from any thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct OsRelease {
    // Every assignment in the file, values unquoted and unescaped.
    std::map<std::string, std::string> fields;

    // The value of a field, or nullopt when the file does not set it.
    std::optional<std::string> Get(const std::string& key) const;
};

// Parses os-release text: KEY=value lines, values bare or in single or double quotes, with
// the shell escapes \" \\ \$ \` inside double quotes. Comments and malformed lines are skipped.
OsRelease ParseOsRelease(std::string_view content);

// Reads <root>/etc/os-release, falling back to <root>/usr/lib/os-release. Empty when neither
// exists.
OsRelease ReadOsRelease(const std::string& root = "/");

}  // namespace kvlinux
