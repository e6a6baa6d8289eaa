// Win32_LogicalDisk: one instance per mounted storage file system. Linux has no drive
// letters, so DeviceID and Name are the mount point ("/", "/home"); a Windows query for
// DeviceID = 'C:' finds nothing rather than a guess.
//
// Pseudo file systems (proc, sysfs, tmpfs, cgroup, ...) are no disks and are left out, as are
// mounts of single files. Size and FreeSpace come from statvfs: FreeSpace is the space an
// ordinary user may still write (f_bavail), the "Avail" column of df, which is what Windows
// reports for a user without quota. VolumeName is the file system's label and
// VolumeSerialNumber its UUID (for FAT file systems the same eight hex digits Windows shows,
// with a dash), both from /dev/disk/by-label and by-uuid. DriveType uses WMI's codes: 2 removable,
// 3 local, 4 network, 5 optical.
#include <stdexcept>

#include "classes/class_values.h"
#include "linux/block_devices.h"
#include "linux/mounts.h"
#include "linux/text_util.h"
#include "linux/volume_ids.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillLogicalDisk(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kLogicalDiskClass{u"root\\cimv2",
                                  u"Win32_LogicalDisk",
                                  {
                                      {u"Access", CIM_UINT16},
                                      {u"Availability", CIM_UINT16},
                                      {u"BlockSize", CIM_UINT64},
                                      {u"Caption", CIM_STRING},
                                      {u"Compressed", CIM_BOOLEAN},
                                      {u"ConfigManagerErrorCode", CIM_UINT32},
                                      {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                      {u"CreationClassName", CIM_STRING},
                                      {u"Description", CIM_STRING},
                                      {u"DeviceID", CIM_STRING, true},
                                      {u"DriveType", CIM_UINT32},
                                      {u"ErrorCleared", CIM_BOOLEAN},
                                      {u"ErrorDescription", CIM_STRING},
                                      {u"ErrorMethodology", CIM_STRING},
                                      {u"FileSystem", CIM_STRING},
                                      {u"FreeSpace", CIM_UINT64},
                                      {u"InstallDate", CIM_DATETIME},
                                      {u"LastErrorCode", CIM_UINT32},
                                      {u"MaximumComponentLength", CIM_UINT32},
                                      {u"MediaType", CIM_UINT32},
                                      {u"Name", CIM_STRING},
                                      {u"NumberOfBlocks", CIM_UINT64},
                                      {u"PNPDeviceID", CIM_STRING},
                                      {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                      {u"PowerManagementSupported", CIM_BOOLEAN},
                                      {u"ProviderName", CIM_STRING},
                                      {u"Purpose", CIM_STRING},
                                      {u"QuotasDisabled", CIM_BOOLEAN},
                                      {u"QuotasIncomplete", CIM_BOOLEAN},
                                      {u"QuotasRebuilding", CIM_BOOLEAN},
                                      {u"Size", CIM_UINT64},
                                      {u"Status", CIM_STRING},
                                      {u"StatusInfo", CIM_UINT16},
                                      {u"SupportsDiskQuotas", CIM_BOOLEAN},
                                      {u"SupportsFileBasedCompression", CIM_BOOLEAN},
                                      {u"SystemCreationClassName", CIM_STRING},
                                      {u"SystemName", CIM_STRING},
                                      {u"VolumeDirty", CIM_BOOLEAN},
                                      {u"VolumeName", CIM_STRING},
                                      {u"VolumeSerialNumber", CIM_STRING},
                                  },
                                  FillLogicalDisk};

void FillLogicalDisk(const ClassDecl& decl, std::vector<Instance>& out) {
    auto text = kvlinux::ReadFileText("/proc/self/mounts");
    if (!text)
        throw std::runtime_error("the mount table cannot be read");
    const auto disks = kvlinux::ReadDisks();
    const auto volume_ids = kvlinux::ReadVolumeIds();
    for (const kvlinux::MountEntry& mount : kvlinux::StorageMounts(kvlinux::ParseMounts(*text))) {
        if (!kvlinux::IsFolder(mount.target))
            continue;  // a file bound over a file (a container's /etc/hosts)
        const std::string device = kvlinux::DeviceNodeName(mount.source);
        std::uint64_t drive_type = 3;
        std::string description = "Local Fixed Disk";
        if (kvlinux::IsNetworkFileSystem(mount.type)) {
            drive_type = 4;
            description = "Network Connection";
        } else if (mount.type == "iso9660" || mount.type == "udf") {
            drive_type = 5;
            description = "CD-ROM Disc";
        } else if (kvlinux::OnRemovableDisk(device, disks)) {
            drive_type = 2;
            description = "Removable Disk";
        }
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(mount.target));
        b.Set(u"Name", Text(mount.target));
        b.Set(u"Caption", Text(mount.target));
        b.Set(u"Description", Text(description));
        b.Set(u"DriveType", Unsigned(drive_type));
        if (drive_type == 3)
            b.Set(u"MediaType", Unsigned(12));  // fixed hard disk media
        b.Set(u"FileSystem", Text(mount.type));
        if (auto space = kvlinux::ReadVolumeSpace(mount.target)) {
            b.Set(u"Size", Unsigned(space->size));
            b.Set(u"FreeSpace", Unsigned(space->available));
            b.Set(u"BlockSize", Unsigned(space->block_size));
        }
        if (drive_type == 4)
            b.Set(u"ProviderName", Text(mount.source));
        if (auto ids = volume_ids.find(device); ids != volume_ids.end()) {
            b.Set(u"VolumeName", Text(ids->second.label));
            b.Set(u"VolumeSerialNumber", Text(ids->second.uuid));
        }
        b.Set(u"Access", Unsigned(mount.ReadOnly() ? 1 : 3));  // readable / read-write
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kLogicalDiskClass);

}  // namespace kvwmi
