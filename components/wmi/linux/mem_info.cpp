#include "linux/mem_info.h"

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
        auto fields = SplitFields(line.substr(colon + 1));
        if (fields.empty())
            continue;
        if (auto value = ParseUnsigned(fields[0]))
            info.values[std::string(Trim(line.substr(0, colon)))] = *value;
    }
    return info;
}

MemInfo ReadMemInfo(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/meminfo");
    return text ? ParseMemInfo(*text) : MemInfo{};
}

}  // namespace kvlinux
