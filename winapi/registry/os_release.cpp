// The os-release reader, and the bounded file read the layer's Linux readers share.
#include "kvwin/os_release.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "kvwin/ascii_space.h"
#include "kvwin/safe_open.h"

namespace kvwin {

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
    // Non-blocking open so a FIFO planted at the path cannot hold the caller.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return std::nullopt;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string text;
    // One allocation for the size the file has now (it may still grow or shrink).
    text.reserve(static_cast<size_t>(std::min<std::uint64_t>(std::uint64_t(st.st_size), limit)));
    char chunk[16384];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(chunk, std::min(static_cast<size_t>(n), limit - text.size()));
    }
    return text;
}

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
    while (!content.empty()) {
        size_t end = content.find('\n');
        std::string_view line = TrimAsciiSpace(content.substr(0, end));
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        std::string key(TrimAsciiSpace(line.substr(0, equals)));
        if (auto value = Unquote(TrimAsciiSpace(line.substr(equals + 1))))
            release.fields[key] = *value;
    }
    return release;
}

OsRelease ReadOsRelease(const std::string& root) {
    std::string prefix = root == "/" ? std::string() : root;
    if (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        if (auto text = ReadSmallFile(prefix + path, 64 * 1024))
            return ParseOsRelease(*text);
    }
    return {};
}

}  // namespace kvwin
