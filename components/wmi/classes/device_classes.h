// What the device classes share: the Windows setup class of a PCI or USB device, the
// names the id databases give it, and the properties every CIM_LogicalDevice fills alike.
// Pure functions, safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linux/device_ids.h"
#include "linux/display.h"
#include "linux/pci_devices.h"
#include "provider/class_decl.h"

namespace kvwmi {

// The Windows setup class of a device ("Display", "Net", "USB") and its class GUID, or
// empty strings when no class fits.
struct SetupClass {
    const char* name = "";
    const char* guid = "";
};
SetupClass SetupClassOfPci(std::uint32_t class_code);
SetupClass SetupClassOfUsb(const kvlinux::UsbDevice& device);

// The id databases' text, read once per query.
struct IdDatabases {
    std::string pci, usb;
    static IdDatabases Read();
};

// A PCI device's names: the database's device name, else the class's words; the vendor's
// name or nullopt.
kvlinux::IdNames PciNames(const IdDatabases& ids, const kvlinux::PciDevice& device);
// A USB device's names: the device's own strings first, then the database's.
kvlinux::IdNames UsbNames(const IdDatabases& ids, const kvlinux::UsbDevice& device);

// "PCI\VEN_8086&DEV_1237&SUBSYS_...&REV_02" down to "PCI\VEN_8086&DEV_1237&CC_0600", and
// the compatible forms, as Windows lists them for the device.
std::vector<std::string> PciHardwareIds(const kvlinux::PciDevice& device);
std::vector<std::string> PciCompatibleIds(const kvlinux::PciDevice& device);

// One part of a storage device's Plug and Play identifier ("SCSI\CDROM&VEN_<part>&..."):
// upper case, spaces as underscores, at most `limit` characters (the length of its SCSI
// inquiry field), no trailing underscore.
std::string PnpIdPart(const std::optional<std::string>& text, size_t limit);

// CreationClassName (the class's own name), SystemCreationClassName and SystemName.
void SetLogicalDeviceNames(InstanceBuilder& b, const ClassDecl& decl, const std::string& host);

// A Plug and Play device's DeviceID and PNPDeviceID (both its Plug and Play identifier) and
// its Name, Caption and Description (all its name).
void SetPnpDeviceNames(InstanceBuilder& b, const std::string& pnp_id, const CimValue& name);

// ConfigManagerUserConfig false; for a device that works (a driver bound to it, or one the
// kernel drives itself), ConfigManagerErrorCode 0 and Status "OK" as well.
void SetDeviceWorking(InstanceBuilder& b, bool works);

// The device fills split from their readers, for the tests on fixture trees.
void FillPnpEntityFrom(const ClassDecl& decl, const std::vector<kvlinux::PciDevice>& pci,
                       const std::vector<kvlinux::UsbDevice>& usb, const IdDatabases& ids,
                       const std::string& host, std::vector<Instance>& out);
void FillVideoControllerFrom(const ClassDecl& decl,
                             const std::vector<kvlinux::DisplayAdapter>& adapters,
                             const IdDatabases& ids, const std::string& host,
                             std::vector<Instance>& out);
void FillUsbControllerFrom(const ClassDecl& decl, const std::vector<kvlinux::PciDevice>& pci,
                           const IdDatabases& ids, const std::string& host,
                           std::vector<Instance>& out);
void FillUsbHubFrom(const ClassDecl& decl, const std::vector<kvlinux::UsbDevice>& usb,
                    const IdDatabases& ids, const std::string& host, std::vector<Instance>& out);

}  // namespace kvwmi

namespace kvwmi {

// Win32_IDEController, Win32_SCSIController: the PCI storage controllers of the one setup
// class ("HDC" or "SCSIAdapter").
void FillStorageControllersFrom(const ClassDecl& decl, const char* setup_class,
                                const std::vector<kvlinux::PciDevice>& pci, const IdDatabases& ids,
                                const std::string& host, std::vector<Instance>& out);
// Win32_SoundDevice: PCI audio functions and USB devices with an audio interface.
void FillSoundDevicesFrom(const ClassDecl& decl, const std::vector<kvlinux::PciDevice>& pci,
                          const std::vector<kvlinux::UsbDevice>& usb, const IdDatabases& ids,
                          const std::string& host, std::vector<Instance>& out);

}  // namespace kvwmi
