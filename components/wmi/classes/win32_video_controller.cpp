// Win32_VideoController: one instance per display adapter (PCI class 03). DeviceID is
// "VideoController1", "VideoController2", ... in bus order, as Windows numbers them. The
// current mode is the framebuffer's size and depth, else the preferred mode of the first
// connected output (then without a depth); AdapterRAM is the memory the driver reports
// (amdgpu), capped at the largest uint32 as on Windows. What Windows reads from the
// display driver's INF file or from GDI (palettes, dithering, ICM) has no Linux source.
#include <algorithm>

#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillVideoController(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kVideoControllerClass{
    u"root\\cimv2",
    u"Win32_VideoController",
    {
        {u"AcceleratorCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"AdapterCompatibility", CIM_STRING},
        {u"AdapterDACType", CIM_STRING},
        {u"AdapterRAM", CIM_UINT32},
        {u"Availability", CIM_UINT16},
        {u"CapabilityDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
        {u"Caption", CIM_STRING},
        {u"ColorTableEntries", CIM_UINT32},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"CreationClassName", CIM_STRING},
        {u"CurrentBitsPerPixel", CIM_UINT32},
        {u"CurrentHorizontalResolution", CIM_UINT32},
        {u"CurrentNumberOfColors", CIM_UINT64},
        {u"CurrentNumberOfColumns", CIM_UINT32},
        {u"CurrentNumberOfRows", CIM_UINT32},
        {u"CurrentRefreshRate", CIM_UINT32},
        {u"CurrentScanMode", CIM_UINT16},
        {u"CurrentVerticalResolution", CIM_UINT32},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"DeviceSpecificPens", CIM_UINT32},
        {u"DitherType", CIM_UINT32},
        {u"DriverDate", CIM_DATETIME},
        {u"DriverVersion", CIM_STRING},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"ICMIntent", CIM_UINT32},
        {u"ICMMethod", CIM_UINT32},
        {u"InfFilename", CIM_STRING},
        {u"InfSection", CIM_STRING},
        {u"InstallDate", CIM_DATETIME},
        {u"InstalledDisplayDrivers", CIM_STRING},
        {u"LastErrorCode", CIM_UINT32},
        {u"MaxMemorySupported", CIM_UINT32},
        {u"MaxNumberControlled", CIM_UINT32},
        {u"MaxRefreshRate", CIM_UINT32},
        {u"MinRefreshRate", CIM_UINT32},
        {u"Monochrome", CIM_BOOLEAN},
        {u"Name", CIM_STRING},
        {u"NumberOfColorPlanes", CIM_UINT16},
        {u"NumberOfVideoPages", CIM_UINT32},
        {u"PNPDeviceID", CIM_STRING},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"ProtocolSupported", CIM_UINT16},
        {u"ReservedSystemPaletteEntries", CIM_UINT32},
        {u"SpecificationVersion", CIM_UINT32},
        {u"Status", CIM_STRING},
        {u"StatusInfo", CIM_UINT16},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
        {u"SystemPaletteEntries", CIM_UINT32},
        {u"TimeOfLastReset", CIM_DATETIME},
        {u"VideoArchitecture", CIM_UINT16},
        {u"VideoMemoryType", CIM_UINT16},
        {u"VideoMode", CIM_UINT16},
        {u"VideoModeDescription", CIM_STRING},
        {u"VideoProcessor", CIM_STRING},
    },
    FillVideoController};

void FillVideoController(const ClassDecl& decl, std::vector<Instance>& out) {
    FillVideoControllerFrom(decl, kvlinux::ReadDisplayAdapters(), IdDatabases::Read(),
                            kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillVideoControllerFrom(const ClassDecl& decl,
                             const std::vector<kvlinux::DisplayAdapter>& adapters,
                             const IdDatabases& ids, const std::string& host,
                             std::vector<Instance>& out) {
    std::uint64_t number = 0;
    for (const kvlinux::DisplayAdapter& adapter : adapters) {
        const kvlinux::IdNames names = PciNames(ids, adapter.pci);
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text("VideoController" + std::to_string(++number)));
        b.Set(u"PNPDeviceID", Text(kvlinux::PciPnpDeviceId(adapter.pci)));
        b.Set(u"Name", Text(names.device));
        b.Set(u"Caption", Text(names.device));
        b.Set(u"Description", Text(names.device));
        b.Set(u"VideoProcessor", Text(names.device));
        b.Set(u"AdapterCompatibility", Text(names.vendor));
        if (adapter.memory_bytes)
            b.Set(u"AdapterRAM",
                  Unsigned(std::min<std::uint64_t>(*adapter.memory_bytes, 0xFFFFFFFF)));
        b.Set(u"InstalledDisplayDrivers", Text(adapter.pci.driver));
        b.Set(u"DriverVersion", Text(adapter.driver_version));
        b.Set(u"CurrentHorizontalResolution", Unsigned(adapter.width));
        b.Set(u"CurrentVerticalResolution", Unsigned(adapter.height));
        b.Set(u"CurrentBitsPerPixel", Unsigned(adapter.bits_per_pixel));
        if (adapter.bits_per_pixel) {
            const std::uint64_t colors = std::uint64_t{1} << *adapter.bits_per_pixel % 64;
            b.Set(u"CurrentNumberOfColors", Unsigned(colors));
            if (adapter.width && adapter.height)
                b.Set(u"VideoModeDescription", Text(std::to_string(*adapter.width) + " x " +
                                                    std::to_string(*adapter.height) + " x " +
                                                    std::to_string(colors) + " colors"));
        }
        b.Set(u"Monochrome", false);
        if (adapter.pci.ClassAndSubclass() == 0x0300)
            b.Set(u"VideoArchitecture", Unsigned(5));  // VGA compatible
        SetDeviceWorking(b, adapter.pci.driver.has_value());
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kVideoControllerClass);

}  // namespace kvwmi
