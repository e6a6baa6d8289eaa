// Disks and their partitions from /sys/block, and the kernel's partition list
// /proc/partitions.
//
// File reads under a sysfs root; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct PartitionInfo {
    std::string name;                // "sda1", "nvme0n1p2"
    std::uint32_t number = 0;        // the partition's number in its table ("partition")
    std::uint64_t start_sector = 0;  // in 512-byte units, as sysfs counts
    std::uint64_t size_sectors = 0;  // in 512-byte units
};

struct DiskInfo {
    std::string name;                // "sda"
    std::uint64_t size_sectors = 0;  // in 512-byte units, whatever the sector size
    std::optional<std::string> model, vendor, serial, firmware;
    std::optional<std::uint32_t> logical_block_size;
    bool removable = false;
    std::optional<bool> rotational;
    std::string bus;  // "usb", "nvme", "virtio", "ata", "scsi", "mmc" or "" when unknown
    std::vector<PartitionInfo> partitions;  // by partition number
};

// The disks under <sys_root>/block: devices backed by hardware (a "device" link), so loop,
// ram, zram and device-mapper nodes are left out. In name order.
std::vector<DiskInfo> ReadDisks(const std::string& sys_root = "/sys");

// The kernel's name of a device node that a mount names ("/dev/sdb1" -> "sdb1",
// "/dev/mapper/vg-root" -> "dm-0" through its link), or empty for a source that is no device.
std::string DeviceNodeName(const std::string& source);

// The disk a device node belongs to (the disk itself or one of its partitions), or nullptr.
const DiskInfo* DiskOfNode(const std::string& node, const std::vector<DiskInfo>& disks);

// Whether the device node lies on a disk Windows would call removable: the kernel says so,
// or the disk hangs off USB.
bool OnRemovableDisk(const std::string& node, const std::vector<DiskInfo>& disks);

struct ProcPartition {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint64_t blocks_kib = 0;
    std::string name;
};
// Parses /proc/partitions ("major minor #blocks name" after a header line).
std::vector<ProcPartition> ParseProcPartitions(std::string_view content);

}  // namespace kvlinux
