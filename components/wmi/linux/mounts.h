// Mounted file systems from /proc/mounts, with their sizes from statvfs.
//
// Pure parsing plus system calls; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct MountEntry {
    std::string source;  // "/dev/sda1", "server:/export", "overlay"
    std::string target;  // "/", "/home"
    std::string type;    // "ext4"
    std::vector<std::string> options;
    bool ReadOnly() const;
};

// Parses mounts text (fstab format). The octal escapes the kernel writes for space, tab,
// newline and backslash (\040 \011 \012 \134) are decoded.
std::vector<MountEntry> ParseMounts(std::string_view content);

// The source of the mount in use on `target` (the last one mounted there), decoded as
// ParseMounts decodes it; nullopt when nothing is mounted there. Reads the text once
// without building every entry.
std::optional<std::string> MountSourceOf(std::string_view content, std::string_view target);

// True for the kernel's virtual file systems (proc, sysfs, cgroup, tmpfs, ...), which are
// not storage and so are no logical disks.
bool IsPseudoFileSystem(std::string_view type);
// True for file systems served over the network (nfs, cifs, sshfs, ...).
bool IsNetworkFileSystem(std::string_view type);

// The storage mounts: pseudo file systems left out, and where one target is mounted over,
// only the last mount kept. In mount order. (Mounts of single files, such as a container's
// bound /etc/hosts, are storage here; the disk classes drop them by checking the target.)
std::vector<MountEntry> StorageMounts(const std::vector<MountEntry>& mounts);

struct VolumeSpace {
    std::uint64_t size = 0;       // bytes: f_blocks * f_frsize
    std::uint64_t available = 0;  // bytes the unprivileged may use: f_bavail * f_frsize
    std::uint64_t free = 0;       // bytes free in all: f_bfree * f_frsize
    std::uint64_t block_size = 0;
};
std::optional<VolumeSpace> ReadVolumeSpace(const std::string& mount_point);

}  // namespace kvlinux
