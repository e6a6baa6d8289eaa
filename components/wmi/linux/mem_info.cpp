#include "linux/mem_info.h"

#include "kvwin/ascii_space.h"
#include "linux/text_util.h"

namespace kvlinux {

std::optional<std::uint64_t> MemInfo::Kib(std::string_view name) const {
    std::optional<std::uint64_t> found;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || Trim(line.substr(0, colon)) != name)
            continue;
        size_t pos = 0;
        const std::string_view first = kvwin::NextAsciiWord(line.substr(colon + 1), pos);
        if (first.empty())
            continue;
        if (auto value = ParseUnsigned(first))
            found = value;
    }
    return found;
}

MemInfo ParseMemInfo(std::string_view content) {
    return MemInfo{std::string(content)};
}

MemInfo ReadMemInfo(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/meminfo");
    return text ? MemInfo{std::move(*text)} : MemInfo{};
}

}  // namespace kvlinux
