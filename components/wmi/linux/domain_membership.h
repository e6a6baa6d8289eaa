// Whether the machine has joined a directory domain, as its configuration says: SSSD
// (/etc/sssd/sssd.conf, where realmd and ipa-client write a join) and Samba's winbind
// (/etc/samba/smb.conf with "security = ads" or "domain"). A machine in neither is a
// stand-alone workstation whose workgroup is Samba's "workgroup" setting, if any.
//
// Pure parsing plus small file reads (sssd.conf is readable by root only); safe from any
// thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct DomainMembership {
    std::optional<std::string> domain;     // the joined domain ("CORP.EXAMPLE.COM")
    std::optional<std::string> workgroup;  // smb.conf "workgroup", when not joined
};

// From the text of sssd.conf and smb.conf (either may be empty). SSSD's first configured
// domain wins; then a Samba member's realm (ads) or workgroup (NT4-style domain).
DomainMembership ParseDomainMembership(std::string_view sssd_conf, std::string_view smb_conf);

// Reads the two files under <root>.
DomainMembership ReadDomainMembership(const std::string& root = "/");

}  // namespace kvlinux
