// Win32_ComputerSystem: the machine, one instance.
//
// Manufacturer and Model come from the firmware (DMI sys_vendor, product_name); the processor
// counts from /proc/cpuinfo; TotalPhysicalMemory is MemTotal in bytes (like Windows, the
// memory the kernel manages, a little under what is installed). A machine joined to a
// directory domain (SSSD, winbind) is a member workstation of it (DomainRole 1, PartOfDomain,
// Domain the joined domain); any other is a stand-alone workstation (DomainRole 0) whose
// Domain is the DNS domain of its host name and whose Workgroup is Samba's workgroup, else
// Windows' default "WORKGROUP".
#include <ctime>

#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/cpu_info.h"
#include "linux/dmi.h"
#include "linux/domain_membership.h"
#include "linux/host_info.h"
#include "linux/mem_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillComputerSystem(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kComputerSystemClass{
    u"root\\cimv2",
    u"Win32_ComputerSystem",
    {
        {u"AdminPasswordStatus", CIM_UINT16},
        {u"AutomaticManagedPagefile", CIM_BOOLEAN},
        {u"AutomaticResetBootOption", CIM_BOOLEAN},
        {u"AutomaticResetCapability", CIM_BOOLEAN},
        {u"BootOptionOnLimit", CIM_UINT16},
        {u"BootOptionOnWatchDog", CIM_UINT16},
        {u"BootROMSupported", CIM_BOOLEAN},
        {u"BootupState", CIM_STRING},
        {u"BootStatus", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"Caption", CIM_STRING},
        {u"ChassisBootupState", CIM_UINT16},
        {u"ChassisSKUNumber", CIM_STRING},
        {u"CreationClassName", CIM_STRING},
        {u"CurrentTimeZone", CIM_SINT16},
        {u"DaylightInEffect", CIM_BOOLEAN},
        {u"Description", CIM_STRING},
        {u"DNSHostName", CIM_STRING},
        {u"Domain", CIM_STRING},
        {u"DomainRole", CIM_UINT16},
        {u"EnableDaylightSavingsTime", CIM_BOOLEAN},
        {u"FrontPanelResetStatus", CIM_UINT16},
        {u"HypervisorPresent", CIM_BOOLEAN},
        {u"InfraredSupported", CIM_BOOLEAN},
        {u"InitialLoadInfo", CIM_STRING | CIM_FLAG_ARRAY},
        {u"InstallDate", CIM_DATETIME},
        {u"KeyboardPasswordStatus", CIM_UINT16},
        {u"LastLoadInfo", CIM_STRING},
        {u"Manufacturer", CIM_STRING},
        {u"Model", CIM_STRING},
        {u"Name", CIM_STRING, true},
        {u"NameFormat", CIM_STRING},
        {u"NetworkServerModeEnabled", CIM_BOOLEAN},
        {u"NumberOfLogicalProcessors", CIM_UINT32},
        {u"NumberOfProcessors", CIM_UINT32},
        {u"OEMLogoBitmap", CIM_UINT8 | CIM_FLAG_ARRAY},
        {u"OEMStringArray", CIM_STRING | CIM_FLAG_ARRAY},
        {u"PartOfDomain", CIM_BOOLEAN},
        {u"PauseAfterReset", CIM_SINT64},
        {u"PCSystemType", CIM_UINT16},
        {u"PCSystemTypeEx", CIM_UINT16},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"PowerOnPasswordStatus", CIM_UINT16},
        {u"PowerState", CIM_UINT16},
        {u"PowerSupplyState", CIM_UINT16},
        {u"PrimaryOwnerContact", CIM_STRING},
        {u"PrimaryOwnerName", CIM_STRING},
        {u"ResetCapability", CIM_UINT16},
        {u"ResetCount", CIM_SINT16},
        {u"ResetLimit", CIM_SINT16},
        {u"Roles", CIM_STRING | CIM_FLAG_ARRAY},
        {u"Status", CIM_STRING},
        {u"SupportContactDescription", CIM_STRING | CIM_FLAG_ARRAY},
        {u"SystemFamily", CIM_STRING},
        {u"SystemSKUNumber", CIM_STRING},
        {u"SystemStartupDelay", CIM_UINT16},
        {u"SystemStartupOptions", CIM_STRING | CIM_FLAG_ARRAY},
        {u"SystemStartupSetting", CIM_UINT8},
        {u"SystemType", CIM_STRING},
        {u"ThermalState", CIM_UINT16},
        {u"TotalPhysicalMemory", CIM_UINT64},
        {u"UserName", CIM_STRING},
        {u"WakeUpType", CIM_UINT16},
        {u"Workgroup", CIM_STRING},
    },
    FillComputerSystem};

void FillComputerSystem(const ClassDecl& decl, std::vector<Instance>& out) {
    const kvlinux::HostInfo host = kvlinux::ReadHostInfo();
    const kvlinux::DmiInfo dmi = kvlinux::ReadDmi();
    const auto cpus = kvlinux::ParseCpuInfo(kvlinux::ReadFileText("/proc/cpuinfo").value_or(""));
    const auto packages = kvlinux::GroupCpuPackages(cpus);
    const kvlinux::MemInfo mem = kvlinux::ReadMemInfo();

    InstanceBuilder b(decl);
    b.Set(u"Name", Text(host.host_name));
    b.Set(u"Caption", Text(host.host_name));
    b.Set(u"DNSHostName", Text(host.host_name));
    const kvlinux::DomainMembership membership = kvlinux::ReadDomainMembership();
    if (membership.domain) {
        b.Set(u"Domain", Text(membership.domain));
        b.Set(u"PartOfDomain", true);
        b.Set(u"DomainRole", Unsigned(1));  // member workstation
    } else {
        b.Set(u"Domain", Text(host.domain));
        b.Set(u"PartOfDomain", false);
        b.Set(u"DomainRole", Unsigned(0));  // stand-alone workstation
        b.Set(u"Workgroup", Text(membership.workgroup.value_or("WORKGROUP")));
    }
    b.Set(u"CreationClassName", Text("Win32_ComputerSystem"));
    b.Set(u"Manufacturer", Text(dmi.sys_vendor));
    b.Set(u"Model", Text(dmi.product_name));
    b.Set(u"SystemFamily", Text(dmi.product_family));
    b.Set(u"SystemSKUNumber", Text(dmi.product_sku));
    b.Set(u"SystemType", Text(kvlinux::SystemTypeFor(host.machine)));
    if (!cpus.empty()) {
        b.Set(u"NumberOfProcessors", Unsigned(packages.size()));
        b.Set(u"NumberOfLogicalProcessors", Unsigned(cpus.size()));
        // The CPUID "hypervisor" bit, which every x86 hypervisor sets for its guests.
        if (cpus.front().vendor_id == "GenuineIntel" || cpus.front().vendor_id == "AuthenticAMD")
            b.Set(u"HypervisorPresent", packages.front().HasFlag("hypervisor"));
    }
    if (auto total = mem.Kib("MemTotal"))
        b.Set(u"TotalPhysicalMemory", Unsigned(*total * 1024));
    b.Set(u"CurrentTimeZone", Signed(CurrentZoneOffsetMinutes()));
    b.Set(u"Status", Text("OK"));
    out.push_back(b.Take());
}

}  // namespace

KAVREL_WMI_CLASS(kComputerSystemClass);

}  // namespace kvwmi
