// RegExp.Execute from a script over a 1 MB text, beside PCRE2's 16-bit library called
// directly on the same pattern and text in the same run (every match found with its
// groups, as Execute finds them), with the ratio printed. Goal: within 2x.
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench_support.h"
#include "kvwin/com_object.h"
#include "win/activscp.h"
#include "win/comdef.h"

namespace {

using kvbench::ThreadSeconds;

constexpr char16_t kPattern[] = u"(\\w+)=(\\d+)";
constexpr size_t kTextSize = 1 << 20;

// Lines "key<i>=<7i>" with CR LF until the text reaches 1 MB; the script builds the same.
std::u16string Text() {
    std::u16string s;
    for (long i = 1; s.size() < kTextSize; ++i) {
        std::string line = "key" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
        s.append(line.begin(), line.end());
    }
    return s;
}

const char16_t kScript[] =
    u"Dim text, re, i\n"
    u"i = 0\n"
    u"Do While Len(text) < 1048576\n"
    u" i = i + 1\n"
    u" text = text & \"key\" & i & \"=\" & (i * 7) & vbCrLf\n"
    u"Loop\n"
    u"Set re = New RegExp\n"
    u"re.Pattern = \"(\\w+)=(\\d+)\"\n"
    u"re.Global = True\n"
    u"Function Run()\n Run = re.Execute(text).Count\nEnd Function\n";

// The baseline: compile once, then every match with its groups copied out.
struct Direct {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    Direct() {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0,
                             &error, &offset, nullptr);
        data = pcre2_match_data_create_from_pattern(code, nullptr);
    }
    ~Direct() {
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
    size_t Run(const std::u16string& text, std::vector<PCRE2_SIZE>& found) {
        found.clear();
        size_t at = 0;
        auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
        while (at <= text.size() &&
               pcre2_match(code, subject, text.size(), at, 0, data, nullptr) > 0) {
            const PCRE2_SIZE* v = pcre2_get_ovector_pointer(data);
            found.insert(found.end(), v, v + 6);
            at = v[1] > v[0] ? v[1] : v[1] + 1;
        }
        return found.size() / 6;
    }
};

void RegExpExecute1MB(benchmark::State& state) {
    kvbench::ScriptEngine engine(CLSID_VBScript, kScript);
    if (!engine.global) {
        state.SkipWithError("the script did not start");
        return;
    }
    const DISPID run = engine.Id(u"Run");

    Direct direct;
    const std::u16string text = Text();
    std::vector<PCRE2_SIZE> found;
    size_t direct_count = 0;
    double ours = 0, baseline = 0;
    long script_count = 0;
    for (auto _ : state) {
        double a = ThreadSeconds();
        direct_count = direct.Run(text, found);
        double b = ThreadSeconds();
        VARIANT result;
        VariantInit(&result);
        DISPPARAMS none{};
        engine.global->Invoke(run, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
        double c = ThreadSeconds();
        script_count = result.vt == VT_I4 ? result.lVal : -1;
        VariantClear(&result);
        baseline += b - a;
        ours += c - b;
    }
    const double n = double(state.iterations());
    state.counters["ms"] = ours / n * 1000;
    state.counters["pcre2_ms"] = baseline / n * 1000;
    state.counters["ratio_to_pcre2"] = baseline > 0 ? ours / baseline : 0;
    state.counters["matches"] = double(script_count);
    if (size_t(script_count) != direct_count)
        state.SkipWithError("the script and the baseline found different matches");
}
BENCHMARK(RegExpExecute1MB)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
