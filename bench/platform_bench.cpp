// Costs of the platform calls the library makes on every query or log record, beside the
// nearest plain C++ or POSIX equivalent measured in the same run.
//
//   build/bin/kavrel_platform_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvwin/format.h"
#include "win/errors.h"
#include "win/handles.h"
#include "win/kernel_objects.h"
#include "win/oleauto.h"
#include "win/registry.h"
#include "win/text.h"

namespace {

void BM_FormatWide(benchmark::State& state) {
    const std::u16string source = u"CWMIQuery::ExecuteQuery";
    for (auto _ : state) {
        WCHAR buffer[256];
        benchmark::DoNotOptimize(
            kvwin::FormatTo(buffer, 256, u"%ls failed: 0x%08X (%d rows)", source, 0x80041010u, 42));
    }
}
BENCHMARK(BM_FormatWide);

void BM_SnprintfNarrowBaseline(benchmark::State& state) {
    for (auto _ : state) {
        char buffer[256];
        benchmark::DoNotOptimize(std::snprintf(buffer, 256, "%s failed: 0x%08X (%d rows)",
                                               "CWMIQuery::ExecuteQuery", 0x80041010u, 42));
    }
}
BENCHMARK(BM_SnprintfNarrowBaseline);

void BM_Utf16ToUtf8(benchmark::State& state) {
    const std::u16string text(static_cast<size_t>(state.range(0)), u'\u00e9');
    std::string out(text.size() * 3, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()), nullptr, nullptr));
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Utf16ToUtf8)->Arg(64)->Arg(8192);

void BM_SysAllocStringAndFree(benchmark::State& state) {
    for (auto _ : state) {
        BSTR text = SysAllocString(u"<result>\n</result>");
        benchmark::DoNotOptimize(text);
        SysFreeString(text);
    }
}
BENCHMARK(BM_SysAllocStringAndFree);

void BM_MallocFreeBaseline(benchmark::State& state) {
    for (auto _ : state) {
        void* p = std::malloc(44);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}
BENCHMARK(BM_MallocFreeBaseline);

void BM_RegistryQueryDword(benchmark::State& state) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\KavrelBench", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    const DWORD seven = 7;
    RegSetValueExW(key, u"Severity", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
    for (auto _ : state) {
        DWORD value = 0;
        DWORD size = sizeof value;
        benchmark::DoNotOptimize(RegQueryValueExW(key, u"Severity", nullptr, nullptr,
                                                  reinterpret_cast<BYTE*>(&value), &size));
    }
    RegCloseKey(key);
}
BENCHMARK(BM_RegistryQueryDword);

void BM_RegistryOpenQueryClose(benchmark::State& state) {
    for (auto _ : state) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\KavrelBench", 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            DWORD value = 0;
            DWORD size = sizeof value;
            RegQueryValueExW(key, u"Severity", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &size);
            RegCloseKey(key);
        }
    }
}
BENCHMARK(BM_RegistryOpenQueryClose);

void BM_NamedMutexTakeAndRelease(benchmark::State& state) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\KavrelBenchMutex");
    for (auto _ : state) {
        benchmark::DoNotOptimize(WaitForSingleObject(mutex, 1000));
        ReleaseMutex(mutex);
    }
    CloseHandle(mutex);
}
BENCHMARK(BM_NamedMutexTakeAndRelease);

}  // namespace

int main(int argc, char** argv) {
    // A state root of the benchmark's own, so the registry and named objects it makes are
    // not the machine's.
    if (!std::getenv("KAVREL_ROOT")) {
        char pattern[] = "/tmp/kavrel-bench-XXXXXX";
        if (const char* root = mkdtemp(pattern))
            setenv("KAVREL_ROOT", root, 1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
