// The running processes from /proc/<pid>/{stat,status,cmdline,exe}, and the boot time from
// /proc/stat.
//
// Pure parsing plus file reads under a proc root; safe from any thread. A process may end
// while it is read: its files then vanish and it is left out, never reported half-read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

// The fields of /proc/<pid>/stat that the classes use. Times are in clock ticks.
struct ProcStat {
    std::int64_t pid = 0;
    std::string comm;  // as the kernel holds it: may hold spaces, parentheses, newlines
    char state = '?';
    std::int64_t ppid = 0;
    std::int64_t priority = 0;
    std::int64_t nice = 0;
    std::int64_t num_threads = 0;
    std::uint64_t utime = 0;
    std::uint64_t stime = 0;
    std::uint64_t start_time = 0;  // ticks after boot
    std::uint64_t vsize = 0;       // bytes
    std::int64_t rss_pages = 0;
};

// Parses one stat line. The command name is everything between the first '(' and the LAST
// ')', since the name itself may contain ')' and even a newline. nullopt when malformed.
std::optional<ProcStat> ParseProcStat(std::string_view content);

// The "Name: value" lines of /proc/<pid>/status that the classes use, in KiB.
struct ProcStatus {
    std::optional<std::uint32_t> uid;  // real uid
    std::optional<std::uint64_t> vm_peak_kib;
    std::optional<std::uint64_t> vm_hwm_kib;  // peak resident set
    std::optional<std::uint64_t> vm_swap_kib;
};
ProcStatus ParseProcStatus(std::string_view content);

// The NUL-separated arguments of /proc/<pid>/cmdline (empty for kernel threads).
std::vector<std::string> ParseCmdline(std::string_view content);

struct ProcessInfo {
    ProcStat stat;
    ProcStatus status;
    std::vector<std::string> args;
    std::optional<std::string> exe;  // the /proc/<pid>/exe link; nullopt when not permitted
};

// Every process under a proc root, in pid order. Thread entries are not processes.
std::vector<ProcessInfo> ReadProcesses(const std::string& proc_root = "/proc");
// One process by its pid, read as ReadProcesses reads each; nullopt when there is no such
// process (or it ended while it was read).
std::optional<ProcessInfo> ReadProcess(std::int64_t pid, const std::string& proc_root = "/proc");
// Just the pids, in order (cheap: no file is read).
std::vector<std::int64_t> ListPids(const std::string& proc_root = "/proc");
// How many pids ListPids would give, counted in one pass over the folder without a list.
size_t CountPids(const std::string& proc_root = "/proc");

// The boot time ("btime", seconds since 1970) from <proc_root>/stat.
std::optional<std::int64_t> ParseBootTime(std::string_view proc_stat_content);
std::optional<std::int64_t> ReadBootTime(const std::string& proc_root = "/proc");

// The Windows base priority a process's scheduling corresponds to: the priority class its
// nice value falls in (idle 4, below normal 6, normal 8, above normal 10, high 13), or 24
// (real time) for a real-time scheduled process (stat's priority below zero).
std::uint32_t WindowsBasePriority(const ProcStat& stat);

// How many descriptors the process has open (the entries of <proc_root>/<pid>/fd), or
// nullopt when that folder cannot be read (another user's process, unless root).
std::optional<std::uint32_t> CountOpenDescriptors(std::int64_t pid,
                                                  const std::string& proc_root = "/proc");

// The log-on session the process belongs to (<proc_root>/<pid>/sessionid, the audit session
// that a log-on opens), 0 for a process started outside any log-on (services, the kernel's),
// nullopt when the kernel does not keep it.
std::optional<std::uint32_t> ReadLogonSession(std::int64_t pid,
                                              const std::string& proc_root = "/proc");

// Clock ticks per second for the tick fields of stat.
std::int64_t ClockTicksPerSecond();

}  // namespace kvlinux
