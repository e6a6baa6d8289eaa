// Swap areas: the active ones of /proc/swaps and the configured ones of /etc/fstab.
//
// Pure parsing plus file reads under a root; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct SwapArea {
    std::string path;   // "/swapfile", "/dev/sda3" (octal escapes decoded)
    bool file = false;  // a swap file rather than a partition
    std::uint64_t size_kib = 0;
    std::uint64_t used_kib = 0;
    std::int64_t priority = 0;
};

// Parses /proc/swaps ("Filename Type Size Used Priority" after a header line).
std::vector<SwapArea> ParseProcSwaps(std::string_view content);
std::vector<SwapArea> ReadSwapAreas(const std::string& proc_root = "/proc");

// The swap entries of an fstab: the device or file of each line whose type is "swap".
std::vector<std::string> ParseFstabSwaps(std::string_view content);

}  // namespace kvlinux
