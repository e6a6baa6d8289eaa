// The hardware identity of a device: its bus ids from sysfs and their names from the
// pci.ids and usb.ids databases (Debian's pci.ids and usb.ids packages, or hwdata).
//
// The databases are large (over a megabyte) and read only when a name is asked for; the
// text is kept and read again only when the file changes. Safe from any thread (the kept
// text is guarded by a lock of its own).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvlinux {

struct DeviceIds {
    enum class Bus { Pci, Usb };
    Bus bus = Bus::Pci;
    std::uint16_t vendor = 0;
    std::uint16_t device = 0;  // PCI device, USB product
    std::optional<std::uint16_t> subsystem_vendor;
    std::optional<std::uint16_t> subsystem_device;
    std::optional<std::uint8_t> revision;
    std::string instance;  // PCI address "0000:00:03.0"; USB serial number, else port "1-2"
};

// The PCI or USB device a sysfs device folder belongs to: the folder itself or the nearest
// folder above it that is one (a virtio or USB interface folder sits below its device).
// nullopt for a virtual device or a folder that cannot be read.
std::optional<DeviceIds> ReadDeviceIds(const std::string& device_folder);

// Windows' Plug and Play identifier for the ids:
//   PCI\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\0000:00:03.0
//   USB\VID_046D&PID_C52B\1-2
std::string PnpDeviceId(const DeviceIds& ids);

struct IdNames {
    std::optional<std::string> vendor;
    std::optional<std::string> device;
};

// The vendor's and the device's names in the text of a pci.ids or usb.ids file: vendor
// lines "8086  Intel Corporation", device lines below them "\t100e  82540EM ...". Only the
// vendor section of the file counts (the class lists after it are not vendors).
IdNames ParseIdNames(std::string_view ids_text, std::uint16_t vendor, std::uint16_t device);

// The names from the database installed for the device's bus; empty names when it is
// missing.
IdNames LookUpIdNames(const DeviceIds& ids);

// The content of the named database ("pci.ids", "usb.ids") from /usr/share/misc or
// /usr/share/hwdata under `root`; empty when neither has it. For callers that look many
// devices up in one pass or read a fixture tree.
std::string ReadIdDatabase(const std::string& file_name, const std::string& root = "/");

}  // namespace kvlinux
