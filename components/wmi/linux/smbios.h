// The structures of the raw SMBIOS table (/sys/firmware/dmi/tables/DMI, root only) that
// the slot and memory array classes use: system slots (type 9) and physical memory arrays
// (type 16).
//
// Pure parsing plus a file read; safe from any thread. A truncated structure ends the walk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct SystemSlot {
    std::string designation;  // "PCIEX16_1"
    std::uint8_t type = 0;
    std::uint8_t data_width = 0;     // SMBIOS code: 3 8-bit ... 7 128-bit
    std::uint8_t current_usage = 0;  // SMBIOS code: 1 other, 2 unknown, 3 available, 4 in use
    std::uint16_t id = 0;
    std::uint8_t characteristics1 = 0, characteristics2 = 0;
    // The PCI address of the slot (SMBIOS 2.6 and later; absent when 0xFF).
    std::optional<std::uint16_t> segment;
    std::optional<std::uint8_t> bus, device, function;
};

struct MemoryArray {
    std::uint8_t location = 0;          // SMBIOS code: 3 system board
    std::uint8_t use = 0;               // SMBIOS code: 3 system memory
    std::uint8_t error_correction = 0;  // SMBIOS code: 3 none, 6 multi-bit ECC
    std::uint64_t max_capacity_kib = 0;
    std::uint16_t devices = 0;  // memory device slots
};

std::vector<SystemSlot> ParseSmbiosSlots(std::string_view table);
std::vector<MemoryArray> ParseSmbiosMemoryArrays(std::string_view table);

// The table's content, or empty when it cannot be read (not root, no firmware tables).
std::string ReadSmbiosTable(const std::string& path = "/sys/firmware/dmi/tables/DMI");

}  // namespace kvlinux
