// The PCI functions the kernel lists under /sys/bus/pci/devices, and the USB devices under
// /sys/bus/usb/devices.
//
// File reads under a sysfs root; safe from any thread. A device that vanishes while it is
// read is left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct PciDevice {
    std::string address;           // "0000:00:02.0"
    std::uint32_t class_code = 0;  // base class, subclass, programming interface: 0x030000
    std::uint16_t vendor = 0, device = 0;
    std::uint16_t subsystem_vendor = 0, subsystem_device = 0;
    std::uint8_t revision = 0;
    std::optional<std::string> driver;  // the bound driver ("i915"), nullopt when none

    std::uint8_t BaseClass() const { return static_cast<std::uint8_t>(class_code >> 16); }
    std::uint16_t ClassAndSubclass() const { return static_cast<std::uint16_t>(class_code >> 8); }
};

// Every PCI function, in address order.
std::vector<PciDevice> ReadPciDevices(const std::string& sys_root = "/sys");

// The device's hardware identity the way Windows writes it:
// "PCI\VEN_8086&DEV_1237&SUBSYS_11001AF4&REV_02\0000:00:02.0".
std::string PciPnpDeviceId(const PciDevice& device);
// The kernel's words for a class code ("VGA compatible controller", "Ethernet controller");
// "PCI device" for a class it has no words for.
std::string PciClassName(std::uint32_t class_code);

struct UsbDevice {
    std::string name;  // sysfs name: "usb1" for a root hub, "1-1.2" for a port path
    std::uint16_t vendor = 0, product = 0;
    std::uint8_t device_class = 0;  // bDeviceClass; 9 is a hub
    std::optional<std::string> manufacturer, product_name, serial;
    std::optional<std::string> usb_version;  // "2.00"
    std::optional<std::string> driver;
    std::vector<std::uint8_t> interface_classes;  // bInterfaceClass of each interface
    std::uint32_t ports = 0;                      // maxchild: the ports of a hub

    bool IsHub() const { return device_class == 9; }
    bool IsRootHub() const { return name.rfind("usb", 0) == 0; }
};

// Every USB device (not the interfaces), in name order.
std::vector<UsbDevice> ReadUsbDevices(const std::string& sys_root = "/sys");

// "USB\VID_046D&PID_C52B\<serial>", or the port path in place of a serial; root hubs are
// "USB\ROOT_HUB20\<bus>" after their USB version as Windows names them.
std::string UsbPnpDeviceId(const UsbDevice& device);

// A hexadecimal number with or without "0x" making up the whole text, or nullopt.
std::optional<std::uint64_t> ParseHex(std::string_view text);

}  // namespace kvlinux
