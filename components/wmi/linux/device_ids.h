// Vendor and device names from the id databases Debian ships (pci.ids, usb.ids).
//
// The format: a vendor line "8086  Intel Corporation", its devices indented by one tab
// "\t1237  440FX - 82441FX PMC [Natoma]", subsystems by two; comments start with '#'.
// Pure parsing plus file reads; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct DeviceNames {
    std::optional<std::string> vendor;
    std::optional<std::string> device;
};

// Looks one vendor and device up in a database's text. The USB database's later lists
// (classes, languages, ...) start with non-hex lines and end the vendor list.
DeviceNames LookUpDeviceNames(std::string_view database, std::uint16_t vendor,
                              std::uint16_t device);

// The content of the named database ("pci.ids", "usb.ids") from /usr/share/misc or
// /usr/share/hwdata under `root`; empty when neither has it.
std::string ReadIdDatabase(const std::string& file_name, const std::string& root = "/");

}  // namespace kvlinux
