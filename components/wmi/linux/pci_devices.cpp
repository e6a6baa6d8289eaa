#include "linux/pci_devices.h"

#include <cstdio>

#include "kvwin/hex_digit.h"
#include "linux/device_ids.h"
#include "linux/text_util.h"

namespace kvlinux {

std::optional<std::uint64_t> ParseHex(std::string_view text) {
    text = Trim(text);
    if (StartsWith(text, "0x") || StartsWith(text, "0X"))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = kvwin::HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

namespace {

std::optional<std::uint64_t> HexAttribute(const std::string& path) {
    auto line = ReadFirstLine(path);
    return line ? ParseHex(*line) : std::nullopt;
}

std::optional<std::string> DriverOf(const std::string& device_dir) {
    auto target = ReadLink(device_dir + "/driver");
    if (!target)
        return std::nullopt;
    return target->substr(target->rfind('/') + 1);
}

std::optional<std::string> TextAttribute(const std::string& path) {
    auto line = ReadFirstLine(path);
    if (!line || Trim(*line).empty())
        return std::nullopt;
    return std::string(Trim(*line));
}

}  // namespace

std::vector<PciDevice> ReadPciDevices(const std::string& sys_root) {
    std::vector<PciDevice> devices;
    const std::string dir = sys_root + "/bus/pci/devices";
    for (const std::string& name : ListFolder(dir)) {
        const std::string path = dir + "/" + name;
        auto class_code = HexAttribute(path + "/class");
        auto vendor = HexAttribute(path + "/vendor");
        auto device = HexAttribute(path + "/device");
        if (!class_code || !vendor || !device)
            continue;
        PciDevice d;
        d.address = name;
        d.class_code = static_cast<std::uint32_t>(*class_code & 0xFFFFFF);
        d.vendor = static_cast<std::uint16_t>(*vendor);
        d.device = static_cast<std::uint16_t>(*device);
        d.subsystem_vendor =
            static_cast<std::uint16_t>(HexAttribute(path + "/subsystem_vendor").value_or(0));
        d.subsystem_device =
            static_cast<std::uint16_t>(HexAttribute(path + "/subsystem_device").value_or(0));
        d.revision = static_cast<std::uint8_t>(HexAttribute(path + "/revision").value_or(0));
        d.driver = DriverOf(path);
        devices.push_back(std::move(d));
    }
    return devices;
}

std::string PciPnpDeviceId(const PciDevice& d) {
    DeviceIds ids;
    ids.vendor = d.vendor;
    ids.device = d.device;
    ids.subsystem_vendor = d.subsystem_vendor;
    ids.subsystem_device = d.subsystem_device;
    ids.revision = d.revision;
    ids.instance = d.address;
    return PnpDeviceId(ids);
}

std::string PciClassName(std::uint32_t class_code) {
    struct Name {
        std::uint16_t code;  // base class and subclass
        const char* text;
    };
    static constexpr Name kNames[] = {
        {0x0100, "SCSI storage controller"},
        {0x0101, "IDE interface"},
        {0x0104, "RAID bus controller"},
        {0x0105, "ATA controller"},
        {0x0106, "SATA controller"},
        {0x0107, "Serial Attached SCSI controller"},
        {0x0108, "Non-Volatile memory controller"},
        {0x0180, "Mass storage controller"},
        {0x0200, "Ethernet controller"},
        {0x0280, "Network controller"},
        {0x0300, "VGA compatible controller"},
        {0x0302, "3D controller"},
        {0x0380, "Display controller"},
        {0x0401, "Multimedia audio controller"},
        {0x0403, "Audio device"},
        {0x0480, "Multimedia controller"},
        {0x0500, "RAM memory"},
        {0x0600, "Host bridge"},
        {0x0601, "ISA bridge"},
        {0x0604, "PCI bridge"},
        {0x0680, "Bridge"},
        {0x0700, "Serial controller"},
        {0x0c03, "USB controller"},
        {0x0c05, "SMBus"},
        {0x0d80, "Wireless controller"},
    };
    const auto code = static_cast<std::uint16_t>(class_code >> 8);
    for (const Name& name : kNames) {
        if (name.code == code)
            return name.text;
    }
    return "PCI device";
}

std::vector<UsbDevice> ReadUsbDevices(const std::string& sys_root) {
    std::vector<UsbDevice> devices;
    const std::string dir = sys_root + "/bus/usb/devices";
    const std::vector<std::string> names = ListFolder(dir);
    for (const std::string& name : names) {
        if (name.find(':') != std::string::npos)
            continue;  // an interface
        const std::string path = dir + "/" + name;
        auto vendor = HexAttribute(path + "/idVendor");
        auto product = HexAttribute(path + "/idProduct");
        if (!vendor || !product)
            continue;
        UsbDevice d;
        d.name = name;
        d.vendor = static_cast<std::uint16_t>(*vendor);
        d.product = static_cast<std::uint16_t>(*product);
        d.device_class =
            static_cast<std::uint8_t>(HexAttribute(path + "/bDeviceClass").value_or(0));
        d.manufacturer = TextAttribute(path + "/manufacturer");
        d.product_name = TextAttribute(path + "/product");
        d.serial = TextAttribute(path + "/serial");
        d.usb_version = TextAttribute(path + "/version");
        d.driver = DriverOf(path);
        if (auto ports = ReadFirstLine(path + "/maxchild"))
            d.ports = static_cast<std::uint32_t>(ParseUnsigned(*ports).value_or(0));
        const std::string interface_prefix = (d.IsRootHub() ? name.substr(3) + "-0" : name) + ":";
        for (const std::string& other : names) {
            if (StartsWith(other, interface_prefix)) {
                if (auto c = HexAttribute(dir + "/" + other + "/bInterfaceClass"))
                    d.interface_classes.push_back(static_cast<std::uint8_t>(*c));
            }
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

std::string UsbPnpDeviceId(const UsbDevice& d) {
    if (d.IsRootHub()) {
        const bool usb3 =
            d.usb_version && !StartsWith(*d.usb_version, "1.") && !StartsWith(*d.usb_version, "2.");
        return std::string("USB\\ROOT_HUB") + (usb3 ? "30" : "20") + "\\" + d.name.substr(3);
    }
    DeviceIds ids;
    ids.bus = DeviceIds::Bus::Usb;
    ids.vendor = d.vendor;
    ids.device = d.product;
    const std::string serial(Trim(d.serial.value_or(std::string())));
    ids.instance = serial.empty() ? d.name : serial;
    return PnpDeviceId(ids);
}

}  // namespace kvlinux
