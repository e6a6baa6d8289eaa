// The machine's names and kernel identity (uname, host name, DNS domain).
//
// Safe from any thread.
#pragma once

#include <optional>
#include <string>

namespace kvlinux {

struct HostInfo {
    std::string host_name;              // the kernel's node name, up to the first dot
    std::optional<std::string> domain;  // the DNS domain when the node name is qualified
    std::string kernel_release;         // uname -r: "6.1.0-18-amd64"
    std::string kernel_version;         // uname -v: "#1 SMP PREEMPT_DYNAMIC Debian ..."
    std::string machine;                // uname -m: "x86_64"
};

HostInfo ReadHostInfo();

// "64-bit"/"32-bit" for a uname machine name; empty when unknown.
std::string ArchitectureBits(const std::string& machine);
// The architecture names WMI uses: "x64-based PC", "ARM64-based PC", "X86-based PC".
std::optional<std::string> SystemTypeFor(const std::string& machine);

}  // namespace kvlinux
