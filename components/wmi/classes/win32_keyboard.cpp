// Win32_Keyboard: one instance per input device that reports the letter keys
// (/proc/bus/input/devices), so power buttons and remote controls are left out. DeviceID
// is "INPUT\VID_xxxx&PID_xxxx\<input node>"; Name the kernel's device name; Layout the
// Windows layout id of the console's XKB layout (/etc/default/keyboard) where one is
// known; NumberOfFunctionKeys the F keys the device reports.
#include <cstdio>

#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "linux/host_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillKeyboard(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kKeyboardClass{u"root\\cimv2",
                               u"Win32_Keyboard",
                               {
                                   {u"Availability", CIM_UINT16},
                                   {u"Caption", CIM_STRING},
                                   {u"ConfigManagerErrorCode", CIM_UINT32},
                                   {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                   {u"CreationClassName", CIM_STRING},
                                   {u"Description", CIM_STRING},
                                   {u"DeviceID", CIM_STRING, true},
                                   {u"ErrorCleared", CIM_BOOLEAN},
                                   {u"ErrorDescription", CIM_STRING},
                                   {u"InstallDate", CIM_DATETIME},
                                   {u"IsLocked", CIM_BOOLEAN},
                                   {u"LastErrorCode", CIM_UINT32},
                                   {u"Layout", CIM_STRING},
                                   {u"Name", CIM_STRING},
                                   {u"NumberOfFunctionKeys", CIM_UINT16},
                                   {u"Password", CIM_UINT16},
                                   {u"PNPDeviceID", CIM_STRING},
                                   {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                   {u"PowerManagementSupported", CIM_BOOLEAN},
                                   {u"Status", CIM_STRING},
                                   {u"StatusInfo", CIM_UINT16},
                                   {u"SystemCreationClassName", CIM_STRING},
                                   {u"SystemName", CIM_STRING},
                               },
                               FillKeyboard};

// XKBLAYOUT="us,de" of /etc/default/keyboard: the first layout.
std::optional<std::string> ConsoleLayout() {
    auto text = kvlinux::ReadFileText("/etc/default/keyboard");
    if (!text)
        return std::nullopt;
    for (std::string_view line : kvlinux::SplitLines(*text)) {
        line = kvlinux::Trim(line);
        if (!kvlinux::StartsWith(line, "XKBLAYOUT="))
            continue;
        std::string_view value = line.substr(10);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        value = value.substr(0, value.find(','));
        if (!value.empty())
            return std::string(value);
    }
    return std::nullopt;
}

void FillKeyboard(const ClassDecl& decl, std::vector<Instance>& out) {
    FillKeyboardsFrom(decl, kvlinux::ReadInputDevices(), ConsoleLayout(),
                      kvlinux::ReadHostInfo().host_name, out);
}

// The F keys: F1-F10 (59-68), F11, F12 (87, 88), F13-F24 (183-194).
std::uint64_t FunctionKeys(const kvlinux::InputDevice& device) {
    std::uint64_t count = 0;
    for (unsigned key = 59; key <= 68; ++key)
        count += device.HasKey(key);
    count += device.HasKey(87) + device.HasKey(88);
    for (unsigned key = 183; key <= 194; ++key)
        count += device.HasKey(key);
    return count;
}

}  // namespace

std::string InputPnpDeviceId(const kvlinux::InputDevice& device) {
    char ids[48];
    std::snprintf(ids, sizeof ids, "INPUT\\VID_%04X&PID_%04X\\", device.vendor, device.product);
    return ids + device.Node();
}

std::optional<std::string> KeyboardLayoutId(std::string_view xkb_layout) {
    struct Layout {
        const char* xkb;
        const char* id;
    };
    static constexpr Layout kLayouts[] = {
        {"us", "00000409"}, {"gb", "00000809"}, {"de", "00000407"}, {"fr", "0000040C"},
        {"es", "0000040A"}, {"it", "00000410"}, {"ru", "00000419"}, {"ch", "00000807"},
        {"se", "0000041D"}, {"no", "00000414"}, {"dk", "00000406"}, {"fi", "0000040B"},
        {"nl", "00000413"}, {"pt", "00000816"}, {"br", "00000416"}, {"jp", "00000411"},
        {"pl", "00000415"}, {"cz", "00000405"}, {"hu", "0000040E"}, {"be", "0000080C"},
        {"ca", "00001009"}, {"tr", "0000041F"}, {"gr", "00000408"}, {"kr", "00000412"},
    };
    for (const Layout& layout : kLayouts) {
        if (xkb_layout == layout.xkb)
            return std::string(layout.id);
    }
    return std::nullopt;
}

void FillKeyboardsFrom(const ClassDecl& decl, const std::vector<kvlinux::InputDevice>& devices,
                       const std::optional<std::string>& xkb_layout, const std::string& host,
                       std::vector<Instance>& out) {
    const std::optional<std::string> layout =
        xkb_layout ? KeyboardLayoutId(*xkb_layout) : std::nullopt;
    for (const kvlinux::InputDevice& device : devices) {
        if (!device.IsKeyboard())
            continue;
        const std::string id = InputPnpDeviceId(device);
        InstanceBuilder b(decl);
        SetPnpDeviceNames(b, id, Text(device.name));
        b.Set(u"Layout", Text(layout));
        b.Set(u"NumberOfFunctionKeys", Unsigned(FunctionKeys(device)));
        SetDeviceWorking(b, true);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kKeyboardClass);

}  // namespace kvwmi
