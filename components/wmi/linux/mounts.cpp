#include "linux/mounts.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <array>

#include "linux/text_util.h"

namespace kvlinux {

bool MountEntry::ReadOnly() const {
    return std::find(options.begin(), options.end(), "ro") != options.end();
}

namespace {

std::string DecodeOctalEscapes(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            std::string_view digits = text.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(),
                                                  [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                         (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace

std::vector<MountEntry> ParseMounts(std::string_view content) {
    std::vector<MountEntry> mounts;
    for (std::string_view line : SplitLines(content)) {
        auto fields = SplitFields(line);
        if (fields.size() < 4 || fields[0].front() == '#')
            continue;
        MountEntry entry;
        entry.source = DecodeOctalEscapes(fields[0]);
        entry.target = DecodeOctalEscapes(fields[1]);
        entry.type = DecodeOctalEscapes(fields[2]);
        std::string_view options = fields[3];
        size_t start = 0;
        while (start <= options.size()) {
            size_t comma = options.find(',', start);
            if (comma == std::string_view::npos)
                comma = options.size();
            if (comma > start)
                entry.options.emplace_back(options.substr(start, comma - start));
            start = comma + 1;
        }
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::optional<std::string> MountSourceOf(std::string_view content, std::string_view target) {
    std::optional<std::string> source;
    if (target.empty())
        return source;
    for (std::string_view line : SplitLines(content)) {
        // The kernel separates fields by single spaces and escapes those inside a field.
        const size_t first_end = line.find(' ');
        if (first_end == std::string_view::npos || first_end == 0 || line.front() == '#')
            continue;
        const size_t second_end = line.find(' ', first_end + 1);
        if (second_end == std::string_view::npos)
            continue;
        const std::string_view second = line.substr(first_end + 1, second_end - first_end - 1);
        if (second != target &&
            (second.find('\\') == std::string_view::npos || DecodeOctalEscapes(second) != target))
            continue;
        source = DecodeOctalEscapes(line.substr(0, first_end));
    }
    return source;
}

bool IsPseudoFileSystem(std::string_view type) {
    static constexpr std::array<std::string_view, 27> kPseudo = {
        "autofs",          "binfmt_misc", "bpf",      "cgroup",   "cgroup2", "configfs",
        "debugfs",         "devpts",      "devtmpfs", "efivarfs", "fusectl", "hugetlbfs",
        "mqueue",          "nsfs",        "proc",     "pstore",   "ramfs",   "rpc_pipefs",
        "securityfs",      "selinuxfs",   "sysfs",    "tmpfs",    "tracefs", "squashfs",
        "fuse.gvfsd-fuse", "fuse.portal", "nfsd"};
    return std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end();
}

bool IsNetworkFileSystem(std::string_view type) {
    static constexpr std::array<std::string_view, 9> kNetwork = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "afs", "ceph"};
    return std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end();
}

std::vector<MountEntry> StorageMounts(const std::vector<MountEntry>& mounts) {
    std::vector<MountEntry> out;
    for (const MountEntry& mount : mounts) {
        if (IsPseudoFileSystem(mount.type))
            continue;
        // A later mount on the same target hides the earlier one.
        out.erase(std::remove_if(out.begin(), out.end(),
                                 [&](const MountEntry& m) { return m.target == mount.target; }),
                  out.end());
        out.push_back(mount);
    }
    return out;
}

std::optional<VolumeSpace> ReadVolumeSpace(const std::string& mount_point) {
    struct statvfs st;
    if (::statvfs(mount_point.c_str(), &st) != 0)
        return std::nullopt;
    VolumeSpace space;
    std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    space.block_size = unit;
    space.size = static_cast<std::uint64_t>(st.f_blocks) * unit;
    space.available = static_cast<std::uint64_t>(st.f_bavail) * unit;
    space.free = static_cast<std::uint64_t>(st.f_bfree) * unit;
    return space;
}

}  // namespace kvlinux
