// Win32_NetworkAdapter: one instance per network interface of /sys/class/net, loopback
// included (Windows lists its loopback pseudo-interface too). DeviceID is the interface
// index as text, Index and InterfaceIndex the index; Name and NetConnectionID the
// interface name ("eth0"). MACAddress is in capitals as Windows shows it. Speed is in bits
// per second. NetConnectionStatus uses WMI's codes: 2 connected, 7 media disconnected,
// 0 disconnected. A physical adapter's PNPDeviceID is built from the PCI or USB ids of its
// device (sysfs), and Manufacturer and ProductName are those ids' names in the pci.ids or
// usb.ids database, looked up only when a query asks for them.
#include "classes/class_values.h"
#include "classes/network_text.h"
#include "linux/device_ids.h"
#include "linux/network.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillNetworkAdapter(const ClassDecl& decl, const Selection& selection,
                        std::vector<Instance>& out);

const ClassDecl kNetworkAdapterClass{
    u"root\\cimv2",
    u"Win32_NetworkAdapter",
    {
        {u"AdapterType", CIM_STRING},
        {u"AdapterTypeID", CIM_UINT16},
        {u"AutoSense", CIM_BOOLEAN},
        {u"Availability", CIM_UINT16},
        {u"Caption", CIM_STRING},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"CreationClassName", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"GUID", CIM_STRING},
        {u"Index", CIM_UINT32},
        {u"InstallDate", CIM_DATETIME},
        {u"Installed", CIM_BOOLEAN},
        {u"InterfaceIndex", CIM_UINT32},
        {u"LastErrorCode", CIM_UINT32},
        {u"MACAddress", CIM_STRING},
        {u"Manufacturer", CIM_STRING},
        {u"MaxNumberControlled", CIM_UINT32},
        {u"MaxSpeed", CIM_UINT64},
        {u"Name", CIM_STRING},
        {u"NetConnectionID", CIM_STRING},
        {u"NetConnectionStatus", CIM_UINT16},
        {u"NetEnabled", CIM_BOOLEAN},
        {u"NetworkAddresses", CIM_STRING | CIM_FLAG_ARRAY},
        {u"PermanentAddress", CIM_STRING},
        {u"PhysicalAdapter", CIM_BOOLEAN},
        {u"PNPDeviceID", CIM_STRING},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"ProductName", CIM_STRING},
        {u"ServiceName", CIM_STRING},
        {u"Speed", CIM_UINT64},
        {u"Status", CIM_STRING},
        {u"StatusInfo", CIM_UINT16},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
        {u"TimeOfLastReset", CIM_DATETIME},
    },
    nullptr,
    FillNetworkAdapter};

void FillNetworkAdapter(const ClassDecl& decl, const Selection& selection,
                        std::vector<Instance>& out) {
    const bool wants_names =
        selection.Wants(decl, u"Manufacturer") || selection.Wants(decl, u"ProductName");
    for (const kvlinux::NetInterface& nic : kvlinux::ReadNetInterfaces()) {
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(std::to_string(nic.index)));
        b.Set(u"Index", Unsigned(nic.index));
        b.Set(u"InterfaceIndex", Unsigned(nic.index));
        b.Set(u"Name", Text(nic.name));
        b.Set(u"NetConnectionID", Text(nic.name));
        b.Set(u"Caption", Text(nic.name));
        b.Set(u"Description", Text(nic.name));
        b.Set(u"AdapterType", Text(AdapterTypeOf(nic.arp_type, nic.wireless)));
        if (nic.mac)
            b.Set(u"MACAddress", Text(UpperMac(*nic.mac)));
        if (nic.speed_mbps)
            b.Set(u"Speed", Unsigned(*nic.speed_mbps * 1000000));
        // "unknown" is what virtual interfaces that carry traffic report (lo, tun).
        const bool up = nic.operstate == "up" || nic.operstate == "unknown";
        b.Set(u"NetEnabled", up);
        b.Set(u"NetConnectionStatus",
              Unsigned(up                                                                ? 2
                       : nic.operstate == "lowerlayerdown" || nic.operstate == "dormant" ? 7
                                                                                         : 0));
        b.Set(u"PhysicalAdapter", nic.physical);
        b.Set(u"ServiceName", Text(nic.driver));
        b.Set(u"CreationClassName", Text("Win32_NetworkAdapter"));
        b.Set(u"Installed", true);
        if (nic.physical) {
            if (auto ids = kvlinux::ReadDeviceIds("/sys/class/net/" + nic.name + "/device")) {
                b.Set(u"PNPDeviceID", Text(kvlinux::PnpDeviceId(*ids)));
                if (wants_names) {
                    const kvlinux::IdNames names = kvlinux::LookUpIdNames(*ids);
                    b.Set(u"Manufacturer", Text(names.vendor));
                    b.Set(u"ProductName", Text(names.device));
                }
            }
        }
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kNetworkAdapterClass);

}  // namespace kvwmi
