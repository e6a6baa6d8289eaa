// Win32_USBHub: one instance per USB hub, the root hubs of the controllers included
// (bDeviceClass 9 under /sys/bus/usb/devices). NumberOfPorts is the kernel's maxchild,
// USBVersion the device's USB release in binary-coded decimal (0x0200 for 2.00).
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillUsbHub(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kUsbHubClass{u"root\\cimv2",
                             u"Win32_USBHub",
                             {
                                 {u"Availability", CIM_UINT16},
                                 {u"Caption", CIM_STRING},
                                 {u"ClassCode", CIM_UINT8},
                                 {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                 {u"CreationClassName", CIM_STRING},
                                 {u"CurrentAlternateSettings", CIM_UINT8 | CIM_FLAG_ARRAY},
                                 {u"CurrentConfigValue", CIM_UINT8},
                                 {u"Description", CIM_STRING},
                                 {u"ErrorCleared", CIM_BOOLEAN},
                                 {u"ErrorDescription", CIM_STRING},
                                 {u"GangSwitched", CIM_BOOLEAN},
                                 {u"InstallDate", CIM_DATETIME},
                                 {u"LastErrorCode", CIM_UINT32},
                                 {u"NumberOfConfigs", CIM_UINT8},
                                 {u"NumberOfPorts", CIM_UINT8},
                                 {u"PNPDeviceID", CIM_STRING},
                                 {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                 {u"PowerManagementSupported", CIM_BOOLEAN},
                                 {u"ProtocolCode", CIM_UINT8},
                                 {u"Status", CIM_STRING},
                                 {u"StatusInfo", CIM_UINT16},
                                 {u"SubclassCode", CIM_UINT8},
                                 {u"SystemCreationClassName", CIM_STRING},
                                 {u"SystemName", CIM_STRING},
                                 {u"USBVersion", CIM_UINT16},
                                 {u"ConfigManagerErrorCode", CIM_UINT32},
                                 {u"DeviceID", CIM_STRING, true},
                                 {u"Name", CIM_STRING},
                             },
                             FillUsbHub};

// "2.00" -> 0x0200, "3.10" -> 0x0310.
std::optional<std::uint64_t> BcdVersion(const std::optional<std::string>& text) {
    if (!text)
        return std::nullopt;
    const std::string_view version = kvlinux::Trim(*text);
    const size_t dot = version.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    auto major = kvlinux::ParseUnsigned(version.substr(0, dot));
    const std::string_view minor = version.substr(dot + 1);
    if (!major || *major > 99 || minor.size() != 2 || !kvlinux::ParseUnsigned(minor))
        return std::nullopt;
    return (*major / 10) << 12 | (*major % 10) << 8 | std::uint64_t(minor[0] - '0') << 4 |
           std::uint64_t(minor[1] - '0');
}

void FillUsbHub(const ClassDecl& decl, std::vector<Instance>& out) {
    FillUsbHubFrom(decl, kvlinux::ReadUsbDevices(), IdDatabases::Read(),
                   kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillUsbHubFrom(const ClassDecl& decl, const std::vector<kvlinux::UsbDevice>& usb,
                    const IdDatabases& ids, const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::UsbDevice& device : usb) {
        if (!device.IsHub())
            continue;
        const kvlinux::IdNames names = UsbNames(ids, device);
        const std::string id = kvlinux::UsbPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(names.device));
        b.Set(u"ClassCode", Unsigned(device.device_class));
        b.Set(u"NumberOfPorts", Unsigned(std::min<std::uint32_t>(device.ports, 0xFF)));
        b.Set(u"USBVersion", Unsigned(BcdVersion(device.usb_version)));
        SetDeviceWorking(b, device.driver.has_value());
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kUsbHubClass);

}  // namespace kvwmi
