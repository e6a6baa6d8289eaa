// Win32_SoundDevice: one instance per PCI multimedia audio function (PCI class 0401, 0403)
// and per USB device with an audio interface. DeviceID is the PNPDeviceID; ProductName and
// Name the device's name (pci.ids or the USB device's own strings), Manufacturer its
// vendor's.
#include <algorithm>

#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillSoundDevice(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSoundDeviceClass{u"root\\cimv2",
                                  u"Win32_SoundDevice",
                                  {
                                      {u"Availability", CIM_UINT16},
                                      {u"Caption", CIM_STRING},
                                      {u"ConfigManagerErrorCode", CIM_UINT32},
                                      {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                      {u"CreationClassName", CIM_STRING},
                                      {u"Description", CIM_STRING},
                                      {u"DeviceID", CIM_STRING, true},
                                      {u"DMABufferSize", CIM_UINT16},
                                      {u"ErrorCleared", CIM_BOOLEAN},
                                      {u"ErrorDescription", CIM_STRING},
                                      {u"InstallDate", CIM_DATETIME},
                                      {u"LastErrorCode", CIM_UINT32},
                                      {u"Manufacturer", CIM_STRING},
                                      {u"MPU401Address", CIM_UINT32},
                                      {u"Name", CIM_STRING},
                                      {u"PNPDeviceID", CIM_STRING},
                                      {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                      {u"PowerManagementSupported", CIM_BOOLEAN},
                                      {u"ProductName", CIM_STRING},
                                      {u"Status", CIM_STRING},
                                      {u"StatusInfo", CIM_UINT16},
                                      {u"SystemCreationClassName", CIM_STRING},
                                      {u"SystemName", CIM_STRING},
                                  },
                                  FillSoundDevice};

void FillSoundDevice(const ClassDecl& decl, std::vector<Instance>& out) {
    FillSoundDevicesFrom(decl, kvlinux::ReadPciDevices(), kvlinux::ReadUsbDevices(),
                         IdDatabases::Read(), kvlinux::ReadHostInfo().host_name, out);
}

void Add(const ClassDecl& decl, const std::string& id, const kvlinux::IdNames& names,
         const std::optional<std::string>& driver, const std::string& host,
         std::vector<Instance>& out) {
    InstanceBuilder b(decl);
    SetPnpDeviceNames(b, id, Text(names.device));
    b.Set(u"ProductName", Text(names.device));
    b.Set(u"Manufacturer", Text(names.vendor));
    SetDeviceWorking(b, driver.has_value());
    SetLogicalDeviceNames(b, decl, host);
    out.push_back(b.Take());
}

}  // namespace

void FillSoundDevicesFrom(const ClassDecl& decl, const std::vector<kvlinux::PciDevice>& pci,
                          const std::vector<kvlinux::UsbDevice>& usb, const IdDatabases& ids,
                          const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::PciDevice& device : pci) {
        const auto code = device.ClassAndSubclass();
        if (code == 0x0401 || code == 0x0403)
            Add(decl, kvlinux::PciPnpDeviceId(device), PciNames(ids, device), device.driver, host,
                out);
    }
    for (const kvlinux::UsbDevice& device : usb) {
        const auto& classes = device.interface_classes;
        if (device.device_class == 0x01 ||
            std::find(classes.begin(), classes.end(), 0x01) != classes.end())
            Add(decl, kvlinux::UsbPnpDeviceId(device), UsbNames(ids, device), device.driver, host,
                out);
    }
}

KAVREL_WMI_CLASS(kSoundDeviceClass);

}  // namespace kvwmi
