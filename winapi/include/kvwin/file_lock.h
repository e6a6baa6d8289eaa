// flock() of an open file: taken within a bound, and held for a scope. The holder is used by
// one thread; the lock itself belongs to the open file description.
#pragma once

#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace kvwin {

// Takes an flock() of `operation` (LOCK_EX or LOCK_SH) without waiting longer than wait_ms,
// polling with pauses that grow to 20 ms and never sleep past the bound. False with errno
// ETIMEDOUT after that, or errno of the failed call.
inline bool FlockWithin(int fd, int operation, uint32_t wait_ms) {
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::milliseconds(wait_ms);
    unsigned pause_us = 50;
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited >= limit) {
            errno = ETIMEDOUT;
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(limit - waited).count();
        ::usleep(static_cast<useconds_t>(std::min<long long>(pause_us, left)));
        pause_us = std::min(pause_us * 2, 20000u);
    }
}

// An exclusive flock() held until the holder goes; ok() tells whether it was taken (errno
// says why not).
class ExclusiveFlock {
  public:
    // Waits as long as the holder of the lock keeps it; a signal does not end the wait.
    explicit ExclusiveFlock(int fd) : fd_(fd) {
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        ok_ = rc == 0;
    }
    // Waits at most wait_ms (FlockWithin).
    ExclusiveFlock(int fd, uint32_t wait_ms) : fd_(fd), ok_(FlockWithin(fd, LOCK_EX, wait_ms)) {}
    ~ExclusiveFlock() {
        if (ok_)
            ::flock(fd_, LOCK_UN);
    }
    ExclusiveFlock(const ExclusiveFlock&) = delete;
    ExclusiveFlock& operator=(const ExclusiveFlock&) = delete;
    bool ok() const { return ok_; }

  private:
    int fd_;
    bool ok_ = false;
};

}  // namespace kvwin
