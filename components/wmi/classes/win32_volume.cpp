// Win32_Volume: one instance per mounted storage file system (as Win32_LogicalDisk: pseudo
// file systems left out), and per block device holding a file system that is not mounted
// (a label or UUID under /dev/disk, its type from udev's database). DeviceID is the device
// node ("/dev/sda1"), or the mount point for a file system without one (network, overlay);
// Name is the mount point, else the device node; a device mounted twice is listed once, at
// its first mount point. BootVolume is the root file system; SystemVolume the one holding
// the boot loader (/boot/efi, else /boot, else /). SerialNumber is the FAT/exFAT volume
// id, the one serial Linux keeps in Windows' form. Drive letters do not exist.
#include <unistd.h>

#include <set>
#include <stdexcept>

#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/fill_from_readers.h"
#include "classes/os_facts.h"
#include "linux/block_devices.h"
#include "linux/pci_devices.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillVolume(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kVolumeClass{u"root\\cimv2",
                             u"Win32_Volume",
                             {
                                 {u"Access", CIM_UINT16},
                                 {u"Automount", CIM_BOOLEAN},
                                 {u"Availability", CIM_UINT16},
                                 {u"BlockSize", CIM_UINT64},
                                 {u"BootVolume", CIM_BOOLEAN},
                                 {u"Capacity", CIM_UINT64},
                                 {u"Caption", CIM_STRING},
                                 {u"Compressed", CIM_BOOLEAN},
                                 {u"ConfigManagerErrorCode", CIM_UINT32},
                                 {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                 {u"CreationClassName", CIM_STRING},
                                 {u"Description", CIM_STRING},
                                 {u"DeviceID", CIM_STRING, true},
                                 {u"DirtyBitSet", CIM_BOOLEAN},
                                 {u"DriveLetter", CIM_STRING},
                                 {u"DriveType", CIM_UINT32},
                                 {u"ErrorCleared", CIM_BOOLEAN},
                                 {u"ErrorDescription", CIM_STRING},
                                 {u"ErrorMethodology", CIM_STRING},
                                 {u"FileSystem", CIM_STRING},
                                 {u"FreeSpace", CIM_UINT64},
                                 {u"IndexingEnabled", CIM_BOOLEAN},
                                 {u"InstallDate", CIM_DATETIME},
                                 {u"Label", CIM_STRING},
                                 {u"LastErrorCode", CIM_UINT32},
                                 {u"MaximumFileNameLength", CIM_UINT32},
                                 {u"Name", CIM_STRING},
                                 {u"NumberOfBlocks", CIM_UINT64},
                                 {u"PageFile", CIM_BOOLEAN},
                                 {u"PNPDeviceID", CIM_STRING},
                                 {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                 {u"PowerManagementSupported", CIM_BOOLEAN},
                                 {u"Purpose", CIM_STRING},
                                 {u"QuotasEnabled", CIM_BOOLEAN},
                                 {u"QuotasIncomplete", CIM_BOOLEAN},
                                 {u"QuotasRebuilding", CIM_BOOLEAN},
                                 {u"SerialNumber", CIM_UINT32},
                                 {u"Status", CIM_STRING},
                                 {u"StatusInfo", CIM_UINT16},
                                 {u"SupportsDiskQuotas", CIM_BOOLEAN},
                                 {u"SupportsFileBasedCompression", CIM_BOOLEAN},
                                 {u"SystemCreationClassName", CIM_STRING},
                                 {u"SystemName", CIM_STRING},
                                 {u"SystemVolume", CIM_BOOLEAN},
                             },
                             FillVolume};

// ID_FS_TYPE of a block device in udev's database (/run/udev/data/b<major>:<minor>).
std::string UdevFileSystem(const std::string& node) {
    auto numbers = kvlinux::ReadFirstLine("/sys/class/block/" + node + "/dev");
    if (!numbers)
        return "";
    auto data = kvlinux::ReadFileText("/run/udev/data/b" + *numbers);
    if (!data)
        return "";
    for (std::string_view line : kvlinux::SplitLines(*data)) {
        if (kvlinux::StartsWith(line, "E:ID_FS_TYPE="))
            return std::string(line.substr(13));
    }
    return "";
}

void FillVolume(const ClassDecl& decl, std::vector<Instance>& out) {
    auto text = kvlinux::ReadFileText("/proc/self/mounts");
    if (!text)
        throw std::runtime_error("the mount table cannot be read");
    const auto disks = kvlinux::ReadDisks();
    const auto ids = kvlinux::ReadVolumeIds();
    const auto swaps = kvlinux::ReadSwapAreas();
    std::vector<VolumeFacts> volumes;
    std::set<std::string> seen;
    for (const kvlinux::MountEntry& mount : kvlinux::StorageMounts(kvlinux::ParseMounts(*text))) {
        if (!kvlinux::IsFolder(mount.target))
            continue;  // a file bound over a file
        VolumeFacts v;
        const std::string node = kvlinux::DeviceNodeName(mount.source);
        v.device = node.empty() ? "" : "/dev/" + node;
        if (!seen.insert(node.empty() ? mount.target : node).second)
            continue;
        v.mount_point = mount.target;
        v.file_system = mount.type;
        v.source = mount.source;
        v.read_only = mount.ReadOnly();
        if (kvlinux::IsNetworkFileSystem(mount.type))
            v.drive_type = 4;
        else if (mount.type == "iso9660" || mount.type == "udf")
            v.drive_type = 5;
        else if (kvlinux::OnRemovableDisk(node, disks))
            v.drive_type = 2;
        v.space = kvlinux::ReadVolumeSpace(mount.target);
        const long name_max = ::pathconf(mount.target.c_str(), _PC_NAME_MAX);
        if (name_max > 0)
            v.name_max = static_cast<std::uint64_t>(name_max);
        if (auto found = ids.find(node); found != ids.end())
            v.ids = found->second;
        volumes.push_back(std::move(v));
    }
    for (const auto& [node, volume_ids] : ids) {
        if (seen.count(node))
            continue;
        VolumeFacts v;
        v.device = "/dev/" + node;
        v.file_system = UdevFileSystem(node);
        if (v.file_system == "swap")
            continue;  // a swap area is no volume
        v.drive_type = kvlinux::OnRemovableDisk(node, disks) ? 2 : 3;
        v.ids = volume_ids;
        volumes.push_back(std::move(v));
    }
    FillVolumesFrom(decl, volumes, swaps, ComputerName(), out);
}

// "1A2B-3C4D" (FAT and exFAT volume ids) -> 0x1A2B3C4D; nullopt for other UUIDs.
std::optional<std::uint64_t> FatSerial(const std::optional<std::string>& uuid) {
    if (!uuid || uuid->size() != 9 || (*uuid)[4] != '-')
        return std::nullopt;
    return kvlinux::ParseHex(uuid->substr(0, 4) + uuid->substr(5));
}

}  // namespace

void FillVolumesFrom(const ClassDecl& decl, const std::vector<VolumeFacts>& volumes,
                     const std::vector<kvlinux::SwapArea>& swaps, const std::string& computer,
                     std::vector<Instance>& out) {
    // Where the boot loader lies: the first of these that is a mount point.
    std::string system_mount = "/";
    for (const char* candidate : {"/boot/efi", "/boot"}) {
        bool mounted = false;
        for (const VolumeFacts& v : volumes)
            mounted |= v.mount_point == candidate;
        if (mounted) {
            system_mount = candidate;
            break;
        }
    }
    for (const VolumeFacts& v : volumes) {
        const std::string id = v.device.empty() ? v.mount_point : v.device;
        const std::string name = v.mount_point.empty() ? v.device : v.mount_point;
        bool page_file = false;
        for (const kvlinux::SwapArea& swap : swaps) {
            page_file |= swap.file && !v.mount_point.empty() &&
                         kvlinux::StartsWith(swap.path, v.mount_point == "/" ? std::string("/")
                                                                             : v.mount_point + "/");
        }
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(id));
        b.Set(u"Name", Text(name));
        b.Set(u"Caption", Text(name));
        b.Set(u"Label", Text(v.ids.label));
        b.Set(u"FileSystem", Text(v.file_system));
        b.Set(u"DriveType", Unsigned(v.drive_type));
        if (v.space) {
            b.Set(u"Capacity", Unsigned(v.space->size));
            b.Set(u"FreeSpace", Unsigned(v.space->available));
            b.Set(u"BlockSize", Unsigned(v.space->block_size));
            if (v.space->block_size)
                b.Set(u"NumberOfBlocks", Unsigned(v.space->size / v.space->block_size));
        }
        b.Set(u"MaximumFileNameLength", Unsigned(v.name_max));
        b.Set(u"SerialNumber", Unsigned(FatSerial(v.ids.uuid)));
        if (!v.mount_point.empty()) {
            b.Set(u"Access", Unsigned(v.read_only ? 1 : 3));  // readable / read-write
            b.Set(u"BootVolume", v.mount_point == "/");
            b.Set(u"SystemVolume", v.mount_point == system_mount);
            b.Set(u"PageFile", page_file);
        }
        b.Set(u"Status", Text("OK"));
        SetLogicalDeviceNames(b, decl, computer);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kVolumeClass);

}  // namespace kvwmi
