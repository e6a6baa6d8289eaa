// The kernel's IPv4 routing table, /proc/net/route.
//
// Pure parsing plus a file read under a proc root; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct Ipv4Route {
    std::string interface;    // "eth0"
    std::string destination;  // dotted: "0.0.0.0" for the default route
    std::string gateway;      // "0.0.0.0" for a directly connected network
    std::string mask;
    std::uint32_t flags = 0;  // RTF_UP 0x1, RTF_GATEWAY 0x2, RTF_HOST 0x4, RTF_REJECT 0x200
    std::uint32_t metric = 0;
};

// Parses the table (a header line, then "Iface Destination Gateway Flags RefCnt Use Metric
// Mask MTU Window IRTT" with addresses as the kernel's hexadecimal words).
std::vector<Ipv4Route> ParseRouteTable(std::string_view content);
std::vector<Ipv4Route> ReadRoutes(const std::string& proc_root = "/proc");

}  // namespace kvlinux
