#include "linux/processes.h"

#include <dirent.h>

#include <unistd.h>

#include <algorithm>
#include <memory>

#include "linux/text_util.h"

namespace kvlinux {

std::optional<ProcStat> ParseProcStat(std::string_view content) {
    size_t open = content.find('(');
    size_t close = content.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    ProcStat stat;
    auto pid = ParseSigned(content.substr(0, open));
    if (!pid)
        return std::nullopt;
    stat.pid = *pid;
    stat.comm = std::string(content.substr(open + 1, close - open - 1));
    // After the name: field 3 (state) onwards, numbered as in proc(5).
    auto rest = SplitFields(Trim(content.substr(close + 1)));
    if (rest.size() < 22 || rest[0].size() != 1)
        return std::nullopt;
    auto field = [&](size_t number) { return rest[number - 3]; };
    stat.state = rest[0][0];
    auto ppid = ParseSigned(field(4));
    auto utime = ParseUnsigned(field(14));
    auto stime = ParseUnsigned(field(15));
    auto priority = ParseSigned(field(18));
    auto nice = ParseSigned(field(19));
    auto threads = ParseSigned(field(20));
    auto start = ParseUnsigned(field(22));
    auto vsize = ParseUnsigned(field(23));
    auto rss = ParseSigned(field(24));
    if (!ppid || !utime || !stime || !priority || !nice || !threads || !start || !vsize || !rss)
        return std::nullopt;
    stat.ppid = *ppid;
    stat.utime = *utime;
    stat.stime = *stime;
    stat.priority = *priority;
    stat.nice = *nice;
    stat.num_threads = *threads;
    stat.start_time = *start;
    stat.vsize = *vsize;
    stat.rss_pages = *rss;
    return stat;
}

ProcStatus ParseProcStatus(std::string_view content) {
    ProcStatus status;
    for (std::string_view line : SplitLines(content)) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, colon);
        auto fields = SplitFields(line.substr(colon + 1));
        if (fields.empty())
            continue;
        auto number = ParseUnsigned(fields[0]);
        if (key == "Uid" && number && *number <= UINT32_MAX)
            status.uid = static_cast<std::uint32_t>(*number);
        else if (key == "VmPeak")
            status.vm_peak_kib = number;
        else if (key == "VmHWM")
            status.vm_hwm_kib = number;
        else if (key == "VmSwap")
            status.vm_swap_kib = number;
    }
    return status;
}

std::vector<std::string> ParseCmdline(std::string_view content) {
    std::vector<std::string> args;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\0', start);
        if (end == std::string_view::npos)
            end = content.size();
        args.emplace_back(content.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

namespace {

// A process's folder: a name of one to ten digits, the first not zero, as /proc names them
// (a pid is below 2^22).
bool IsPidName(const char* name) {
    if (*name < '1' || *name > '9')
        return false;
    const char* const first = name;
    while (*++name >= '0' && *name <= '9') {
    }
    return *name == '\0' && name - first <= 10;
}

}  // namespace

std::vector<std::int64_t> ListPids(const std::string& proc_root) {
    std::vector<std::int64_t> pids;
    for (const std::string& name : ListFolder(proc_root)) {
        if (!IsPidName(name.c_str()))
            continue;
        if (auto pid = ParseSigned(name))
            pids.push_back(*pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

size_t CountPids(const std::string& proc_root) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(proc_root.c_str()), ::closedir);
    if (!dir)
        return 0;
    size_t count = 0;
    while (const dirent* entry = ::readdir(dir.get()))
        count += IsPidName(entry->d_name);
    return count;
}

std::optional<ProcessInfo> ReadProcess(std::int64_t pid, const std::string& proc_root) {
    if (pid <= 0)
        return std::nullopt;
    const std::string dir = proc_root + "/" + std::to_string(pid);
    auto stat_text = ReadFileText(dir + "/stat");
    if (!stat_text)
        return std::nullopt;  // no such process, or it ended since the folder was listed
    auto stat = ParseProcStat(*stat_text);
    if (!stat)
        return std::nullopt;
    ProcessInfo info;
    info.stat = std::move(*stat);
    auto status_text = ReadFileText(dir + "/status");
    if (!status_text)
        return std::nullopt;  // ended between the two reads
    info.status = ParseProcStatus(*status_text);
    if (auto text = ReadFileText(dir + "/cmdline"))
        info.args = ParseCmdline(*text);
    info.exe = ReadLink(dir + "/exe");
    return info;
}

std::vector<ProcessInfo> ReadProcesses(const std::string& proc_root) {
    std::vector<ProcessInfo> processes;
    for (std::int64_t pid : ListPids(proc_root)) {
        if (auto info = ReadProcess(pid, proc_root))
            processes.push_back(std::move(*info));
    }
    return processes;
}

std::optional<std::int64_t> ParseBootTime(std::string_view proc_stat_content) {
    for (std::string_view line : SplitLines(proc_stat_content)) {
        if (StartsWith(line, "btime "))
            return ParseSigned(line.substr(6));
    }
    return std::nullopt;
}

std::optional<std::int64_t> ReadBootTime(const std::string& proc_root) {
    auto text = ReadFileText(proc_root + "/stat");
    return text ? ParseBootTime(*text) : std::nullopt;
}

std::int64_t ClockTicksPerSecond() {
    long ticks = ::sysconf(_SC_CLK_TCK);
    return ticks > 0 ? ticks : 100;
}

std::uint32_t WindowsBasePriority(const ProcStat& stat) {
    if (stat.priority < 0)
        return 24;
    if (stat.nice >= 15)
        return 4;
    if (stat.nice > 0)
        return 6;
    if (stat.nice == 0)
        return 8;
    if (stat.nice > -10)
        return 10;
    return 13;
}

std::optional<std::uint32_t> CountOpenDescriptors(std::int64_t pid, const std::string& proc_root) {
    const std::string folder = proc_root + "/" + std::to_string(pid) + "/fd";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return std::nullopt;
    std::uint32_t count = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    return count;
}

std::optional<std::uint32_t> ReadLogonSession(std::int64_t pid, const std::string& proc_root) {
    auto line = ReadFirstLine(proc_root + "/" + std::to_string(pid) + "/sessionid");
    if (!line)
        return std::nullopt;
    auto session = ParseUnsigned(Trim(*line));
    if (!session)
        return std::nullopt;
    if (*session >= 0xFFFFFFFFu)  // the kernel's "no session"
        return 0;
    return static_cast<std::uint32_t>(*session);
}

}  // namespace kvlinux
