// What the launcher road adds to a query: the same document through
// GetInventoryInformationInternal in this process, and through GetInventoryInformation,
// which writes it to a file, starts the launcher, waits for it and reads its answer.
//
// Two launchers are measured. The first is Lumbrik.exe built with a WMI kind that answers
// canned rows (the same kind answers in-process), so both sides do almost no query work and
// the difference is the road's fixed cost; it is compared with what the road cannot do
// without, the query in-process plus a bare child process (/bin/true). The second is the
// Lumbrik.exe this tree builds for the library, with the real WMI kind, on the documents an
// inventory asks: one class with one row (examples/operating-system.xml), and the inventory's
// WMI documents from examples/ asked one after the other, one call each, as an inventory does
// (a query document names one class).
//
// Each benchmark also reports the CPU of an iteration, this process's and its children's
// (the launcher and its worker) together, as `cpu_us`: on a loaded machine the wall time of
// a process chain is mostly time spent waiting for a core. The WMI engine paces a query by
// resting between objects; a rest is sleep, not CPU, so the CPU figures leave the pacing out
// on both sides, while the wall times of the real documents include it.
//
// Run with KAVREL_ROOT unset to work in a scratch state root made for the run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "canned_rows_kind.h"
#include "entry/query_factory.h"
#include "kavrel/kavrel.h"
#include "kvwin/utf.h"
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

// The WMI documents of examples/ an inventory asks, in the order it asks them.
constexpr const char* kInventoryExamples[] = {"operating-system",
                                              "computer-system",
                                              "bios",
                                              "processors",
                                              "memory",
                                              "disks",
                                              "volumes",
                                              "network-adapters",
                                              "network-addresses",
                                              "installed-software",
                                              "services",
                                              "processes",
                                              "users",
                                              "groups"};

struct Document {
    std::string name;
    std::u16string text;
};

std::u16string ReadExample(const char* name) {
    std::ifstream in(std::string(KAVREL_EXAMPLES_DIR) + "/" + name + ".xml", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    return kvwin::FromUtf8(text);
}

// The launcher of this run: "Lumbrik.exe", a link to one of the builds, beside a loaded
// "Colvane.dll", and a temp folder of its own. The host looks the launcher up at every call,
// so relinking switches the launcher of the calls that follow.
void InstallLauncher(const char* build) {
    static const std::string folder = [] {
        const std::string made = ScratchFolder("launcher");
        std::filesystem::copy_file(COLVANE_FIXTURE_PATH, made + "/Colvane.dll");
        ::dlopen((made + "/Colvane.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
        ::setenv("TMP", (ScratchFolder("temp") + "/").c_str(), 1);
        return made;
    }();
    const std::string link = folder + "/Lumbrik.exe";
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(build, link);
}

// Runs documents, each through one call, every iteration; with canned rows, the WMI kind
// of this process and the launcher answer canned rows, else both are the real ones. With
// several documents, each one's CPU per call goes to stderr.
void Query(benchmark::State& state, const std::vector<Document>& documents, bool outOfProcess,
           bool cannedRows) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InstallLauncher(cannedRows ? LUMBRIK_WITH_CANNED_ROWS_PATH : LUMBRIK_PATH);
    std::optional<ScopedQueryMaker> canned;
    if (cannedRows)
        canned.emplace(QueryKind::Wmi, MakeCannedRowsQuery);
    std::vector<double> spent(documents.size());
    const double start = CpuWithChildren();
    for (auto _ : state) {
        for (size_t i = 0; i < documents.size(); ++i) {
            const double before = CpuWithChildren();
            BSTR result = nullptr;
            const std::u16string& text = documents[i].text;
            const HRESULT hr = outOfProcess
                                   ? GetInventoryInformation(text.c_str(), &result)
                                   : GetInventoryInformationInternal(text.c_str(), &result);
            const bool rows = SUCCEEDED(hr) && result && *result;
            SysFreeString(result);
            if (!rows) {
                state.SkipWithError("a query failed or gave no rows");
                break;
            }
            spent[i] += CpuWithChildren() - before;
        }
    }
    ReportCpu(state, start);
    state.counters["documents"] = static_cast<double>(documents.size());
    if (documents.size() > 1 && state.iterations() > 0) {
        for (size_t i = 0; i < documents.size(); ++i)
            std::fprintf(stderr, "%s %s: %.0f cpu_us a call\n",
                         outOfProcess ? "launcher road" : "in-process", documents[i].name.c_str(),
                         spent[i] * 1e6 / static_cast<double>(state.iterations()));
    }
    canned.reset();
    CoUninitialize();
}

const std::vector<Document>& CannedDocument() {
    static const std::vector<Document> documents{{"canned", kDocument}};
    return documents;
}

const std::vector<Document>& OneRowDocument() {
    static const std::vector<Document> documents{
        {"operating-system", ReadExample("operating-system")}};
    return documents;
}

// The inventory's documents that give rows on this machine in this process; the others (a
// container has no firmware tables, say) are named on stderr and left out of both sides.
const std::vector<Document>& InventoryDocuments() {
    static const std::vector<Document> documents = [] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::vector<Document> kept;
        for (const char* name : kInventoryExamples) {
            Document document{name, ReadExample(name)};
            BSTR result = nullptr;
            const HRESULT hr = GetInventoryInformationInternal(document.text.c_str(), &result);
            const bool rows = SUCCEEDED(hr) && result && *result;
            SysFreeString(result);
            if (rows)
                kept.push_back(std::move(document));
            else
                std::fprintf(stderr, "left out: %s (no rows here, 0x%08x)\n", name,
                             static_cast<unsigned>(hr));
        }
        CoUninitialize();
        return kept;
    }();
    return documents;
}

void BM_QueryInProcess(benchmark::State& state) {
    Query(state, CannedDocument(), false, true);
}
BENCHMARK(BM_QueryInProcess)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_QueryThroughLauncher(benchmark::State& state) {
    Query(state, CannedDocument(), true, true);
}
BENCHMARK(BM_QueryThroughLauncher)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_OneRowInProcess(benchmark::State& state) {
    Query(state, OneRowDocument(), false, false);
}
BENCHMARK(BM_OneRowInProcess)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_OneRowThroughLauncher(benchmark::State& state) {
    Query(state, OneRowDocument(), true, false);
}
BENCHMARK(BM_OneRowThroughLauncher)->Unit(benchmark::kMicrosecond)->UseRealTime();

// An inventory's iteration is some 11 s of pacing, so the library would stop at one; three
// spread the first road call's extra cost (it follows the in-process run of every document)
// and the installed software's variation.
void BM_InventoryInProcess(benchmark::State& state) {
    Query(state, InventoryDocuments(), false, false);
}
BENCHMARK(BM_InventoryInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_InventoryThroughLauncher(benchmark::State& state) {
    Query(state, InventoryDocuments(), true, false);
}
BENCHMARK(BM_InventoryThroughLauncher)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
         {"BM_QueryThroughLauncher", "BM_QueryInProcess", ""},
         {"BM_OneRowThroughLauncher:cpu_us", "BM_OneRowInProcess:cpu_us", "goal <= 1.3"},
         {"BM_InventoryThroughLauncher:cpu_us", "BM_InventoryInProcess:cpu_us", "goal <= 1.3"},
         {"BM_OneRowThroughLauncher", "BM_OneRowInProcess", "wall, pacing included"},
         {"BM_InventoryThroughLauncher", "BM_InventoryInProcess", "wall, pacing included"}});
}
