// Win32_ComputerSystem: the machine, one instance.
//
// Manufacturer and Model come from the firmware (DMI sys_vendor, product_name); the processor
// counts from /proc/cpuinfo; TotalPhysicalMemory is MemTotal in bytes (like Windows, the
// memory the kernel manages, a little under what is installed). Domain is the DNS domain of
// the host name when it has one; Linux has no workgroup, so it is otherwise null.
#include <ctime>

#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/cpu_info.h"
#include "linux/dmi.h"
#include "linux/host_info.h"
#include "linux/mem_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillComputerSystem(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kComputerSystemClass{u"root\\cimv2",
                                     u"Win32_ComputerSystem",
                                     {
                                         {u"Name", CIM_STRING, true},
                                         {u"Caption", CIM_STRING},
                                         {u"DNSHostName", CIM_STRING},
                                         {u"Domain", CIM_STRING},
                                         {u"PartOfDomain", CIM_BOOLEAN},
                                         {u"Manufacturer", CIM_STRING},
                                         {u"Model", CIM_STRING},
                                         {u"SystemFamily", CIM_STRING},
                                         {u"SystemSKUNumber", CIM_STRING},
                                         {u"SystemType", CIM_STRING},
                                         {u"NumberOfProcessors", CIM_UINT32},
                                         {u"NumberOfLogicalProcessors", CIM_UINT32},
                                         {u"TotalPhysicalMemory", CIM_UINT64},
                                         {u"HypervisorPresent", CIM_BOOLEAN},
                                         {u"CurrentTimeZone", CIM_SINT16},
                                         {u"PrimaryOwnerName", CIM_STRING},
                                         {u"UserName", CIM_STRING},
                                         {u"Status", CIM_STRING},
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
    b.Set(u"Domain", Text(host.domain));
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
