// Win32_CDROMDrive: one instance per optical drive (/sys/block/sr*). DeviceID, Id and
// Drive are the device node ("/dev/sr0"); Name and Caption the drive's model, Manufacturer
// its vendor string, MfrAssignedRevisionLevel its firmware revision; the SCSI properties
// are the device's host:channel:target:lun address. With a disc in the drive, MediaLoaded
// is true, Size its size in bytes and VolumeName its label.
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillCdromDrive(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kCdromDriveClass{u"root\\cimv2",
                                 u"Win32_CDROMDrive",
                                 {
                                     {u"Availability", CIM_UINT16},
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
                                     {u"Drive", CIM_STRING},
                                     {u"DriveIntegrity", CIM_BOOLEAN},
                                     {u"ErrorCleared", CIM_BOOLEAN},
                                     {u"ErrorDescription", CIM_STRING},
                                     {u"ErrorMethodology", CIM_STRING},
                                     {u"FileSystemFlags", CIM_UINT16},
                                     {u"FileSystemFlagsEx", CIM_UINT32},
                                     {u"Id", CIM_STRING},
                                     {u"InstallDate", CIM_DATETIME},
                                     {u"LastErrorCode", CIM_UINT32},
                                     {u"Manufacturer", CIM_STRING},
                                     {u"MaxBlockSize", CIM_UINT64},
                                     {u"MaximumComponentLength", CIM_UINT32},
                                     {u"MaxMediaSize", CIM_UINT64},
                                     {u"MediaLoaded", CIM_BOOLEAN},
                                     {u"MediaType", CIM_STRING},
                                     {u"MfrAssignedRevisionLevel", CIM_STRING},
                                     {u"MinBlockSize", CIM_UINT64},
                                     {u"Name", CIM_STRING},
                                     {u"NeedsCleaning", CIM_BOOLEAN},
                                     {u"NumberOfMediaSupported", CIM_UINT32},
                                     {u"PNPDeviceID", CIM_STRING},
                                     {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                     {u"PowerManagementSupported", CIM_BOOLEAN},
                                     {u"RevisionLevel", CIM_STRING},
                                     {u"SCSIBus", CIM_UINT32},
                                     {u"SCSILogicalUnit", CIM_UINT16},
                                     {u"SCSIPort", CIM_UINT16},
                                     {u"SCSITargetId", CIM_UINT16},
                                     {u"SerialNumber", CIM_STRING},
                                     {u"Size", CIM_UINT64},
                                     {u"Status", CIM_STRING},
                                     {u"StatusInfo", CIM_UINT16},
                                     {u"SystemCreationClassName", CIM_STRING},
                                     {u"SystemName", CIM_STRING},
                                     {u"TransferRate", CIM_REAL64},
                                     {u"VolumeName", CIM_STRING},
                                     {u"VolumeSerialNumber", CIM_STRING},
                                 },
                                 FillCdromDrive};

void FillCdromDrive(const ClassDecl& decl, std::vector<Instance>& out) {
    FillCdromDrivesFrom(decl, kvlinux::ReadOpticalDrives(), kvlinux::ReadVolumeIds(),
                        kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillCdromDrivesFrom(const ClassDecl& decl, const std::vector<kvlinux::OpticalDrive>& drives,
                         const std::map<std::string, kvlinux::VolumeIds>& volume_ids,
                         const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::OpticalDrive& drive : drives) {
        const std::string node = "/dev/" + drive.name;
        const std::string name = drive.model.value_or(node);
        const bool loaded = drive.size_sectors > 0;
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(node));
        b.Set(u"Id", Text(node));
        b.Set(u"Drive", Text(node));
        b.Set(u"Name", Text(name));
        b.Set(u"Caption", Text(name));
        b.Set(u"Description", Text("CD-ROM Drive"));
        b.Set(u"Manufacturer", Text(drive.vendor));
        b.Set(u"MfrAssignedRevisionLevel", Text(drive.revision));
        // Windows' form, the instance being the kernel's name, as for disks.
        b.Set(u"PNPDeviceID", Text("SCSI\\CDROM&VEN_" + PnpIdPart(drive.vendor, 8) + "&PROD_" +
                                   PnpIdPart(drive.model, 16) + "&REV_" +
                                   PnpIdPart(drive.revision, 4) + "\\" + drive.name));
        b.Set(u"MediaLoaded", loaded);
        if (loaded) {
            b.Set(u"Size", Unsigned(drive.size_sectors * 512));
            if (auto ids = volume_ids.find(drive.name); ids != volume_ids.end())
                b.Set(u"VolumeName", Text(ids->second.label));
        }
        b.Set(u"SCSIPort", Unsigned(drive.host));
        b.Set(u"SCSIBus", Unsigned(drive.channel));
        b.Set(u"SCSITargetId", Unsigned(drive.target));
        b.Set(u"SCSILogicalUnit", Unsigned(drive.lun));
        SetDeviceWorking(b, true);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kCdromDriveClass);

}  // namespace kvwmi
