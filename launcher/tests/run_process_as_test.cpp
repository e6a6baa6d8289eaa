// RunProccesAs with real children: who the child runs as, waiting, and the error line.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <thread>

#include "kvwin/security_token.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "launcher/run_process_as.h"
#include "launcher_test_support.h"
#include "win/kernel_objects.h"

namespace {

using launcher_test::OpenFolder;
using launcher_test::ReadProbeReport;
using launcher_test::RecordsOf;

constexpr const char* kIdentifier = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// The probe's call folder is a subfolder of `folder`; its report goes beside it, in `folder`.
WString ProbeCommandLine(const std::string& folder) {
    return kvwin::FromUtf8("-d \"" + folder + "/call/\" -id " + kIdentifier);
}

TEST(RunProccesAs, WaitsForTheChildLogsItsExitCodeAndClearsTheRecord) {
    PROCESS_INFORMATION info{};
    info.dwProcessId = 77;
    ASSERT_TRUE(RunProccesAs(TEXT("/bin/sh"), TEXT("-c \"exit 7\""), true, info));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_EQ(info.hThread, nullptr);
    EXPECT_EQ(info.dwProcessId, 0u);
    const auto lines = RecordsOf("RunProccesAs", "Proccess exit code is: ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "Proccess exit code is: 7");
    EXPECT_EQ(lines[0].severity, 8u);
}

TEST(RunProccesAs, WithoutWaitingTheCallerOwnsTheChildsHandles) {
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(RunProccesAs(TEXT("/bin/sh"), TEXT("-c \"exit 3\""), false, info));
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(RecordsOf("RunProccesAs", "Proccess exit code").empty());
}

TEST(RunProccesAs, AMissingExecutableGivesOneErrorLineWithCodeTwo) {
    OpenFolder folder;
    const WString missing = kvwin::FromUtf8(folder.path() + "/Lumbrik.exe");
    PROCESS_INFORMATION info{};
    EXPECT_FALSE(RunProccesAs(missing.c_str(), TEXT("-d \"C:\\Temp\\\" -id {X}"), true, info));
    const auto lines = RecordsOf("InventoryCommon", "Failed to launch");
    ASSERT_EQ(lines.size(), 1u);
    const std::string expected = "Failed to launch Application Name=[" + folder.path() +
                                 "/Lumbrik.exe], Command Line=[-d \"C:\\Temp\\\" -id {X}], " +
                                 "Error=[2 - ";
    EXPECT_EQ(lines[0].message.substr(0, expected.size()), expected);
    EXPECT_GT(lines[0].message.size(), expected.size() + 2) << "the system's text follows";
    EXPECT_EQ(lines[0].severity, 1u);
}

TEST(RunProccesAs, AThreadThatDoesNotImpersonateStartsTheChildAsThisProcess) {
    OpenFolder folder;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(RunProccesAs(kvwin::FromUtf8(LAUNCH_PROBE_PATH).c_str(),
                             ProbeCommandLine(folder.path()).c_str(), true, info));
    const auto report = ReadProbeReport(folder.path(), kIdentifier);
    EXPECT_EQ(report.at("uid"), std::to_string(::getuid()));
    EXPECT_EQ(report.at("commandline"), kvwin::ToUtf8(ProbeCommandLine(folder.path())));
}

TEST(RunProccesAs, AnImpersonatingThreadsChildRunsAsThatUserWithTheUsersEnvironment) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: only root may start a process as another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const uid_t uid = nobody->pw_uid;
    const std::string home = nobody->pw_dir;
    OpenFolder folder;
    bool started = false;
    std::thread worker([&] {
        kvwin::ScopedImpersonation asNobody(uid);
        ASSERT_TRUE(asNobody.active()) << asNobody.error();
        PROCESS_INFORMATION info{};
        started = RunProccesAs(kvwin::FromUtf8(LAUNCH_PROBE_PATH).c_str(),
                               ProbeCommandLine(folder.path()).c_str(), true, info);
    });
    worker.join();
    ASSERT_TRUE(started);
    const auto report = ReadProbeReport(folder.path(), kIdentifier);
    ASSERT_FALSE(report.empty()) << "the child wrote no report";
    EXPECT_EQ(report.at("uid"), std::to_string(uid));
    EXPECT_EQ(report.at("user"), "nobody");
    EXPECT_EQ(report.at("userenv"), "nobody");
    EXPECT_EQ(report.at("home"), home);

    // The thread is itself again: its next child is this process's.
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(RunProccesAs(kvwin::FromUtf8(LAUNCH_PROBE_PATH).c_str(),
                             ProbeCommandLine(folder.path()).c_str(), true, info));
    EXPECT_EQ(ReadProbeReport(folder.path(), kIdentifier).at("uid"), "0");
}

}  // namespace
