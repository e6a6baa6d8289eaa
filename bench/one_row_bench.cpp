// The CPU one one-row WMI query costs in this process, beside reading the same facts directly
// in the same run. The query is a query document handed to GetInventoryInformationInternal,
// as a host does: the document is parsed, the WMI service is activated and connected, the
// engine runs the query and the result document is written. The engine rests 10 ms per
// object on purpose; the figure is the process's CPU time (every thread's), so the rest is
// not in it.
//
//   build/bin/kavrel_one_row_bench
//
//   BM_OneRowQueryCpu     CPU per query through the library
//   BM_DirectFactsCpu     CPU per read of the same facts: os-release, uname, /proc/meminfo,
//                         btime of /proc/stat, turned into text
//   BM_CoCreateLocator    one activation of the WMI locator (the registry asked or not)
//   BM_UnnamedEvent       CreateEventW(unnamed) + SetEvent + WaitForSingleObject + CloseHandle
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

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

constexpr const char16_t* kDocument =
    u"<query namespace=\"root\\cimv2\" class=\"Win32_OperatingSystem\"><properties>"
    u"<property mapsTo=\"0\">Caption</property><property mapsTo=\"1\">Version</property>"
    u"<property mapsTo=\"2\">BuildNumber</property><property mapsTo=\"3\">OSArchitecture</property>"
    u"<property mapsTo=\"4\">TotalVisibleMemorySize</property>"
    u"<property mapsTo=\"5\">FreePhysicalMemory</property>"
    u"<property mapsTo=\"6\">LastBootUpTime</property></properties></query>";

double ProcessCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_OneRowQueryCpu(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        BSTR result = nullptr;
        const HRESULT hr = GetInventoryInformationInternal(kDocument, &result);
        state.SetIterationTime(ProcessCpuSeconds() - start);
        if (FAILED(hr) || !result || !std::u16string_view(result).starts_with(u"<result>")) {
            state.SkipWithError("the query failed");
            SysFreeString(result);
            break;
        }
        SysFreeString(result);
    }
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

void BM_DirectFactsCpu(benchmark::State& state) {
    static char buffer[16384];
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        std::u16string row[7];
        if (ReadSmall("/etc/os-release", buffer, sizeof buffer) ||
            ReadSmall("/usr/lib/os-release", buffer, sizeof buffer)) {
            row[0] = Field(buffer, "PRETTY_NAME=");
            row[2] = Field(buffer, "VERSION_ID=");
        }
        utsname names{};
        ::uname(&names);
        for (const char* c = names.release; *c; ++c)
            row[1].push_back(static_cast<char16_t>(*c));
        row[3] = std::strcmp(names.machine, "x86_64") == 0 ? u"64-bit" : u"32-bit";
        if (ReadSmall("/proc/meminfo", buffer, sizeof buffer)) {
            row[4] = Field(buffer, "MemTotal:");
            row[5] = Field(buffer, "MemAvailable:");
        }
        if (ReadSmall("/proc/stat", buffer, sizeof buffer))
            row[6] = Field(buffer, "btime");
        benchmark::DoNotOptimize(row);
        state.SetIterationTime(ProcessCpuSeconds() - start);
    }
}
BENCHMARK(BM_DirectFactsCpu)->UseManualTime()->Unit(benchmark::kMicrosecond);

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
    return benchmark_ratio::Main(argc, argv,
                                 {{"BM_OneRowQueryCpu", "BM_DirectFactsCpu", "goal <= 2"}});
}
