// Identity of the running process and thread, and the constants every part shares.
//
// Both ids are asked for on hot paths (every log record, every mutex owner), and each is a
// system call on Linux: they are kept, per process and per thread, and forgotten in the
// child of a fork, where both change. What is kept lies in a page of its own that the
// kernel hands a fork's child cleared (MADV_WIPEONFORK): the child finds no process id and
// no fork generation, asks the kernel and starts a generation of its own, which tells every
// thread id kept before the fork from the child's. Where the kernel cannot clear a page
// (before Linux 4.14), the ids are kept in the layer's data and a fork handler
// (pthread_atfork) clears them. Either is set up by the first call that keeps an id, so a
// process that loads the layer registers no fork handler. A child made by a raw clone()
// that runs this library's code before exec would see its parent's ids; the layer makes
// none. Every function here may be called from any thread.
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "win/handles.h"

namespace {

// Zero until an id is kept, and in a fork's child.
struct KeptIds {
    std::atomic<uint32_t> processId{0};
    // The generation the kept thread ids belong to; 0 when none is valid.
    std::atomic<uint32_t> generation{0};
};

// Where the ids are kept: a page mapped for them by the first call that keeps one, and
// never unmapped, not even when the layer is unloaded (a call made while the process exits
// still finds it; 4 KiB); null until then.
std::atomic<KeptIds*> g_kept{nullptr};
// Used instead when the page cannot be had, cleared by a fork handler.
constinit KeptIds g_keptWithForkHandler;

// The last generation handed out. A child inherits it, so its own generations are new to
// the threads' kept ids, which it inherits as well.
std::atomic<uint32_t> g_lastGeneration{0};

void ForgetIdsInChild() {
    g_keptWithForkHandler.processId.store(0, std::memory_order_relaxed);
    g_keptWithForkHandler.generation.store(0, std::memory_order_relaxed);
}

// Once per process image: a child keeps the mapping, its advice and the fork handler.
KeptIds& Kept() {
    if (KeptIds* kept = g_kept.load(std::memory_order_acquire))
        return *kept;
    static KeptIds* const made = []() -> KeptIds* {
        constexpr size_t kPage = 4096;
        void* page =
            ::mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page != MAP_FAILED) {
            if (::madvise(page, kPage, MADV_WIPEONFORK) == 0)
                return new (page) KeptIds;
            ::munmap(page, kPage);
        }
        ::pthread_atfork(nullptr, nullptr, ForgetIdsInChild);
        return &g_keptWithForkHandler;
    }();
    g_kept.store(made, std::memory_order_release);
    return *made;
}

// The current generation, started when there is none yet in this process.
uint32_t Generation() {
    KeptIds& kept = Kept();
    uint32_t generation = kept.generation.load(std::memory_order_acquire);
    if (generation != 0)
        return generation;
    uint32_t fresh = g_lastGeneration.fetch_add(1, std::memory_order_relaxed) + 1;
    if (fresh == 0)  // after 2^32 forks
        fresh = g_lastGeneration.fetch_add(1, std::memory_order_relaxed) + 1;
    if (kept.generation.compare_exchange_strong(generation, fresh, std::memory_order_acq_rel))
        return fresh;
    return generation;  // another thread of this process started it
}

struct ThreadId {
    uint32_t generation;
    DWORD id;
};
thread_local ThreadId t_threadId{0, 0};

}  // namespace

extern "C" {

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

DWORD GetCurrentProcessId(void) {
    KeptIds& kept = Kept();
    if (const uint32_t known = kept.processId.load(std::memory_order_relaxed))
        return known;
    const DWORD id = static_cast<DWORD>(::getpid());
    kept.processId.store(id, std::memory_order_relaxed);
    return id;
}

DWORD GetCurrentThreadId(void) {
    const uint32_t generation = Generation();
    if (t_threadId.generation != generation) {
        t_threadId.id = static_cast<DWORD>(::syscall(SYS_gettid));
        t_threadId.generation = generation;
    }
    return t_threadId.id;
}

}  // extern "C"
