// Win32_PointingDevice: one instance per input device that moves a pointer: relative
// axes with a left button (mice, track points), or absolute axes with a button or touch
// (touch pads, touch screens, tablets). PointingType is 3 (mouse), 7 (touch pad: reports
// a finger tool) or 8 (touch screen); DeviceInterface 162 (USB), 4 (PS/2), 1 (other);
// NumberOfButtons the mouse buttons the device reports.
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillPointingDevice(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPointingDeviceClass{
    u"root\\cimv2",
    u"Win32_PointingDevice",
    {
        {u"Availability", CIM_UINT16},
        {u"Caption", CIM_STRING},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"CreationClassName", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"DeviceInterface", CIM_UINT16},
        {u"DoubleSpeedThreshold", CIM_UINT32},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"Handedness", CIM_UINT16},
        {u"HardwareType", CIM_STRING},
        {u"InfFileName", CIM_STRING},
        {u"InfSection", CIM_STRING},
        {u"InstallDate", CIM_DATETIME},
        {u"IsLocked", CIM_BOOLEAN},
        {u"LastErrorCode", CIM_UINT32},
        {u"Manufacturer", CIM_STRING},
        {u"Name", CIM_STRING},
        {u"NumberOfButtons", CIM_UINT8},
        {u"PNPDeviceID", CIM_STRING},
        {u"PointingType", CIM_UINT16},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"QuadSpeedThreshold", CIM_UINT32},
        {u"Resolution", CIM_UINT32},
        {u"SampleRate", CIM_UINT32},
        {u"Status", CIM_STRING},
        {u"StatusInfo", CIM_UINT16},
        {u"Synch", CIM_UINT32},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
    },
    FillPointingDevice};

constexpr unsigned kBtnLeft = 0x110, kBtnTask = 0x117, kBtnToolFinger = 0x145, kBtnTouch = 0x14a;
constexpr std::uint16_t kBusUsb = 0x03, kBusI8042 = 0x11;

void FillPointingDevice(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPointingDevicesFrom(decl, kvlinux::ReadInputDevices(), kvlinux::ReadHostInfo().host_name,
                            out);
}

}  // namespace

void FillPointingDevicesFrom(const ClassDecl& decl,
                             const std::vector<kvlinux::InputDevice>& devices,
                             const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::InputDevice& device : devices) {
        if (!device.IsPointingDevice())
            continue;
        std::uint64_t buttons = 0;
        for (unsigned key = kBtnLeft; key <= kBtnTask; ++key)
            buttons += device.HasKey(key);
        std::uint64_t type = 3;  // mouse
        if (device.HasKey(kBtnToolFinger))
            type = 7;  // touch pad
        else if (device.HasKey(kBtnTouch))
            type = 8;  // touch screen
        const std::uint64_t interface = device.bus == kBusUsb     ? 162
                                        : device.bus == kBusI8042 ? 4
                                                                  : 1;
        const std::string id = InputPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(device.name));
        b.Set(u"HardwareType", Text(device.name));
        b.Set(u"NumberOfButtons", Unsigned(buttons));
        b.Set(u"PointingType", Unsigned(type));
        b.Set(u"DeviceInterface", Unsigned(interface));
        SetDeviceWorking(b, true);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPointingDeviceClass);

}  // namespace kvwmi
