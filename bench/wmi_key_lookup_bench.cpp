// A query of one instance by its key, answered by the class's lookup, beside what the same
// query cost before the lookup existed: every instance filled, then the one kept. Measured
// in the same run; the ratios printed at the end are lookup time over full-fill time.
//
//   Win32_Process  WHERE ProcessId = <this process>   (one /proc/<pid> folder read, not all)
//   Win32_Service  WHERE Name = '<a unit>'             (one unit file parsed, not all)
//
//   build/bin/kavrel_wmi_key_lookup_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kvwin/utf.h"
#include "provider/class_decl.h"
#include "ratio_report.h"

namespace {

const kvwmi::ClassDecl* Class(const char16_t* name, benchmark::State& state) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(u"root\\cimv2", name);
    if (!decl)
        state.SkipWithError("class not registered");
    return decl;
}

// The value of the key the benchmarks ask for: this process, or the first service listed.
std::u16string KeyOf(const kvwmi::ClassDecl& decl, const char16_t* key) {
    if (decl.name == std::u16string_view(u"Win32_Process"))
        return kvwin::FromUtf8(std::to_string(::getpid()));
    std::vector<kvwmi::Instance> all;
    kvwmi::FillInstances(decl, kvwmi::Selection{}, all);
    const int index = decl.IndexOf(key);
    for (const kvwmi::Instance& instance : all) {
        if (const auto* text = std::get_if<std::u16string>(&instance[size_t(index)]))
            return *text;
    }
    return u"";
}

void Lookup(benchmark::State& state, const char16_t* class_name, const char16_t* key) {
    const kvwmi::ClassDecl* decl = Class(class_name, state);
    if (!decl)
        return;
    const std::u16string value = KeyOf(*decl, key);
    const std::vector<kvwmi::PropertyEquals> equals{{decl->IndexOf(key), value}};
    for (auto _ : state) {
        std::vector<kvwmi::Instance> out;
        if (!kvwmi::LookupInstances(*decl, equals, kvwmi::Selection{}, out) || out.size() != 1) {
            state.SkipWithError("the lookup did not find the instance");
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

void FullFill(benchmark::State& state, const char16_t* class_name, const char16_t* key) {
    const kvwmi::ClassDecl* decl = Class(class_name, state);
    if (!decl)
        return;
    const std::u16string value = KeyOf(*decl, key);
    const size_t index = size_t(decl->IndexOf(key));
    for (auto _ : state) {
        std::vector<kvwmi::Instance> out;
        kvwmi::FillInstances(*decl, kvwmi::Selection{}, out);
        size_t kept = 0;
        for (const kvwmi::Instance& instance : out) {
            const auto* text = std::get_if<std::u16string>(&instance[index]);
            kept += text && *text == value;
        }
        benchmark::DoNotOptimize(kept);
    }
}

void BM_ProcessLookup(benchmark::State& state) {
    Lookup(state, u"Win32_Process", u"Handle");
}
void BM_ProcessFullFill(benchmark::State& state) {
    FullFill(state, u"Win32_Process", u"Handle");
}
void BM_ServiceLookup(benchmark::State& state) {
    Lookup(state, u"Win32_Service", u"Name");
}
void BM_ServiceFullFill(benchmark::State& state) {
    FullFill(state, u"Win32_Service", u"Name");
}
BENCHMARK(BM_ProcessLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessFullFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServiceLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServiceFullFill)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return benchmark_ratio::Main(argc, argv,
                                 {{"BM_ProcessLookup", "BM_ProcessFullFill", "goal < 1"},
                                  {"BM_ServiceLookup", "BM_ServiceFullFill", "goal < 1"}});
}
