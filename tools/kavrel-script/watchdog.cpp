#include "watchdog.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>

namespace {

// The wake pipe of the live watchdog, for the signal handler.
std::atomic<int> g_interruptDescriptor{-1};
struct sigaction g_previousInterrupt {};

extern "C" void OnInterruptSignal(int) {
    const int saved = errno;
    const int descriptor = g_interruptDescriptor.load();
    if (descriptor >= 0) {
        const char byte = 'i';
        [[maybe_unused]] const ssize_t written = ::write(descriptor, &byte, 1);
    }
    errno = saved;
}

// One byte from the wake pipe within ms (negative: no limit); 0 when none came in time.
char WaitForWake(int descriptor, int ms) {
    pollfd entry{descriptor, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int left = ms;
        if (ms >= 0) {
            const auto now = std::chrono::steady_clock::now();
            left = now >= deadline
                       ? 0
                       : static_cast<int>(
                             std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        }
        const int ready = ::poll(&entry, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return 0;
        char byte = 0;
        if (::read(descriptor, &byte, 1) == 1)
            return byte;
    }
}

}  // namespace

Watchdog::Watchdog(RunControl& control, DWORD timeoutMs, std::function<void()> stuck, int graceMs)
    : control_(control), timeoutMs_(timeoutMs), stuck_(std::move(stuck)), graceMs_(graceMs) {
    if (::pipe2(wake_, O_CLOEXEC) != 0)
        wake_[0] = wake_[1] = -1;
    try {
        thread_ = std::thread([this] { Watch(); });
    } catch (...) {
        for (int fd : wake_) {
            if (fd >= 0)
                ::close(fd);
        }
        throw;
    }
    g_interruptDescriptor.store(wake_[1]);
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the process
    ::sigaction(SIGINT, &action, &g_previousInterrupt);
}

Watchdog::~Watchdog() {
    ::sigaction(SIGINT, &g_previousInterrupt, nullptr);
    g_interruptDescriptor.store(-1);
    if (wake_[1] >= 0) {
        const char byte = 'e';
        [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);
    }
    if (thread_.joinable())
        thread_.join();
    for (int fd : wake_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void Watchdog::Watch() {
    if (wake_[0] < 0)
        return;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        int left = -1;
        if (timeoutMs_ > 0) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
            const long long remaining = static_cast<long long>(timeoutMs_) - elapsed;
            left = static_cast<int>(std::clamp<long long>(remaining, 0, INT_MAX));
        }
        const char woken = WaitForWake(wake_[0], left);
        if (woken == 'e')
            return;
        if (woken == 'i' || woken == 0) {
            control_.Stop(woken == 'i' ? StopReason::Interrupt : StopReason::TimeOut);
            break;
        }
    }
    // Stopped: the run should end within moments now.
    for (;;) {
        const char woken = WaitForWake(wake_[0], graceMs_);
        if (woken == 'e')
            return;
        if (woken == 0) {
            if (stuck_)
                stuck_();
            return;
        }
        // Ctrl-C during a stop already under way changes nothing (after a first Ctrl-C the
        // next one is the system's again).
    }
}
