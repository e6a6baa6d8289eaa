// Shared folders and printers: the sections of Samba's smb.conf and the NFS exports of
// /etc/exports (and /etc/exports.d/*.exports).
//
// Pure parsing plus file reads under a root; safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct SharedResource {
    std::string name;  // the Samba section, or the exported folder for NFS
    std::string path;
    std::string comment;
    bool printer = false;  // a Samba print share
    bool nfs = false;
    std::string clients;  // NFS: the client list as written ("*(ro) 10.0.0.0/8(rw)")
};

// The shares of an smb.conf: every section but [global]; [homes] and [printers] are the
// special shares Samba names so. Keys are compared without case or blanks, as Samba does;
// "available = no" leaves a share out.
std::vector<SharedResource> ParseSambaShares(std::string_view content);
// The exports of an exports file; continuation lines are joined, quoted folders unquoted.
std::vector<SharedResource> ParseNfsExports(std::string_view content);

// Samba's shares from <root>/etc/samba/smb.conf, then the NFS exports.
std::vector<SharedResource> ReadShares(const std::string& root = "/");

}  // namespace kvlinux
