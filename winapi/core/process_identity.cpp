// Identity of the running process and thread, and the constants every part shares.
//
// Both ids are asked for on hot paths (every log record, every mutex owner), and each is a
// system call on Linux: they are kept, per process and per thread, and forgotten in the
// child of a fork (pthread_atfork), where both change. A child made by a raw clone() that
// runs this library's code before exec would see its parent's ids; the layer makes none.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "win/handles.h"

namespace {

std::atomic<uint32_t> g_forks{0};

void ForgetIdsInChild() {
    g_forks.fetch_add(1, std::memory_order_relaxed);
}

[[maybe_unused]] const int g_forgetIdsInChild =
    ::pthread_atfork(nullptr, nullptr, ForgetIdsInChild);

// The process id with the fork count it belongs to (high half); 0 when not known yet.
std::atomic<uint64_t> g_processId{0};

struct ThreadId {
    uint32_t forks;
    DWORD id;
};
thread_local ThreadId t_threadId{UINT32_MAX, 0};

}  // namespace

extern "C" {

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

DWORD GetCurrentProcessId(void) {
    const uint32_t forks = g_forks.load(std::memory_order_relaxed);
    const uint64_t known = g_processId.load(std::memory_order_relaxed);
    if (known && static_cast<uint32_t>(known >> 32) == forks)
        return static_cast<DWORD>(known);
    const DWORD id = static_cast<DWORD>(::getpid());
    g_processId.store((static_cast<uint64_t>(forks) << 32) | id, std::memory_order_relaxed);
    return id;
}

DWORD GetCurrentThreadId(void) {
    const uint32_t forks = g_forks.load(std::memory_order_relaxed);
    if (t_threadId.forks != forks) {
        t_threadId.id = static_cast<DWORD>(::syscall(SYS_gettid));
        t_threadId.forks = forks;
    }
    return t_threadId.id;
}

}  // extern "C"
