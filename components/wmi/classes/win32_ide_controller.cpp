// Win32_IDEController: one instance per PCI storage controller of Windows' "hard disk
// controller" class: IDE, ATA and SATA (AHCI) controllers (PCI class 0101, 0105, 0106).
// DeviceID is the PNPDeviceID; names come from pci.ids, else the class's words.
#include "classes/cim_properties.h"
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillIdeController(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kIdeControllerClass{u"root\\cimv2", u"Win32_IDEController", ControllerProperties(),
                                    FillIdeController};

void FillIdeController(const ClassDecl& decl, std::vector<Instance>& out) {
    FillStorageControllersFrom(decl, "HDC", kvlinux::ReadPciDevices(), IdDatabases::Read(),
                               kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillStorageControllersFrom(const ClassDecl& decl, const char* setup_class,
                                const std::vector<kvlinux::PciDevice>& pci, const IdDatabases& ids,
                                const std::string& host, std::vector<Instance>& out) {
    std::uint64_t index = 0;
    for (const kvlinux::PciDevice& device : pci) {
        if (std::string_view(SetupClassOfPci(device.class_code).name) != setup_class)
            continue;
        const kvlinux::IdNames names = PciNames(ids, device);
        const std::string id = kvlinux::PciPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(names.device));
        b.Set(u"Manufacturer", Text(names.vendor));
        SetDeviceWorking(b, device.driver.has_value());
        if (decl.IndexOf(u"DriverName") >= 0) {
            b.Set(u"DriverName", Text(device.driver));
            b.Set(u"Index", Unsigned(index++));
        }
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kIdeControllerClass);

}  // namespace kvwmi
