#include "classes/device_classes.h"

#include <cctype>
#include <cstdio>

#include "classes/class_values.h"

namespace kvwmi {

namespace {

constexpr SetupClass kDisplay{"Display", "{4d36e968-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kNet{"Net", "{4d36e972-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kHdc{"HDC", "{4d36e96a-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kScsiAdapter{"SCSIAdapter", "{4d36e97b-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kMedia{"MEDIA", "{4d36e96c-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kSystem{"System", "{4d36e97d-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kUsb{"USB", "{36fc9e60-c465-11cf-8056-444553540000}"};
constexpr SetupClass kUsbDevice{"USBDevice", "{88bae032-5a81-49f0-bc3d-a4ff138216d6}"};
constexpr SetupClass kHid{"HIDClass", "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}"};
constexpr SetupClass kPorts{"Ports", "{4d36e978-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kImage{"Image", "{6bdd1fc6-810f-11d0-bec7-08002be2092f}"};
constexpr SetupClass kPrinter{"Printer", "{4d36e979-e325-11ce-bfc1-08002be10318}"};
constexpr SetupClass kBluetooth{"Bluetooth", "{e0cbf06c-cd8b-4647-bb8a-263b43f0f974}"};

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

SetupClass SetupClassOfPci(std::uint32_t class_code) {
    switch (class_code >> 16) {
        case 0x01:
            // IDE, ATA and AHCI controllers are Windows' "hard disk controllers"; SCSI, SAS,
            // RAID, NVMe and virtual storage are storage adapters.
            switch ((class_code >> 8) & 0xFF) {
                case 0x01:
                case 0x05:
                case 0x06:
                    return kHdc;
                default:
                    return kScsiAdapter;
            }
        case 0x02:
            return kNet;
        case 0x03:
            return kDisplay;
        case 0x04:
            return kMedia;
        case 0x05:
        case 0x06:
        case 0x08:
            return kSystem;
        case 0x07:
            return kPorts;
        case 0x0c:
            return ((class_code >> 8) & 0xFF) == 0x03 ? kUsb : kSystem;
        case 0x0d:
            return kNet;
        default:
            return {};
    }
}

SetupClass SetupClassOfUsb(const kvlinux::UsbDevice& device) {
    if (device.IsHub())
        return kUsb;
    // A device's class is in its interfaces when the device descriptor leaves it at 0.
    std::vector<std::uint8_t> classes = device.interface_classes;
    if (device.device_class != 0)
        classes.insert(classes.begin(), device.device_class);
    for (std::uint8_t c : classes) {
        switch (c) {
            case 0x01:
                return kMedia;
            case 0x02:
                return kPorts;
            case 0x03:
                return kHid;
            case 0x06:
                return kImage;
            case 0x07:
                return kPrinter;
            case 0x0e:
                return kImage;
            case 0xe0:
                return kBluetooth;
            default:
                break;
        }
    }
    return kUsbDevice;
}

IdDatabases IdDatabases::Read() {
    return {kvlinux::ReadIdDatabase("pci.ids"), kvlinux::ReadIdDatabase("usb.ids")};
}

kvlinux::IdNames PciNames(const IdDatabases& ids, const kvlinux::PciDevice& device) {
    kvlinux::IdNames names = kvlinux::ParseIdNames(ids.pci, device.vendor, device.device);
    if (!names.device)
        names.device = kvlinux::PciClassName(device.class_code);
    return names;
}

kvlinux::IdNames UsbNames(const IdDatabases& ids, const kvlinux::UsbDevice& device) {
    kvlinux::IdNames names{device.manufacturer, device.product_name};
    if (!names.vendor || !names.device) {
        kvlinux::IdNames listed = kvlinux::ParseIdNames(ids.usb, device.vendor, device.product);
        if (!names.vendor)
            names.vendor = listed.vendor;
        if (!names.device)
            names.device = listed.device;
    }
    if (device.IsRootHub())
        names.device = "USB Root Hub";
    if (!names.device)
        names.device = device.IsHub() ? "Generic USB Hub" : "USB Composite Device";
    return names;
}

std::vector<std::string> PciHardwareIds(const kvlinux::PciDevice& d) {
    const std::string ven_dev = "PCI\\VEN_" + Hex(d.vendor, 4) + "&DEV_" + Hex(d.device, 4);
    const std::string subsys = "&SUBSYS_" + Hex(d.subsystem_device, 4) + Hex(d.subsystem_vendor, 4);
    return {ven_dev + subsys + "&REV_" + Hex(d.revision, 2), ven_dev + subsys,
            ven_dev + "&CC_" + Hex(d.class_code, 6), ven_dev + "&CC_" + Hex(d.class_code >> 8, 4)};
}

std::vector<std::string> PciCompatibleIds(const kvlinux::PciDevice& d) {
    const std::string ven = "PCI\\VEN_" + Hex(d.vendor, 4);
    const std::string ven_dev = ven + "&DEV_" + Hex(d.device, 4);
    const std::string cc = Hex(d.class_code, 6), cc_short = Hex(d.class_code >> 8, 4);
    return {ven_dev + "&REV_" + Hex(d.revision, 2),
            ven_dev,
            ven + "&CC_" + cc,
            ven + "&CC_" + cc_short,
            ven,
            "PCI\\CC_" + cc,
            "PCI\\CC_" + cc_short};
}

std::string PnpIdPart(const std::optional<std::string>& text, size_t limit) {
    std::string part;
    for (char c : text.value_or("")) {
        if (part.size() == limit)
            break;
        part += c == ' ' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    while (!part.empty() && part.back() == '_')
        part.pop_back();
    return part;
}

void SetLogicalDeviceNames(InstanceBuilder& b, const ClassDecl& decl, const std::string& host) {
    b.Set(u"CreationClassName", std::u16string(decl.name));
    b.Set(u"SystemCreationClassName", Text("Win32_ComputerSystem"));
    b.Set(u"SystemName", Text(host));
}

void SetPnpDeviceNames(InstanceBuilder& b, const std::string& pnp_id, const CimValue& name) {
    b.Set(u"DeviceID", Text(pnp_id));
    b.Set(u"PNPDeviceID", Text(pnp_id));
    b.Set(u"Name", name);
    b.Set(u"Caption", name);
    b.Set(u"Description", name);
}

void SetDeviceWorking(InstanceBuilder& b, bool works) {
    b.Set(u"ConfigManagerUserConfig", false);
    if (works) {
        b.Set(u"ConfigManagerErrorCode", Unsigned(0));
        b.Set(u"Status", Text("OK"));
    }
}

}  // namespace kvwmi
