// Win32_USBController: one instance per PCI function of the USB controller class (0C03).
// DeviceID is the device's PNPDeviceID, as on Windows; the name comes from pci.ids, else
// from the interface the controller implements (UHCI, OHCI, EHCI, xHCI).
#include "classes/cim_properties.h"
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillUsbController(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kUsbControllerClass{u"root\\cimv2", u"Win32_USBController", ControllerProperties(),
                                    FillUsbController};

const char* HostInterfaceName(std::uint32_t class_code) {
    switch (class_code & 0xFF) {
        case 0x00:
            return "Standard Universal PCI to USB Host Controller";
        case 0x10:
            return "Standard OpenHCD USB Host Controller";
        case 0x20:
            return "Standard Enhanced PCI to USB Host Controller";
        case 0x30:
            return "USB xHCI Compliant Host Controller";
        default:
            return "USB Host Controller";
    }
}

void FillUsbController(const ClassDecl& decl, std::vector<Instance>& out) {
    FillUsbControllerFrom(decl, kvlinux::ReadPciDevices(), IdDatabases::Read(),
                          kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillUsbControllerFrom(const ClassDecl& decl, const std::vector<kvlinux::PciDevice>& pci,
                           const IdDatabases& ids, const std::string& host,
                           std::vector<Instance>& out) {
    for (const kvlinux::PciDevice& device : pci) {
        if (device.ClassAndSubclass() != 0x0c03)
            continue;
        kvlinux::IdNames names = kvlinux::ParseIdNames(ids.pci, device.vendor, device.device);
        const std::string name = names.device.value_or(HostInterfaceName(device.class_code));
        const std::string id = kvlinux::PciPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(name));
        b.Set(u"Manufacturer", Text(names.vendor));
        b.Set(u"ProtocolSupported", Unsigned(16));  // USB
        SetDeviceWorking(b, device.driver.has_value());
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kUsbControllerClass);

}  // namespace kvwmi
