// Win32_PnPEntity: one instance per PCI function (/sys/bus/pci/devices) and per USB device
// (/sys/bus/usb/devices, interfaces left out). DeviceID and PNPDeviceID are the identity
// Windows would give the device ("PCI\VEN_8086&DEV_1237&SUBSYS_11001AF4&REV_02\0000:00:00.0",
// "USB\VID_046D&PID_C52B\<serial or port path>"); Name, Manufacturer come from the device's
// own strings or the pci.ids/usb.ids databases; Service is the bound kernel driver.
// A device no driver is bound to is reported without a status rather than as failed:
// Linux leaves bridges and other plain devices unbound on purpose.
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillPnpEntity(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPnpEntityClass{u"root\\cimv2",
                                u"Win32_PnPEntity",
                                {
                                    {u"Availability", CIM_UINT16},
                                    {u"Caption", CIM_STRING},
                                    {u"ClassGuid", CIM_STRING},
                                    {u"CompatibleID", CIM_STRING | CIM_FLAG_ARRAY},
                                    {u"ConfigManagerErrorCode", CIM_UINT32},
                                    {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                    {u"CreationClassName", CIM_STRING},
                                    {u"Description", CIM_STRING},
                                    {u"DeviceID", CIM_STRING, true},
                                    {u"ErrorCleared", CIM_BOOLEAN},
                                    {u"ErrorDescription", CIM_STRING},
                                    {u"HardwareID", CIM_STRING | CIM_FLAG_ARRAY},
                                    {u"InstallDate", CIM_DATETIME},
                                    {u"LastErrorCode", CIM_UINT32},
                                    {u"Manufacturer", CIM_STRING},
                                    {u"Name", CIM_STRING},
                                    {u"PNPClass", CIM_STRING},
                                    {u"PNPDeviceID", CIM_STRING},
                                    {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                    {u"PowerManagementSupported", CIM_BOOLEAN},
                                    {u"Present", CIM_BOOLEAN},
                                    {u"Service", CIM_STRING},
                                    {u"Status", CIM_STRING},
                                    {u"StatusInfo", CIM_UINT16},
                                    {u"SystemCreationClassName", CIM_STRING},
                                    {u"SystemName", CIM_STRING},
                                },
                                FillPnpEntity};

void SetDriverState(InstanceBuilder& b, const std::optional<std::string>& driver) {
    SetDeviceWorking(b, driver.has_value());
    if (!driver)
        b.Set(u"Status", Text("Unknown"));
    b.Set(u"Service", Text(driver));
    b.Set(u"Present", true);
}

void FillPnpEntity(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPnpEntityFrom(decl, kvlinux::ReadPciDevices(), kvlinux::ReadUsbDevices(),
                      IdDatabases::Read(), kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillPnpEntityFrom(const ClassDecl& decl, const std::vector<kvlinux::PciDevice>& pci,
                       const std::vector<kvlinux::UsbDevice>& usb, const IdDatabases& ids,
                       const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::PciDevice& device : pci) {
        const kvlinux::IdNames names = PciNames(ids, device);
        const SetupClass setup = SetupClassOfPci(device.class_code);
        const std::string id = kvlinux::PciPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(names.device));
        b.Set(u"Manufacturer", Text(names.vendor));
        b.Set(u"PNPClass", Text(setup.name));
        b.Set(u"ClassGuid", Text(setup.guid));
        b.Set(u"HardwareID", TextArray(PciHardwareIds(device)));
        b.Set(u"CompatibleID", TextArray(PciCompatibleIds(device)));
        SetDriverState(b, device.driver);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
    for (const kvlinux::UsbDevice& device : usb) {
        const kvlinux::IdNames names = UsbNames(ids, device);
        const SetupClass setup = SetupClassOfUsb(device);
        const std::string id = kvlinux::UsbPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(names.device));
        b.Set(u"Manufacturer", Text(names.vendor));
        b.Set(u"PNPClass", Text(setup.name));
        b.Set(u"ClassGuid", Text(setup.guid));
        if (!device.IsRootHub()) {
            char ids_text[64];
            std::snprintf(ids_text, sizeof ids_text, "USB\\VID_%04X&PID_%04X", device.vendor,
                          device.product);
            b.Set(u"HardwareID", TextArray({ids_text}));
        }
        SetDriverState(b, device.driver);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPnpEntityClass);

}  // namespace kvwmi
