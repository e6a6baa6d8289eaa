// Win32_DiskDrive: one instance per disk backed by hardware under /sys/block (loop, ram,
// zram and device-mapper nodes are no drives). DeviceID and Name are the device node
// ("/dev/sda"); Index is the disk's place in name order, the number Win32_DiskPartition's
// DiskIndex refers to. Size is in bytes. InterfaceType follows Windows' words: "IDE" for
// ATA, "SCSI" for SCSI, virtio and NVMe (Windows shows NVMe disks as SCSI), "USB".
#include <cctype>

#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/fill_from.h"
#include "linux/block_devices.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillDiskDrive(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kDiskDriveClass{u"root\\cimv2",
                                u"Win32_DiskDrive",
                                {
                                    {u"Availability", CIM_UINT16},
                                    {u"BytesPerSector", CIM_UINT32},
                                    {u"Capabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                    {u"CapabilityDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
                                    {u"Caption", CIM_STRING},
                                    {u"CompressionMethod", CIM_STRING},
                                    {u"ConfigManagerErrorCode", CIM_UINT32},
                                    {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                    {u"CreationClassName", CIM_STRING},
                                    {u"DefaultBlockSize", CIM_UINT64},
                                    {u"Description", CIM_STRING},
                                    {u"DeviceID", CIM_STRING, true},
                                    {u"ErrorCleared", CIM_BOOLEAN},
                                    {u"ErrorDescription", CIM_STRING},
                                    {u"ErrorMethodology", CIM_STRING},
                                    {u"FirmwareRevision", CIM_STRING},
                                    {u"Index", CIM_UINT32},
                                    {u"InstallDate", CIM_DATETIME},
                                    {u"InterfaceType", CIM_STRING},
                                    {u"LastErrorCode", CIM_UINT32},
                                    {u"Manufacturer", CIM_STRING},
                                    {u"MaxBlockSize", CIM_UINT64},
                                    {u"MaxMediaSize", CIM_UINT64},
                                    {u"MediaLoaded", CIM_BOOLEAN},
                                    {u"MediaType", CIM_STRING},
                                    {u"MinBlockSize", CIM_UINT64},
                                    {u"Model", CIM_STRING},
                                    {u"Name", CIM_STRING},
                                    {u"NeedsCleaning", CIM_BOOLEAN},
                                    {u"NumberOfMediaSupported", CIM_UINT32},
                                    {u"Partitions", CIM_UINT32},
                                    {u"PNPDeviceID", CIM_STRING},
                                    {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                    {u"PowerManagementSupported", CIM_BOOLEAN},
                                    {u"SCSIBus", CIM_UINT32},
                                    {u"SCSILogicalUnit", CIM_UINT16},
                                    {u"SCSIPort", CIM_UINT16},
                                    {u"SCSITargetId", CIM_UINT16},
                                    {u"SectorsPerTrack", CIM_UINT32},
                                    {u"SerialNumber", CIM_STRING},
                                    {u"Signature", CIM_UINT32},
                                    {u"Size", CIM_UINT64},
                                    {u"Status", CIM_STRING},
                                    {u"StatusInfo", CIM_UINT16},
                                    {u"SystemCreationClassName", CIM_STRING},
                                    {u"SystemName", CIM_STRING},
                                    {u"TotalCylinders", CIM_UINT64},
                                    {u"TotalHeads", CIM_UINT32},
                                    {u"TotalSectors", CIM_UINT64},
                                    {u"TotalTracks", CIM_UINT64},
                                    {u"TracksPerCylinder", CIM_UINT32},
                                },
                                FillDiskDrive};

std::optional<std::string> InterfaceType(const std::string& bus) {
    if (bus == "ata")
        return "IDE";
    if (bus == "scsi" || bus == "nvme" || bus == "virtio")
        return "SCSI";
    if (bus == "usb")
        return "USB";
    if (bus == "mmc")
        return "SD";
    return std::nullopt;
}

// Windows' form of a disk's Plug and Play identifier, the instance being the kernel's name:
// USBSTOR\DISK&VEN_SANDISK&PROD_CRUZER_BLADE&REV_1.00\sdb, SCSI\DISK&VEN_ATA&PROD_...\sda.
std::string DiskPnpDeviceId(const kvlinux::DiskInfo& disk) {
    std::string id = disk.bus == "usb" ? "USBSTOR\\DISK" : "SCSI\\DISK";
    id += "&VEN_" +
          PnpIdPart(disk.bus == "nvme" ? std::optional<std::string>("NVMe") : disk.vendor, 8);
    id += "&PROD_" + PnpIdPart(disk.model, 16);
    if (disk.bus == "usb" && disk.firmware)
        id += "&REV_" + PnpIdPart(disk.firmware, 4);
    return id + "\\" + disk.name;
}

void FillDiskDrive(const ClassDecl& decl, std::vector<Instance>& out) {
    FillDiskDriveFrom(decl, kvlinux::ReadDisks(), out);
}

}  // namespace

void FillDiskDriveFrom(const ClassDecl& decl, const std::vector<kvlinux::DiskInfo>& disks,
                       std::vector<Instance>& out) {
    std::uint64_t index = 0;
    for (const kvlinux::DiskInfo& disk : disks) {
        const std::string node = "/dev/" + disk.name;
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(node));
        b.Set(u"Name", Text(node));
        b.Set(u"Caption", Text(disk.model.value_or(node)));
        b.Set(u"Model", Text(disk.model));
        b.Set(u"Manufacturer", Text(disk.vendor));
        b.Set(u"SerialNumber", Text(disk.serial));
        b.Set(u"FirmwareRevision", Text(disk.firmware));
        b.Set(u"Size", Unsigned(disk.size_sectors * 512));
        b.Set(u"BytesPerSector", Unsigned(disk.logical_block_size));
        b.Set(u"Index", Unsigned(index++));
        b.Set(u"Partitions", Unsigned(disk.partitions.size()));
        b.Set(u"InterfaceType", Text(InterfaceType(disk.bus)));
        b.Set(u"MediaType", Text(disk.removable || disk.bus == "usb" ? "Removable Media"
                                                                     : "Fixed hard disk media"));
        b.Set(u"Status", Text("OK"));
        b.Set(u"PNPDeviceID", Text(DiskPnpDeviceId(disk)));
        b.Set(u"CreationClassName", Text("Win32_DiskDrive"));
        b.Set(u"MediaLoaded", true);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kDiskDriveClass);

}  // namespace kvwmi
