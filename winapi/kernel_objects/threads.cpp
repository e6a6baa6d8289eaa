// CreateThread, thread handles, and the waitable object of the calling thread.
#include <pthread.h>

#include <thread>

#include "kvwin/current_thread.h"
#include "kvwin/last_error.h"
#include "sync_objects.h"
#include "win/kernel_objects.h"

namespace kvwin {

void FinishThread(ThreadState& state, uint32_t exit_code) {
    state.exit_code.store(exit_code, std::memory_order_release);
    state.done.store(1, std::memory_order_release);
    WakeAll(state.done, false);
}

namespace {

// The calling thread's state, made on first use; marked finished when the thread ends,
// however it was started.
struct ThreadRecord {
    std::shared_ptr<ThreadState> state;
    bool finish_at_exit = true;
    ~ThreadRecord() {
        if (state && finish_at_exit)
            FinishThread(*state, 0);
    }
};

thread_local ThreadRecord t_record;

std::shared_ptr<ThreadState>& CurrentState() {
    if (!t_record.state) {
        t_record.state = std::make_shared<ThreadState>();
        t_record.state->thread_id = GetCurrentThreadId();
    }
    return t_record.state;
}

struct StartBlock {
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
    std::shared_ptr<ThreadState> state;
};

void* ThreadMain(void* argument) {
    std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(argument));
    AdoptThreadState(block->state);
    const DWORD code = block->routine(block->parameter);
    FinishThread(*block->state, code);
    return nullptr;
}

}  // namespace

void AdoptThreadState(std::shared_ptr<ThreadState> state) {
    state->thread_id = GetCurrentThreadId();
    t_record.state = std::move(state);
    t_record.finish_at_exit = false;
}

std::shared_ptr<KernelObject> CurrentThreadObject() {
    return std::make_shared<ThreadObject>(CurrentState());
}

}  // namespace kvwin

using namespace kvwin;

extern "C" {

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dwCreationFlags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto state = std::make_shared<ThreadState>();
    HANDLE handle = InsertHandle(std::make_shared<ThreadObject>(state));
    if (!handle)
        return nullptr;
    auto block = std::make_unique<StartBlock>(StartBlock{lpStartAddress, lpParameter, state});
    pthread_attr_t attributes;
    ::pthread_attr_init(&attributes);
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (dwStackSize)
        ::pthread_attr_setstacksize(&attributes, std::max<SIZE_T>(dwStackSize, 65536));
    pthread_t thread;
    const int rc = ::pthread_create(&thread, &attributes, ThreadMain, block.get());
    ::pthread_attr_destroy(&attributes);
    if (rc != 0) {
        CloseHandle(handle);
        FailWithErrno(rc);
        return nullptr;
    }
    block.release();
    if (lpThreadId) {
        // The id is known once the thread runs; wait for it briefly rather than guess.
        while (state->thread_id == 0 && !state->done.load())
            std::this_thread::yield();
        *lpThreadId = state->thread_id;
    }
    return handle;
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    std::shared_ptr<ThreadObject> thread;
    if (hThread == GetCurrentThread()) {
        if (lpExitCode)
            *lpExitCode = STILL_ACTIVE;
        return lpExitCode ? TRUE : FailWith(ERROR_INVALID_PARAMETER);
    }
    thread = LookupHandleAs<ThreadObject>(hThread, HandleKind::Thread);
    if (!thread)
        return FALSE;
    if (!lpExitCode)
        return FailWith(ERROR_INVALID_PARAMETER);
    *lpExitCode = thread->state()->exit_code.load(std::memory_order_acquire);
    return TRUE;
}

DWORD GetThreadId(HANDLE Thread) {
    if (Thread == GetCurrentThread())
        return GetCurrentThreadId();
    auto thread = LookupHandleAs<ThreadObject>(Thread, HandleKind::Thread);
    return thread ? thread->state()->thread_id : 0;
}

}  // extern "C"
