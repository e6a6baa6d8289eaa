// What the launcher road adds to a query: the same document through
// GetInventoryInformationInternal in this process, and through GetInventoryInformation,
// which writes it to a file, starts the launcher, waits for it and reads its answer. The
// launcher is the project's Lumbrik.exe built with a WMI kind that answers canned rows (the
// same kind answers in-process), so both sides do the same query work and the difference
// is the road. A bare child process (/bin/true) is measured beside them as the floor any
// out-of-process road stands on.
//
// The road is compared with what it cannot do without: the query in-process plus starting
// and waiting for a process. Each benchmark also reports the CPU of an iteration, this
// process's and its children's (the launcher and its worker) together, as `cpu_us`: on a
// loaded machine the wall time of a process chain is mostly time spent waiting for a core.
//
// Run with KAVREL_ROOT unset to work in a scratch state root made for the run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "canned_rows_kind.h"
#include "entry/query_factory.h"
#include "kavrel/kavrel.h"
#include "ratio_report.h"
#include "win/com.h"
#include "win/kernel_objects.h"
#include "win/oleauto.h"
#include "win/processes.h"

namespace {

constexpr const char16_t* kDocument = u"<query namespace=\"root\\cimv2\" value=\"bench\"/>";

// CPU seconds used so far by this process and by its children that were waited for.
double CpuWithChildren() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        ::getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    }
    return total;
}

// Reports the CPU per iteration since `start`, in microseconds.
void ReportCpu(benchmark::State& state, double start) {
    if (state.iterations() > 0)
        state.counters["cpu_us"] =
            (CpuWithChildren() - start) * 1e6 / static_cast<double>(state.iterations());
}

std::string ScratchFolder(const char* tag) {
    std::string pattern = std::string("/tmp/kavrel-bench-") + tag + "-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
}

// The launcher of this run: the canned-rows build as "Lumbrik.exe", beside a loaded
// "Colvane.dll", and a temp folder of its own.
void InstallLauncher() {
    static const bool installed = [] {
        const std::string folder = ScratchFolder("launcher");
        std::filesystem::create_symlink(LUMBRIK_WITH_CANNED_ROWS_PATH, folder + "/Lumbrik.exe");
        std::filesystem::copy_file(COLVANE_FIXTURE_PATH, folder + "/Colvane.dll");
        ::dlopen((folder + "/Colvane.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
        ::setenv("TMP", (ScratchFolder("temp") + "/").c_str(), 1);
        return true;
    }();
    (void)installed;
}

void Query(benchmark::State& state, bool outOfProcess) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InstallLauncher();
    ScopedQueryMaker canned(QueryKind::Wmi, MakeCannedRowsQuery);
    const double start = CpuWithChildren();
    for (auto _ : state) {
        BSTR result = nullptr;
        const HRESULT hr = outOfProcess ? GetInventoryInformation(kDocument, &result)
                                        : GetInventoryInformationInternal(kDocument, &result);
        if (FAILED(hr)) {
            state.SkipWithError("the query failed");
            break;
        }
        SysFreeString(result);
    }
    ReportCpu(state, start);
    CoUninitialize();
}

void BM_QueryInProcess(benchmark::State& state) {
    Query(state, false);
}
BENCHMARK(BM_QueryInProcess)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_QueryThroughLauncher(benchmark::State& state) {
    Query(state, true);
}
BENCHMARK(BM_QueryThroughLauncher)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor: starting a child that does nothing and waiting for it.
void BM_BareChildProcess(benchmark::State& state) {
    const double start = CpuWithChildren();
    for (auto _ : state) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::u16string commandLine;
        if (!CreateProcessW(u"/bin/true", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info)) {
            state.SkipWithError("/bin/true did not start");
            break;
        }
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    ReportCpu(state, start);
}
BENCHMARK(BM_BareChildProcess)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!::getenv("KAVREL_ROOT"))
        ::setenv("KAVREL_ROOT", ScratchFolder("root").c_str(), 1);
    return benchmark_ratio::Main(
        argc, argv,
        {{"BM_QueryThroughLauncher", "BM_QueryInProcess+BM_BareChildProcess", "goal <= 1.3"},
         {"BM_QueryThroughLauncher:cpu_us", "BM_QueryInProcess:cpu_us+BM_BareChildProcess:cpu_us",
          "goal <= 1.3"},
         {"BM_QueryThroughLauncher", "BM_QueryInProcess", ""}});
}
