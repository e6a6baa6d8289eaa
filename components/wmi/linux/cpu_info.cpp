#include "linux/cpu_info.h"

#include <charconv>
#include <map>
#include <set>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::optional<std::uint32_t> ParseU32(std::string_view text) {
    auto value = ParseUnsigned(text);
    if (!value || *value > UINT32_MAX)
        return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

std::optional<double> ParseDouble(std::string_view text) {
    text = Trim(text);
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc())
        return std::nullopt;
    return value;
}

}  // namespace

std::vector<LogicalCpu> ParseCpuInfo(std::string_view content) {
    std::vector<LogicalCpu> cpus;
    for (std::string_view line : SplitLines(content)) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view key = Trim(line.substr(0, colon));
        std::string_view value = Trim(line.substr(colon + 1));
        if (key == "processor") {
            auto number = ParseU32(value);
            if (!number)
                continue;  // ARM's "Processor : ARMv7 ..." line names the model, not a cpu
            cpus.emplace_back().processor = *number;
            continue;
        }
        if (cpus.empty())
            continue;
        LogicalCpu& cpu = cpus.back();
        if (key == "physical id")
            cpu.physical_id = ParseU32(value);
        else if (key == "core id")
            cpu.core_id = ParseU32(value);
        else if (key == "cpu cores")
            cpu.cpu_cores = ParseU32(value);
        else if (key == "vendor_id" || (key == "CPU implementer" && cpu.vendor_id.empty()))
            cpu.vendor_id = value;
        else if (key == "model name")
            cpu.model_name = value;
        else if (key == "cpu family")
            cpu.family = ParseU32(value);
        else if (key == "model")
            cpu.model = ParseU32(value);
        else if (key == "stepping")
            cpu.stepping = ParseU32(value);
        else if (key == "cpu MHz")
            cpu.mhz = ParseDouble(value);
        else if (key == "flags" || key == "Features") {
            cpu.flags.clear();
            for (std::string_view flag : SplitFields(value))
                cpu.flags.emplace_back(flag);
        }
    }
    return cpus;
}

bool CpuPackage::HasFlag(std::string_view flag) const {
    for (const std::string& f : first.flags) {
        if (f == flag)
            return true;
    }
    return false;
}

std::vector<CpuPackage> GroupCpuPackages(const std::vector<LogicalCpu>& cpus) {
    std::map<std::uint32_t, CpuPackage> packages;
    std::map<std::uint32_t, std::set<std::uint32_t>> core_ids;
    for (const LogicalCpu& cpu : cpus) {
        std::uint32_t socket = cpu.physical_id.value_or(0);
        auto [it, inserted] = packages.try_emplace(socket);
        CpuPackage& package = it->second;
        if (inserted) {
            package.socket = socket;
            package.first = cpu;
        }
        ++package.logical_processors;
        if (cpu.core_id)
            core_ids[socket].insert(*cpu.core_id);
    }
    std::vector<CpuPackage> out;
    for (auto& [socket, package] : packages) {
        auto ids = core_ids.find(socket);
        if (ids != core_ids.end())
            package.cores = static_cast<std::uint32_t>(ids->second.size());
        else
            package.cores = package.first.cpu_cores.value_or(package.logical_processors);
        out.push_back(std::move(package));
    }
    return out;
}

std::optional<std::uint32_t> ParseCacheSizeKib(std::string_view text) {
    text = Trim(text);
    std::uint64_t scale = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) {
        text.remove_suffix(1);
    } else if (!text.empty() && text.back() == 'M') {
        scale = 1024;
        text.remove_suffix(1);
    }
    auto value = ParseUnsigned(text);
    if (!value || *value * scale > UINT32_MAX)
        return std::nullopt;
    return static_cast<std::uint32_t>(*value * scale);
}

CpuSysfsInfo ReadCpuSysfsInfo(const std::string& sys_root) {
    CpuSysfsInfo info;
    const std::string cpu0 = sys_root + "/devices/system/cpu/cpu0";
    for (const std::string& index : ListFolder(cpu0 + "/cache")) {
        const std::string dir = cpu0 + "/cache/" + index;
        auto level = ReadFirstLine(dir + "/level");
        auto size = ReadFirstLine(dir + "/size");
        if (!level || !size)
            continue;
        if (*level == "2")
            info.l2_cache_kib = ParseCacheSizeKib(*size);
        else if (*level == "3")
            info.l3_cache_kib = ParseCacheSizeKib(*size);
    }
    if (auto khz = ReadFirstLine(cpu0 + "/cpufreq/cpuinfo_max_freq")) {
        if (auto value = ParseUnsigned(*khz))
            info.max_mhz = static_cast<std::uint32_t>(*value / 1000);
    }
    return info;
}

}  // namespace kvlinux
