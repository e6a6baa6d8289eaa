// Monitors connected to the graphics cards' outputs (/sys/class/drm/card*-*), with what
// their EDID block tells: the maker's three-letter PnP id, the product code, the name and
// the physical size; the screen size is the output's preferred mode.
//
// Pure parsing plus file reads under a sysfs root; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct EdidInfo {
    std::string manufacturer_id;  // "DEL"
    std::uint16_t product_code = 0;
    std::optional<std::string> name;    // the monitor name descriptor
    std::optional<std::string> serial;  // the serial number descriptor
    std::uint32_t width_cm = 0, height_cm = 0;
};

// Parses the 128-byte base block; nullopt when the header or checksum is wrong.
std::optional<EdidInfo> ParseEdid(std::string_view edid);

struct Monitor {
    std::string output;  // "card0-HDMI-A-1"
    std::optional<EdidInfo> edid;
    std::optional<std::uint32_t> width, height;  // the preferred mode
};

// The connected outputs, in name order.
std::vector<Monitor> ReadMonitors(const std::string& sys_root = "/sys");

}  // namespace kvlinux
