#include "linux/block_devices.h"

#include <algorithm>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::string BusOf(const std::string& device_link) {
    // The resolved device path names the bus the disk hangs off, closest match last:
    // ".../usb1/1-1/.../host6/target6:0:0/6:0:0:0" is a USB disk even though SCSI appears.
    if (device_link.find("/usb") != std::string::npos)
        return "usb";
    if (device_link.find("/nvme") != std::string::npos)
        return "nvme";
    if (device_link.find("/virtio") != std::string::npos)
        return "virtio";
    if (device_link.find("/ata") != std::string::npos)
        return "ata";
    if (device_link.find("/mmc") != std::string::npos)
        return "mmc";
    if (device_link.find("/target") != std::string::npos)
        return "scsi";
    return "";
}

std::optional<std::string> NonEmpty(std::optional<std::string> value) {
    if (value && value->empty())
        return std::nullopt;
    return value;
}

}  // namespace

std::vector<DiskInfo> ReadDisks(const std::string& sys_root) {
    std::vector<DiskInfo> disks;
    for (const std::string& name : ListFolder(sys_root + "/block")) {
        const std::string dir = sys_root + "/block/" + name;
        auto device = ReadLink(dir + "/device");
        if (!device)
            continue;
        DiskInfo disk;
        disk.name = name;
        if (auto size = ReadFirstLine(dir + "/size"))
            disk.size_sectors = ParseUnsigned(*size).value_or(0);
        disk.model = NonEmpty(ReadFirstLine(dir + "/device/model"));
        disk.vendor = NonEmpty(ReadFirstLine(dir + "/device/vendor"));
        disk.serial = NonEmpty(ReadFirstLine(dir + "/device/serial"));
        disk.firmware = NonEmpty(ReadFirstLine(dir + "/device/firmware_rev"));
        if (!disk.firmware)
            disk.firmware = NonEmpty(ReadFirstLine(dir + "/device/rev"));
        if (auto bs = ReadFirstLine(dir + "/queue/logical_block_size")) {
            if (auto value = ParseUnsigned(*bs))
                disk.logical_block_size = static_cast<std::uint32_t>(*value);
        }
        disk.removable = ReadFirstLine(dir + "/removable").value_or("0") == "1";
        if (auto rotational = ReadFirstLine(dir + "/queue/rotational"))
            disk.rotational = *rotational == "1";
        // /sys/block/<name> links to the disk's place in the device tree
        // ("../devices/pci0000:00/.../block/sda"), which names the bus.
        disk.bus = BusOf(ReadLink(dir).value_or(""));
        if (disk.bus.empty())
            disk.bus = BusOf(*device);
        for (const std::string& child : ListFolder(dir)) {
            if (!StartsWith(child, name))
                continue;
            const std::string part_dir = dir + "/" + child;
            auto number = ReadFirstLine(part_dir + "/partition");
            if (!number)
                continue;
            PartitionInfo part;
            part.name = child;
            part.number = static_cast<std::uint32_t>(ParseUnsigned(*number).value_or(0));
            part.start_sector =
                ParseUnsigned(ReadFirstLine(part_dir + "/start").value_or("")).value_or(0);
            part.size_sectors =
                ParseUnsigned(ReadFirstLine(part_dir + "/size").value_or("")).value_or(0);
            disk.partitions.push_back(std::move(part));
        }
        std::sort(
            disk.partitions.begin(), disk.partitions.end(),
            [](const PartitionInfo& a, const PartitionInfo& b) { return a.number < b.number; });
        disks.push_back(std::move(disk));
    }
    return disks;
}

std::vector<ProcPartition> ParseProcPartitions(std::string_view content) {
    std::vector<ProcPartition> out;
    for (std::string_view line : SplitLines(content)) {
        auto fields = SplitFields(line);
        if (fields.size() != 4)
            continue;
        auto major = ParseUnsigned(fields[0]);
        auto minor = ParseUnsigned(fields[1]);
        auto blocks = ParseUnsigned(fields[2]);
        if (!major || !minor || !blocks)
            continue;  // the header line
        out.push_back({static_cast<std::uint32_t>(*major), static_cast<std::uint32_t>(*minor),
                       *blocks, std::string(fields[3])});
    }
    return out;
}

std::string DeviceNodeName(const std::string& source) {
    if (!StartsWith(source, "/dev/"))
        return "";
    if (auto target = ReadLink(source))
        return target->substr(target->rfind('/') + 1);
    return source.substr(source.rfind('/') + 1);
}

const DiskInfo* DiskOfNode(const std::string& node, const std::vector<DiskInfo>& disks) {
    if (node.empty())
        return nullptr;
    for (const DiskInfo& disk : disks) {
        if (node == disk.name)
            return &disk;
        for (const PartitionInfo& part : disk.partitions) {
            if (node == part.name)
                return &disk;
        }
    }
    return nullptr;
}

bool OnRemovableDisk(const std::string& node, const std::vector<DiskInfo>& disks) {
    const DiskInfo* disk = DiskOfNode(node, disks);
    return disk && (disk->removable || disk->bus == "usb");
}

}  // namespace kvlinux
