// File system labels and UUIDs, from the links udev keeps under /dev/disk/by-label and
// /dev/disk/by-uuid (absent where no udev runs, as in most containers).
//
// File reads under a folder; safe from any thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct VolumeIds {
    std::optional<std::string> label;
    std::optional<std::string> uuid;
};

// Keyed by the device name the links point at ("sda1", "nvme0n1p2", "dm-0").
std::map<std::string, VolumeIds> ReadVolumeIds(const std::string& disk_dir = "/dev/disk");

// Decodes the \xNN escapes udev writes into link names for bytes such as space and '/'.
std::string DecodeUdevEscapes(std::string_view name);

}  // namespace kvlinux
