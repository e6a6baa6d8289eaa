#include "classes/network_text.h"

#include <algorithm>
#include <cctype>

namespace kvwmi {

std::string UpperMac(const std::string& mac) {
    std::string upper = mac;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

std::optional<std::string> AdapterTypeOf(std::uint32_t arp_type, bool wireless) {
    if (arp_type == 1)
        return wireless ? "Wireless" : "Ethernet 802.3";
    if (arp_type == 772)
        return std::nullopt;  // loopback: Windows gives no type either
    if (arp_type == 768 || arp_type == 776 || arp_type == 65534)
        return "Tunnel";
    return std::nullopt;
}

}  // namespace kvwmi
