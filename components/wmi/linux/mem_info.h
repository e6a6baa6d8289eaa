// Memory figures from /proc/meminfo.
//
// Pure parsing plus one file read; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct MemInfo {
    // The file's text, "Name: value [kB]" lines. A reader wants a handful of its fifty-odd
    // figures, so each is looked up in the text when asked for.
    std::string text;
    // The figure of the line `name`, in KiB (a line without a unit keeps its plain number);
    // the last line of that name counts. nullopt without a line or a number.
    std::optional<std::uint64_t> Kib(std::string_view name) const;
};

MemInfo ParseMemInfo(std::string_view content);
MemInfo ReadMemInfo(const std::string& proc_root = "/proc");

}  // namespace kvlinux
