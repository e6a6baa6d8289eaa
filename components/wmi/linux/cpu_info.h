// The processors from /proc/cpuinfo, grouped into physical packages (sockets), with the
// cache sizes and maximum clock that sysfs adds.
//
// Pure parsing plus file reads; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

// One "processor : N" block of /proc/cpuinfo (one logical processor).
struct LogicalCpu {
    std::uint32_t processor = 0;
    std::optional<std::uint32_t> physical_id;
    std::optional<std::uint32_t> core_id;
    std::optional<std::uint32_t> cpu_cores;  // cores in this package, as the kernel reports
    std::string vendor_id;                   // "GenuineIntel"; "CPU implementer" on ARM
    std::string model_name;                  // "model name"
    std::optional<std::uint32_t> family;     // "cpu family"
    std::optional<std::uint32_t> model;
    std::optional<std::uint32_t> stepping;
    std::optional<double> mhz;       // "cpu MHz"
    std::vector<std::string> flags;  // "flags" (x86) or "Features" (ARM)
};

std::vector<LogicalCpu> ParseCpuInfo(std::string_view content);

// One physical package: the logical processors that share a physical id. Without physical
// ids (ARM, some virtual machines) every logical processor belongs to package 0.
struct CpuPackage {
    std::uint32_t socket = 0;
    LogicalCpu first;  // the package's first logical processor, for the shared fields
    std::uint32_t logical_processors = 0;
    std::uint32_t cores = 0;  // distinct core ids, or "cpu cores", or the logical count
    bool HasFlag(std::string_view flag) const;
};

std::vector<CpuPackage> GroupCpuPackages(const std::vector<LogicalCpu>& cpus);

// What sysfs says about cpu0: cache sizes in KiB and the maximum clock in MHz.
struct CpuSysfsInfo {
    std::optional<std::uint32_t> l2_cache_kib;
    std::optional<std::uint32_t> l3_cache_kib;
    std::optional<std::uint32_t> max_mhz;
};
// Reads <sys_root>/devices/system/cpu/cpu0/{cache,cpufreq}.
CpuSysfsInfo ReadCpuSysfsInfo(const std::string& sys_root = "/sys");

// Parses a cache size such as "32K", "1024K" or "8M" into KiB.
std::optional<std::uint32_t> ParseCacheSizeKib(std::string_view text);

}  // namespace kvlinux
