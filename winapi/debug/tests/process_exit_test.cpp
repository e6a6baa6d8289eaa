// TerminateProcess ends at once, ExitProcess in order; both with the given exit code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "kvtest/test_env.h"
#include "win/debug.h"
#include "win/handles.h"

namespace {

void SayGoodbye() {
    static const char text[] = "[atexit ran]";
    [[maybe_unused]] ssize_t n = ::write(STDOUT_FILENO, text, sizeof text - 1);
}

struct StaticWithDestructor {
    ~StaticWithDestructor() {
        static const char text[] = "[destructor ran]";
        [[maybe_unused]] ssize_t n = ::write(STDOUT_FILENO, text, sizeof text - 1);
    }
};

void EndWith(bool terminate, UINT code) {
    static StaticWithDestructor object;  // destroyed at exit, if exit handlers run
    (void)object;
    std::atexit(SayGoodbye);
    std::fputs("[buffered]", stdout);  // a pipe: stays in the buffer until flushed
    if (terminate) {
        TerminateProcess(GetCurrentProcess(), code);
        ::_exit(1);  // not reached when TerminateProcess works
    }
    ExitProcess(code);
}

TEST(TerminateProcess, EndsTheCurrentProcessAtOnceWithoutExitHandlersOrFlushing) {
    const kvtest::ChildResult child = kvtest::RunInChild([] { EndWith(true, 50); });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 50);
    EXPECT_EQ(child.output, "");
}

TEST(TerminateProcess, OtherHandlesFailWithInvalidHandle) {
    // INVALID_HANDLE_VALUE is the current-process pseudo-handle, as on Windows: not listed.
    for (HANDLE h :
         {static_cast<HANDLE>(nullptr), GetCurrentThread(), reinterpret_cast<HANDLE>(0x1234)}) {
        SetLastError(0);
        EXPECT_FALSE(TerminateProcess(h, 3));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(ExitProcess, RunsExitHandlersFlushesAndDestroysStatics) {
    const kvtest::ChildResult child = kvtest::RunInChild([] { EndWith(false, 7); });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 7);
    EXPECT_NE(child.output.find("[buffered]"), std::string::npos) << child.output;
    EXPECT_NE(child.output.find("[atexit ran]"), std::string::npos) << child.output;
    EXPECT_NE(child.output.find("[destructor ran]"), std::string::npos) << child.output;
}

}  // namespace
