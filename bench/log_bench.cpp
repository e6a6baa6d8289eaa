// What a log call costs.
//
//   build/bin/kavrel_log_bench
//
// First, a call the filter rejects (trace, with the default mask 7) beside a plain function
// call and beside a disabled-level call of a widely used logging library. Then records per
// second written to the agent log by one and by four processes, beside the same
// open-append-close loop done directly, without the log's logic.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// ---- throughput ---------------------------------------------------------------------------

constexpr int kRecordsPerProcess = 2000;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs body in n child processes at once; returns the wall time of the whole run.
template <class Body>
double InProcesses(int n, Body body) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            body();
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
    return Seconds(start);
}

void LogRecords() {
    for (int i = 0; i < kRecordsPerProcess; ++i)
        CEReportEventF(LogError, u"Bench", u"record %d of a run that measures the log", i);
}

// The same bytes appended the plain way: open, append, close, per record.
void AppendRecords(const std::string& path) {
    const std::string record(330, 'x');
    for (int i = 0; i < kRecordsPerProcess; ++i) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0)
            return;
        if (write(fd, record.data(), record.size()) < 0) {
        }
        close(fd);
    }
}

void ReportThroughput() {
    std::string logPath;
    kvwin::ToNativePath(GetEventLog().LogPath(), logPath);
    const std::string plainPath = kvwin::StateRoot() + "/plain-append.log";
    std::printf("\n%-40s %14s %14s %8s\n", "records per second", "agent log", "plain append",
                "ratio");
    for (int processes : {1, 4}) {
        const double logged = InProcesses(processes, LogRecords);
        const double plain = InProcesses(processes, [&] { AppendRecords(plainPath); });
        const double records = static_cast<double>(processes) * kRecordsPerProcess;
        std::printf("%-40s %14.0f %14.0f %8.2f\n",
                    (std::to_string(processes) + " process(es)").c_str(), records / logged,
                    records / plain, plain / logged);
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReportThroughput();
    return 0;
}
