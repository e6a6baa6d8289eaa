// The VBScript engine's speed on the loops inventory scripts spend their time in, each beside
// the same loop in Python measured in the same run (python3 -c, timed inside Python), with
// the ratio printed: an empty For loop of 10 million, 1 million iterations reading 10
// locals, `s = s & x` 20,000 times, and the predefined NrvInv_GetDataclassResults over 5,000
// rows of 8 columns; and beside the same work in C++ with the C library: DateDiff("s") over a
// million date pairs (mktime) and FormatNumber over a million numbers (snprintf).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include <locale.h>
#include <unistd.h>

#include "bench_support.h"
#include "kvwin/com_object.h"
#include "script/predefined_functions.h"
#include "win/activscp.h"
#include "win/comdef.h"

namespace {

using kvbench::QuietSite;
using kvbench::ThreadSeconds;

std::u16string WithPredefinedFunctions(std::u16string code) {
    AppendPredefinedFunctions(code);
    return code;
}

// The engine with the predefined functions appended to `code`, as the library runs scripts.
struct Engine : kvbench::ScriptEngine {
    explicit Engine(std::u16string code)
        : ScriptEngine(CLSID_VBScript, WithPredefinedFunctions(std::move(code))) {}
};

// Seconds Python takes for its loop (its processor time, timed inside Python, so its
// start-up is not counted),
// measured once per run; 0 when python3 is not there.
double PythonSeconds(const std::string& setup, const std::string& loop) {
    static std::map<std::string, double> measured;
    auto it = measured.find(setup + loop);
    if (it != measured.end())
        return it->second;
    std::string command = "python3 -c 'import time\n" + setup + "\nt = time.process_time()\n" +
                          loop + "\nprint(time.process_time() - t)' 2>/dev/null";
    double seconds = 0;
    if (FILE* p = popen(command.c_str(), "r")) {
        if (std::fscanf(p, "%lf", &seconds) != 1)
            seconds = 0;
        pclose(p);
    }
    measured[setup + loop] = seconds;
    return seconds;
}

// `baseline`: the seconds of the same work elsewhere (Python, or C++ with the C library),
// reported as <baseline>_ms with the ratio ratio_to_<baseline>.
void Measure(benchmark::State& state, Engine& e, const char16_t* function, double python,
             const std::string& baseline = "python") {
    double total = 0;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        e.Call(function);
        total += ThreadSeconds() - start;
    }
    const double ours = total / double(state.iterations());
    state.counters["ms"] = ours * 1000;
    state.counters[baseline + "_ms"] = python * 1000;
    state.counters["ratio_to_" + baseline] = python > 0 ? ours / python : 0;
}

void EmptyForLoop10M(benchmark::State& state) {
    Engine e(u"Sub Run\n Dim i\n For i = 1 To 10000000\n Next\nEnd Sub\n");
    Measure(state, e, u"Run", PythonSeconds("", "for i in range(10_000_000): pass"));
}
BENCHMARK(EmptyForLoop10M)->Unit(benchmark::kMillisecond)->Iterations(3);

void ReadTenLocals1M(benchmark::State& state) {
    Engine e(
        u"Sub Run\n Dim i, t, a, b, c, d, f, g, h, k, m, n\n"
        u" a = 1 : b = 2 : c = 3 : d = 4 : f = 5 : g = 6 : h = 7 : k = 8 : m = 9 : n = 10\n"
        u" For i = 1 To 1000000\n  t = a + b + c + d + f + g + h + k + m + n\n Next\nEnd Sub\n");
    Measure(state, e, u"Run",
            PythonSeconds("def run():\n  a,b,c,d,f,g,h,k,m,n = 1,2,3,4,5,6,7,8,9,10\n"
                          "  for i in range(1_000_000):\n    t = a+b+c+d+f+g+h+k+m+n",
                          "run()"));
}
BENCHMARK(ReadTenLocals1M)->Unit(benchmark::kMillisecond)->Iterations(5);

void Concatenate20k(benchmark::State& state) {
    Engine e(u"Sub Run\n Dim i, s\n For i = 1 To 20000\n  s = s & \"x\"\n Next\nEnd Sub\n");
    Measure(state, e, u"Run",
            PythonSeconds("def run():\n  s = \"\"\n  for i in range(20000):\n    s = s + \"x\"",
                          "run()"));
}
BENCHMARK(Concatenate20k)->Unit(benchmark::kMillisecond)->Iterations(20);

// Numbers turned into text and back in the script's locale: the path "x" & 1.5 and
// CDbl("2.5") take.
void NumberText200k(benchmark::State& state) {
    Engine e(
        u"Sub Run\n Dim i, s, d\n For i = 1 To 200000\n  s = \"n\" & (i + 0.5)\n"
        u"  d = CDbl(\"2.5\") + 1\n Next\nEnd Sub\n");
    Measure(state, e, u"Run",
            PythonSeconds("def run():\n  for i in range(200000):\n    s = \"n\" + str(i + 0.5)\n"
                          "    d = float(\"2.5\") + 1",
                          "run()"));
}
BENCHMARK(NumberText200k)->Unit(benchmark::kMillisecond)->Iterations(3);

void DataclassResults5000x8(benchmark::State& state) {
    Engine e(
        u"Dim rows, r, i, c\n"
        u"Set rows = CreateObject(\"Scripting.Dictionary\")\n"
        u"For i = 1 To 5000\n"
        u" Set r = CreateObject(\"Scripting.Dictionary\")\n"
        u" For c = 1 To 8\n  r(\"col\" & c) = \"value \" & i & \" & \" & c\n Next\n"
        u" rows.Add i, r\n"
        u"Next\n"
        u"Function Run()\n Run = NrvInv_GetDataclassResults(rows)\nEnd Function\n");
    Measure(
        state, e, u"Run",
        PythonSeconds(
            "rows = {i: {\"col%d\" % c: \"value %d & %d\" % (i, c) for c in range(1, 9)}"
            " for i in range(1, 5001)}\n"
            "def esc(v):\n  return v.replace(\"&\",\"&amp;\").replace(\"<\",\"&lt;\")"
            ".replace(\">\",\"&gt;\").replace(\"\\x27\",\"&apos;\").replace(\"\\x22\",\"&quot;\")\n"
            "def run():\n  out = \"\"\n  for k in rows:\n    out += \"<row \"\n"
            "    for c, v in rows[k].items():\n      out += \" \" + c + \"=\\x22\" + esc(v) + "
            "\"\\x22\"\n"
            "    out += \"/> \"\n  return out",
            "run()"));
}
BENCHMARK(DataclassResults5000x8)->Unit(benchmark::kMillisecond)->Iterations(3);

// DateDiff("s") over 1 million date pairs (1,000 pairs a thousand times), beside C++ turning
// the same broken-down pairs into seconds with mktime and subtracting. Goal: within 3x.
void DateDiffSeconds1M(benchmark::State& state) {
    Engine e(
        u"Dim a(999), b(999), j\n"
        u"For j = 0 To 999\n"
        u" a(j) = DateSerial(2000 + j Mod 20, 1 + j Mod 12, 1 + j Mod 28) + TimeSerial(j Mod 24, j "
        u"Mod 60, 0)\n"
        u" b(j) = a(j) + j * 1.37\n"
        u"Next\n"
        u"Sub Run\n Dim k, i, n\n For k = 1 To 1000\n  For i = 0 To 999\n"
        u"   n = DateDiff(\"s\", a(i), b(i))\n  Next\n Next\nEnd Sub\n");
    static const double c_seconds = [] {
        std::tm a[1000], b[1000];
        for (int j = 0; j < 1000; ++j) {
            a[j] = std::tm{};
            a[j].tm_year = 100 + j % 20;
            a[j].tm_mon = j % 12;
            a[j].tm_mday = 1 + j % 28;
            a[j].tm_hour = j % 24;
            a[j].tm_min = j % 60;
            a[j].tm_isdst = -1;
            b[j] = a[j];
            b[j].tm_sec = int(j * 1.37 * 86400) % 60;
            b[j].tm_mday += int(j * 1.37);
        }
        volatile long long sink = 0;
        const double start = ThreadSeconds();
        for (int k = 0; k < 1000; ++k) {
            for (int i = 0; i < 1000; ++i) {
                std::tm x = a[i], y = b[i];
                sink = sink + (std::mktime(&y) - std::mktime(&x));
            }
        }
        return ThreadSeconds() - start;
    }();
    Measure(state, e, u"Run", c_seconds, "c");
}
BENCHMARK(DateDiffSeconds1M)->Unit(benchmark::kMillisecond)->Iterations(3);

// FormatNumber over 1 million numbers, beside snprintf("%'.2f") in the same locale.
void FormatNumber1M(benchmark::State& state) {
    Engine e(
        u"Sub Run\n Dim i, s\n For i = 1 To 1000000\n"
        u"  s = FormatNumber(i * 1.37)\n Next\nEnd Sub\n");
    static const double c_seconds = [] {
        locale_t us = newlocale(LC_ALL_MASK, "en_US.UTF-8", locale_t(0));
        locale_t old = us ? uselocale(us) : locale_t(0);
        char buf[64];
        volatile size_t sink = 0;
        const double start = ThreadSeconds();
        for (int i = 1; i <= 1000000; ++i)
            sink = sink + size_t(std::snprintf(buf, sizeof buf, "%'.2f", i * 1.37));
        const double seconds = ThreadSeconds() - start;
        if (us) {
            uselocale(old);
            freelocale(us);
        }
        return seconds;
    }();
    Measure(state, e, u"Run", c_seconds, "c");
}
BENCHMARK(FormatNumber1M)->Unit(benchmark::kMillisecond)->Iterations(3);

// Resident memory of this process, in bytes.
double ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// What one engine costs before it runs: 100 engines made ready (site set, InitNew) and kept,
// the growth of resident memory divided among them. The module is loaded by a first engine
// outside the count, as a host has it loaded once. Goal: under 1 MB an engine.
void EngineMemoryBeforeRun(benchmark::State& state) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto make = [] {
        IActiveScript* script = nullptr;
        CoCreateInstance(CLSID_VBScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                         reinterpret_cast<void**>(&script));
        IActiveScriptParse64* parse = nullptr;
        script->QueryInterface(IID_IActiveScriptParse64, reinterpret_cast<void**>(&parse));
        auto* site = new QuietSite();
        script->SetScriptSite(site);
        site->Release();
        parse->InitNew();
        parse->Release();
        return script;
    };
    IActiveScript* first = make();
    for (auto _ : state) {
        constexpr int kEngines = 100;
        IActiveScript* engines[kEngines];
        const double before = ResidentBytes();
        for (IActiveScript*& e : engines)
            e = make();
        const double perEngine = (ResidentBytes() - before) / kEngines;
        for (IActiveScript* e : engines) {
            e->Close();
            e->Release();
        }
        state.counters["bytes_per_engine"] = perEngine;
        state.counters["ratio_to_1MB_goal"] = perEngine / (1024.0 * 1024.0);
    }
    first->Close();
    first->Release();
}
BENCHMARK(EngineMemoryBeforeRun)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
