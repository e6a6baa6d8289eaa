// The real Lumbrik.exe, run as a child process: what it leaves and how it ends.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kvtest/command_run.h"
#include "kvtest/log_capture.h"
#include "kvtest/test_env.h"
#include "launcher/config.h"
#include "win/com.h"

namespace {

constexpr const char* kId = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

struct LumbrikRun {
    int status = -1;
    std::string errorText;
};

// Runs Lumbrik.exe with arguments (shell words) and collects its status and standard error.
LumbrikRun RunLumbrik(const std::string& arguments) {
    const std::string command = std::string("'") + LUMBRIK_PATH + "' " + arguments + " 2>&1";
    kvtest::CommandRun done = kvtest::RunCommand(command);
    LumbrikRun run;
    run.status = done.status;
    run.errorText = std::move(done.output);
    return run;
}

// Whether the agent log holds a warning from the launcher whose message contains text.
bool HasWarning(const std::string& text) {
    for (const std::string& line : kvtest::Lines()) {
        if (line.rfind("2|Lumbrik|", 0) == 0 && line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

class Lumbrik : public ::testing::Test {
  protected:
    std::string m_folder = kvtest::MakeTempFolder("lumbrik");
    std::string Input() const { return m_folder + "/WmiInput_" + kId + ".xml"; }
    std::string Output() const { return m_folder + "/WmiOutput_" + kId + ".xml"; }
    std::string Arguments() const { return "-d '" + m_folder + "/' -id '" + kId + "'"; }
};

TEST_F(Lumbrik, BadArgumentsEndWithStatusTwoAndAUsageLine) {
    for (const std::string& arguments :
         {std::string(""), "-d '" + m_folder + "/'", "-d '" + m_folder + "/' -id nonsense"}) {
        const LumbrikRun run = RunLumbrik(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.errorText.find("usage: Lumbrik.exe -d"), std::string::npos) << run.errorText;
    }
}

TEST_F(Lumbrik, AMissingInputFileEndsWithStatusThreeAndNoOutput) {
    const LumbrikRun run = RunLumbrik(Arguments());
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.errorText.find("cannot read the query document"), std::string::npos)
        << run.errorText;
    EXPECT_NE(run.errorText.find("WmiInput_" + std::string(kId) + ".xml: 2 - "), std::string::npos)
        << run.errorText;
    EXPECT_FALSE(Exists(Output()));
    EXPECT_TRUE(kvtest::WaitForLoggedText("cannot read the query document", 30000));
    EXPECT_TRUE(HasWarning("cannot read the query document"));
}

TEST_F(Lumbrik, AFailingQueryEndsWithStatusFourTheCodeAndNoOutput) {
    std::ofstream(Input()) << "\xEF\xBB\xBF<query/>";
    const LumbrikRun run = RunLumbrik(Arguments());
    EXPECT_EQ(run.status, 4) << run.errorText;
    EXPECT_NE(run.errorText.find("the query failed: 0x8"), std::string::npos) << run.errorText;
    EXPECT_FALSE(Exists(Output()));
    EXPECT_TRUE(Exists(Input())) << "the input belongs to the library, which removes it";
    EXPECT_TRUE(kvtest::WaitForLoggedText("the query failed: 0x8", 30000));
    EXPECT_TRUE(HasWarning("the query failed: 0x8"));
}

// ---- The launcher and its host ------------------------------------------------------------

// A script that never ends and has no time limit.
constexpr const char16_t* kSpinningQuery =
    u"<query scriptType=\"JScript\" function=\"Spin\" timeout=\"-1\"><scriptText>"
    u"<![CDATA[function Spin() { for (;;) {} }]]></scriptText></query>";

constexpr auto kPatience = std::chrono::seconds(60);

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return children;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t end = text.rfind(')');
        if (end == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(text.c_str() + end + 1, " %c %d", &state, &ppid) == 2 && ppid == parent &&
            state != 'Z')
            children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

// Polls until `parent` has a child; 0 when none came.
pid_t WaitForChildOf(pid_t parent) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<pid_t> children = ChildrenOf(parent);
        if (!children.empty())
            return children.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

// Polls until the child `pid` of this process has ended and is reaped.
bool WaitForEnd(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid || (::kill(pid, 0) != 0 && errno == ESRCH))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A host process that runs the spinning query through the library's launcher road; the
// launcher beside this test program is the real one. Orphans come to this process (a child
// subreaper), so the test can tell when they end.
class LumbrikHost : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        m_host = ::fork();
        ASSERT_GE(m_host, 0);
        if (m_host == 0) {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            std::u16string output;
            const bool ok = CConfig::Lumbrik(kSpinningQuery, output);
            ::_exit(ok ? 1 : 0);
        }
        m_launcher = WaitForChildOf(m_host);
        ASSERT_NE(m_launcher, 0) << "the host started no launcher";
        m_worker = WaitForChildOf(m_launcher);
        ASSERT_NE(m_worker, 0) << "the launcher started no worker";
    }
    void TearDown() override {
        // Whatever a failed case left running goes.
        for (pid_t pid : {m_worker, m_launcher, m_host}) {
            if (pid > 0 && ::kill(pid, SIGKILL) == 0)
                WaitForEnd(pid);
        }
    }
    pid_t m_host = -1;
    pid_t m_launcher = 0;
    pid_t m_worker = 0;
};

TEST_F(LumbrikHost, AKilledHostTakesTheLauncherWithIt) {
    ASSERT_EQ(::kill(m_host, SIGKILL), 0);
    EXPECT_TRUE(WaitForEnd(m_host));
    EXPECT_TRUE(WaitForEnd(m_launcher)) << "the launcher outlived its host";
    EXPECT_TRUE(WaitForEnd(m_worker)) << "the query outlived its host";
    m_host = m_launcher = m_worker = 0;
}

TEST_F(LumbrikHost, AQueryThatCrashesIsRecordedAsAWarning) {
    ASSERT_EQ(::kill(m_worker, SIGSEGV), 0);
    ASSERT_TRUE(WaitForEnd(m_host));
    EXPECT_TRUE(WaitForEnd(m_launcher));
    m_host = m_launcher = m_worker = 0;
    // 11, or 6 where a sanitizer takes the crash and aborts.
    EXPECT_TRUE(kvtest::WaitForLoggedText("the query ended with signal ", 30000));
    EXPECT_TRUE(HasWarning("the query ended with signal "));
}

}  // namespace
