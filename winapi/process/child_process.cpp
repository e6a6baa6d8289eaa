// Starting a child with execve from a copy of this process that shares its memory, and
// reaping it on a thread of its own.
#include "child_process.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "kvwin/last_error.h"

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace kvwin {

namespace {

// Everything the child needs, as plain pointers, built before the fork.
struct ExecImage {
    std::vector<char*> argv;
    std::vector<char*> envp;
};

ExecImage MakeImage(const ChildLaunch& launch) {
    ExecImage image;
    for (const std::string& argument : launch.arguments)
        image.argv.push_back(const_cast<char*>(argument.c_str()));
    image.argv.push_back(nullptr);
    for (const std::string& entry : launch.environment)
        image.envp.push_back(const_cast<char*>(entry.c_str()));
    image.envp.push_back(nullptr);
    return image;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVWIN_CHILD_CODE __attribute__((no_sanitize("address")))
#endif
#endif
#if !defined(KVWIN_CHILD_CODE) && defined(__SANITIZE_ADDRESS__)
#define KVWIN_CHILD_CODE __attribute__((no_sanitize("address")))
#endif
#ifndef KVWIN_CHILD_CODE
#define KVWIN_CHILD_CODE
#endif

// Tells the parent why the child could not become the program, and ends it.
[[noreturn]] KVWIN_CHILD_CODE void ChildFails(int report_fd, int error) {
    ssize_t ignored = ::write(report_fd, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

// Runs in the child until execve, in this process's memory and on a stack of its own, while
// the thread that started it waits: only system calls, nothing that takes a lock, touches
// the heap or returns. The identity calls are raw system calls on purpose: the C library's
// wrappers would try to reach this process's other threads. Every signal is blocked on
// entry; the handlers go back to their defaults before any can be delivered here, since a
// handler of ours would run on our memory. Not instrumented: a sanitizer's bookkeeping for
// this stack would outlive it.
[[noreturn]] KVWIN_CHILD_CODE void BecomeProgram(const ChildLaunch& launch, const ExecImage& image,
                                                 int report_fd) {
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &by_default, nullptr);  // fails harmlessly for KILL and STOP
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    if (launch.new_process_group)
        ::setpgid(0, 0);
    if (launch.change_identity) {
        if (::syscall(SYS_setgroups, launch.groups.size(), launch.groups.data()) != 0 ||
            ::syscall(SYS_setresgid, launch.gid, launch.gid, launch.gid) != 0 ||
            ::syscall(SYS_setresuid, launch.uid, launch.uid, launch.uid) != 0) {
            ChildFails(report_fd, errno);
        }
    }
    for (int target = 0; target < 3; ++target) {
        if (launch.std_fds[target] >= 0 && ::dup2(launch.std_fds[target], target) < 0)
            ChildFails(report_fd, errno);
    }
    if (!launch.directory.empty() && ::chdir(launch.directory.c_str()) != 0)
        ChildFails(report_fd, errno);
    if (!launch.keep_descriptors) {
        // Handles are not inherited: everything past the standard streams closes at exec.
        ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
    }
    ::execve(launch.program.c_str(), image.argv.data(), image.envp.data());
    ChildFails(report_fd, errno);
}

// What the child's entry is handed.
struct ChildStart {
    const ChildLaunch* launch;
    const ExecImage* image;
    int report_fd;
};

KVWIN_CHILD_CODE int ChildEntry(void* argument) {
    const auto* start = static_cast<const ChildStart*>(argument);
    BecomeProgram(*start->launch, *start->image, start->report_fd);
}

// The child's stack until execve: its own mapping, so that the child never writes over the
// frames of the thread it was started from. Small: the child only makes system calls.
class ChildStack {
  public:
    static constexpr size_t kBytes = 64 * 1024;
    ChildStack()
        : base_(::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0)) {}
    ~ChildStack() {
        if (base_ != MAP_FAILED)
            ::munmap(base_, kBytes);
    }
    ChildStack(const ChildStack&) = delete;
    ChildStack& operator=(const ChildStack&) = delete;
    bool valid() const { return base_ != MAP_FAILED; }
    void* top() const { return static_cast<char*>(base_) + kBytes; }

  private:
    void* base_;
};

// Blocks every signal on this thread for its lifetime: the child starts with this mask, so
// nothing is delivered to it before it has put every handler back to the default.
class AllSignalsBlocked {
  public:
    AllSignalsBlocked() {
        sigset_t all;
        ::sigfillset(&all);
        ::pthread_sigmask(SIG_SETMASK, &all, &saved_);
    }
    ~AllSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    AllSignalsBlocked(const AllSignalsBlocked&) = delete;
    AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

  private:
    sigset_t saved_;
};

// The reaper: waits for its child, records how it ended and wakes every waiter. It holds
// the state, so the child is reaped even when all its handles are closed.
void* ReapChild(void* argument) {
    std::unique_ptr<std::shared_ptr<ChildState>> holder(
        static_cast<std::shared_ptr<ChildState>*>(argument));
    ChildState& state = **holder;
    int status = 0;
    pid_t reaped = 0;
    do {
        reaped = ::waitpid(state.pid, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    // Reaped by someone else (the host ignores SIGCHLD, or waits for any child): gone, code
    // unknown.
    state.exit_code.store(reaped == state.pid ? ExitCodeFromStatus(status, state) : 0u,
                          std::memory_order_release);
    state.done.store(1, std::memory_order_release);
    WakeAll(state.done, false);
    return nullptr;
}

void WaitQuietly(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

uint32_t ExitCodeFromStatus(int status, const ChildState& state) {
    if (WIFEXITED(status))
        return static_cast<uint32_t>(WEXITSTATUS(status));
    if (!WIFSIGNALED(status))
        return 0;
    switch (WTERMSIG(status)) {
        case SIGSEGV:
        case SIGBUS:
            return 0xC0000005u;
        case SIGILL:
            return 0xC000001Du;
        case SIGFPE:
            return 0xC0000094u;
        case SIGABRT:
            return 3;
        case SIGINT:
            return 0xC000013Au;
        case SIGKILL:
        case SIGTERM:
            return state.terminated.load() ? state.terminate_code.load() : 1u;
        default:
            return 128u + static_cast<uint32_t>(WTERMSIG(status));
    }
}

std::shared_ptr<ChildState> StartChild(const ChildLaunch& launch) {
    const ExecImage image = MakeImage(launch);
    auto state = std::make_shared<ChildState>();
    // Allocated before the child starts: the child must not touch the heap.
    auto holder = std::make_unique<std::shared_ptr<ChildState>>(state);
    const ChildStack stack;
    if (!stack.valid()) {
        FailWithErrno();
        return nullptr;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        FailWithErrno();
        return nullptr;
    }
    // The child shares our memory until it calls execve (or ends), and this thread waits
    // till then: no copy of this process's page tables is made for a child that replaces
    // them at once. The report pipe's read end is closed at that execve too.
    ChildStart start{&launch, &image, report[1]};
    pid_t pid = -1;
    int error = 0;
    {
        const AllSignalsBlocked blocked;
        pid = ::clone(ChildEntry, stack.top(), CLONE_VM | CLONE_VFORK | SIGCHLD, &start);
        error = errno;
    }
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        FailWithErrno(error);
        return nullptr;
    }
    ::close(report[1]);
    // The pipe closes at a successful execve; before that the child writes why it failed.
    int child_error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &child_error, sizeof child_error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof child_error)) {
        WaitQuietly(pid);
        FailWithErrno(child_error);
        return nullptr;
    }
    state->pid = pid;
    pthread_attr_t attributes;
    ::pthread_attr_init(&attributes);
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t reaper;
    const int rc = ::pthread_create(&reaper, &attributes, ReapChild, holder.get());
    ::pthread_attr_destroy(&attributes);
    if (rc != 0) {
        // No one could ever report its end: stop it rather than hand out a handle that lies.
        ::kill(pid, SIGKILL);
        WaitQuietly(pid);
        FailWithErrno(rc);
        return nullptr;
    }
    holder.release();
    return state;
}

}  // namespace kvwin
