#include "linux/mem_info.h"

#include "kvwin/ascii_space.h"
#include "linux/text_util.h"

namespace kvlinux {

std::optional<std::uint64_t> MemInfo::Kib(std::string_view name) const {
    auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

MemInfo ParseMemInfo(std::string_view content) {
    MemInfo info;
    for (std::string_view line : SplitLines(content)) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        size_t pos = 0;
        const std::string_view first = kvwin::NextAsciiWord(line.substr(colon + 1), pos);
        if (first.empty())
            continue;
        if (auto value = ParseUnsigned(first))
            info.values[std::string(Trim(line.substr(0, colon)))] = *value;
    }
    return info;
}

MemInfo ReadMemInfo(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/meminfo");
    return text ? ParseMemInfo(*text) : MemInfo{};
}

}  // namespace kvlinux
