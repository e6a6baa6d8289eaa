// Small text and file helpers shared by the Linux readers.
//
// Every function is pure or reads only the file it is given; all are safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

// The whole content of a file, or nullopt when it cannot be opened (missing, no permission).
std::optional<std::string> ReadFileText(const std::string& path);
// The first line of a small file (sysfs attributes), trailing white space removed.
std::optional<std::string> ReadFirstLine(const std::string& path);
// The target of a symbolic link, or nullopt.
std::optional<std::string> ReadLink(const std::string& path);
// The names in a folder, sorted, without "." and "..". Empty when it cannot be read.
std::vector<std::string> ListFolder(const std::string& path);
bool IsFolder(const std::string& path);

std::string_view Trim(std::string_view text);
// Splits on '\n'; a final empty piece after a trailing newline is dropped.
std::vector<std::string_view> SplitLines(std::string_view text);
// Splits on runs of spaces and tabs.
std::vector<std::string_view> SplitFields(std::string_view text);
// The rows of a /proc table under its one header line (/proc/swaps, /proc/net/route,
// /proc/net/tcp): each row's white-space separated fields, rows with fewer than
// `min_fields` left out.
std::vector<std::vector<std::string_view>> TableRows(std::string_view text, size_t min_fields);

// A decimal unsigned number that makes up the whole of `text` (after trimming), or nullopt.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text);
std::optional<std::int64_t> ParseSigned(std::string_view text);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// Joins a root folder and an absolute path: ("/fixture", "/etc/passwd") gives
// "/fixture/etc/passwd", ("/", "/etc/passwd") gives "/etc/passwd".
std::string UnderRoot(const std::string& root, std::string_view absolute_path);

}  // namespace kvlinux
