// Win32_OperatingSystem: the running Linux system, one instance.
//
// Caption is the distribution's PRETTY_NAME ("Debian GNU/Linux 12 (bookworm)"), Version the
// kernel release ("6.1.0-18-amd64"), BuildNumber the os-release VERSION_ID. Memory figures
// are in KiB as WMI gives them; "free" memory is MemAvailable, the memory programs can
// still get without swapping, which is what Windows means by it. Paging files are the swap
// areas. OSType 36 is the CIM code for Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <utmpx.h>

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/host_info.h"
#include "linux/locale_info.h"
#include "linux/mem_info.h"
#include "linux/mounts.h"
#include "linux/os_release.h"
#include "linux/processes.h"
#include "linux/text_util.h"
#include "provider/cim_datetime.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillOperatingSystem(const ClassDecl& decl, const Selection& selection,
                         std::vector<Instance>& out);

const ClassDecl kOperatingSystemClass{
    u"root\\cimv2",
    u"Win32_OperatingSystem",
    {
        {u"BootDevice", CIM_STRING},
        {u"BuildNumber", CIM_STRING},
        {u"BuildType", CIM_STRING},
        {u"Caption", CIM_STRING},
        {u"CodeSet", CIM_STRING},
        {u"CountryCode", CIM_STRING},
        {u"CreationClassName", CIM_STRING},
        {u"CSCreationClassName", CIM_STRING},
        {u"CSDVersion", CIM_STRING},
        {u"CSName", CIM_STRING},
        {u"CurrentTimeZone", CIM_SINT16},
        {u"DataExecutionPrevention_Available", CIM_BOOLEAN},
        {u"DataExecutionPrevention_32BitApplications", CIM_BOOLEAN},
        {u"DataExecutionPrevention_Drivers", CIM_BOOLEAN},
        {u"DataExecutionPrevention_SupportPolicy", CIM_UINT8},
        {u"Debug", CIM_BOOLEAN},
        {u"Description", CIM_STRING},
        {u"Distributed", CIM_BOOLEAN},
        {u"EncryptionLevel", CIM_UINT32},
        {u"ForegroundApplicationBoost", CIM_UINT8},
        {u"FreePhysicalMemory", CIM_UINT64},
        {u"FreeSpaceInPagingFiles", CIM_UINT64},
        {u"FreeVirtualMemory", CIM_UINT64},
        {u"InstallDate", CIM_DATETIME},
        {u"LargeSystemCache", CIM_UINT32},
        {u"LastBootUpTime", CIM_DATETIME},
        {u"LocalDateTime", CIM_DATETIME},
        {u"Locale", CIM_STRING},
        {u"Manufacturer", CIM_STRING},
        {u"MaxNumberOfProcesses", CIM_UINT32},
        {u"MaxProcessMemorySize", CIM_UINT64},
        {u"MUILanguages", CIM_STRING | CIM_FLAG_ARRAY},
        {u"Name", CIM_STRING, true},
        {u"NumberOfLicensedUsers", CIM_UINT32},
        {u"NumberOfProcesses", CIM_UINT32},
        {u"NumberOfUsers", CIM_UINT32},
        {u"OperatingSystemSKU", CIM_UINT32},
        {u"Organization", CIM_STRING},
        {u"OSArchitecture", CIM_STRING},
        {u"OSLanguage", CIM_UINT32},
        {u"OSProductSuite", CIM_UINT32},
        {u"OSType", CIM_UINT16},
        {u"OtherTypeDescription", CIM_STRING},
        {u"PAEEnabled", CIM_BOOLEAN},
        {u"PlusProductID", CIM_STRING},
        {u"PlusVersionNumber", CIM_STRING},
        {u"PortableOperatingSystem", CIM_BOOLEAN},
        {u"Primary", CIM_BOOLEAN},
        {u"ProductType", CIM_UINT32},
        {u"RegisteredUser", CIM_STRING},
        {u"SerialNumber", CIM_STRING},
        {u"ServicePackMajorVersion", CIM_UINT16},
        {u"ServicePackMinorVersion", CIM_UINT16},
        {u"SizeStoredInPagingFiles", CIM_UINT64},
        {u"Status", CIM_STRING},
        {u"SuiteMask", CIM_UINT32},
        {u"SystemDevice", CIM_STRING},
        {u"SystemDirectory", CIM_STRING},
        {u"SystemDrive", CIM_STRING},
        {u"TotalSwapSpaceSize", CIM_UINT64},
        {u"TotalVirtualMemorySize", CIM_UINT64},
        {u"TotalVisibleMemorySize", CIM_UINT64},
        {u"Version", CIM_STRING},
        {u"WindowsDirectory", CIM_STRING},
        {u"QuantumLength", CIM_UINT8},
        {u"QuantumType", CIM_UINT8},
    },
    nullptr,
    FillOperatingSystem};

std::optional<std::string> RootDevice() {
    return kvlinux::MountSourceOf(kvlinux::ReadFileText("/proc/mounts").value_or(""), "/");
}

// The installation date: the Debian installer leaves its logs in /var/log/installer, whose
// date is the installation's; a machine built otherwise (an image) has the birth time of
// its root file system, when the file system records one. Else null.
std::optional<std::int64_t> InstallTime() {
    struct stat st;
    if (::stat("/var/log/installer", &st) == 0)
        return static_cast<std::int64_t>(st.st_mtim.tv_sec);
    struct statx sx;
    if (::statx(AT_FDCWD, "/", 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME) &&
        sx.stx_btime.tv_sec > 0)
        return static_cast<std::int64_t>(sx.stx_btime.tv_sec);
    return std::nullopt;
}

// The log-on sessions of the user accounting database (what `who` lists), or nullopt when
// the database is missing.
std::optional<std::uint64_t> LoggedOnSessions() {
    // The utmpx cursor is one per process; the service may fill classes on several threads.
    static std::mutex lock;
    std::lock_guard guard(lock);
    if (::access(_PATH_UTMPX, R_OK) != 0)
        return std::nullopt;
    std::uint64_t count = 0;
    ::setutxent();
    while (const utmpx* entry = ::getutxent()) {
        if (entry->ut_type == USER_PROCESS)
            ++count;
    }
    ::endutxent();
    return count;
}

// Windows' "Locale" is the identifier as four hexadecimal digits ("0409").
std::string LocaleText(std::uint32_t lcid) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", lcid);
    return text;
}

// Each file is read only when the query needs a property that comes from it: the process
// list, the log-on database, the mount table, /proc/stat, the memory counters, the zone,
// the locale and the machine id. os-release and the kernel's names are always read.
void FillOperatingSystem(const ClassDecl& decl, const Selection& selection,
                         std::vector<Instance>& out) {
    auto wants = [&](std::u16string_view property) { return selection.Wants(decl, property); };
    const kvlinux::OsRelease release = kvlinux::ReadOsRelease();
    const kvlinux::HostInfo host = kvlinux::ReadHostInfo();
    const std::int64_t now = std::time(nullptr);
    const bool wants_device = wants(u"Name") || wants(u"BootDevice") || wants(u"SystemDevice");
    const std::optional<std::string> root_device =
        wants_device ? RootDevice() : std::optional<std::string>();

    std::string caption =
        release.Get("PRETTY_NAME").value_or(release.Get("NAME").value_or("Linux"));
    InstanceBuilder b(decl);
    // Windows writes "caption|windows folder|boot partition"; the Linux equivalents are the
    // distribution, the root folder and the root file system's device.
    b.Set(u"Name", Text(caption + "|/|" + root_device.value_or("")));
    b.Set(u"Caption", Text(caption));
    b.Set(u"Description", Text(release.Get("NAME")));
    b.Set(u"Version", Text(host.kernel_release));
    b.Set(u"BuildNumber", Text(release.Get("VERSION_ID")));
    b.Set(u"Manufacturer", Text(release.Get("VENDOR_NAME")));
    b.Set(u"OSArchitecture", Text(kvlinux::ArchitectureBits(host.machine)));
    b.Set(u"OSType", Unsigned(36));
    b.Set(u"CSName", Text(host.host_name));
    b.Set(u"CSCreationClassName", Text("Win32_ComputerSystem"));
    b.Set(u"CreationClassName", Text("Win32_OperatingSystem"));
    b.Set(u"BootDevice", Text(root_device));
    b.Set(u"SystemDevice", Text(root_device));
    b.Set(u"SystemDrive", Text("/"));
    if (wants(u"InstallDate")) {
        if (auto installed = InstallTime())
            b.Set(u"InstallDate", FormatCimDateTimeLocal(*installed));
    }
    if (wants(u"LastBootUpTime")) {
        if (auto boot = kvlinux::ReadBootTime())
            b.Set(u"LastBootUpTime", FormatCimDateTimeLocal(*boot));
    }
    if (wants(u"LocalDateTime"))
        b.Set(u"LocalDateTime", FormatCimDateTimeLocal(now));
    if (wants(u"CurrentTimeZone"))
        b.Set(u"CurrentTimeZone", Signed(CurrentZoneOffsetMinutes()));
    if (wants(u"Locale") || wants(u"OSLanguage") || wants(u"MUILanguages") || wants(u"CodeSet")) {
        if (auto locale = kvlinux::ReadSystemLocale()) {
            if (auto lcid = kvlinux::LcidOfLocale(*locale)) {
                b.Set(u"Locale", Text(LocaleText(*lcid)));
                b.Set(u"OSLanguage", Unsigned(*lcid));
            }
            b.Set(u"MUILanguages", TextArray({locale->substr(0, locale->find_first_of(".@"))}));
            if (kvlinux::IsUtf8Locale(*locale))
                b.Set(u"CodeSet", Text("65001"));
        }
    }
    if (wants(u"SerialNumber"))
        b.Set(u"SerialNumber", Text(kvlinux::ReadMachineId()));
    b.Set(u"Primary", true);
    b.Set(u"Distributed", false);
    b.Set(u"Debug", false);
    b.Set(u"PortableOperatingSystem", false);
    b.Set(u"Status", Text("OK"));
    if (wants(u"NumberOfProcesses"))
        b.Set(u"NumberOfProcesses", Unsigned(kvlinux::CountPids()));
    if (wants(u"NumberOfUsers"))
        b.Set(u"NumberOfUsers", Unsigned(LoggedOnSessions()));
    if (wants(u"MaxNumberOfProcesses"))
        b.Set(u"MaxNumberOfProcesses",
              Unsigned(kvlinux::ParseUnsigned(
                  kvlinux::ReadFirstLine("/proc/sys/kernel/pid_max").value_or(""))));
    if (!wants(u"TotalVisibleMemorySize") && !wants(u"FreePhysicalMemory") &&
        !wants(u"TotalVirtualMemorySize") && !wants(u"FreeVirtualMemory") &&
        !wants(u"SizeStoredInPagingFiles") && !wants(u"FreeSpaceInPagingFiles") &&
        !wants(u"TotalSwapSpaceSize")) {
        out.push_back(b.Take());
        return;
    }
    const kvlinux::MemInfo mem = kvlinux::ReadMemInfo();
    auto total = mem.Kib("MemTotal");
    auto available = mem.Kib("MemAvailable");
    if (!available)
        available = mem.Kib("MemFree");  // kernels before 3.14
    auto swap_total = mem.Kib("SwapTotal");
    auto swap_free = mem.Kib("SwapFree");
    b.Set(u"TotalVisibleMemorySize", Unsigned(total));
    b.Set(u"FreePhysicalMemory", Unsigned(available));
    if (total && swap_total)
        b.Set(u"TotalVirtualMemorySize", Unsigned(*total + *swap_total));
    if (available && swap_free)
        b.Set(u"FreeVirtualMemory", Unsigned(*available + *swap_free));
    b.Set(u"SizeStoredInPagingFiles", Unsigned(swap_total));
    b.Set(u"FreeSpaceInPagingFiles", Unsigned(swap_free));
    b.Set(u"TotalSwapSpaceSize", Unsigned(swap_total));
    out.push_back(b.Take());
}

}  // namespace

KAVREL_WMI_CLASS(kOperatingSystemClass);

}  // namespace kvwmi
