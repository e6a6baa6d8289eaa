// Win32_LogicalDisk: one instance per mounted storage file system. Linux has no drive
// letters, so DeviceID and Name are the mount point ("/", "/home"); a Windows query for
// DeviceID = 'C:' finds nothing rather than a guess.
//
// Pseudo file systems (proc, sysfs, tmpfs, cgroup, ...) are no disks and are left out, as are
// mounts of single files. Size and FreeSpace come from statvfs: FreeSpace is the space an
// ordinary user may still write (f_bavail), the "Avail" column of df, which is what Windows
// reports for a user without quota. DriveType uses WMI's codes: 2 removable, 3 local,
// 4 network, 5 optical.
#include <stdexcept>

#include "classes/class_values.h"
#include "linux/block_devices.h"
#include "linux/mounts.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillLogicalDisk(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kLogicalDiskClass{u"root\\cimv2",
                                  u"Win32_LogicalDisk",
                                  {
                                      {u"DeviceID", CIM_STRING, true},
                                      {u"Name", CIM_STRING},
                                      {u"Caption", CIM_STRING},
                                      {u"Description", CIM_STRING},
                                      {u"DriveType", CIM_UINT32},
                                      {u"MediaType", CIM_UINT32},
                                      {u"FileSystem", CIM_STRING},
                                      {u"Size", CIM_UINT64},
                                      {u"FreeSpace", CIM_UINT64},
                                      {u"BlockSize", CIM_UINT64},
                                      {u"VolumeName", CIM_STRING},
                                      {u"VolumeSerialNumber", CIM_STRING},
                                      {u"ProviderName", CIM_STRING},
                                      {u"Access", CIM_UINT16},
                                      {u"Status", CIM_STRING},
                                  },
                                  FillLogicalDisk};

// The disk name behind a device node ("/dev/sdb1" -> "sdb"), resolving /dev/disk/by-*
// links, or empty.
std::string DiskOfDevice(const std::string& source, const std::vector<kvlinux::DiskInfo>& disks) {
    if (!kvlinux::StartsWith(source, "/dev/"))
        return "";
    std::string node = source;
    if (auto target = kvlinux::ReadLink(source))
        node = target->substr(target->rfind('/') + 1);
    else
        node = source.substr(5);
    for (const kvlinux::DiskInfo& disk : disks) {
        if (node == disk.name)
            return disk.name;
        for (const kvlinux::PartitionInfo& part : disk.partitions) {
            if (node == part.name)
                return disk.name;
        }
    }
    return "";
}

void FillLogicalDisk(const ClassDecl& decl, std::vector<Instance>& out) {
    auto text = kvlinux::ReadFileText("/proc/self/mounts");
    if (!text)
        throw std::runtime_error("the mount table cannot be read");
    const auto disks = kvlinux::ReadDisks();
    for (const kvlinux::MountEntry& mount : kvlinux::StorageMounts(kvlinux::ParseMounts(*text))) {
        if (!kvlinux::IsFolder(mount.target))
            continue;  // a file bound over a file (a container's /etc/hosts)
        std::uint64_t drive_type = 3;
        std::string description = "Local Fixed Disk";
        if (kvlinux::IsNetworkFileSystem(mount.type)) {
            drive_type = 4;
            description = "Network Connection";
        } else if (mount.type == "iso9660" || mount.type == "udf") {
            drive_type = 5;
            description = "CD-ROM Disc";
        } else {
            std::string disk = DiskOfDevice(mount.source, disks);
            for (const kvlinux::DiskInfo& d : disks) {
                if (d.name == disk && (d.removable || d.bus == "usb")) {
                    drive_type = 2;
                    description = "Removable Disk";
                }
            }
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
        b.Set(u"Access", Unsigned(mount.ReadOnly() ? 1 : 3));  // readable / read-write
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kLogicalDiskClass);

}  // namespace kvwmi
