// CreateProcessW and CreateProcessAsUserW with real children: what the child gets, how its
// end is seen, and the errors of a start that cannot happen.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/security_token.h"
#include "kvwin/utf.h"
#include "win/debug.h"
#include "win/files.h"
#include "win/kernel_objects.h"
#include "win/processes.h"

namespace {

// A started child, its handles closed at the end.
struct Child {
    PROCESS_INFORMATION info{};
    bool started = false;
    DWORD error = 0;
    ~Child() {
        if (started) {
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    DWORD WaitForExitCode() {
        EXPECT_EQ(WaitForSingleObject(info.hProcess, 120000), WAIT_OBJECT_0);
        DWORD code = 0xDEADBEEF;
        EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        return code;
    }
};

// Starts a child; with outputFile its standard output goes there.
void Start(Child& child, const char16_t* application, std::u16string commandLine,
           const std::string& outputFile = "", LPVOID environment = nullptr,
           const char16_t* directory = nullptr, HANDLE token = nullptr) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
        output = CreateFileW(kvwin::FromUtf8(outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(output, INVALID_HANDLE_VALUE);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
    }
    const DWORD flags = environment ? CREATE_UNICODE_ENVIRONMENT : 0;
    child.started = token ? CreateProcessAsUserW(token, application, commandLine.data(), nullptr,
                                                 nullptr, output != INVALID_HANDLE_VALUE, flags,
                                                 environment, directory, &startup, &child.info)
                          : CreateProcessW(application, commandLine.data(), nullptr, nullptr,
                                           output != INVALID_HANDLE_VALUE, flags, environment,
                                           directory, &startup, &child.info);
    child.error = child.started ? 0 : GetLastError();
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

class ChildProcesses : public ::testing::Test {
  protected:
    std::string m_folder = kvtest::MakeTempFolder("process");
    std::string Out() const { return m_folder + "/out.txt"; }
};

TEST_F(ChildProcesses, TheExitCodeSaysHowTheChildEnded) {
    const std::pair<const char16_t*, DWORD> cases[] = {
        {u"exit 0", 0},
        {u"exit 3", 3},
        {u"exit 255", 255},
        {u"kill -SEGV $$", 0xC0000005u},
        {u"kill -ABRT $$", 3},
        {u"kill -TERM $$", 1},
        {u"kill -USR1 $$", 128 + SIGUSR1},
    };
    for (const auto& [script, expected] : cases) {
        Child child;
        Start(child, nullptr, u"/bin/sh -c \"" + std::u16string(script) + u"\"");
        ASSERT_TRUE(child.started) << child.error;
        EXPECT_EQ(child.WaitForExitCode(), expected) << kvwin::ToUtf8(script);
    }
}

TEST_F(ChildProcesses, ARunningChildIsNotSignalledUntilItEnds) {
    Child child;
    Start(child, u"/bin/sh", u"-c \"exec sleep 60\"");
    ASSERT_TRUE(child.started) << child.error;
    EXPECT_EQ(WaitForSingleObject(child.info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child.info.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(GetProcessId(child.info.hProcess), child.info.dwProcessId);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE both[] = {event, child.info.hThread};
    EXPECT_TRUE(TerminateProcess(child.info.hProcess, 42));
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 120000), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(child.WaitForExitCode(), 42u);
    EXPECT_FALSE(TerminateProcess(child.info.hProcess, 43)) << "it has ended";
    CloseHandle(event);
}

TEST_F(ChildProcesses, TheChildReadsBackExactlyTheCommandLineItWasGiven) {
    const std::u16string probe = kvwin::FromUtf8(COMMAND_LINE_PROBE);
    const std::u16string lines[] = {
        u"-d \"C:\\Windows\\Temp\\\" -id {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}",
        u"  two  blanks \"and \\\"quotes\\\"\" ",
        u"",
    };
    for (const std::u16string& line : lines) {
        Child child;
        Start(child, probe.c_str(), line, Out());
        ASSERT_TRUE(child.started) << child.error;
        EXPECT_EQ(child.WaitForExitCode(), 0u);
        EXPECT_EQ(ReadFile(Out()), "line=" + kvwin::ToUtf8(line) +
                                       "\ncwd=" + std::filesystem::current_path().string() +
                                       "\nvariable=taken\n");
    }
    // Without an application name the program is the line's first word.
    Child child;
    const std::u16string line = u"\"" + probe + u"\" a \"b c\"";
    Start(child, nullptr, line, Out(), nullptr, kvwin::FromUtf8(m_folder).c_str());
    ASSERT_TRUE(child.started) << child.error;
    child.WaitForExitCode();
    EXPECT_EQ(ReadFile(Out()),
              "line=" + kvwin::ToUtf8(line) + "\ncwd=" + m_folder + "\nvariable=taken\n");
}

TEST_F(ChildProcesses, AProgramOfLinuxGetsTheWordsAsArgvAndOnlyTheEnvironmentGiven) {
    Child printer;
    Start(printer, u"/usr/bin/printf", u"\"[%s]\" \"a b\" c\\\"d e\\f \"\"", Out());
    ASSERT_TRUE(printer.started) << printer.error;
    EXPECT_EQ(printer.WaitForExitCode(), 0u);
    EXPECT_EQ(ReadFile(Out()), "[a b][c\"d][e\\f][]");

    const char16_t block[] = u"A=1\0B=two words\0=C:=C:\\x\0PATH=/usr/bin:/bin\0";
    Child env;
    Start(env, u"/usr/bin/env", u"", Out(), const_cast<char16_t*>(block));
    ASSERT_TRUE(env.started) << env.error;
    env.WaitForExitCode();
    EXPECT_EQ(ReadFile(Out()), "A=1\nB=two words\nPATH=/usr/bin:/bin\nKAVREL_COMMAND_LINE=\n");
}

TEST_F(ChildProcesses, AStartThatCannotHappenFailsWithTheWindowsErrorAndLeavesTheRecord) {
    const std::string script = m_folder + "/not-executable.sh";
    std::ofstream(script) << "exit 0\n";
    const std::pair<std::string, DWORD> cases[] = {
        {m_folder + "/missing.exe", ERROR_FILE_NOT_FOUND},
        {m_folder + "/no-such-folder/missing.exe", ERROR_PATH_NOT_FOUND},
        {m_folder, ERROR_ACCESS_DENIED},
        {script, ERROR_ACCESS_DENIED},
    };
    for (const auto& [path, error] : cases) {
        Child child;
        child.info.dwProcessId = 0xDEADBEEF;
        Start(child, kvwin::FromUtf8(path).c_str(), u"-x");
        EXPECT_FALSE(child.started) << path;
        EXPECT_EQ(child.error, error) << path;
        EXPECT_EQ(child.info.dwProcessId, 0xDEADBEEFu) << path;
    }
    Child bare;
    Start(bare, nullptr, u"no-such-program-anywhere -x");
    EXPECT_EQ(bare.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The child runs on this process's memory until it becomes the program: it must start with
// every signal at its default and none blocked, whatever the starting thread had; leave that
// thread's own signal state as it was; report an execve that fails; and keep children
// started from many threads at once apart.
TEST_F(ChildProcesses, AChildStartsCleanAndLeavesItsStarterAsItWas) {
    struct sigaction ignore {
    }, before{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGUSR1, &ignore, &before), 0);
    sigset_t usr2, saved;
    ::sigemptyset(&usr2);
    ::sigaddset(&usr2, SIGUSR2);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr2, &saved), 0);

    Child grep;
    Start(grep, u"/bin/grep", u"-E \"^Sig(Blk|Ign)\" /proc/self/status", Out());
    ASSERT_TRUE(grep.started) << grep.error;
    EXPECT_EQ(grep.WaitForExitCode(), 0u);
    EXPECT_EQ(ReadFile(Out()), "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");

    sigset_t now;
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &now), 0);
    EXPECT_TRUE(::sigismember(&now, SIGUSR2)) << "the starter's mask is its own again";
    EXPECT_FALSE(::sigismember(&now, SIGUSR1));
    struct sigaction current {};
    ASSERT_EQ(::sigaction(SIGUSR1, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN) << "the child's reset is not the starter's";
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ::sigaction(SIGUSR1, &before, nullptr);

    // Executable, but no program: only the child's execve can tell.
    const std::string garbage = m_folder + "/garbage.exe";
    std::ofstream(garbage) << "\x01\x02 not a program\n";
    std::filesystem::permissions(garbage, std::filesystem::perms::owner_all);
    Child bad;
    Start(bad, kvwin::FromUtf8(garbage).c_str(), u"");
    EXPECT_FALSE(bad.started);
    EXPECT_EQ(bad.error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

    std::vector<std::thread> starters;
    std::atomic<int> ended{0};
    for (int t = 0; t < 6; ++t) {
        starters.emplace_back([&ended, t] {
            for (int i = 0; i < 8; ++i) {
                Child child;
                Start(child, u"/bin/sh",
                      u"-c \"exit " + kvwin::FromUtf8(std::to_string(t)) + u"\"");
                if (child.started && child.WaitForExitCode() == static_cast<DWORD>(t))
                    ++ended;
            }
        });
    }
    for (std::thread& starter : starters)
        starter.join();
    EXPECT_EQ(ended.load(), 6 * 8);
}

std::string IdOutput(const std::string& folder, HANDLE token, const char16_t* option) {
    Child child;
    const std::string out = folder + "/id.txt";
    Start(child, u"/usr/bin/id", option, out, nullptr, nullptr, token);
    EXPECT_TRUE(child.started) << child.error;
    if (!child.started)
        return "";
    child.WaitForExitCode();
    return ReadFile(out);
}

TEST_F(ChildProcesses, AsUserTheChildIsTheTokensUserWithItsGroups) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: only root starts processes as another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    // A folder every account can reach, for the output of a child started while impersonating.
    char pattern[] = "/tmp/kvprocess-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string open = pattern;
    std::filesystem::permissions(open, std::filesystem::perms::all);
    HANDLE token = kvwin::CreateAccountToken(nobody->pw_uid);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(IdOutput(m_folder, token, u"-u"), std::to_string(nobody->pw_uid) + "\n");
    EXPECT_EQ(IdOutput(m_folder, token, u"-g"), std::to_string(nobody->pw_gid) + "\n");

    // An impersonation token cannot start a process.
    HANDLE impersonation = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                 TokenImpersonation, &impersonation));
    Child refused;
    Start(refused, u"/usr/bin/id", u"", "", nullptr, nullptr, impersonation);
    EXPECT_EQ(refused.error, static_cast<DWORD>(ERROR_BAD_TOKEN_TYPE));
    CloseHandle(impersonation);

    // A plain start from a thread that impersonates nobody is still this process's child.
    std::string fromImpersonatingThread;
    std::thread worker([&] {
        kvwin::ScopedImpersonation asNobody(nobody->pw_uid);
        EXPECT_TRUE(asNobody.active());
        fromImpersonatingThread = IdOutput(open, nullptr, u"-u");
    });
    worker.join();
    EXPECT_EQ(fromImpersonatingThread, "0\n");
    CloseHandle(token);
    std::filesystem::remove_all(open);
}

TEST_F(ChildProcesses, OnlyRootStartsAProcessAsSomeoneElse) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user for the check";
    const kvtest::ChildResult result = kvtest::RunInChild([] {
        const passwd* nobody = ::getpwnam("nobody");
        HANDLE rootToken = kvwin::CreateAccountToken(0);
        if (!nobody || !rootToken || ::setgroups(0, nullptr) != 0 ||
            ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            ::_exit(10);
        Child child;
        Start(child, u"/usr/bin/id", u"", "", nullptr, nullptr, rootToken);
        ::_exit(!child.started && child.error == ERROR_PRIVILEGE_NOT_HELD ? 0 : 11);
    });
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exit_code, 0) << result.output;
}

}  // namespace
