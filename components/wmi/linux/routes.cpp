#include "linux/routes.h"

#include <arpa/inet.h>

#include <cstring>

#include "linux/pci_devices.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

// The kernel prints the address's four bytes as one word in the machine's byte order.
bool DottedAddress(std::string_view hex, std::string& out) {
    auto word = ParseHex(hex);
    if (!word || hex.size() != 8)
        return false;
    const auto value = static_cast<std::uint32_t>(*word);
    in_addr address;
    std::memcpy(&address, &value, 4);
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &address, text, sizeof text))
        return false;
    out = text;
    return true;
}

}  // namespace

std::vector<Ipv4Route> ParseRouteTable(std::string_view content) {
    std::vector<Ipv4Route> routes;
    for (const auto& fields : TableRows(content, 8)) {
        Ipv4Route route;
        route.interface = std::string(fields[0]);
        auto flags = ParseHex(fields[3]);
        auto metric = ParseUnsigned(fields[6]);
        if (!DottedAddress(fields[1], route.destination) ||
            !DottedAddress(fields[2], route.gateway) || !DottedAddress(fields[7], route.mask) ||
            !flags || !metric || *metric > 0xFFFFFFFF)
            continue;
        route.flags = static_cast<std::uint32_t>(*flags);
        route.metric = static_cast<std::uint32_t>(*metric);
        routes.push_back(std::move(route));
    }
    return routes;
}

std::vector<Ipv4Route> ReadRoutes(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/net/route");
    return text ? ParseRouteTable(*text) : std::vector<Ipv4Route>{};
}

}  // namespace kvlinux
