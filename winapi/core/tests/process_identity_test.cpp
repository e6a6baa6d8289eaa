// The process and thread ids, which the layer keeps rather than asking the kernel each time.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "win/handles.h"

namespace {

DWORD KernelThreadId() {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

TEST(ProcessIdentity, IdsAreTheKernelsInEveryThreadAndAfterEveryFork) {
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
    EXPECT_EQ(GetCurrentThreadId(), KernelThreadId());
    DWORD other = 0;
    DWORD otherKernel = 0;
    std::thread([&] {
        other = GetCurrentThreadId();
        otherKernel = KernelThreadId();
    }).join();
    EXPECT_EQ(other, otherKernel);
    EXPECT_NE(other, GetCurrentThreadId());

    // A child, and a child of the child, asked after the parent's ids were kept; from the
    // main thread and from a thread made in the child.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = GetCurrentProcessId() == static_cast<DWORD>(::getpid()) &&
                  GetCurrentThreadId() == KernelThreadId();
        std::thread([&] { ok = ok && GetCurrentThreadId() == KernelThreadId(); }).join();
        const pid_t grandchild = ::fork();
        if (grandchild == 0)
            ::_exit(GetCurrentProcessId() == static_cast<DWORD>(::getpid()) &&
                            GetCurrentThreadId() == KernelThreadId()
                        ? 0
                        : 1);
        int status = 1;
        ::waitpid(grandchild, &status, 0);
        ::_exit(ok && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
}

}  // namespace
