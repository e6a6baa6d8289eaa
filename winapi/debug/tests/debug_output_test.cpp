// Debug output reaches standard error only when switched on; debugger presence and
// DebugBreak seen from a child process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kvtest/test_env.h"
#include "win/debug.h"

namespace {

kvtest::ChildResult OutputWith(const char* setting, void (*write)()) {
    return kvtest::RunInChild([&] {
        if (setting) {
            ::setenv("KAVREL_DEBUG_OUTPUT", setting, 1);
        } else {
            ::unsetenv("KAVREL_DEBUG_OUTPUT");
        }
        write();
    });
}

void WriteWideAndNarrow() {
    OutputDebugStringW(u"caf\u00e9 \U0001F600");
    OutputDebugStringA("|narrow\n");
    OutputDebugStringW(u"");
    OutputDebugStringW(nullptr);
    OutputDebugStringA(nullptr);
}

TEST(OutputDebugString, WritesTheTextAsUtf8WithNothingAddedWhenSwitchedOn) {
    const kvtest::ChildResult child = OutputWith("1", WriteWideAndNarrow);
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_EQ(child.output, "caf\xC3\xA9 \xF0\x9F\x98\x80|narrow\n");
}

TEST(OutputDebugString, IsDroppedWhenNotSwitchedOnAndNoDebuggerIsAttached) {
    for (const char* setting : {static_cast<const char*>(nullptr), "", "0"}) {
        const kvtest::ChildResult child = OutputWith(setting, WriteWideAndNarrow);
        ASSERT_TRUE(child.exited);
        EXPECT_EQ(child.output, "") << (setting ? setting : "(unset)");
    }
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OutputDebugString, AppendsToTheListenersFileAndNeverMakesOrFollowsOne) {
    const std::string folder = kvtest::MakeTempFolder("debug-output");
    const std::string file = folder + "/diagnostics";
    std::ofstream(file) << "before|";
    const std::string link = folder + "/link";
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    for (const std::string& setting :
         {"file:" + file, "file:" + link, "file:" + folder + "/missing", std::string("file:rel")}) {
        const kvtest::ChildResult child =
            OutputWith(setting.c_str(), [] { OutputDebugStringW(u"one|"); });
        ASSERT_TRUE(child.exited);
        EXPECT_EQ(child.output, "") << setting;  // never standard error
    }
    EXPECT_EQ(FileText(file), "before|one|");
    EXPECT_FALSE(std::filesystem::exists(folder + "/missing"));
}

TEST(IsDebuggerPresent, FalseWithoutATracer) {
    EXPECT_FALSE(IsDebuggerPresent());
}

TEST(IsDebuggerPresent, TrueWhenTracedAndThenDebugOutputIsShown) {
    const kvtest::ChildResult child = kvtest::RunInChild([] {
        ::unsetenv("KAVREL_DEBUG_OUTPUT");
        // The test process becomes the tracer. The child raises no signal, so the tracer
        // never has to resume it.
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(77);
        if (!IsDebuggerPresent())
            ::_exit(1);
        OutputDebugStringA("seen by the debugger");
        ::_exit(0);
    });
    ASSERT_TRUE(child.exited);
    if (child.exit_code == 77)
        GTEST_SKIP() << "ptrace is not permitted here";
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_EQ(child.output, "seen by the debugger");
}

TEST(DebugBreak, RaisesABreakpointTrapThatEndsAnUndebuggedProcess) {
    const kvtest::ChildResult child = kvtest::RunInChild([] { DebugBreak(); });
    EXPECT_FALSE(child.exited);
    EXPECT_EQ(child.signal, SIGTRAP);
}

}  // namespace
