// What a WMI query costs the engine, beside the pace it keeps on purpose.
//
//   build/bin/kavrel_wmi_engine_bench
//
// FetchRows rests 10 ms after every object it takes (and between polls of an empty queue),
// so N objects cost at least N x 10 ms whatever the engine does. Measured here, per number
// of objects N delivered by a stand-in WMI service (five properties each):
//   BM_OpenAndFetch      the wall time of OpenQuery + FetchRows; its counters give the
//                        pacing floor (N x 10 ms) and the share of the time above it
//   BM_PacingAlone       N + 1 plain Sleep(10) calls: what the pace alone costs on this host
//   BM_RowsWithoutPacing the same N objects turned into rows directly: the engine's own work
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fake_wmi.h"
#include "log/agent_log.h"
#include "win/systime.h"
#include "wmi/property_rendering.h"
#include "wmi/wmi_async_query.h"

namespace {

using wmitest::DeliveryPlan;
using wmitest::FakeLocator;
using wmitest::FakeObject;
using wmitest::FakeServices;

constexpr const char16_t* kQuery = u"select Name,Enabled,Codes,Size,Description from Win32_Thing ";

FakeObject* Instance(int i) {
    FakeObject* object = wmitest::NewObject();
    object->Set(u"Name", _variant_t(u"instance"))
        .Set(u"Enabled", _variant_t(i % 2 == 0))
        .Set(u"Codes", wmitest::IntegerArray({i, -i, 7}))
        .Set(u"Size", _variant_t(i * 1000))
        .Set(u"Description", wmitest::Null());
    return object;
}

std::vector<FakeObject*> Instances(int n) {
    std::vector<FakeObject*> objects;
    for (int i = 0; i < n; ++i)
        objects.push_back(Instance(i));
    return objects;
}

void Drop(std::vector<FakeObject*>& objects) {
    for (FakeObject* object : objects)
        object->Release();
    objects.clear();
}

void BM_OpenAndFetch(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double total = 0;
    for (auto _ : state) {
        // A fresh service per run, delivering in batches of 50 as WMI tends to.
        DeliveryPlan plan;
        std::vector<FakeObject*> objects = Instances(n);
        for (int i = 0; i < n; i += 50)
            plan.batches.emplace_back(objects.begin() + i, objects.begin() + std::min(n, i + 50));
        FakeServices* services = new FakeServices(plan);
        Drop(objects);
        FakeLocator* locator = new FakeLocator(WBEM_S_NO_ERROR, services);
        wmitest::InstallLocator(locator);
        locator->Release();
        CWMIAsyncQuery engine;
        engine.Initialize();
        engine.ConnectServer(u"\\\\.\\root\\cimv2");

        const auto start = std::chrono::steady_clock::now();
        WMIRows rows;
        const bool all = engine.OpenQuery(kQuery) && engine.FetchRows(rows, 120000);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (!all || rows.size() != static_cast<size_t>(n))
            state.SkipWithError("the query did not deliver every object");

        engine.Close();
        services->Release();
        wmitest::RemoveLocator();
    }
    const double perRun = total / static_cast<double>(state.iterations());
    const double floor = n * 0.010;
    state.counters["objects_per_s"] = n / perRun;
    state.counters["pacing_floor_ms"] = floor * 1000;
    state.counters["above_floor_pct"] = 100.0 * (perRun - floor) / perRun;
}
BENCHMARK(BM_OpenAndFetch)
    ->Arg(1)
    ->Arg(100)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndFetch)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_PacingAlone(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i <= n; ++i)
            Sleep(10);
    }
}
BENCHMARK(BM_PacingAlone)->Arg(1)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingAlone)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_RowsWithoutPacing(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<FakeObject*> objects = Instances(n);
    const std::vector<std::u16string> names = {u"Name", u"Enabled", u"Codes", u"Size",
                                               u"Description"};
    for (auto _ : state) {
        WMIRows rows;
        for (FakeObject* object : objects)
            AppendObjectRow(object, names, rows);
        benchmark::DoNotOptimize(rows.data());
    }
    Drop(objects);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RowsWithoutPacing)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // A state root of the benchmark's own, for the log the engine writes to.
    if (!std::getenv("KAVREL_ROOT")) {
        char pattern[] = "/tmp/kavrel-wmi-bench-XXXXXX";
        if (const char* root = mkdtemp(pattern))
            setenv("KAVREL_ROOT", root, 1);
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CoUninitialize();
    return 0;
}
