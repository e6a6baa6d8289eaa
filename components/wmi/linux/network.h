// Network interfaces from /sys/class/net, their addresses from getifaddrs, the default
// gateways from /proc/net/route and /proc/net/ipv6_route, and the resolver settings from
// /etc/resolv.conf.
//
// Pure parsing plus reads; safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct NetInterface {
    std::string name;  // "eth0"
    std::uint32_t index = 0;
    std::optional<std::string> mac;  // "00:1a:2b:3c:4d:5e" as sysfs writes it
    std::string operstate;           // "up", "down", "unknown", "dormant", ...
    std::optional<std::uint64_t> speed_mbps;
    std::optional<std::uint32_t> mtu;
    std::uint32_t arp_type = 0;  // ARPHRD_*: 1 Ethernet, 772 loopback, 801 wireless
    bool physical = false;       // backed by a device (not lo, bridges, veth, tunnels)
    bool wireless = false;
    std::optional<std::string> driver;  // kernel module of the device
};

// The interfaces under <sys_root>/class/net, by index.
std::vector<NetInterface> ReadNetInterfaces(const std::string& sys_root = "/sys");

struct InterfaceAddress {
    std::string address;  // "192.168.1.5", "fe80::1"
    std::string subnet;   // IPv4 dotted mask "255.255.255.0"; IPv6 prefix length "64"
    bool ipv6 = false;
};
// Every interface's addresses from getifaddrs, IPv4 before IPv6, keyed by interface name.
std::map<std::string, std::vector<InterfaceAddress>> ReadInterfaceAddresses();

// The IPv4 dotted mask of a prefix length (24 gives "255.255.255.0").
std::string Ipv4MaskFromPrefix(unsigned prefix);

// Default gateways per interface: /proc/net/route lines with destination 0 and the gateway
// flag (IPv4, little-endian hex), then /proc/net/ipv6_route lines for ::/0.
std::map<std::string, std::vector<std::string>> ParseDefaultGateways(std::string_view route,
                                                                     std::string_view ipv6_route);
std::map<std::string, std::vector<std::string>> ReadDefaultGateways(
    const std::string& proc_root = "/proc");

struct ResolverConfig {
    std::vector<std::string> nameservers;
    std::vector<std::string> search;  // "search" domains, or the "domain" line
};
ResolverConfig ParseResolvConf(std::string_view content);
ResolverConfig ReadResolvConf(const std::string& root = "/");

}  // namespace kvlinux
