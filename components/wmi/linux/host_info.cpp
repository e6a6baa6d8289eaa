#include "linux/host_info.h"

#include <sys/utsname.h>

namespace kvlinux {

HostInfo ReadHostInfo() {
    HostInfo info;
    struct utsname names;
    if (::uname(&names) != 0)
        return info;
    std::string node = names.nodename;
    size_t dot = node.find('.');
    info.host_name = node.substr(0, dot);
    if (dot != std::string::npos && dot + 1 < node.size())
        info.domain = node.substr(dot + 1);
    info.kernel_release = names.release;
    info.kernel_version = names.version;
    info.machine = names.machine;
    return info;
}

std::string ArchitectureBits(const std::string& machine) {
    if (machine == "x86_64" || machine == "aarch64" || machine == "ppc64le" || machine == "s390x" ||
        machine == "riscv64" || machine == "loongarch64")
        return "64-bit";
    if (machine == "i386" || machine == "i686" || machine.rfind("armv", 0) == 0)
        return "32-bit";
    return "";
}

std::optional<std::string> SystemTypeFor(const std::string& machine) {
    if (machine == "x86_64")
        return "x64-based PC";
    if (machine == "aarch64")
        return "ARM64-based PC";
    if (machine == "i386" || machine == "i686")
        return "X86-based PC";
    return std::nullopt;
}

}  // namespace kvlinux
