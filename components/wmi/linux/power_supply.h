// Batteries from /sys/class/power_supply: the supplies of type "Battery" that power the
// machine (a mouse's or a headset's battery, scope "Device", is left out).
//
// File reads under a sysfs root; safe from any thread. Energy is in µWh, charge in µAh,
// voltage in µV, power in µW, as the kernel reports them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvlinux {

struct Battery {
    std::string name;    // "BAT0"
    std::string status;  // "Charging", "Discharging", "Full", "Not charging", "Unknown"
    std::optional<std::uint32_t> capacity_percent;
    std::optional<std::uint64_t> energy_full_design_uwh, energy_full_uwh, energy_now_uwh;
    std::optional<std::uint64_t> power_now_uw;
    std::optional<std::uint64_t> voltage_min_design_uv;
    std::optional<std::string> technology, manufacturer, model_name, serial_number;
};

std::vector<Battery> ReadBatteries(const std::string& sys_root = "/sys");

}  // namespace kvlinux
