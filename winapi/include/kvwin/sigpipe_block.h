// Writing to a connection the other end has closed raises SIGPIPE, which would end the host
// process. While a SigpipeBlock lives, the signal stays blocked on this thread, and one raised
// meanwhile is taken off the thread before the block is lifted (one already pending before
// is left for the host). For calls that talk to servers through client libraries that write
// to sockets without MSG_NOSIGNAL.
#pragma once

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace kvwin {

class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        already_pending_ = sigismember(&pending, SIGPIPE) == 1;
        blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &previous_) == 0;
    }
    ~SigpipeBlock() {
        if (!blocked_)
            return;
        if (!already_pending_) {
            const timespec now{};
            while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t pipe_{};
    sigset_t previous_{};
    bool already_pending_ = false;
    bool blocked_ = false;
};

}  // namespace kvwin
