// What the launcher road adds to a query: the same document through
// GetInventoryInformationInternal in this process, and through GetInventoryInformation,
// which writes it to a file, starts the launcher, waits for it and reads its answer. The
// launcher is the project's Lumbrik.exe built with a WMI kind that answers canned rows (the
// same kind answers in-process), so both sides do the same query work and the difference
// is the road. A bare child process (/bin/true) is measured beside them as the floor any
// out-of-process road stands on.
//
// Run with KAVREL_ROOT unset to work in a scratch state root made for the run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "canned_rows_kind.h"
#include "entry/query_factory.h"
#include "kavrel/kavrel.h"
#include "win/com.h"
#include "win/kernel_objects.h"
#include "win/oleauto.h"
#include "win/processes.h"

namespace {

constexpr const char16_t* kDocument = u"<query namespace=\"root\\cimv2\" value=\"bench\"/>";

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
}
BENCHMARK(BM_BareChildProcess)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!::getenv("KAVREL_ROOT"))
        ::setenv("KAVREL_ROOT", ScratchFolder("root").c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
