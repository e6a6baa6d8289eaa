#include "linux/dmi.h"

#include <array>
#include <cctype>

#include "linux/text_util.h"

namespace kvlinux {

bool IsDmiPlaceholder(std::string_view value) {
    static constexpr std::array<std::string_view, 12> kPlaceholders = {"to be filled by o.e.m.",
                                                                       "default string",
                                                                       "not specified",
                                                                       "not applicable",
                                                                       "system serial number",
                                                                       "system product name",
                                                                       "system manufacturer",
                                                                       "system version",
                                                                       "base board serial number",
                                                                       "chassis serial number",
                                                                       "none",
                                                                       "0123456789"};
    value = Trim(value);
    if (value.empty())
        return true;
    std::string lower;
    for (char c : value)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::string_view p : kPlaceholders) {
        if (lower == p)
            return true;
    }
    return false;
}

DmiInfo ReadDmi(const std::string& dmi_dir) {
    auto read = [&](const char* name) -> std::optional<std::string> {
        auto value = ReadFirstLine(dmi_dir + "/" + name);
        if (!value || IsDmiPlaceholder(*value))
            return std::nullopt;
        return value;
    };
    DmiInfo dmi;
    dmi.sys_vendor = read("sys_vendor");
    dmi.product_name = read("product_name");
    dmi.product_version = read("product_version");
    dmi.product_serial = read("product_serial");
    dmi.product_uuid = read("product_uuid");
    dmi.product_sku = read("product_sku");
    dmi.product_family = read("product_family");
    dmi.board_vendor = read("board_vendor");
    dmi.board_name = read("board_name");
    dmi.board_version = read("board_version");
    dmi.board_serial = read("board_serial");
    dmi.board_asset_tag = read("board_asset_tag");
    dmi.bios_vendor = read("bios_vendor");
    dmi.bios_version = read("bios_version");
    dmi.bios_date = read("bios_date");
    dmi.bios_release = read("bios_release");
    dmi.chassis_type = read("chassis_type");
    dmi.chassis_vendor = read("chassis_vendor");
    dmi.chassis_version = read("chassis_version");
    dmi.chassis_serial = read("chassis_serial");
    dmi.chassis_asset_tag = read("chassis_asset_tag");
    return dmi;
}

namespace {

std::uint16_t Word(std::string_view s, size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

std::uint32_t Dword(std::string_view s, size_t at) {
    return Word(s, at) | (static_cast<std::uint32_t>(Word(s, at + 2)) << 16);
}

}  // namespace

std::vector<MemoryDevice> ParseSmbiosMemoryDevices(std::string_view table) {
    std::vector<MemoryDevice> devices;
    size_t at = 0;
    while (at + 4 <= table.size()) {
        auto type = static_cast<unsigned char>(table[at]);
        size_t length = static_cast<unsigned char>(table[at + 1]);
        if (length < 4 || at + length > table.size())
            break;
        std::string_view formatted = table.substr(at, length);
        // The strings follow the formatted area, each NUL-terminated, the set ended by an
        // extra NUL (two NULs when there are no strings at all).
        std::vector<std::string_view> strings;
        size_t cursor = at + length;
        size_t end = table.find(std::string_view("\0\0", 2), cursor);
        if (end == std::string_view::npos)
            break;
        for (size_t s = cursor; s < end;) {
            size_t nul = table.find('\0', s);
            strings.push_back(table.substr(s, nul - s));
            s = nul + 1;
        }
        auto text = [&](size_t offset) -> std::optional<std::string> {
            if (offset >= formatted.size())
                return std::nullopt;
            auto index = static_cast<unsigned char>(formatted[offset]);
            if (index == 0 || index > strings.size() || IsDmiPlaceholder(strings[index - 1]))
                return std::nullopt;
            return std::string(Trim(strings[index - 1]));
        };
        if (type == 127)
            break;  // end of table
        if (type == 17 && length >= 0x15) {
            MemoryDevice device;
            std::uint16_t size = Word(formatted, 0x0C);
            if (size == 0x7FFF && length >= 0x20)
                device.size_bytes = static_cast<std::uint64_t>(Dword(formatted, 0x1C)) << 20;
            else if (size != 0 && size != 0xFFFF)
                device.size_bytes = (size & 0x8000) ? std::uint64_t(size & 0x7FFF) << 10
                                                    : std::uint64_t(size) << 20;
            if (device.size_bytes != 0) {
                device.total_width = Word(formatted, 0x08);
                device.data_width = Word(formatted, 0x0A);
                device.form_factor = static_cast<std::uint8_t>(formatted[0x0E]);
                device.device_locator = text(0x10);
                device.bank_locator = text(0x11);
                device.memory_type = static_cast<std::uint8_t>(formatted[0x12]);
                if (length >= 0x17 && Word(formatted, 0x15) != 0)
                    device.speed_mts = Word(formatted, 0x15);
                device.manufacturer = text(0x17);
                device.serial_number = text(0x18);
                device.asset_tag = text(0x19);
                device.part_number = text(0x1A);
                if (length >= 0x22 && Word(formatted, 0x20) != 0)
                    device.configured_speed_mts = Word(formatted, 0x20);
                devices.push_back(std::move(device));
            }
        }
        at = end + 2;
    }
    return devices;
}

std::vector<MemoryDevice> ReadMemoryDevices(const std::string& table_path) {
    auto table = ReadFileText(table_path);
    return table ? ParseSmbiosMemoryDevices(*table) : std::vector<MemoryDevice>{};
}

}  // namespace kvlinux
