// The distribution's identity from os-release (/etc/os-release, else /usr/lib/os-release).
//
// Pure parsing plus one file read; safe from any thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace kvwin {

struct OsRelease {
    // Every assignment in the file, values unquoted and unescaped.
    std::map<std::string, std::string> fields;

    // The value of a field, or nullopt when the file does not set it.
    KVWIN_API std::optional<std::string> Get(const std::string& key) const;
};

// Parses os-release text: KEY=value lines, values bare or in single or double quotes, with
// the shell escapes \" \\ \$ \` inside double quotes. Comments and malformed lines are skipped.
KVWIN_API OsRelease ParseOsRelease(std::string_view content);

// Reads <root>/etc/os-release, falling back to <root>/usr/lib/os-release. Empty when neither
// exists. The file is read up to 64 KiB.
KVWIN_API OsRelease ReadOsRelease(const std::string& root = "/");

// A small text file's whole content (up to `limit` bytes), or nullopt when it cannot be
// opened or is not a regular file.
KVWIN_API std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit);

}  // namespace kvwin
