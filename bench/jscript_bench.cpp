// The JScript engine's costs on the host's road: calling a script function through
// GetScriptDispatch's IDispatch beside the plain IDispatch call of a native object, and a
// script calling a COM object's methods beside the same loop over a script object.
#include <benchmark/benchmark.h>
#include <time.h>

#include "bench_support.h"
#include "kvwin/com_object.h"
#include "win/activscp.h"
#include "win/comdef.h"

namespace {

using kvbench::ThreadSeconds;

struct Engine : kvbench::ScriptEngine {
    explicit Engine(const char16_t* code) : ScriptEngine(CLSID_JScript, code) {}
};

void Invoke(benchmark::State& state, IDispatch* object, DISPID id, WORD flags) {
    DISPPARAMS none{};
    for (auto _ : state) {
        VARIANT result;
        VariantInit(&result);
        object->Invoke(id, IID_NULL, 0, flags, &none, &result, nullptr, nullptr);
        VariantClear(&result);
    }
}

// Baseline: a native late-bound property read.
void NativeDispatchCall(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IDispatchPtr dict;
    dict.CreateInstance(u"Scripting.Dictionary");
    Invoke(state, dict, 2 /* Count */, DISPATCH_PROPERTYGET);
    dict = nullptr;
    CoUninitialize();
}
BENCHMARK(NativeDispatchCall);

// Making an object and letting it go: a dictionary through CoCreateInstance and Release, as
// CreateObject and `new ActiveXObject` do for every object a script makes.
void CreateAndReleaseDictionary(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid;
    CLSIDFromProgID(u"Scripting.Dictionary", &clsid);
    for (auto _ : state) {
        IDispatch* dict = nullptr;
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&dict));
        benchmark::DoNotOptimize(dict);
        if (dict)
            dict->Release();
    }
    CoUninitialize();
}
BENCHMARK(CreateAndReleaseDictionary);

// The host's road: a script function called through the global object's IDispatch.
void ScriptFunctionCall(benchmark::State& state) {
    Engine e(u"function f() { return 7; }");
    Invoke(state, e.global, e.Id(u"f"), DISPATCH_METHOD);
}
BENCHMARK(ScriptFunctionCall);

// A script calling a COM object: one Add and one Item per item, 1000 items per call of
// fill(), beside the same loop over a script object with the same two methods (the
// baseline, timed alternately in the same run). Counters: ns per Add + Item for each, and
// their ratio.
void ScriptCallsCom(benchmark::State& state) {
    Engine e(
        u"function Table() { this.items = {}; this.Count = 0; }"
        u"Table.prototype.Add = function (k, v) {"
        u"  if (k in this.items) throw new Error('exists'); this.items[k] = v; ++this.Count; };"
        u"Table.prototype.Item = function (k) { return this.items[k]; };"
        u"function loop(d) { for (var i = 0; i < 1000; ++i) { d.Add(i, i); d.Item(i); }"
        u"  return d.Count; }"
        u"function fill() { return loop(new ActiveXObject('Scripting.Dictionary')); }"
        u"function fillNative() { return loop(new Table()); }");
    const DISPID com = e.Id(u"fill");
    const DISPID native = e.Id(u"fillNative");
    double com_seconds = 0, native_seconds = 0;
    DISPPARAMS none{};
    auto timed = [&](DISPID id) {
        VARIANT result;
        VariantInit(&result);
        const double start = ThreadSeconds();
        e.global->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
        const double seconds = ThreadSeconds() - start;
        VariantClear(&result);
        return seconds;
    };
    for (auto _ : state) {
        com_seconds += timed(com);
        state.PauseTiming();
        native_seconds += timed(native);
        state.ResumeTiming();
    }
    const double calls = double(state.iterations()) * 1000;
    state.counters["com_ns"] = com_seconds / calls * 1e9;
    state.counters["native_ns"] = native_seconds / calls * 1e9;
    state.counters["ratio_to_native"] = native_seconds > 0 ? com_seconds / native_seconds : 0;
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(ScriptCallsCom);

}  // namespace

BENCHMARK_MAIN();
