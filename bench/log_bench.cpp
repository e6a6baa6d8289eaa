// What a log call costs.
//
//   build/bin/kavrel_log_bench [--records]
//
// First, a call the filter rejects (trace, with the default mask 7) beside a plain function
// call and beside a disabled-level call of a widely used logging library, plain and with
// format arguments; the ratios use this thread's CPU time. Then records per second written
// to the agent log by one and by four processes, beside the same lock-open-append-close-unlock
// loop done directly, without the log's logic; each child times its own loop after what a
// process does once (its first record, the lock file's open).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "kvwin/state_root.h"
#include "log/agent_log.h"
#include "log/event_log.h"
#include "log/log_configuration.h"
#include "win/errors.h"

namespace {

[[gnu::noinline]] void PlainFunction(uint32_t severity, const WCHAR* source, const WCHAR* message) {
    benchmark::DoNotOptimize(severity);
    benchmark::DoNotOptimize(source);
    benchmark::DoNotOptimize(message);
}

void BM_PlainFunctionCall(benchmark::State& state) {
    for (auto _ : state)
        PlainFunction(LogTrace, u"Bench", u"a message nobody reads");
}
BENCHMARK(BM_PlainFunctionCall);

void BM_RejectedLogCall(benchmark::State& state) {
    CEReportEvent(LogError, u"Bench", u"creates the log object");
    for (auto _ : state)
        CEReportEvent(LogTrace, u"Bench", u"a message nobody reads");
}
BENCHMARK(BM_RejectedLogCall);

void BM_RejectedFormattedLogCall(benchmark::State& state) {
    // The front-ends format before the filter runs, into a buffer on the stack.
    for (auto _ : state)
        CEReportEventF(LogTrace, u"Bench", u"row %d of %ls", 42, u"Win32_Process");
}
BENCHMARK(BM_RejectedFormattedLogCall);

void BM_OtherLibraryDisabledLevel(benchmark::State& state) {
    auto logger =
        std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::info);
    for (auto _ : state)
        logger->trace("row {} of {}", 42, "Win32_Process");
}
BENCHMARK(BM_OtherLibraryDisabledLevel);

void BM_OtherLibraryDisabledLevelPlain(benchmark::State& state) {
    auto logger =
        std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::info);
    for (auto _ : state)
        logger->trace("a message nobody reads");
}
BENCHMARK(BM_OtherLibraryDisabledLevelPlain);

void BM_RecordedLogCall(benchmark::State& state) {
    int i = 0;
    for (auto _ : state)
        CEReportEventF(LogError, u"Bench", u"record %d of a run that measures the log", ++i);
}
BENCHMARK(BM_RecordedLogCall);

// ---- ratios against the baselines, measured in this run -------------------------------------

// Nanoseconds of this thread's CPU per call of body, the best of five rounds (the machine may
// be shared: the best round is the one least disturbed).
template <class Body>
double NanosecondsPerCall(Body body) {
    constexpr int kCalls = 20'000'000;
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const double start = kvbench::ThreadSeconds();
        for (int i = 0; i < kCalls; ++i)
            body(i);
        best = std::min(best, (kvbench::ThreadSeconds() - start) * 1e9 / kCalls);
    }
    return best;
}

void ReportRejectedCalls() {
    auto logger =
        std::make_shared<spdlog::logger>("ratio", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::info);
    CEReportEvent(LogError, u"Bench", u"creates the log object");
    const double plain = NanosecondsPerCall(
        [](int) { CEReportEvent(LogTrace, u"Bench", u"a message nobody reads"); });
    const double plainBase =
        NanosecondsPerCall([&](int) { logger->trace("a message nobody reads"); });
    const double formatted = NanosecondsPerCall(
        [](int i) { CEReportEventF(LogTrace, u"Bench", u"row %d of %ls", i, u"Win32_Process"); });
    const double formattedBase =
        NanosecondsPerCall([&](int i) { logger->trace("row {} of {}", i, "Win32_Process"); });
    std::printf("\n%-40s %10s %10s %8s\n", "a call the filter rejects (CPU ns)", "agent log",
                "baseline", "ratio");
    std::printf("%-40s %10.2f %10.2f %8.2f\n", "plain (baseline: spdlog disabled)", plain,
                plainBase, plain / plainBase);
    std::printf("%-40s %10.2f %10.2f %8.2f\n", "formatted (baseline: spdlog disabled)", formatted,
                formattedBase, formatted / formattedBase);
}

// ---- throughput ---------------------------------------------------------------------------

constexpr int kRecordsPerProcess = 10000;

struct Run {
    double wall;    // seconds from the first child's first counted record to the last one's end
    double cpu;     // seconds of CPU (user and system) the children used in their loops
    double system;  // of which in the kernel
};

// What one child measured of its own loop, in memory the parent shares.
struct LoopTimes {
    double start;  // CLOCK_MONOTONIC seconds
    double end;
    double cpu;     // user and system
    double system;  // system alone
};

double ClockSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double SystemSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
}

// Runs a loop in n child processes at once. Each child first runs warmUp (what a process
// does once: the log object's creation, the lock file's open), then times its loop itself:
// the figures are those of the records, not of starting a process.
template <class WarmUp, class Loop>
Run InProcesses(int n, WarmUp warmUp, Loop loop) {
    void* shared = mmap(nullptr, sizeof(LoopTimes) * static_cast<size_t>(n), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        return {1e9, 1e9, 1e9};
    auto* times = static_cast<LoopTimes*>(shared);
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            auto state = warmUp();
            LoopTimes& mine = times[i];
            const double cpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
            const double system = SystemSeconds();
            mine.start = ClockSeconds(CLOCK_MONOTONIC);
            loop(state);
            mine.end = ClockSeconds(CLOCK_MONOTONIC);
            mine.cpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
            mine.system = SystemSeconds() - system;
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
    Run run{0, 0, 0};
    double first = 1e18, last = 0;
    for (int i = 0; i < n; ++i) {
        first = std::min(first, times[i].start);
        last = std::max(last, times[i].end);
        run.cpu += times[i].cpu;
        run.system += times[i].system;
    }
    run.wall = last - first;
    munmap(shared, sizeof(LoopTimes) * static_cast<size_t>(n));
    return run;
}

int LogWarmUp() {
    CEReportEventF(LogError, u"Bench", u"the first record of a process");
    return 0;
}

void LogRecords(int) {
    for (int i = 0; i < kRecordsPerProcess; ++i)
        CEReportEventF(LogError, u"Bench", u"record %d of a run that measures the log", i);
}

// The same bytes appended the plain way, with what the log must do per record and nothing
// else: a machine-wide lock (flock on a file opened once), open, append, close, unlock.
void AppendRecords(const std::string& path, int lock) {
    const std::string record(330, 'x');
    for (int i = 0; i < kRecordsPerProcess; ++i) {
        flock(lock, LOCK_EX);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (write(fd, record.data(), record.size()) < 0) {
            }
            close(fd);
        }
        flock(lock, LOCK_UN);
    }
}

void ReportThroughput() {
    const std::string plainPath = kvwin::StateRoot() + "/plain-append.log";
    const std::string lockPath = kvwin::StateRoot() + "/plain-append.lock";
    std::printf("\n%-28s %12s %12s %7s %12s %12s %7s\n", "records (best of 3 rounds)", "log rec/s",
                "base rec/s", "ratio", "log CPU us", "base CPU us", "ratio");
    for (int processes : {1, 4}) {
        // Alternating rounds, the best of each: a shared machine disturbs both alike. The
        // CPU time per record is the steadier figure where other work shares the machine.
        Run logged{1e9, 1e9, 1e9};
        Run plain{1e9, 1e9, 1e9};
        for (int round = 0; round < 3; ++round) {
            const Run a = InProcesses(processes, LogWarmUp, LogRecords);
            const Run b = InProcesses(
                processes,
                [&] { return open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); },
                [&](int lock) { AppendRecords(plainPath, lock); });
            logged = {std::min(logged.wall, a.wall), std::min(logged.cpu, a.cpu),
                      std::min(logged.system, a.system)};
            plain = {std::min(plain.wall, b.wall), std::min(plain.cpu, b.cpu),
                     std::min(plain.system, b.system)};
        }
        const double records = static_cast<double>(processes) * kRecordsPerProcess;
        std::printf("%-28s %12.0f %12.0f %7.2f %12.2f %12.2f %7.2f\n",
                    (std::to_string(processes) + " process(es)").c_str(), records / logged.wall,
                    records / plain.wall, plain.wall / logged.wall, logged.cpu * 1e6 / records,
                    plain.cpu * 1e6 / records, plain.cpu / logged.cpu);
        std::printf("%-28s %12s %12s %7s %12.2f %12.2f\n", "  of which in the kernel", "", "", "",
                    logged.system * 1e6 / records, plain.system * 1e6 / records);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A state root of the benchmark's own; a large file limit so rotation stays out of it.
    if (!std::getenv("KAVREL_ROOT")) {
        char pattern[] = "/tmp/kavrel-log-bench-XXXXXX";
        if (const char* root = mkdtemp(pattern))
            setenv("KAVREL_ROOT", root, 1);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLogConfigurationKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const DWORD megabyte = 1024 * 1024;
        RegSetValueExW(key, u"MaxSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&megabyte), 4);
        RegCloseKey(key);
    }
    // --records: the throughput table alone (for profiling the recorded write).
    if (argc == 2 && std::string(argv[1]) == "--records") {
        ReportThroughput();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReportRejectedCalls();
    ReportThroughput();
    return 0;
}
