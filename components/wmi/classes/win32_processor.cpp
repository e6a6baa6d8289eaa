// Win32_Processor: one instance per physical package (socket), as on Windows, from
// /proc/cpuinfo grouped by "physical id", with cache sizes and the maximum clock from sysfs.
//
// Name is the "model name"; Manufacturer the vendor id ("GenuineIntel", "AuthenticAMD"), as
// WMI shows it; Caption the family/model/stepping line Windows builds ("Intel64 Family 6
// Model 85 Stepping 7"). CurrentClockSpeed is the first logical processor's present clock.
// Architecture uses WMI's codes (0 x86, 5 ARM, 9 x64, 12 ARM64).
#include <cmath>

#include "classes/class_values.h"
#include "linux/cpu_info.h"
#include "linux/host_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillProcessor(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kProcessorClass{u"root\\cimv2",
                                u"Win32_Processor",
                                {
                                    {u"AddressWidth", CIM_UINT16},
                                    {u"Architecture", CIM_UINT16},
                                    {u"AssetTag", CIM_STRING},
                                    {u"Availability", CIM_UINT16},
                                    {u"Caption", CIM_STRING},
                                    {u"Characteristics", CIM_UINT32},
                                    {u"ConfigManagerErrorCode", CIM_UINT32},
                                    {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                    {u"CpuStatus", CIM_UINT16},
                                    {u"CreationClassName", CIM_STRING},
                                    {u"CurrentClockSpeed", CIM_UINT32},
                                    {u"CurrentVoltage", CIM_UINT16},
                                    {u"DataWidth", CIM_UINT16},
                                    {u"Description", CIM_STRING},
                                    {u"DeviceID", CIM_STRING, true},
                                    {u"ErrorCleared", CIM_BOOLEAN},
                                    {u"ErrorDescription", CIM_STRING},
                                    {u"ExtClock", CIM_UINT32},
                                    {u"Family", CIM_UINT16},
                                    {u"InstallDate", CIM_DATETIME},
                                    {u"L2CacheSize", CIM_UINT32},
                                    {u"L2CacheSpeed", CIM_UINT32},
                                    {u"L3CacheSize", CIM_UINT32},
                                    {u"L3CacheSpeed", CIM_UINT32},
                                    {u"LastErrorCode", CIM_UINT32},
                                    {u"Level", CIM_UINT16},
                                    {u"LoadPercentage", CIM_UINT16},
                                    {u"Manufacturer", CIM_STRING},
                                    {u"MaxClockSpeed", CIM_UINT32},
                                    {u"Name", CIM_STRING},
                                    {u"NumberOfCores", CIM_UINT32},
                                    {u"NumberOfEnabledCore", CIM_UINT32},
                                    {u"NumberOfLogicalProcessors", CIM_UINT32},
                                    {u"OtherFamilyDescription", CIM_STRING},
                                    {u"PartNumber", CIM_STRING},
                                    {u"PNPDeviceID", CIM_STRING},
                                    {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                    {u"PowerManagementSupported", CIM_BOOLEAN},
                                    {u"ProcessorId", CIM_STRING},
                                    {u"ProcessorType", CIM_UINT16},
                                    {u"Revision", CIM_UINT16},
                                    {u"Role", CIM_STRING},
                                    {u"SecondLevelAddressTranslationExtensions", CIM_BOOLEAN},
                                    {u"SerialNumber", CIM_STRING},
                                    {u"SocketDesignation", CIM_STRING},
                                    {u"Status", CIM_STRING},
                                    {u"StatusInfo", CIM_UINT16},
                                    {u"Stepping", CIM_STRING},
                                    {u"SystemCreationClassName", CIM_STRING},
                                    {u"SystemName", CIM_STRING},
                                    {u"ThreadCount", CIM_UINT32},
                                    {u"UniqueId", CIM_STRING},
                                    {u"UpgradeMethod", CIM_UINT16},
                                    {u"Version", CIM_STRING},
                                    {u"VirtualizationFirmwareEnabled", CIM_BOOLEAN},
                                    {u"VMMonitorModeExtensions", CIM_BOOLEAN},
                                    {u"VoltageCaps", CIM_UINT32},
                                },
                                FillProcessor};

std::optional<std::uint64_t> ArchitectureCode(const std::string& machine) {
    if (machine == "x86_64")
        return 9;
    if (machine == "i386" || machine == "i686")
        return 0;
    if (machine == "aarch64")
        return 12;
    if (machine.rfind("armv", 0) == 0)
        return 5;
    return std::nullopt;
}

void FillProcessor(const ClassDecl& decl, std::vector<Instance>& out) {
    const auto cpus = kvlinux::ParseCpuInfo(kvlinux::ReadFileText("/proc/cpuinfo").value_or(""));
    const auto sysfs = kvlinux::ReadCpuSysfsInfo();
    const kvlinux::HostInfo host = kvlinux::ReadHostInfo();
    const std::string bits = kvlinux::ArchitectureBits(host.machine);
    std::optional<std::uint64_t> width;
    if (!bits.empty())
        width = bits == "64-bit" ? 64 : 32;
    for (const kvlinux::CpuPackage& package : kvlinux::GroupCpuPackages(cpus)) {
        const kvlinux::LogicalCpu& cpu = package.first;
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text("CPU" + std::to_string(package.socket)));
        b.Set(u"Name", Text(cpu.model_name));
        b.Set(u"Manufacturer", Text(cpu.vendor_id));
        if (cpu.family && cpu.model && cpu.stepping) {
            std::string prefix = host.machine == "x86_64" && cpu.vendor_id == "GenuineIntel"
                                     ? "Intel64"
                                 : host.machine == "x86_64" ? "AMD64"
                                                            : "x86";
            std::string caption = prefix + " Family " + std::to_string(*cpu.family) + " Model " +
                                  std::to_string(*cpu.model) + " Stepping " +
                                  std::to_string(*cpu.stepping);
            b.Set(u"Caption", Text(caption));
            b.Set(u"Description", Text(caption));
            b.Set(u"Level", Unsigned(*cpu.family));
            b.Set(u"Revision", Unsigned((*cpu.model << 8 | *cpu.stepping) & 0xFFFF));
            b.Set(u"Stepping", Text(std::to_string(*cpu.stepping)));
        }
        b.Set(u"NumberOfCores", Unsigned(package.cores));
        b.Set(u"NumberOfEnabledCore", Unsigned(package.cores));
        b.Set(u"NumberOfLogicalProcessors", Unsigned(package.logical_processors));
        b.Set(u"ThreadCount", Unsigned(package.logical_processors));
        if (cpu.mhz)
            b.Set(u"CurrentClockSpeed",
                  Unsigned(static_cast<std::uint64_t>(std::lround(*cpu.mhz))));
        b.Set(u"MaxClockSpeed", Unsigned(sysfs.max_mhz));
        b.Set(u"AddressWidth", Unsigned(width));
        b.Set(u"DataWidth", Unsigned(width));
        b.Set(u"Architecture", Unsigned(ArchitectureCode(host.machine)));
        b.Set(u"ProcessorType", Unsigned(3));  // central processor
        b.Set(u"L2CacheSize", Unsigned(sysfs.l2_cache_kib));
        b.Set(u"L3CacheSize", Unsigned(sysfs.l3_cache_kib));
        // The flags show the extension only when the firmware left it enabled.
        if (host.machine == "x86_64" || host.machine == "i686")
            b.Set(u"VirtualizationFirmwareEnabled",
                  package.HasFlag("vmx") || package.HasFlag("svm"));
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kProcessorClass);

}  // namespace kvwmi
