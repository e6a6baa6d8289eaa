// The cost of producing every Win32_Process and Win32_Service instance through the class
// fill functions, beside a direct read of the same fields from /proc and the unit files
// measured in the same run: the difference is what the class layer (parsing into structs,
// UTF-16 text, CimValue instances) adds to the unavoidable file reads.
//
// And the one-row query "SELECT Name, Caption, Version FROM Win32_OperatingSystem": the
// provider's work for it (which must not list the processes it was not asked to count)
// timed in the same loop as a direct read of the files it comes from; the counter "ratio"
// is provider time over direct time. Both are this thread's CPU time (the kernel's work on
// the files included), which a loaded machine's scheduling does not distort.
//
// And the classes that read package logs, package databases and task tables: each
// class's provider work beside a direct read of the same files, interleaved in one loop,
// with the same "ratio" counter (goal: at most 1.5).
//
//   build/bin/kavrel_wmi_classes_bench
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "provider/class_decl.h"

namespace {

void FillClass(const char16_t* name, benchmark::State& state) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(u"root\\cimv2", name);
    if (!decl) {
        state.SkipWithError("class not registered");
        return;
    }
    std::vector<kvwmi::Instance> out;
    kvwmi::FillInstances(*decl, kvwmi::Selection{}, out);
    benchmark::DoNotOptimize(out.data());
}

void BM_ClassFillProcessAndService(benchmark::State& state) {
    for (auto _ : state) {
        FillClass(u"Win32_Process", state);
        FillClass(u"Win32_Service", state);
    }
}
BENCHMARK(BM_ClassFillProcessAndService)->Unit(benchmark::kMillisecond);

// Reads a whole small file into a fixed buffer; returns its length or -1.
ssize_t ReadInto(const char* path, char* buffer, size_t size) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    while (static_cast<size_t>(total) < size) {
        ssize_t n = ::read(fd, buffer + total, size - static_cast<size_t>(total));
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

template <typename Visit>
void ForEachEntry(const char* dir, Visit visit) {
    DIR* d = ::opendir(dir);
    if (!d)
        return;
    while (dirent* e = ::readdir(d))
        visit(e->d_name);
    ::closedir(d);
}

// The baseline: the same files read with plain system calls, keeping only the numbers and
// names the classes report (pid, parent, name, threads, times, sizes; the unit file's text).
void BM_DirectProcAndUnitFileRead(benchmark::State& state) {
    static char buffer[1 << 16];
    for (auto _ : state) {
        std::size_t fields = 0;
        ForEachEntry("/proc", [&](const char* name) {
            if (name[0] < '1' || name[0] > '9')
                return;
            std::string dir = std::string("/proc/") + name;
            ssize_t n = ReadInto((dir + "/stat").c_str(), buffer, sizeof buffer - 1);
            if (n <= 0)
                return;
            buffer[n] = 0;
            const char* close = std::strrchr(buffer, ')');
            if (!close)
                return;
            char* cursor = const_cast<char*>(close) + 3;
            for (int field = 0; field < 21 && *cursor; ++field)
                fields += std::strtoull(cursor, &cursor, 10) != 0;
            fields += ReadInto((dir + "/status").c_str(), buffer, sizeof buffer) > 0;
            fields += ReadInto((dir + "/cmdline").c_str(), buffer, sizeof buffer) > 0;
            fields += ::readlink((dir + "/exe").c_str(), buffer, sizeof buffer) > 0;
        });
        for (const char* dir : {"/etc/systemd/system", "/run/systemd/system", "/lib/systemd/system",
                                "/usr/lib/systemd/system"}) {
            ForEachEntry(dir, [&](const char* name) {
                size_t len = std::strlen(name);
                if (len < 8 || std::strcmp(name + len - 8, ".service") != 0)
                    return;
                fields +=
                    ReadInto((std::string(dir) + "/" + name).c_str(), buffer, sizeof buffer) > 0;
            });
        }
        benchmark::DoNotOptimize(fields);
    }
}
BENCHMARK(BM_DirectProcAndUnitFileRead)->Unit(benchmark::kMillisecond);

// The sources of the one-row query, read plainly: os-release (Caption), the kernel's names
// (Version) and the mount table (the root device is part of the key, Name).
std::size_t DirectOperatingSystemRead(char* buffer, size_t size) {
    std::size_t fields = 0;
    for (const char* path : {"/etc/os-release", "/proc/mounts"})
        fields += ReadInto(path, buffer, size) > 0;
    utsname names;
    fields += ::uname(&names) == 0;
    return fields;
}

double ThreadCpuMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

void BM_OperatingSystemOneRowQuery(benchmark::State& state) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(u"root\\cimv2", u"Win32_OperatingSystem");
    if (!decl) {
        state.SkipWithError("class not registered");
        return;
    }
    kvwmi::Selection selection;
    selection.wanted.assign(decl->properties.size(), false);
    for (std::u16string_view name : {u"Name", u"Caption", u"Version"})
        selection.wanted[static_cast<size_t>(decl->IndexOf(name))] = true;
    static char buffer[1 << 16];
    double provider = 0, direct = 0;  // microseconds
    for (auto _ : state) {
        const double start = ThreadCpuMicroseconds();
        benchmark::DoNotOptimize(DirectOperatingSystemRead(buffer, sizeof buffer));
        const double middle = ThreadCpuMicroseconds();
        std::vector<kvwmi::Instance> out;
        kvwmi::FillInstances(*decl, selection, out);
        benchmark::DoNotOptimize(out.data());
        provider += ThreadCpuMicroseconds() - middle;
        direct += middle - start;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["provider_us"] = provider / n;
    state.counters["direct_us"] = direct / n;
    state.counters["ratio"] = direct > 0 ? provider / direct : 0;
}
BENCHMARK(BM_OperatingSystemOneRowQuery)->Unit(benchmark::kMicrosecond);

// The same row with every property, the process count and the log-on sessions included.
void BM_OperatingSystemEveryProperty(benchmark::State& state) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(u"root\\cimv2", u"Win32_OperatingSystem");
    if (!decl) {
        state.SkipWithError("class not registered");
        return;
    }
    for (auto _ : state) {
        std::vector<kvwmi::Instance> out;
        kvwmi::FillInstances(*decl, kvwmi::Selection{}, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_OperatingSystemEveryProperty)->Unit(benchmark::kMicrosecond);

// Every file of `dir` whose name starts with `prefix` (and does not end in ".gz"), read.
std::size_t ReadMatching(const char* dir, const char* prefix, const char* suffix, char* buffer,
                         size_t size) {
    std::size_t fields = 0;
    ForEachEntry(dir, [&](const char* name) {
        const size_t len = std::strlen(name), want = std::strlen(suffix);
        if (std::strncmp(name, prefix, std::strlen(prefix)) != 0 || name[0] == '.' ||
            (len >= 3 && std::strcmp(name + len - 3, ".gz") == 0) ||
            (want && (len < want || std::strcmp(name + len - want, suffix) != 0)))
            return;
        const std::string path = std::string(dir) + "/" + name;
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        for (ssize_t n; (n = ::read(fd, buffer, size)) > 0;)
            fields += static_cast<std::size_t>(n);
        ::close(fd);
    });
    return fields;
}

// The provider's work for a whole class timed beside `direct` in the same loop; with
// `selected`, for a query of those properties (and the keys) only.
template <typename Direct>
void ProviderBesideDirect(benchmark::State& state, const char16_t* ns, const char16_t* name,
                          Direct direct, std::initializer_list<std::u16string_view> selected = {}) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(ns, name);
    if (!decl) {
        state.SkipWithError("class not registered");
        return;
    }
    kvwmi::Selection selection;
    if (selected.size() != 0) {
        selection.wanted.assign(decl->properties.size(), false);
        for (size_t i = 0; i < decl->properties.size(); ++i)
            selection.wanted[i] = decl->properties[i].key;
        for (std::u16string_view property : selected)
            selection.wanted[static_cast<size_t>(decl->IndexOf(property))] = true;
    }
    double provider = 0, baseline = 0;  // microseconds
    std::size_t instances = 0;
    for (auto _ : state) {
        const double start = ThreadCpuMicroseconds();
        benchmark::DoNotOptimize(direct());
        const double middle = ThreadCpuMicroseconds();
        std::vector<kvwmi::Instance> out;
        kvwmi::FillInstances(*decl, selection, out);
        benchmark::DoNotOptimize(out.data());
        instances = out.size();
        provider += ThreadCpuMicroseconds() - middle;
        baseline += middle - start;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["instances"] = static_cast<double>(instances);
    state.counters["provider_us"] = provider / n;
    state.counters["direct_us"] = baseline / n;
    state.counters["ratio"] = baseline > 0 ? provider / baseline : 0;
}

// Each line of the files of `dir` starting with `prefix` (not ".gz"), read in chunks: the
// lines that start with `start` or hold `word` at `at` are counted (the least a reader
// must do to find the upgrade lines).
std::size_t CountLogLines(const char* dir, const char* prefix, const char* start, size_t at,
                          const char* word, char* buffer, size_t size) {
    std::size_t found = 0;
    const size_t start_len = std::strlen(start), word_len = std::strlen(word);
    ForEachEntry(dir, [&](const char* name) {
        const size_t len = std::strlen(name);
        if (std::strncmp(name, prefix, std::strlen(prefix)) != 0 ||
            (len >= 3 && std::strcmp(name + len - 3, ".gz") == 0))
            return;
        int fd = ::open((std::string(dir) + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        for (ssize_t n; (n = ::read(fd, buffer, size)) > 0;) {
            const char* p = buffer;
            const char* end = buffer + n;
            while (p < end) {
                const char* line_end =
                    static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
                if (!line_end)
                    line_end = end;
                const size_t line = size_t(line_end - p);
                if ((line >= start_len && std::memcmp(p, start, start_len) == 0) ||
                    (line >= at + word_len && std::memcmp(p + at, word, word_len) == 0))
                    ++found;
                p = line_end + 1;
            }
        }
        ::close(fd);
    });
    return found;
}

// Win32_QuickFixEngineering: apt's history and dpkg's log, their plain rotations.
void BM_QuickFixEngineeringBesideLogRead(benchmark::State& state) {
    static char buffer[1 << 16];
    ProviderBesideDirect(state, u"root\\cimv2", u"Win32_QuickFixEngineering", [] {
        return CountLogLines("/var/log/apt", "history.log", "Upgrade:", 0, "\x01", buffer,
                             sizeof buffer) +
               CountLogLines("/var/log", "dpkg.log", "\x01", 20, "upgrade ", buffer, sizeof buffer);
    });
}
BENCHMARK(BM_QuickFixEngineeringBesideLogRead)->Unit(benchmark::kMillisecond);

// MSFT_ScheduledTask: the cron tables and run-parts folders, the timer units and the
// folders that enable them.
void BM_ScheduledTaskBesideTableRead(benchmark::State& state) {
    static char buffer[1 << 16];
    ProviderBesideDirect(
        state, u"root\\Microsoft\\Windows\\TaskScheduler", u"MSFT_ScheduledTask", [] {
            std::size_t fields =
                ReadMatching("/etc", "crontab", "", buffer, sizeof buffer) +
                ReadMatching("/etc/cron.d", "", "", buffer, sizeof buffer) +
                ReadMatching("/var/spool/cron/crontabs", "", "", buffer, sizeof buffer);
            for (const char* dir : {"/etc/cron.hourly", "/etc/cron.daily", "/etc/cron.weekly",
                                    "/etc/cron.monthly", "/etc/systemd/system/timers.target.wants"})
                ForEachEntry(dir, [&](const char*) { ++fields; });
            for (const char* dir : {"/etc/systemd/system", "/run/systemd/system",
                                    "/lib/systemd/system", "/usr/lib/systemd/system"})
                fields += ReadMatching(dir, "", ".timer", buffer, sizeof buffer);
            return fields;
        });
}
BENCHMARK(BM_ScheduledTaskBesideTableRead)->Unit(benchmark::kMillisecond);

// Win32_Product: dpkg's status file and each package's file list date (and an rpm
// database where there is one, which the direct read opens as a file). The direct read
// finds each stanza's Package, Architecture and Multi-Arch and asks the date of the list
// dpkg names from them ("<name>:<arch>.list" for "Multi-Arch: same"), the same files the
// class reads, from the info folder opened once.
std::string_view StanzaField(std::string_view stanza, std::string_view field) {
    for (size_t at = 0; at < stanza.size();) {
        const size_t end = std::min(stanza.find('\n', at), stanza.size());
        const std::string_view line = stanza.substr(at, end - at);
        if (line.size() > field.size() + 1 && line.compare(0, field.size(), field) == 0 &&
            line[field.size()] == ':')
            return line.substr(field.size() + 2);
        at = end + 1;
    }
    return {};
}

// Calls `visit` with each blank-line-separated stanza of dpkg's status text.
template <class Visit>
void ForEachStanza(std::string_view text, Visit visit) {
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\n\n", at);
        end = end == std::string_view::npos ? text.size() : end;
        visit(text.substr(at, end - at));
        at = end + 2;
    }
}

// dpkg's status file, read whole with plain calls.
std::string ReadDpkgStatus() {
    static char buffer[1 << 16];
    std::string status;
    const int fd = ::open("/var/lib/dpkg/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            status.append(buffer, static_cast<size_t>(n));
        ::close(fd);
    }
    return status;
}

void BM_ProductBesideStatusRead(benchmark::State& state) {
    ProviderBesideDirect(state, u"root\\cimv2", u"Win32_Product", [] {
        const std::string status = ReadDpkgStatus();
        std::size_t fields = status.size();
        const int info = ::open("/var/lib/dpkg/info", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        ForEachStanza(status, [&](std::string_view stanza) {
            const std::string_view name = StanzaField(stanza, "Package");
            if (name.empty())
                return;
            std::string list(name);
            if (StanzaField(stanza, "Multi-Arch") == "same")
                list.append(":").append(StanzaField(stanza, "Architecture"));
            list += ".list";
            fields += ::fstatat(info, list.c_str(), &st, 0) == 0;
        });
        if (info >= 0)
            ::close(info);
        fields += ::stat("/var/lib/rpm/rpmdb.sqlite", &st) == 0;
        return fields;
    });
}
BENCHMARK(BM_ProductBesideStatusRead)->Unit(benchmark::kMillisecond);

// "SELECT Name, Version FROM Win32_Product": no date is asked, so none is looked up; beside
// the status file read for each stanza's Package and Version.
void BM_ProductNamesBesideStatusRead(benchmark::State& state) {
    ProviderBesideDirect(state, u"root\\cimv2", u"Win32_Product",
                         [] {
                             const std::string status = ReadDpkgStatus();
                             std::size_t fields = status.size();
                             ForEachStanza(status, [&](std::string_view stanza) {
                                 fields += StanzaField(stanza, "Package").size() +
                                           StanzaField(stanza, "Version").size();
                             });
                             struct stat st;
                             fields += ::stat("/var/lib/rpm/rpmdb.sqlite", &st) == 0;
                             return fields;
                         },
                         {u"Name", u"Version"});
}
BENCHMARK(BM_ProductNamesBesideStatusRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
