// Win32_NetworkAdapterConfiguration: one instance per network interface, keyed by the same
// Index as Win32_NetworkAdapter. IPAddress lists the IPv4 addresses then the IPv6 ones (from
// getifaddrs); IPSubnet gives, in the same order, the dotted mask of each IPv4 address and
// the prefix length of each IPv6 one, exactly as Windows does. DefaultIPGateway comes from
// the kernel's routing tables; DNSServerSearchOrder and DNSDomain from /etc/resolv.conf,
// given for interfaces that have an address (Linux resolves through one list for all).
// Whether an address came from DHCP is known only to the DHCP client, so DHCPEnabled is
// null.
#include "classes/class_values.h"
#include "classes/network_text.h"
#include "linux/host_info.h"
#include "linux/network.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillNetworkAdapterConfiguration(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kNetworkAdapterConfigurationClass{
    u"root\\cimv2",
    u"Win32_NetworkAdapterConfiguration",
    {
        {u"Caption", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"SettingID", CIM_STRING},
        {u"ArpAlwaysSourceRoute", CIM_BOOLEAN},
        {u"ArpUseEtherSNAP", CIM_BOOLEAN},
        {u"DatabasePath", CIM_STRING},
        {u"DeadGWDetectEnabled", CIM_BOOLEAN},
        {u"DefaultIPGateway", CIM_STRING | CIM_FLAG_ARRAY},
        {u"DefaultTOS", CIM_UINT8},
        {u"DefaultTTL", CIM_UINT8},
        {u"DHCPEnabled", CIM_BOOLEAN},
        {u"DHCPLeaseExpires", CIM_DATETIME},
        {u"DHCPLeaseObtained", CIM_DATETIME},
        {u"DHCPServer", CIM_STRING},
        {u"DNSDomain", CIM_STRING},
        {u"DNSDomainSuffixSearchOrder", CIM_STRING | CIM_FLAG_ARRAY},
        {u"DNSEnabledForWINSResolution", CIM_BOOLEAN},
        {u"DNSHostName", CIM_STRING},
        {u"DNSServerSearchOrder", CIM_STRING | CIM_FLAG_ARRAY},
        {u"DomainDNSRegistrationEnabled", CIM_BOOLEAN},
        {u"ForwardBufferMemory", CIM_UINT32},
        {u"FullDNSRegistrationEnabled", CIM_BOOLEAN},
        {u"GatewayCostMetric", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"IGMPLevel", CIM_UINT8},
        {u"Index", CIM_UINT32, true},
        {u"InterfaceIndex", CIM_UINT32},
        {u"IPAddress", CIM_STRING | CIM_FLAG_ARRAY},
        {u"IPConnectionMetric", CIM_UINT32},
        {u"IPEnabled", CIM_BOOLEAN},
        {u"IPFilterSecurityEnabled", CIM_BOOLEAN},
        {u"IPPortSecurityEnabled", CIM_BOOLEAN},
        {u"IPSecPermitIPProtocols", CIM_STRING | CIM_FLAG_ARRAY},
        {u"IPSecPermitTCPPorts", CIM_STRING | CIM_FLAG_ARRAY},
        {u"IPSecPermitUDPPorts", CIM_STRING | CIM_FLAG_ARRAY},
        {u"IPSubnet", CIM_STRING | CIM_FLAG_ARRAY},
        {u"IPUseZeroBroadcast", CIM_BOOLEAN},
        {u"IPXAddress", CIM_STRING},
        {u"IPXEnabled", CIM_BOOLEAN},
        {u"IPXFrameType", CIM_UINT32 | CIM_FLAG_ARRAY},
        {u"IPXMediaType", CIM_UINT32},
        {u"IPXNetworkNumber", CIM_STRING | CIM_FLAG_ARRAY},
        {u"IPXVirtualNetNumber", CIM_STRING},
        {u"KeepAliveInterval", CIM_UINT32},
        {u"KeepAliveTime", CIM_UINT32},
        {u"MACAddress", CIM_STRING},
        {u"MTU", CIM_UINT32},
        {u"NumForwardPackets", CIM_UINT32},
        {u"PMTUBHDetectEnabled", CIM_BOOLEAN},
        {u"PMTUDiscoveryEnabled", CIM_BOOLEAN},
        {u"ServiceName", CIM_STRING},
        {u"TcpipNetbiosOptions", CIM_UINT32},
        {u"TcpMaxConnectRetransmissions", CIM_UINT32},
        {u"TcpMaxDataRetransmissions", CIM_UINT32},
        {u"TcpNumConnections", CIM_UINT32},
        {u"TcpUseRFC1122UrgentPointer", CIM_BOOLEAN},
        {u"TcpWindowSize", CIM_UINT16},
        {u"WINSEnableLMHostsLookup", CIM_BOOLEAN},
        {u"WINSHostLookupFile", CIM_STRING},
        {u"WINSPrimaryServer", CIM_STRING},
        {u"WINSScopeID", CIM_STRING},
        {u"WINSSecondaryServer", CIM_STRING},
    },
    FillNetworkAdapterConfiguration};

constexpr std::uint32_t kLoopback = 772;  // ARPHRD_LOOPBACK

void FillNetworkAdapterConfiguration(const ClassDecl& decl, std::vector<Instance>& out) {
    const auto addresses = kvlinux::ReadInterfaceAddresses();
    const auto gateways = kvlinux::ReadDefaultGateways();
    const kvlinux::ResolverConfig resolver = kvlinux::ReadResolvConf();
    const kvlinux::HostInfo host = kvlinux::ReadHostInfo();
    for (const kvlinux::NetInterface& nic : kvlinux::ReadNetInterfaces()) {
        InstanceBuilder b(decl);
        b.Set(u"Index", Unsigned(nic.index));
        b.Set(u"InterfaceIndex", Unsigned(nic.index));
        b.Set(u"SettingID", Text(nic.name));
        b.Set(u"Caption", Text(nic.name));
        b.Set(u"Description", Text(nic.name));
        if (nic.mac)
            b.Set(u"MACAddress", Text(UpperMac(*nic.mac)));
        auto found = addresses.find(nic.name);
        const bool has_ip = found != addresses.end() && !found->second.empty();
        b.Set(u"IPEnabled", has_ip);
        if (has_ip) {
            std::vector<std::string> ips, subnets;
            for (const kvlinux::InterfaceAddress& a : found->second) {
                ips.push_back(a.address);
                subnets.push_back(a.subnet);
            }
            b.Set(u"IPAddress", TextArray(ips));
            b.Set(u"IPSubnet", TextArray(subnets));
            if (auto g = gateways.find(nic.name); g != gateways.end())
                b.Set(u"DefaultIPGateway", TextArray(g->second));
        }
        // The resolver serves the interfaces that lead somewhere; loopback has no DNS
        // settings, as on Windows.
        if (has_ip && nic.arp_type != kLoopback) {
            b.Set(u"DNSHostName", Text(host.host_name));
            if (!resolver.search.empty()) {
                b.Set(u"DNSDomain", Text(resolver.search.front()));
                b.Set(u"DNSDomainSuffixSearchOrder", TextArray(resolver.search));
            }
            if (!resolver.nameservers.empty())
                b.Set(u"DNSServerSearchOrder", TextArray(resolver.nameservers));
        }
        b.Set(u"MTU", Unsigned(nic.mtu));
        b.Set(u"ServiceName", Text(nic.driver));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kNetworkAdapterConfigurationClass);

}  // namespace kvwmi
