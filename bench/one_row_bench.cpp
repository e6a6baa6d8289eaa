// The CPU a one-row WMI query costs in this process, beside reading the same facts directly
// in the same run. The query is a query document handed to GetInventoryInformationInternal,
// as a host does: the document is parsed, the WMI service is activated and connected, the
// engine runs the query and the result document is written. The engine rests 10 ms per
// object on purpose; the figure is the process's CPU time (every thread's), so the rest is
// not in it.
//
//   build/bin/kavrel_one_row_bench
//
//   BM_OneRowQueryCpu     CPU per query through the library (caller_us: the calling thread's)
//   BM_DirectFactsCpu/0   CPU per read of the same facts with plain calls, turned into text
//   BM_DirectFactsCpu/20  the same after a 20 ms rest before each read, as the query's reads
//                         come after the engine's rests (the rest is not counted)
//   BM_CoCreateLocator    one activation of the WMI locator (the registry asked or not)
//   BM_UnnamedEvent       CreateEventW(unnamed) + SetEvent + WaitForSingleObject + CloseHandle
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kavrel/kavrel.h"
#include "ratio_report.h"
#include "win/com.h"
#include "win/kernel_objects.h"
#include "win/oleauto.h"
#include "win/wbemcli.h"

namespace {

// Every property of the class, so that the query and the direct read gather the same facts
// however much of an instance the class computes.
constexpr const char16_t* kDocument =
    u"<query namespace=\"root\\cimv2\" class=\"Win32_OperatingSystem\"><properties>"
    u"<property mapsTo=\"0\">Name</property>"
    u"<property mapsTo=\"1\">Caption</property>"
    u"<property mapsTo=\"2\">Description</property>"
    u"<property mapsTo=\"3\">Version</property>"
    u"<property mapsTo=\"4\">BuildNumber</property>"
    u"<property mapsTo=\"5\">Manufacturer</property>"
    u"<property mapsTo=\"6\">OSArchitecture</property>"
    u"<property mapsTo=\"7\">OSType</property>"
    u"<property mapsTo=\"8\">CSName</property>"
    u"<property mapsTo=\"9\">BootDevice</property>"
    u"<property mapsTo=\"10\">SystemDevice</property>"
    u"<property mapsTo=\"11\">SystemDrive</property>"
    u"<property mapsTo=\"12\">InstallDate</property>"
    u"<property mapsTo=\"13\">LastBootUpTime</property>"
    u"<property mapsTo=\"14\">LocalDateTime</property>"
    u"<property mapsTo=\"15\">CurrentTimeZone</property>"
    u"<property mapsTo=\"16\">Primary</property>"
    u"<property mapsTo=\"17\">Status</property>"
    u"<property mapsTo=\"18\">NumberOfProcesses</property>"
    u"<property mapsTo=\"19\">NumberOfUsers</property>"
    u"<property mapsTo=\"20\">TotalVisibleMemorySize</property>"
    u"<property mapsTo=\"21\">FreePhysicalMemory</property>"
    u"<property mapsTo=\"22\">TotalVirtualMemorySize</property>"
    u"<property mapsTo=\"23\">FreeVirtualMemory</property>"
    u"<property mapsTo=\"24\">SizeStoredInPagingFiles</property>"
    u"<property mapsTo=\"25\">FreeSpaceInPagingFiles</property>"
    u"<property mapsTo=\"26\">TotalSwapSpaceSize</property>"
    u"</properties></query>";
constexpr int kFacts = 27;

double ProcessCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_OneRowQueryCpu(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    double caller = 0;
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        const double thread_start = ThreadCpuSeconds();
        BSTR result = nullptr;
        const HRESULT hr = GetInventoryInformationInternal(kDocument, &result);
        caller += ThreadCpuSeconds() - thread_start;
        state.SetIterationTime(ProcessCpuSeconds() - start);
        if (FAILED(hr) || !result || !std::u16string_view(result).starts_with(u"<result>")) {
            state.SkipWithError("the query failed");
            SysFreeString(result);
            break;
        }
        SysFreeString(result);
    }
    // The calling thread's share (the document, the engine's loop, the result), in µs per
    // query; the rest is the delivery thread's, mostly the class's reads.
    state.counters["caller_us"] = benchmark::Counter(
        caller * 1e6 / static_cast<double>(std::max<int64_t>(state.iterations(), 1)));
    CoUninitialize();
}
BENCHMARK(BM_OneRowQueryCpu)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// Reads a small file whole; its length, or 0.
size_t ReadSmall(const char* path, char* buffer, size_t size) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t total = 0;
    ssize_t n = 0;
    while (total + 1 < size && (n = ::read(fd, buffer + total, size - 1 - total)) > 0)
        total += static_cast<size_t>(n);
    ::close(fd);
    buffer[total] = 0;
    return total;
}

// The value after `key` up to the end of its line, without quotes.
std::u16string Field(const char* text, const char* key) {
    const char* at = std::strstr(text, key);
    if (!at)
        return {};
    at += std::strlen(key);
    std::u16string value;
    for (; *at && *at != '\n'; ++at)
        if (*at != '"' && *at != ' ')
            value.push_back(static_cast<char16_t>(*at));
    return value;
}

// Number of entries of a folder whose names start with a digit (the processes in /proc).
int CountNumbered(const char* path) {
    DIR* folder = ::opendir(path);
    if (!folder)
        return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(folder))
        count += entry->d_name[0] >= '1' && entry->d_name[0] <= '9';
    ::closedir(folder);
    return count;
}

std::u16string Text(const char* text) {
    std::u16string out;
    for (; *text; ++text)
        out.push_back(static_cast<char16_t>(*text));
    return out;
}

std::u16string Number(long long value) {
    return Text(std::to_string(value).c_str());
}

// The facts of the one instance, read with plain calls and turned into text: os-release,
// uname, the device mounted on /, the installer's folder date, btime, the zone's offset, the
// processes in /proc, the log-on sessions in utmp, and the memory figures.
// With a rest before each read (state.range(0) milliseconds, not counted), as the query's
// reads come after the engine's rests: the kernel's listing of /proc, cheap while its data is
// in the caches, costs several times as much after a pause.
void BM_DirectFactsCpu(benchmark::State& state) {
    static char buffer[65536];
    const long rest_ms = state.range(0);
    for (auto _ : state) {
        if (rest_ms)
            ::usleep(static_cast<useconds_t>(rest_ms * 1000));
        const double start = ProcessCpuSeconds();
        std::u16string row[kFacts];
        int at = 0;
        if (ReadSmall("/etc/os-release", buffer, sizeof buffer) ||
            ReadSmall("/usr/lib/os-release", buffer, sizeof buffer)) {
            row[at++] = Field(buffer, "PRETTY_NAME=");
            row[at++] = Field(buffer, "NAME=");
            row[at++] = Field(buffer, "VERSION_ID=");
            row[at++] = Field(buffer, "VENDOR_NAME=");
        }
        utsname names{};
        ::uname(&names);
        row[at++] = Text(names.release);
        row[at++] = Text(names.nodename);
        row[at++] = std::strcmp(names.machine, "x86_64") == 0 ? u"64-bit" : u"32-bit";
        if (ReadSmall("/proc/mounts", buffer, sizeof buffer)) {
            for (const char* line = buffer; line && *line;) {
                const char* space = std::strchr(line, ' ');
                if (space && std::strncmp(space, " / ", 3) == 0) {
                    row[at++] = Text(std::string(line, space).c_str());
                    break;
                }
                line = std::strchr(line, '\n');
                line = line ? line + 1 : nullptr;
            }
        }
        struct stat installer {};
        if (::stat("/var/log/installer", &installer) == 0)
            row[at++] = Number(installer.st_mtime);
        if (ReadSmall("/proc/stat", buffer, sizeof buffer))
            row[at++] = Field(buffer, "btime");
        const time_t now = ::time(nullptr);
        struct tm local {};
        ::localtime_r(&now, &local);
        row[at++] = Number(local.tm_gmtoff / 60);
        row[at++] = Number(CountNumbered("/proc"));
        int sessions = 0;
        ::setutent();
        while (const utmp* entry = ::getutent())
            sessions += entry->ut_type == USER_PROCESS;
        ::endutent();
        row[at++] = Number(sessions);
        if (ReadSmall("/proc/meminfo", buffer, sizeof buffer)) {
            for (const char* key : {"MemTotal:", "MemAvailable:", "SwapTotal:", "SwapFree:"})
                row[at++] = Field(buffer, key);
        }
        benchmark::DoNotOptimize(row);
        state.SetIterationTime(ProcessCpuSeconds() - start);
    }
}
BENCHMARK(BM_DirectFactsCpu)->Arg(0)->Arg(20)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_CoCreateLocator(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (auto _ : state) {
        IWbemLocator* locator = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator, reinterpret_cast<void**>(&locator)))) {
            state.SkipWithError("no locator");
            break;
        }
        locator->Release();
    }
    CoUninitialize();
}
BENCHMARK(BM_CoCreateLocator)->Unit(benchmark::kMicrosecond);

void BM_UnnamedEvent(benchmark::State& state) {
    for (auto _ : state) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetEvent(event);
        benchmark::DoNotOptimize(WaitForSingleObject(event, 0));
        CloseHandle(event);
    }
}
BENCHMARK(BM_UnnamedEvent)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // A state root of the benchmark's own, for the registry and the log the query writes.
    if (!std::getenv("KAVREL_ROOT")) {
        char pattern[] = "/tmp/kavrel-one-row-bench-XXXXXX";
        if (const char* root = mkdtemp(pattern))
            setenv("KAVREL_ROOT", root, 1);
    }
    return benchmark_ratio::Main(
        argc, argv,
        {{"BM_OneRowQueryCpu", "BM_DirectFactsCpu/0/manual_time", "goal <= 2"},
         {"BM_OneRowQueryCpu", "BM_DirectFactsCpu/20/manual_time", "rested baseline"}});
}
