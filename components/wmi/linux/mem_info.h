// Memory figures from /proc/meminfo.
//
// Pure parsing plus one file read; safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct MemInfo {
    // Every "Name: value [kB]" line, in KiB (lines without a unit keep their plain number).
    std::map<std::string, std::uint64_t, std::less<>> values;
    std::optional<std::uint64_t> Kib(std::string_view name) const;
};

MemInfo ParseMemInfo(std::string_view content);
MemInfo ReadMemInfo(const std::string& proc_root = "/proc");

}  // namespace kvlinux
