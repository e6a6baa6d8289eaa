#include "linux/network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <memory>

#include "linux/text_util.h"

namespace kvlinux {

std::vector<NetInterface> ReadNetInterfaces(const std::string& sys_root) {
    std::vector<NetInterface> out;
    const std::string base = sys_root + "/class/net";
    for (const std::string& name : ListFolder(base)) {
        const std::string dir = base + "/" + name;
        auto index = ParseUnsigned(ReadFirstLine(dir + "/ifindex").value_or(""));
        if (!index)
            continue;  // bonding_masters and other plain files
        NetInterface nic;
        nic.name = name;
        nic.index = static_cast<std::uint32_t>(*index);
        nic.mac = ReadFirstLine(dir + "/address");
        if (nic.mac && (nic.mac->empty() || *nic.mac == "00:00:00:00:00:00"))
            nic.mac.reset();
        nic.operstate = ReadFirstLine(dir + "/operstate").value_or("unknown");
        // speed reads as -1 (or fails) when the link is down or the driver cannot tell.
        if (auto speed = ParseSigned(ReadFirstLine(dir + "/speed").value_or(""));
            speed && *speed > 0)
            nic.speed_mbps = static_cast<std::uint64_t>(*speed);
        if (auto mtu = ParseUnsigned(ReadFirstLine(dir + "/mtu").value_or("")))
            nic.mtu = static_cast<std::uint32_t>(*mtu);
        nic.arp_type = static_cast<std::uint32_t>(
            ParseUnsigned(ReadFirstLine(dir + "/type").value_or("")).value_or(0));
        nic.physical = ReadLink(dir + "/device").has_value();
        nic.wireless = IsFolder(dir + "/wireless") || IsFolder(dir + "/phy80211");
        if (auto driver = ReadLink(dir + "/device/driver"))
            nic.driver = driver->substr(driver->rfind('/') + 1);
        out.push_back(std::move(nic));
    }
    std::sort(out.begin(), out.end(),
              [](const NetInterface& a, const NetInterface& b) { return a.index < b.index; });
    return out;
}

std::string Ipv4MaskFromPrefix(unsigned prefix) {
    std::uint32_t mask = prefix == 0    ? 0
                         : prefix >= 32 ? 0xFFFFFFFFu
                                        : ~((1u << (32 - prefix)) - 1);
    return std::to_string(mask >> 24) + "." + std::to_string((mask >> 16) & 0xFF) + "." +
           std::to_string((mask >> 8) & 0xFF) + "." + std::to_string(mask & 0xFF);
}

std::map<std::string, std::vector<InterfaceAddress>> ReadInterfaceAddresses() {
    std::map<std::string, std::vector<InterfaceAddress>> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> holder(list, ::freeifaddrs);
    std::map<std::string, std::vector<InterfaceAddress>> v6;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || !a->ifa_name)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ifa_addr->sa_family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(a->ifa_addr);
            ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            std::string mask = "0.0.0.0";
            if (a->ifa_netmask) {
                char m[INET_ADDRSTRLEN] = {};
                ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr, m,
                            sizeof m);
                mask = m;
            }
            out[a->ifa_name].push_back({text, mask, false});
        } else if (a->ifa_addr->sa_family == AF_INET6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(a->ifa_addr);
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            unsigned prefix = 0;
            if (a->ifa_netmask) {
                auto* mask = reinterpret_cast<sockaddr_in6*>(a->ifa_netmask);
                for (unsigned char byte : mask->sin6_addr.s6_addr)
                    prefix += static_cast<unsigned>(std::popcount(byte));
            }
            v6[a->ifa_name].push_back({text, std::to_string(prefix), true});
        }
    }
    for (auto& [name, addresses] : v6) {
        auto& all = out[name];
        all.insert(all.end(), addresses.begin(), addresses.end());
    }
    return out;
}

std::map<std::string, std::vector<std::string>> ParseDefaultGateways(std::string_view route,
                                                                     std::string_view ipv6_route) {
    std::map<std::string, std::vector<std::string>> out;
    for (std::string_view line : SplitLines(route)) {
        auto f = SplitFields(line);
        // Iface Destination Gateway Flags ...; RTF_GATEWAY is 0x2.
        if (f.size() < 4 || f[1] != "00000000")
            continue;
        std::uint32_t gateway = 0, flags = 0;
        try {
            gateway = static_cast<std::uint32_t>(std::stoul(std::string(f[2]), nullptr, 16));
            flags = static_cast<std::uint32_t>(std::stoul(std::string(f[3]), nullptr, 16));
        } catch (...) {
            continue;
        }
        if (!(flags & 0x2))
            continue;
        // The kernel writes the address in host order of a little-endian machine: the first
        // octet in the lowest byte.
        std::string text =
            std::to_string(gateway & 0xFF) + "." + std::to_string((gateway >> 8) & 0xFF) + "." +
            std::to_string((gateway >> 16) & 0xFF) + "." + std::to_string(gateway >> 24);
        out[std::string(f[0])].push_back(text);
    }
    for (std::string_view line : SplitLines(ipv6_route)) {
        auto f = SplitFields(line);
        // dest dest_len src src_len next_hop metric refcnt use flags iface
        const std::string zeros(32, '0');
        if (f.size() < 10 || f[0] != zeros || f[1] != "00" || f[4] == zeros || f[4].size() != 32)
            continue;
        in6_addr addr{};
        try {
            for (size_t i = 0; i < 16; ++i)
                addr.s6_addr[i] = static_cast<unsigned char>(
                    std::stoul(std::string(f[4].substr(i * 2, 2)), nullptr, 16));
        } catch (...) {
            continue;
        }
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, &addr, text, sizeof text);
        out[std::string(f[9])].push_back(text);
    }
    return out;
}

std::map<std::string, std::vector<std::string>> ReadDefaultGateways(const std::string& proc_root) {
    return ParseDefaultGateways(ReadFileText(proc_root + "/net/route").value_or(""),
                                ReadFileText(proc_root + "/net/ipv6_route").value_or(""));
}

ResolverConfig ParseResolvConf(std::string_view content) {
    ResolverConfig config;
    for (std::string_view line : SplitLines(content)) {
        auto f = SplitFields(line);
        if (f.size() < 2 || f[0].front() == '#' || f[0].front() == ';')
            continue;
        if (f[0] == "nameserver") {
            config.nameservers.emplace_back(f[1]);
        } else if (f[0] == "search" || f[0] == "domain") {
            // The last of "search" and "domain" wins, as in the resolver.
            config.search.clear();
            for (size_t i = 1; i < f.size(); ++i)
                config.search.emplace_back(f[i]);
        }
    }
    return config;
}

ResolverConfig ReadResolvConf(const std::string& root) {
    return ParseResolvConf(ReadFileText(UnderRoot(root, "/etc/resolv.conf")).value_or(""));
}

}  // namespace kvlinux
