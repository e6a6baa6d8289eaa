// Win32_DiskPartition: one instance per partition of a Win32_DiskDrive disk, from
// /sys/block/<disk>/<partition>/{partition,start,size}. DeviceID and Name are the device node
// ("/dev/sda1"); Caption is the Windows wording ("Disk #0, Partition #0"), with Index the
// 0-based place of the partition on its disk. Sizes and offsets are in bytes.
#include "classes/class_values.h"
#include "classes/fill_from.h"
#include "linux/block_devices.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillDiskPartition(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kDiskPartitionClass{
    u"root\\cimv2",
    u"Win32_DiskPartition",
    {
        {u"AdditionalAvailability", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"Availability", CIM_UINT16},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"IdentifyingDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
        {u"MaxQuiesceTime", CIM_UINT64},
        {u"OtherIdentifyingInfo", CIM_STRING | CIM_FLAG_ARRAY},
        {u"StatusInfo", CIM_UINT16},
        {u"PowerOnHours", CIM_UINT64},
        {u"TotalPowerOnHours", CIM_UINT64},
        {u"Access", CIM_UINT16},
        {u"BlockSize", CIM_UINT64},
        {u"Bootable", CIM_BOOLEAN},
        {u"BootPartition", CIM_BOOLEAN},
        {u"Caption", CIM_STRING},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"CreationClassName", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"DiskIndex", CIM_UINT32},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"ErrorMethodology", CIM_STRING},
        {u"HiddenSectors", CIM_UINT32},
        {u"Index", CIM_UINT32},
        {u"InstallDate", CIM_DATETIME},
        {u"LastErrorCode", CIM_UINT32},
        {u"Name", CIM_STRING},
        {u"NumberOfBlocks", CIM_UINT64},
        {u"PNPDeviceID", CIM_STRING},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"PrimaryPartition", CIM_BOOLEAN},
        {u"Purpose", CIM_STRING},
        {u"RewritePartition", CIM_BOOLEAN},
        {u"Size", CIM_UINT64},
        {u"StartingOffset", CIM_UINT64},
        {u"Status", CIM_STRING},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
        {u"Type", CIM_STRING},
    },
    FillDiskPartition};

void FillDiskPartition(const ClassDecl& decl, std::vector<Instance>& out) {
    FillDiskPartitionFrom(decl, kvlinux::ReadDisks(), out);
}

}  // namespace

void FillDiskPartitionFrom(const ClassDecl& decl, const std::vector<kvlinux::DiskInfo>& disks,
                           std::vector<Instance>& out) {
    std::uint64_t disk_index = 0;
    for (const kvlinux::DiskInfo& disk : disks) {
        std::uint64_t index = 0;
        for (const kvlinux::PartitionInfo& part : disk.partitions) {
            const std::string node = "/dev/" + part.name;
            InstanceBuilder b(decl);
            b.Set(u"DeviceID", Text(node));
            b.Set(u"Name", Text(node));
            b.Set(u"Caption", Text("Disk #" + std::to_string(disk_index) + ", Partition #" +
                                   std::to_string(index)));
            b.Set(u"DiskIndex", Unsigned(disk_index));
            b.Set(u"Index", Unsigned(index));
            b.Set(u"Size", Unsigned(part.size_sectors * 512));
            b.Set(u"StartingOffset", Unsigned(part.start_sector * 512));
            // sysfs counts in 512-byte units whatever the disk's sector size.
            b.Set(u"BlockSize", Unsigned(512));
            b.Set(u"NumberOfBlocks", Unsigned(part.size_sectors));
            b.Set(u"Status", Text("OK"));
            out.push_back(b.Take());
            ++index;
        }
        ++disk_index;
    }
}

KAVREL_WMI_CLASS(kDiskPartitionClass);

}  // namespace kvwmi
