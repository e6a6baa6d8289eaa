// Win32_Process: one instance per process of /proc (threads are not processes).
//
// Handle is the pid as text, ProcessId and ParentProcessId the pids. Name is the kernel's
// name for the process (the "comm" of /proc/<pid>/stat, what ps and top show; at most 15
// bytes, and it may hold spaces, parentheses or even a newline, reported as they are).
// ExecutablePath is the /proc/<pid>/exe link, readable only for one's own processes unless
// root; CommandLine the arguments joined by spaces, null for kernel threads. CreationDate is
// the boot time plus the start time. Memory: WorkingSetSize and VirtualSize in bytes,
// PeakWorkingSetSize and PageFileUsage in KiB (VmHWM, VmSwap), PeakVirtualSize in bytes;
// KernelModeTime and UserModeTime in 100-nanosecond units, as WMI counts them.
//
// Priority is the Windows base priority of the process's nice value's class (8 for nice 0,
// 24 for real-time scheduling); SessionId the log-on (audit) session, 0 outside any log-on,
// as Windows puts services in session 0; HandleCount the open descriptors, counted only when
// a query asks for it (it reads a folder per process).
#include <unistd.h>

#include <stdexcept>

#include "classes/class_values.h"
#include "linux/host_info.h"
#include "linux/processes.h"
#include "provider/cim_datetime.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillProcess(const ClassDecl& decl, const Selection& selection, std::vector<Instance>& out);
bool LookupProcess(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                   const Selection& selection, std::vector<Instance>& out);

const ClassDecl kProcessClass{u"root\\cimv2",
                              u"Win32_Process",
                              {
                                  {u"CreationClassName", CIM_STRING},
                                  {u"Caption", CIM_STRING},
                                  {u"CommandLine", CIM_STRING},
                                  {u"CreationDate", CIM_DATETIME},
                                  {u"CSCreationClassName", CIM_STRING},
                                  {u"CSName", CIM_STRING},
                                  {u"Description", CIM_STRING},
                                  {u"ExecutablePath", CIM_STRING},
                                  {u"ExecutionState", CIM_UINT16},
                                  {u"Handle", CIM_STRING, true},
                                  {u"HandleCount", CIM_UINT32},
                                  {u"InstallDate", CIM_DATETIME},
                                  {u"KernelModeTime", CIM_UINT64},
                                  {u"MaximumWorkingSetSize", CIM_UINT32},
                                  {u"MinimumWorkingSetSize", CIM_UINT32},
                                  {u"Name", CIM_STRING},
                                  {u"OSCreationClassName", CIM_STRING},
                                  {u"OSName", CIM_STRING},
                                  {u"OtherOperationCount", CIM_UINT64},
                                  {u"OtherTransferCount", CIM_UINT64},
                                  {u"PageFaults", CIM_UINT32},
                                  {u"PageFileUsage", CIM_UINT32},
                                  {u"ParentProcessId", CIM_UINT32},
                                  {u"PeakPageFileUsage", CIM_UINT32},
                                  {u"PeakVirtualSize", CIM_UINT64},
                                  {u"PeakWorkingSetSize", CIM_UINT32},
                                  {u"Priority", CIM_UINT32},
                                  {u"PrivatePageCount", CIM_UINT64},
                                  {u"ProcessId", CIM_UINT32},
                                  {u"QuotaNonPagedPoolUsage", CIM_UINT32},
                                  {u"QuotaPagedPoolUsage", CIM_UINT32},
                                  {u"QuotaPeakNonPagedPoolUsage", CIM_UINT32},
                                  {u"QuotaPeakPagedPoolUsage", CIM_UINT32},
                                  {u"ReadOperationCount", CIM_UINT64},
                                  {u"ReadTransferCount", CIM_UINT64},
                                  {u"SessionId", CIM_UINT32},
                                  {u"Status", CIM_STRING},
                                  {u"TerminationDate", CIM_DATETIME},
                                  {u"ThreadCount", CIM_UINT32},
                                  {u"UserModeTime", CIM_UINT64},
                                  {u"VirtualSize", CIM_UINT64},
                                  {u"WindowsVersion", CIM_STRING},
                                  {u"WorkingSetSize", CIM_UINT64},
                                  {u"WriteOperationCount", CIM_UINT64},
                                  {u"WriteTransferCount", CIM_UINT64},
                              },
                              nullptr,
                              FillProcess,
                              LookupProcess};

std::optional<std::string> JoinedCommandLine(const std::vector<std::string>& args) {
    if (args.empty())
        return std::nullopt;
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        line += arg;
    }
    return line;
}

void FillProcessesFrom(const ClassDecl& decl, const Selection& selection,
                       const std::vector<kvlinux::ProcessInfo>& processes,
                       std::vector<Instance>& out) {
    const bool wants_handles = selection.Wants(decl, u"HandleCount");
    const bool wants_session = selection.Wants(decl, u"SessionId");
    const std::optional<std::int64_t> boot = kvlinux::ReadBootTime();
    const std::int64_t hz = kvlinux::ClockTicksPerSecond();
    const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::string host = kvlinux::ReadHostInfo().host_name;
    // Ticks to 100-nanosecond units.
    auto to_100ns = [&](std::uint64_t ticks) { return ticks * (10000000 / std::uint64_t(hz)); };
    for (const kvlinux::ProcessInfo& p : processes) {
        InstanceBuilder b(decl);
        b.Set(u"Handle", Text(std::to_string(p.stat.pid)));
        b.Set(u"ProcessId", Unsigned(static_cast<std::uint64_t>(p.stat.pid)));
        b.Set(u"ParentProcessId", Unsigned(static_cast<std::uint64_t>(p.stat.ppid)));
        b.Set(u"Name", Text(p.stat.comm));
        b.Set(u"Caption", Text(p.stat.comm));
        b.Set(u"Description", Text(p.stat.comm));
        b.Set(u"ExecutablePath", Text(p.exe));
        b.Set(u"CommandLine", Text(JoinedCommandLine(p.args)));
        if (boot) {
            std::int64_t ticks = static_cast<std::int64_t>(p.stat.start_time);
            b.Set(u"CreationDate",
                  FormatCimDateTimeLocal(*boot + ticks / hz,
                                         static_cast<std::int32_t>(ticks % hz * 1000000 / hz)));
        }
        b.Set(u"ThreadCount", Unsigned(static_cast<std::uint64_t>(p.stat.num_threads)));
        b.Set(u"WorkingSetSize", Unsigned(static_cast<std::uint64_t>(p.stat.rss_pages) * page));
        b.Set(u"PeakWorkingSetSize", Unsigned(p.status.vm_hwm_kib));
        b.Set(u"VirtualSize", Unsigned(p.stat.vsize));
        if (p.status.vm_peak_kib)
            b.Set(u"PeakVirtualSize", Unsigned(*p.status.vm_peak_kib * 1024));
        b.Set(u"PageFileUsage", Unsigned(p.status.vm_swap_kib));
        b.Set(u"KernelModeTime", Unsigned(to_100ns(p.stat.stime)));
        b.Set(u"UserModeTime", Unsigned(to_100ns(p.stat.utime)));
        b.Set(u"CSName", Text(host));
        b.Set(u"CSCreationClassName", Text("Win32_ComputerSystem"));
        b.Set(u"CreationClassName", Text("Win32_Process"));
        b.Set(u"OSCreationClassName", Text("Win32_OperatingSystem"));
        b.Set(u"Priority", Unsigned(kvlinux::WindowsBasePriority(p.stat)));
        if (wants_handles)
            b.Set(u"HandleCount", Unsigned(kvlinux::CountOpenDescriptors(p.stat.pid)));
        if (wants_session)
            b.Set(u"SessionId", Unsigned(kvlinux::ReadLogonSession(p.stat.pid)));
        out.push_back(b.Take());
    }
}

void FillProcess(const ClassDecl& decl, const Selection& selection, std::vector<Instance>& out) {
    const auto processes = kvlinux::ReadProcesses();
    if (processes.empty())
        throw std::runtime_error("/proc lists no process");
    FillProcessesFrom(decl, selection, processes, out);
}

// A query for one process (Handle = '42', ProcessId = 42) reads that process alone. A value
// that is not a plain pid is left to the full enumeration.
bool LookupProcess(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                   const Selection& selection, std::vector<Instance>& out) {
    const int handle = decl.IndexOf(u"Handle");
    const int process_id = decl.IndexOf(u"ProcessId");
    for (const PropertyEquals& condition : equals) {
        if (condition.property != handle && condition.property != process_id)
            continue;
        const std::string text = kvwin::ToUtf8(condition.text);
        if (text.empty() || text.size() > 10 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            return false;
        std::vector<kvlinux::ProcessInfo> processes;
        if (auto process = kvlinux::ReadProcess(std::stoll(text)))
            processes.push_back(std::move(*process));
        FillProcessesFrom(decl, selection, processes, out);
        return true;
    }
    return false;
}

}  // namespace

KAVREL_WMI_CLASS(kProcessClass);

}  // namespace kvwmi
