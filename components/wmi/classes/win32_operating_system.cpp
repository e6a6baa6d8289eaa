// Win32_OperatingSystem: the running Linux system, one instance.
//
// Caption is the distribution's PRETTY_NAME ("Debian GNU/Linux 12 (bookworm)"), Version the
// kernel release ("6.1.0-18-amd64"), BuildNumber the os-release VERSION_ID. Memory figures
// are in KiB as WMI gives them; "free" memory is MemAvailable, the memory programs can
// still get without swapping, which is what Windows means by it. Paging files are the swap
// areas. OSType 36 is the CIM code for Linux.
#include <sys/stat.h>
#include <utmpx.h>

#include <unistd.h>

#include <ctime>
#include <mutex>

#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/host_info.h"
#include "linux/mem_info.h"
#include "linux/mounts.h"
#include "linux/os_release.h"
#include "linux/processes.h"
#include "linux/text_util.h"
#include "provider/cim_datetime.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillOperatingSystem(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kOperatingSystemClass{u"root\\cimv2",
                                      u"Win32_OperatingSystem",
                                      {
                                          {u"Name", CIM_STRING, true},
                                          {u"Caption", CIM_STRING},
                                          {u"Description", CIM_STRING},
                                          {u"Version", CIM_STRING},
                                          {u"BuildNumber", CIM_STRING},
                                          {u"Manufacturer", CIM_STRING},
                                          {u"OSArchitecture", CIM_STRING},
                                          {u"OSType", CIM_UINT16},
                                          {u"CSName", CIM_STRING},
                                          {u"BootDevice", CIM_STRING},
                                          {u"SystemDevice", CIM_STRING},
                                          {u"SystemDrive", CIM_STRING},
                                          {u"SystemDirectory", CIM_STRING},
                                          {u"WindowsDirectory", CIM_STRING},
                                          {u"InstallDate", CIM_DATETIME},
                                          {u"LastBootUpTime", CIM_DATETIME},
                                          {u"LocalDateTime", CIM_DATETIME},
                                          {u"CurrentTimeZone", CIM_SINT16},
                                          {u"Locale", CIM_STRING},
                                          {u"OSLanguage", CIM_UINT32},
                                          {u"SerialNumber", CIM_STRING},
                                          {u"Primary", CIM_BOOLEAN},
                                          {u"Status", CIM_STRING},
                                          {u"NumberOfProcesses", CIM_UINT32},
                                          {u"NumberOfUsers", CIM_UINT32},
                                          {u"TotalVisibleMemorySize", CIM_UINT64},
                                          {u"FreePhysicalMemory", CIM_UINT64},
                                          {u"TotalVirtualMemorySize", CIM_UINT64},
                                          {u"FreeVirtualMemory", CIM_UINT64},
                                          {u"SizeStoredInPagingFiles", CIM_UINT64},
                                          {u"FreeSpaceInPagingFiles", CIM_UINT64},
                                          {u"TotalSwapSpaceSize", CIM_UINT64},
                                      },
                                      FillOperatingSystem};

std::optional<std::string> RootDevice() {
    auto mounts = kvlinux::ParseMounts(kvlinux::ReadFileText("/proc/mounts").value_or(""));
    std::optional<std::string> device;
    for (const kvlinux::MountEntry& m : mounts) {
        if (m.target == "/")
            device = m.source;  // the last mount on / is the one in use
    }
    return device;
}

// The installation date: the Debian installer leaves its logs in /var/log/installer, whose
// date is the installation's. Machines built otherwise (images, containers) have no such
// witness, and the date is null.
std::optional<std::int64_t> InstallTime() {
    struct stat st;
    if (::stat("/var/log/installer", &st) == 0)
        return static_cast<std::int64_t>(st.st_mtim.tv_sec);
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

void FillOperatingSystem(const ClassDecl& decl, std::vector<Instance>& out) {
    const kvlinux::OsRelease release = kvlinux::ReadOsRelease();
    const kvlinux::HostInfo host = kvlinux::ReadHostInfo();
    const kvlinux::MemInfo mem = kvlinux::ReadMemInfo();
    const std::optional<std::string> root_device = RootDevice();
    const std::int64_t now = std::time(nullptr);

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
    b.Set(u"BootDevice", Text(root_device));
    b.Set(u"SystemDevice", Text(root_device));
    b.Set(u"SystemDrive", Text("/"));
    if (auto installed = InstallTime())
        b.Set(u"InstallDate", FormatCimDateTimeLocal(*installed));
    if (auto boot = kvlinux::ReadBootTime())
        b.Set(u"LastBootUpTime", FormatCimDateTimeLocal(*boot));
    b.Set(u"LocalDateTime", FormatCimDateTimeLocal(now));
    b.Set(u"CurrentTimeZone", Signed(CurrentZoneOffsetMinutes()));
    b.Set(u"Primary", true);
    b.Set(u"Status", Text("OK"));
    b.Set(u"NumberOfProcesses", Unsigned(kvlinux::ListPids().size()));
    b.Set(u"NumberOfUsers", Unsigned(LoggedOnSessions()));
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
