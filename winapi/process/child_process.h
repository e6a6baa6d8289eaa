// A child process behind its handles: what a wait sees, and the thread that reaps it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kvwin/waitable.h"

namespace kvwin {

// Shared by the reaper and every handle of the child. `done` is the wake word: 0 while the
// child runs, 1 once it has been reaped and `exit_code` holds its Windows exit code.
// Thread safety: atomics only.
struct ChildState {
    pid_t pid = 0;
    std::atomic<uint32_t> done{0};
    std::atomic<uint32_t> exit_code{259};  // STILL_ACTIVE
    // Set by TerminateProcess before it kills the child: the code the child then reports.
    std::atomic<bool> terminated{false};
    std::atomic<uint32_t> terminate_code{0};
};

// The process handle, and the thread handle of its one thread: both wait for the end.
class ChildObject : public Waitable {
  public:
    ChildObject(std::shared_ptr<ChildState> state, HandleKind kind)
        : state_(std::move(state)), kind_(kind) {}
    HandleKind Kind() const override { return kind_; }
    std::atomic<uint32_t>& WakeWord() override { return state_->done; }
    bool WakeWordShared() const override { return false; }
    TakeResult TryTake() override {
        return IsSignalled() ? TakeResult::Taken : TakeResult::NotSignalled;
    }
    bool IsSignalled() override { return state_->done.load(std::memory_order_acquire) != 0; }
    const std::shared_ptr<ChildState>& state() const { return state_; }

  private:
    std::shared_ptr<ChildState> state_;
    HandleKind kind_;
};

// What a new child is started with; everything is prepared before it starts, so the child
// runs no code that could need a lock another thread of ours held at the fork.
struct ChildLaunch {
    std::string program;                   // native path handed to execve
    std::vector<std::string> arguments;    // argv, the program's name first
    std::vector<std::string> environment;  // "NAME=value"
    std::string directory;                 // empty: the parent's
    bool change_identity = false;          // set uid, gid and groups below (needs root)
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    bool keep_descriptors = false;  // bInheritHandles: descriptors without close-on-exec stay
    int std_fds[3] = {-1, -1, -1};  // dup'ed onto 0, 1, 2 when not -1
    bool new_process_group = false;
};

// Starts the launch (a child that shares our memory until its execve). On success returns the
// child's state, already watched by a reaper thread; on failure null with the Win32 error of the
// failed step as last error (a failed execve is reported by the child through a pipe before it
// exits).
std::shared_ptr<ChildState> StartChild(const ChildLaunch& launch);

// The Windows exit code for a wait status.
uint32_t ExitCodeFromStatus(int status, const ChildState& state);

}  // namespace kvwin
