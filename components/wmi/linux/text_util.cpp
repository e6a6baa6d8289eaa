#include "linux/text_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>

#include "kvwin/ascii_space.h"

namespace kvlinux {

std::optional<std::string> ReadFileText(const std::string& path) {
    // Files under /proc and /sys report a size of zero or of a page, so read to the end
    // rather than trusting stat.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

std::optional<std::string> ReadFirstLine(const std::string& path) {
    auto text = ReadFileText(path);
    if (!text)
        return std::nullopt;
    std::string_view view = *text;
    view = view.substr(0, view.find('\n'));
    return std::string(Trim(view));
}

std::optional<std::string> ReadLink(const std::string& path) {
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<size_t>(n) >= buffer.size())
        return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string_view Trim(std::string_view text) {
    return kvwin::TrimAsciiSpace(text);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
    return kvwin::SplitAsciiWords(text);
}

std::vector<std::vector<std::string_view>> TableRows(std::string_view text, size_t min_fields) {
    std::vector<std::vector<std::string_view>> rows;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (size_t i = 1; i < lines.size(); ++i) {
        auto fields = SplitFields(lines[i]);
        if (fields.size() >= min_fields)
            rows.push_back(std::move(fields));
    }
    return rows;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
    text = Trim(text);
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> ParseSigned(std::string_view text) {
    text = Trim(text);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string UnderRoot(const std::string& root, std::string_view absolute_path) {
    if (root.empty() || root == "/")
        return std::string(absolute_path);
    std::string out = root;
    if (out.back() == '/')
        out.pop_back();
    out += absolute_path;
    return out;
}

}  // namespace kvlinux
