// Wording shared by Win32_NetworkAdapter and Win32_NetworkAdapterConfiguration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvwmi {

// A MAC address in capitals ("00:1A:2B:3C:4D:5E"), as Windows shows it.
std::string UpperMac(const std::string& mac);
// WMI's AdapterType text for an ARPHRD type, or nullopt when Windows would give none.
std::optional<std::string> AdapterTypeOf(std::uint32_t arp_type, bool wireless);

}  // namespace kvwmi
