// Display adapters: the PCI functions of the display class (03) with what their drivers
// export under sysfs: the framebuffer's size and depth, the first connected output's
// preferred mode, the memory amdgpu reports, the driver module's version.
//
// File reads under a sysfs root; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux/pci_devices.h"

namespace kvlinux {

struct DisplayAdapter {
    PciDevice pci;
    std::optional<std::uint64_t> memory_bytes;    // mem_info_vram_total
    std::optional<std::uint32_t> width, height;   // the framebuffer, else the preferred mode
    std::optional<std::uint32_t> bits_per_pixel;  // the framebuffer's
    std::optional<std::string> driver_version;    // /sys/module/<driver>/version
};

std::vector<DisplayAdapter> ReadDisplayAdapters(const std::string& sys_root = "/sys");

}  // namespace kvlinux
