#include "linux/os_release.h"

#include "linux/text_util.h"

namespace kvlinux {

std::optional<std::string> OsRelease::Get(const std::string& key) const {
    auto it = fields.find(key);
    if (it == fields.end())
        return std::nullopt;
    return it->second;
}

namespace {

// The value part of an assignment. Returns nullopt for an unterminated quote, which the
// file format treats as an error for that line only.
std::optional<std::string> Unquote(std::string_view raw) {
    if (raw.empty())
        return std::string();
    char quote = raw.front();
    if (quote != '"' && quote != '\'')
        return std::string(raw);
    std::string out;
    for (size_t i = 1; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == quote)
            return out;
        if (quote == '"' && c == '\\' && i + 1 < raw.size() &&
            std::string_view("\"\\$`").find(raw[i + 1]) != std::string_view::npos) {
            out += raw[++i];
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

}  // namespace

OsRelease ParseOsRelease(std::string_view content) {
    OsRelease release;
    for (std::string_view line : SplitLines(content)) {
        line = Trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        std::string key(Trim(line.substr(0, equals)));
        if (auto value = Unquote(Trim(line.substr(equals + 1))))
            release.fields[key] = *value;
    }
    return release;
}

OsRelease ReadOsRelease(const std::string& root) {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        if (auto text = ReadFileText(UnderRoot(root, path)))
            return ParseOsRelease(*text);
    }
    return {};
}

}  // namespace kvlinux
