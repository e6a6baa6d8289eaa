// Win32_SystemDriverPNPEntity: each device with the kernel module that drives it. A bound
// driver's sysfs folder links to its module (<device>/driver/module); a driver built into
// the kernel may have none, and then the device is linked to nothing. A USB device is
// driven through its interfaces, so the modules bound to them count for the device (which
// is what Win32_PnPEntity lists), each once. Antecedent refers to the Win32_PnPEntity,
// Dependent to the Win32_SystemDriver named after the module.
#include <set>

#include "classes/association_support.h"
#include "classes/class_values.h"
#include "linux/pci_devices.h"
#include "linux/text_util.h"

namespace kvwmi {

namespace {

void FillSystemDriverPnpEntity(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSystemDriverPnpEntityClass{u"root\\cimv2",
                                            u"Win32_SystemDriverPNPEntity",
                                            {
                                                {u"Antecedent", CIM_REFERENCE, true},
                                                {u"Dependent", CIM_REFERENCE, true},
                                            },
                                            FillSystemDriverPnpEntity};

// The module a device folder's bound driver belongs to, when it has one.
void AddModuleOf(const std::string& device_dir, std::set<std::string>& modules) {
    if (auto target = kvlinux::ReadLink(device_dir + "/driver/module"))
        modules.insert(target->substr(target->rfind('/') + 1));
}

void Link(const ClassDecl& decl, const std::string& device_id, const std::set<std::string>& modules,
          std::vector<Instance>& out) {
    const CimValue device = ReferenceTo(u"Win32_PnPEntity", {{u"DeviceID", Text(device_id)}});
    for (const std::string& module : modules) {
        InstanceBuilder b(decl);
        b.Set(u"Antecedent", device);
        b.Set(u"Dependent", ReferenceTo(u"Win32_SystemDriver", {{u"Name", Text(module)}}));
        out.push_back(b.Take());
    }
}

void FillSystemDriverPnpEntity(const ClassDecl& decl, std::vector<Instance>& out) {
    const std::string pci_dir = "/sys/bus/pci/devices/";
    for (const kvlinux::PciDevice& device : kvlinux::ReadPciDevices()) {
        std::set<std::string> modules;
        AddModuleOf(pci_dir + device.address, modules);
        Link(decl, kvlinux::PciPnpDeviceId(device), modules, out);
    }
    const std::string usb_dir = "/sys/bus/usb/devices/";
    const std::vector<std::string> names = kvlinux::ListFolder(usb_dir);
    for (const kvlinux::UsbDevice& device : kvlinux::ReadUsbDevices()) {
        std::set<std::string> modules;
        AddModuleOf(usb_dir + device.name, modules);
        // The interfaces of a device are "<device>:<configuration>.<interface>"; a root
        // hub's ("usb1") are "1-0:1.0".
        const std::string prefix =
            (device.IsRootHub() ? device.name.substr(3) + "-0" : device.name) + ":";
        for (const std::string& name : names) {
            if (name.compare(0, prefix.size(), prefix) == 0)
                AddModuleOf(usb_dir + name, modules);
        }
        Link(decl, kvlinux::UsbPnpDeviceId(device), modules, out);
    }
}

}  // namespace

KAVREL_WMI_CLASS(kSystemDriverPnpEntityClass);

}  // namespace kvwmi
