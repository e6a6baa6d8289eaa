// What loading the library costs a process: the time to start a program linked with it and
// see it end, and its resident memory while idle, beside /bin/true and empty programs
// measured in the same run.
//
//   build/bin/kavrel_startup_bench
//
//   BM_StartLibraryProgram   start + wait of a C program linked with libkavrel.so
//   BM_StartTrue             start + wait of /bin/true (the floor)
//   BM_StartEmptyProgram     start + wait of an empty C program built here
//   BM_StartEmptyCxxProgram  the same in C++: what a host pays before any library of ours
//   BM_IdleResidentSize      the resident size (kB, counters) of the C programs, idle
//
// Each start also reports the CPU time the started program used (counter cpu_us, from
// wait4), which other work on the machine disturbs less than the wall time.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ratio_report.h"

extern char** environ;

namespace {

// Starts `program` with `argument` (or none), waits for it, and returns what it printed
// (when `output` is set) and the CPU time it used (µs, when `cpuUs` is set). False when it
// could not be started or failed.
bool Run(const char* program, const char* argument, std::string* output, double* cpuUs = nullptr) {
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) {
        if (::pipe(pipeFds) != 0)
            return false;
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        ::close(pipeFds[1]);
        if (rc == 0) {
            char buffer[256];
            ssize_t n = 0;
            while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
                output->append(buffer, static_cast<size_t>(n));
        }
        ::close(pipeFds[0]);
    }
    if (rc != 0)
        return false;
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) {
    }
    if (cpuUs) {
        *cpuUs = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Start(benchmark::State& state, const char* program) {
    double cpuUs = 0;
    for (auto _ : state) {
        double used = 0;
        if (!Run(program, nullptr, nullptr, &used)) {
            state.SkipWithError("the program did not start or failed");
            break;
        }
        cpuUs += used;
    }
    state.counters["cpu_us"] = benchmark::Counter(cpuUs, benchmark::Counter::kAvgIterations);
}

void BM_StartLibraryProgram(benchmark::State& state) {
    Start(state, KAVREL_LIBRARY_PROGRAM);
}
BENCHMARK(BM_StartLibraryProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartTrue(benchmark::State& state) {
    Start(state, "/bin/true");
}
BENCHMARK(BM_StartTrue)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartEmptyProgram(benchmark::State& state) {
    Start(state, KAVREL_EMPTY_PROGRAM);
}
BENCHMARK(BM_StartEmptyProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartEmptyCxxProgram(benchmark::State& state) {
    Start(state, KAVREL_EMPTY_CXX_PROGRAM);
}
BENCHMARK(BM_StartEmptyCxxProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

// The smallest resident size of a few runs (kB): the figure the page cache and the machine's
// load disturb least.
double IdleResidentKb(const char* program) {
    double smallest = 0;
    for (int i = 0; i < 5; ++i) {
        std::string text;
        if (!Run(program, "rss", &text))
            return 0;
        const double kb = std::strtod(text.c_str(), nullptr);
        if (kb > 0 && (smallest == 0 || kb < smallest))
            smallest = kb;
    }
    return smallest;
}

void BM_IdleResidentSize(benchmark::State& state) {
    double library = 0, empty = 0;
    for (auto _ : state) {
        library = IdleResidentKb(KAVREL_LIBRARY_PROGRAM);
        empty = IdleResidentKb(KAVREL_EMPTY_PROGRAM);
    }
    if (library == 0 || empty == 0)
        state.SkipWithError("a program did not report its size");
    state.counters["library_program_kB"] = library;
    state.counters["empty_program_kB"] = empty;
}
BENCHMARK(BM_IdleResidentSize)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // A state root of the benchmark's own: the library's load steps may touch it.
    if (!std::getenv("KAVREL_ROOT")) {
        char pattern[] = "/tmp/kavrel-startup-bench-XXXXXX";
        if (const char* root = mkdtemp(pattern))
            setenv("KAVREL_ROOT", root, 1);
    }
    return benchmark_ratio::Main(
        argc, argv,
        {{"BM_StartLibraryProgram", "BM_StartTrue", "goal <= 2"},
         {"BM_StartLibraryProgram:cpu_us", "BM_StartTrue:cpu_us", "goal <= 2"},
         {"BM_StartLibraryProgram", "BM_StartEmptyProgram", ""},
         {"BM_StartLibraryProgram:cpu_us", "BM_StartEmptyCxxProgram:cpu_us",
          "what the library adds"},
         {"BM_IdleResidentSize:library_program_kB", "BM_IdleResidentSize:empty_program_kB",
          "goal: library program <= 3 MB"}});
}
