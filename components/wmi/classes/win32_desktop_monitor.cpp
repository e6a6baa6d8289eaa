// Win32_DesktopMonitor: one instance per connected output of the graphics cards
// (/sys/class/drm/card*-*/status). DeviceID is "DesktopMonitor1", "DesktopMonitor2", ...
// in output order, as Windows numbers them. From the monitor's EDID: MonitorManufacturer
// is the maker's PnP id ("DEL"), MonitorType and Name the monitor's own name (else
// "Generic PnP Monitor"), PNPDeviceID "DISPLAY\<id><product>\<output>". ScreenWidth and
// ScreenHeight are the preferred mode; Windows' logical DPI has no Linux counterpart.
#include <cstdio>

#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillDesktopMonitor(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kDesktopMonitorClass{
    u"root\\cimv2",
    u"Win32_DesktopMonitor",
    {
        {u"Availability", CIM_UINT16},
        {u"Bandwidth", CIM_UINT32},
        {u"Caption", CIM_STRING},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"CreationClassName", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"DisplayType", CIM_UINT16},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"InstallDate", CIM_DATETIME},
        {u"IsLocked", CIM_BOOLEAN},
        {u"LastErrorCode", CIM_UINT32},
        {u"MonitorManufacturer", CIM_STRING},
        {u"MonitorType", CIM_STRING},
        {u"Name", CIM_STRING},
        {u"PixelsPerXLogicalInch", CIM_UINT32},
        {u"PixelsPerYLogicalInch", CIM_UINT32},
        {u"PNPDeviceID", CIM_STRING},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"ScreenHeight", CIM_UINT32},
        {u"ScreenWidth", CIM_UINT32},
        {u"Status", CIM_STRING},
        {u"StatusInfo", CIM_UINT16},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
    },
    FillDesktopMonitor};

void FillDesktopMonitor(const ClassDecl& decl, std::vector<Instance>& out) {
    FillDesktopMonitorsFrom(decl, kvlinux::ReadMonitors(), kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillDesktopMonitorsFrom(const ClassDecl& decl, const std::vector<kvlinux::Monitor>& monitors,
                             const std::string& host, std::vector<Instance>& out) {
    std::uint64_t number = 0;
    for (const kvlinux::Monitor& monitor : monitors) {
        std::string type = "Generic PnP Monitor";
        if (monitor.edid && monitor.edid->name)
            type = *monitor.edid->name;
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text("DesktopMonitor" + std::to_string(++number)));
        b.Set(u"Name", Text(type));
        b.Set(u"Caption", Text(type));
        b.Set(u"Description", Text(type));
        b.Set(u"MonitorType", Text(type));
        if (monitor.edid) {
            char product[8];
            std::snprintf(product, sizeof product, "%04X", monitor.edid->product_code);
            b.Set(u"MonitorManufacturer", Text(monitor.edid->manufacturer_id));
            b.Set(u"PNPDeviceID", Text("DISPLAY\\" + monitor.edid->manufacturer_id + product +
                                       "\\" + monitor.output));
        }
        b.Set(u"ScreenWidth", Unsigned(monitor.width));
        b.Set(u"ScreenHeight", Unsigned(monitor.height));
        SetDeviceWorking(b, true);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kDesktopMonitorClass);

}  // namespace kvwmi
