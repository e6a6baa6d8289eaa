// Processor, page size and memory facts from sysconf, /proc/cpuinfo and sysinfo.
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "kvwin/last_error.h"
#include "win/sysinfo.h"

namespace {

struct CpuModel {
    unsigned family = 0, model = 0, stepping = 0;
};

CpuModel ReadCpuModel() {
    CpuModel cpu;
    FILE* file = std::fopen("/proc/cpuinfo", "re");
    if (!file)
        return cpu;
    char line[512];
    int seen = 0;
    while (seen < 3 && std::fgets(line, sizeof line, file)) {
        unsigned value = 0;
        if (std::sscanf(line, "cpu family : %u", &value) == 1) {
            cpu.family = value;
            ++seen;
        } else if (std::strncmp(line, "model\t", 6) == 0 &&
                   std::sscanf(line, "model : %u", &value) == 1) {
            cpu.model = value;
            ++seen;
        } else if (std::sscanf(line, "stepping : %u", &value) == 1) {
            cpu.stepping = value;
            ++seen;
        }
    }
    std::fclose(file);
    return cpu;
}

void FillSystemInfo(SYSTEM_INFO& info) {
    std::memset(&info, 0, sizeof info);
#if defined(__x86_64__)
    info.u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info.dwProcessorType = PROCESSOR_AMD_X8664;
#elif defined(__aarch64__)
    info.u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
    info.dwProcessorType = 0;
#elif defined(__i386__)
    info.u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    info.dwProcessorType = PROCESSOR_INTEL_PENTIUM;
#else
    info.u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
    const long page = ::sysconf(_SC_PAGESIZE);
    info.dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
    info.dwAllocationGranularity = 65536;
    info.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info.lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFull);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    info.dwNumberOfProcessors = online > 0 ? static_cast<DWORD>(online) : 1;
    const DWORD in_mask = info.dwNumberOfProcessors >= 64 ? 64 : info.dwNumberOfProcessors;
    info.dwActiveProcessorMask = in_mask == 64 ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << in_mask) - 1);
    const CpuModel cpu = ReadCpuModel();
    info.wProcessorLevel = static_cast<WORD>(cpu.family);
    info.wProcessorRevision = static_cast<WORD>(((cpu.model & 0xFF) << 8) | (cpu.stepping & 0xFF));
}

}  // namespace

extern "C" {

void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    if (lpSystemInfo)
        FillSystemInfo(*lpSystemInfo);
}

void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    if (lpSystemInfo)
        FillSystemInfo(*lpSystemInfo);
}

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX lpBuffer) {
    if (!lpBuffer || lpBuffer->dwLength != sizeof(MEMORYSTATUSEX)) {
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    }
    struct sysinfo si {};
    if (::sysinfo(&si) != 0)
        return kvwin::FailWithErrno();
    const ULONGLONG unit = si.mem_unit ? si.mem_unit : 1;
    ULONGLONG available = static_cast<ULONGLONG>(si.freeram + si.bufferram) * unit;
    // MemAvailable (free plus reclaimable cache) is the better "available" when present.
    if (FILE* file = std::fopen("/proc/meminfo", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, file)) {
            unsigned long long kb = 0;
            if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
                available = kb * 1024;
                break;
            }
        }
        std::fclose(file);
    }
    const ULONGLONG total = static_cast<ULONGLONG>(si.totalram) * unit;
    if (available > total)
        available = total;
    lpBuffer->ullTotalPhys = total;
    lpBuffer->ullAvailPhys = available;
    lpBuffer->dwMemoryLoad = total ? static_cast<DWORD>((total - available) * 100 / total) : 0;
    lpBuffer->ullTotalPageFile = total + static_cast<ULONGLONG>(si.totalswap) * unit;
    lpBuffer->ullAvailPageFile = available + static_cast<ULONGLONG>(si.freeswap) * unit;
    lpBuffer->ullTotalVirtual = 0x7FFFFFFE0000ull;
    lpBuffer->ullAvailVirtual = 0x7FFFFFFE0000ull;
    lpBuffer->ullAvailExtendedVirtual = 0;
    return TRUE;
}

}  // extern "C"
