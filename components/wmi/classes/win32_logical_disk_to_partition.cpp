// Win32_LogicalDiskToPartition: each partition with the logical disk (mounted file system)
// it holds. The mount table names the device a Win32_LogicalDisk (DeviceID: the mount
// point) is mounted from; when that device is a Win32_DiskPartition (DeviceID: its node,
// "/dev/sda1", a /dev/disk/by-* or mapper name resolved to it) the two are linked.
// StartingAddress and EndingAddress are the partition's first and last byte on its disk. A
// file system on a whole disk, a logical volume or the network has no partition to name.
#include <map>
#include <stdexcept>

#include "classes/association_support.h"
#include "classes/class_values.h"
#include "linux/block_devices.h"
#include "linux/mounts.h"
#include "linux/text_util.h"

namespace kvwmi {

namespace {

void FillLogicalDiskToPartition(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kLogicalDiskToPartitionClass{u"root\\cimv2",
                                             u"Win32_LogicalDiskToPartition",
                                             {
                                                 {u"Antecedent", CIM_REFERENCE, true},
                                                 {u"Dependent", CIM_REFERENCE, true},
                                                 {u"EndingAddress", CIM_UINT64},
                                                 {u"StartingAddress", CIM_UINT64},
                                             },
                                             FillLogicalDiskToPartition};

void FillLogicalDiskToPartition(const ClassDecl& decl, std::vector<Instance>& out) {
    const auto text = kvlinux::ReadFileText("/proc/self/mounts");
    if (!text)
        throw std::runtime_error("the mount table cannot be read");
    std::map<std::u16string, std::u16string> device_of;  // mount point -> "/dev/<node>"
    for (const kvlinux::MountEntry& mount : kvlinux::StorageMounts(kvlinux::ParseMounts(*text))) {
        const std::string node = kvlinux::DeviceNodeName(mount.source);
        if (!node.empty())
            device_of[kvwin::FromUtf8(mount.target)] = kvwin::FromUtf8("/dev/" + node);
    }
    const ClassDecl* partition = nullptr;
    std::map<std::u16string, const Instance*> partitions;
    const std::vector<Instance> partition_instances =
        EndpointInstances(u"Win32_DiskPartition", {u"StartingOffset", u"Size"}, partition);
    for (const Instance& instance : partition_instances) {
        if (const auto* id =
                std::get_if<std::u16string>(&ValueOf(*partition, instance, u"DeviceID")))
            partitions.emplace(*id, &instance);
    }
    const ClassDecl* logical = nullptr;
    for (const Instance& instance : EndpointInstances(u"Win32_LogicalDisk", {}, logical)) {
        const auto* id = std::get_if<std::u16string>(&ValueOf(*logical, instance, u"DeviceID"));
        auto device = id ? device_of.find(*id) : device_of.end();
        if (device == device_of.end())
            continue;
        auto found = partitions.find(device->second);
        if (found == partitions.end())
            continue;
        const Instance& part = *found->second;
        InstanceBuilder b(decl);
        b.Set(u"Antecedent", ReferenceTo(*partition, part));
        b.Set(u"Dependent", ReferenceTo(*logical, instance));
        const auto* start =
            std::get_if<std::uint64_t>(&ValueOf(*partition, part, u"StartingOffset"));
        const auto* size = std::get_if<std::uint64_t>(&ValueOf(*partition, part, u"Size"));
        if (start && size && *size > 0) {
            b.Set(u"StartingAddress", *start);
            b.Set(u"EndingAddress", *start + *size - 1);
        }
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kLogicalDiskToPartitionClass);

}  // namespace kvwmi
