#include "log/refresh_timer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "log/log_gate.h"
#include "win/handles.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

namespace log_detail {

namespace {

struct TimerState {
    std::mutex lock;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
    // A parent's state as the fork copied it: its thread is not in this process, so it is
    // never joined nor destroyed, only kept reachable.
    TimerState* inherited = nullptr;
};

std::atomic<uint32_t> g_periodMs{60000};
// The process whose timer thread runs, and the process that claimed the start (0: none).
std::atomic<uint32_t> g_runningIn{0};
std::atomic<uint32_t> g_claimedBy{0};
std::atomic<TimerState*> g_state{nullptr};

void OpenGateForRefresh() noexcept {
    g_logGate.refreshDue.store(true, std::memory_order_seq_cst);
    g_logGate.acceptLevels.store(0xFFFFFFFF, std::memory_order_seq_cst);
}

std::chrono::milliseconds Period() {
    return std::chrono::milliseconds(g_periodMs.load(std::memory_order_relaxed));
}

[[maybe_unused]] void TimerBody(TimerState* state) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(state->lock);
    Clock::time_point last = Clock::now();
    // Woken early by a stop, a shorter period or for no reason: the deadline holds. The stop
    // may have come before this thread first took the lock.
    while (!state->stop) {
        state->wake.wait_until(lock, last + Period());
        if (state->stop)
            return;
        const Clock::time_point now = Clock::now();
        if (now >= last + Period()) {
            OpenGateForRefresh();
            last = now;
        }
    }
}

#ifndef _WIN32
// The states of the timers of the processes this one was forked from, newest first.
TimerState* g_inherited = nullptr;

// In the child of a fork only the forking thread goes on: the timer is the parent's. Only
// plain stores here, as a fork's child handler may do.
void ForgetTimerInChild() {
    if (TimerState* state = g_state.load(std::memory_order_relaxed)) {
        state->inherited = g_inherited;
        g_inherited = state;
    }
    g_state.store(nullptr, std::memory_order_relaxed);
    g_runningIn.store(0, std::memory_order_relaxed);
    g_claimedBy.store(0, std::memory_order_relaxed);
    OpenGateForRefresh();
}

// Registered when a timer is first asked for: before that, a child has nothing to forget.
void ForgetTimerInEveryChild() {
    static const int registered = ::pthread_atfork(nullptr, nullptr, ForgetTimerInChild);
    (void)registered;
}

// The thread takes no signal meant for the host process.
struct AllSignalsBlocked {
    sigset_t previous{};
    AllSignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    }
    ~AllSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    AllSignalsBlocked(const AllSignalsBlocked&) = delete;
    AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;
};
#endif

}  // namespace

bool RefreshTimerRunning() noexcept {
    return g_runningIn.load(std::memory_order_acquire) == GetCurrentProcessId();
}

bool EnsureRefreshTimer() noexcept {
#ifdef _WIN32
    // On Windows the log object goes at DLL_PROCESS_DETACH, under the loader lock, where no
    // thread can be joined: no timer there, and each call reads the tick count instead.
    return false;
#else
    const uint32_t self = GetCurrentProcessId();
    if (g_runningIn.load(std::memory_order_acquire) == self)
        return true;
    ForgetTimerInEveryChild();
    uint32_t unclaimed = 0;
    if (g_claimedBy.load(std::memory_order_relaxed) != 0 ||
        !g_claimedBy.compare_exchange_strong(unclaimed, self))
        return false;  // tried in this process already, or being started by another thread
    TimerState* state = nullptr;
    try {
        state = new TimerState;
        const AllSignalsBlocked blocked;
        state->thread = std::thread(TimerBody, state);
    } catch (...) {
        delete state;
        return false;
    }
    g_state.store(state, std::memory_order_release);
    g_runningIn.store(self, std::memory_order_release);
    return true;
#endif
}

void StopRefreshTimer() noexcept {
    if (g_runningIn.load(std::memory_order_acquire) != GetCurrentProcessId())
        return;
    TimerState* state = g_state.exchange(nullptr);
    g_runningIn.store(0, std::memory_order_release);
    if (!state)
        return;
    {
        const std::lock_guard<std::mutex> lock(state->lock);
        state->stop = true;
    }
    state->wake.notify_all();
    try {
        state->thread.join();
    } catch (...) {
        // Not joinable from here: leave the state to the thread rather than end the process.
        return;
    }
    delete state;
}

void SetRefreshPeriodMs(uint32_t milliseconds) noexcept {
    g_periodMs.store(milliseconds ? milliseconds : 1, std::memory_order_relaxed);
    if (RefreshTimerRunning()) {
        if (TimerState* state = g_state.load(std::memory_order_acquire))
            state->wake.notify_all();
    }
}

uint32_t RefreshPeriodMs() noexcept {
    return g_periodMs.load(std::memory_order_relaxed);
}

}  // namespace log_detail
