// The cost of producing every Win32_Process and Win32_Service instance through the class
// fill functions, beside a direct read of the same fields from /proc and the unit files
// measured in the same run: the difference is what the class layer (parsing into structs,
// UTF-16 text, CimValue instances) adds to the unavoidable file reads.
//
//   build/bin/kavrel_wmi_classes_bench
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "provider/class_decl.h"

namespace {

void FillClass(const char16_t* name, benchmark::State& state) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(u"root\\cimv2", name);
    if (!decl) {
        state.SkipWithError("class not registered");
        return;
    }
    std::vector<kvwmi::Instance> out;
    decl->fill(*decl, out);
    benchmark::DoNotOptimize(out.data());
}

void BM_ClassFillProcessAndService(benchmark::State& state) {
    for (auto _ : state) {
        FillClass(u"Win32_Process", state);
        FillClass(u"Win32_Service", state);
    }
}
BENCHMARK(BM_ClassFillProcessAndService)->Unit(benchmark::kMillisecond);

// Reads a whole small file into a fixed buffer; returns its length or -1.
ssize_t ReadInto(const char* path, char* buffer, size_t size) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    while (static_cast<size_t>(total) < size) {
        ssize_t n = ::read(fd, buffer + total, size - static_cast<size_t>(total));
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

template <typename Visit>
void ForEachEntry(const char* dir, Visit visit) {
    DIR* d = ::opendir(dir);
    if (!d)
        return;
    while (dirent* e = ::readdir(d))
        visit(e->d_name);
    ::closedir(d);
}

// The baseline: the same files read with plain system calls, keeping only the numbers and
// names the classes report (pid, parent, name, threads, times, sizes; the unit file's text).
void BM_DirectProcAndUnitFileRead(benchmark::State& state) {
    static char buffer[1 << 16];
    for (auto _ : state) {
        std::size_t fields = 0;
        ForEachEntry("/proc", [&](const char* name) {
            if (name[0] < '1' || name[0] > '9')
                return;
            std::string dir = std::string("/proc/") + name;
            ssize_t n = ReadInto((dir + "/stat").c_str(), buffer, sizeof buffer - 1);
            if (n <= 0)
                return;
            buffer[n] = 0;
            const char* close = std::strrchr(buffer, ')');
            if (!close)
                return;
            char* cursor = const_cast<char*>(close) + 3;
            for (int field = 0; field < 21 && *cursor; ++field)
                fields += std::strtoull(cursor, &cursor, 10) != 0;
            fields += ReadInto((dir + "/status").c_str(), buffer, sizeof buffer) > 0;
            fields += ReadInto((dir + "/cmdline").c_str(), buffer, sizeof buffer) > 0;
            fields += ::readlink((dir + "/exe").c_str(), buffer, sizeof buffer) > 0;
        });
        for (const char* dir : {"/etc/systemd/system", "/run/systemd/system", "/lib/systemd/system",
                                "/usr/lib/systemd/system"}) {
            ForEachEntry(dir, [&](const char* name) {
                size_t len = std::strlen(name);
                if (len < 8 || std::strcmp(name + len - 8, ".service") != 0)
                    return;
                fields +=
                    ReadInto((std::string(dir) + "/" + name).c_str(), buffer, sizeof buffer) > 0;
            });
        }
        benchmark::DoNotOptimize(fields);
    }
}
BENCHMARK(BM_DirectProcAndUnitFileRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
