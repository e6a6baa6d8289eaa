// The firmware's identity of the machine: the DMI attributes the kernel exports under
// /sys/class/dmi/id, and the memory devices of the raw SMBIOS table.
//
// Pure parsing plus file reads; safe from any thread. Serial numbers and the SMBIOS table are
// readable by root only; for others they are absent, never guessed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct DmiInfo {
    std::optional<std::string> sys_vendor, product_name, product_version, product_serial,
        product_uuid, product_sku, product_family;
    std::optional<std::string> board_vendor, board_name, board_version, board_serial,
        board_asset_tag;
    std::optional<std::string> bios_vendor, bios_version, bios_date, bios_release;
    std::optional<std::string> chassis_type, chassis_vendor, chassis_version, chassis_serial,
        chassis_asset_tag;
};

// Reads <dmi_dir>/<attribute> for every field. An attribute that is missing, unreadable, or
// holds only white space or one of the placeholders firmware writers leave behind ("To be
// filled by O.E.M.", "Default string", "Not Specified", ...) is absent.
DmiInfo ReadDmi(const std::string& dmi_dir = "/sys/class/dmi/id");

bool IsDmiPlaceholder(std::string_view value);

// One SMBIOS type 17 structure (a memory device) that holds a module.
struct MemoryDevice {
    std::uint64_t size_bytes = 0;
    std::optional<std::string> device_locator, bank_locator, manufacturer, serial_number, asset_tag,
        part_number;
    std::optional<std::uint32_t> speed_mts;             // maximum speed, MT/s
    std::optional<std::uint32_t> configured_speed_mts;  // configured speed, MT/s
    std::uint8_t memory_type = 0;                       // SMBIOS code (0x1A = DDR4)
    std::uint8_t form_factor = 0;                       // SMBIOS code (0x09 = DIMM)
    std::uint16_t data_width = 0;                       // bits; 0xFFFF unknown
    std::uint16_t total_width = 0;
};

// Walks a raw SMBIOS structure table (the content of /sys/firmware/dmi/tables/DMI) and returns
// its populated memory devices. Empty slots (size 0) are skipped; a truncated structure ends
// the walk.
std::vector<MemoryDevice> ParseSmbiosMemoryDevices(std::string_view table);
std::vector<MemoryDevice> ReadMemoryDevices(
    const std::string& table_path = "/sys/firmware/dmi/tables/DMI");

}  // namespace kvlinux
