// The agent log end to end: log calls of this process and of child processes, read back
// from the files they produce under the test's state root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "kvtest/registry_values.h"
#include "kvtest/test_env.h"
#include "kvwin/state_root.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "log/event_log.h"
#include "log/install_log.h"
#include "log/log_configuration.h"
#include "log/log_gate.h"
#include "log/refresh_timer.h"
#include "log/shared_memory.h"
#include "win/errors.h"
#include "win/kernel_objects.h"
#include "win/registry.h"

namespace {

constexpr const char* kOverride = "Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}";

std::string Native(const WString& path) {
    std::string native;
    EXPECT_TRUE(kvwin::ToNativePath(path, native));
    return native;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string LogText() {
    return ReadFile(Native(GetEventLog().LogPath()));
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

void SetConfig(const WCHAR* name, DWORD value) {
    kvtest::SetRegistryDword(HKEY_LOCAL_MACHINE, kLogConfigurationKey, name, value);
}

// Tells every process to re-read the configuration, as the agent's configuration tool does.
void BumpGeneration() {
    Memory::SharedMemory block;
    const uint32_t zero = 0;
    ASSERT_EQ(block.Create(TEXT("Global\\Zor_{9769A3C3-F9E1-4125-8257-033D6AF3E43B}"), 4, &zero,
                           nullptr, false),
              0u);
    std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(block.Data())).fetch_add(1);
}

TEST(AgentLog, DefaultPlacementIsTheAgentFolderUnderCommonApplicationData) {
    EXPECT_EQ(GetEventLog().LogPath(),
              TEXT("C:\\ProgramData\\Norvale\\Norvale Agent\\Logs\\Agent.log"));
}

TEST(AgentLog, RecordBytesForLineFeedsCDataEndAndEscapedSource) {
    CEReportEvent(LogInformation, TEXT("C<T>::'M'"), TEXT("a\nb\r\nc ]]> d"));
    const std::string text = LogText();
    const std::regex record(
        "^\r\n<event date='\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}0000 "
        "[+-]\\d\\d:\\d\\d' "
        "severity='4' hostName='[^']+' source='C&lt;T&gt;::&apos;M&apos;' module='[^']*' "
        "process='[^']+' pid='" +
        std::to_string(getpid()) +
        "' thread='\\d+' tickCount='\\d+' >\r\n  <!\\[CDATA\\[a\r\nb\r\nc \\]\\]&gt; "
        "d\\]\\]>\r\n</event>$");
    EXPECT_TRUE(std::regex_match(text, record)) << text;
}

TEST(AgentLog, LevelsZeroThreeAndSixtyFourAndTheDefaultMask) {
    CEReportEvent(0, TEXT("S"), TEXT("zero"));
    CEReportEvent(3, TEXT("S"), TEXT("three"));
    CEReportEvent(64, TEXT("S"), TEXT("sixty-four"));  // 32 is not in the default mask
    CEReportEvent(LogTrace, TEXT("S"), TEXT("trace"));
    CEReportEvent(LogInformation, TEXT("S"), TEXT(""));
    CEReportEvent(LogInformation, nullptr, TEXT("no source"));
    const std::string text = LogText();
    EXPECT_NE(text.find("severity='1' "), std::string::npos);
    EXPECT_NE(text.find("severity='3' "), std::string::npos);
    EXPECT_EQ(Count(text, "<event "), 2u) << text;
}

TEST(AgentLog, SeverityChangeIsSeenAfterTheGenerationCounterMoves) {
    CEReportEvent(LogError, TEXT("S"), TEXT("first"));
    SetConfig(TEXT("Severity"), 0x3F);
    CEReportEvent(LogDebug, TEXT("S"), TEXT("not yet"));
    BumpGeneration();
    CEReportEvent(LogDebug, TEXT("S"), TEXT("now"));
    const std::string text = LogText();
    EXPECT_EQ(text.find("not yet"), std::string::npos);
    EXPECT_NE(text.find("severity='32' "), std::string::npos);
}

TEST(AgentLog, TheFileFollowsAPlacementChangeAnotherProcessAnnounces) {
    CEReportEvent(LogError, TEXT("S"), TEXT("in the first folder"));
    const std::string first = Native(GetEventLog().LogPath());
    ASSERT_NE(ReadFile(first).find("in the first folder"), std::string::npos);

    // Another process (the agent's configuration tool) moves the log and announces it.
    const std::string moved = kvtest::TestStateRoot() + "/moved";
    kvtest::ExpectExitedCleanly(kvtest::RunInChild([] {
        kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kLogConfigurationKey, TEXT("FilePath"),
                                TEXT("C:\\moved"));
        kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kLogConfigurationKey, TEXT("FileName"),
                                TEXT("Moved.log"));
        BumpGeneration();
    }));
    CEReportEvent(LogError, TEXT("S"), TEXT("in the second folder"));
    EXPECT_EQ(GetEventLog().LogPath(), TEXT("C:\\moved\\Moved.log"));
    EXPECT_NE(ReadFile(moved + "/Moved.log").find("in the second folder"), std::string::npos);
    EXPECT_EQ(ReadFile(first).find("in the second folder"), std::string::npos);

    // Back again, the folder having gone meanwhile: it is made again when the open says so.
    kvtest::ExpectExitedCleanly(kvtest::RunInChild([] {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLogConfigurationKey, 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        RegDeleteValueW(key, TEXT("FilePath"));
        RegDeleteValueW(key, TEXT("FileName"));
        RegCloseKey(key);
        BumpGeneration();
    }));
    ASSERT_EQ(std::system(("rm -rf '" + first.substr(0, first.rfind('/')) + "'").c_str()), 0);
    CEReportEvent(LogError, TEXT("S"), TEXT("in the first folder again"));
    EXPECT_EQ(Native(GetEventLog().LogPath()), first);
    EXPECT_NE(ReadFile(first).find("in the first folder again"), std::string::npos);
    EXPECT_EQ(ReadFile(moved + "/Moved.log").find("again"), std::string::npos);
}

// Calls a level the mask leaves out until its record appears, for at most a minute: the
// change it waits for is a timed one.
bool RecordedWithin60Seconds(uint32_t level, const WCHAR* message, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        CEReportEvent(level, TEXT("Timed"), message);
        if (LogText().find(expected) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(AgentLog, AChangeNobodyAnnouncesIsSeenOnceThePeriodIsUp) {
    log_detail::SetRefreshPeriodMs(200);
    CEReportEvent(LogError, TEXT("S"), TEXT("first"));
    // Another process changes the mask and bumps nothing; rejected calls read no clock.
    kvtest::ExpectExitedCleanly(kvtest::RunInChild([] { SetConfig(TEXT("Severity"), 0x3F); }));
    EXPECT_TRUE(RecordedWithin60Seconds(LogDebug, TEXT("seen"), "seen]]>"));
    EXPECT_NE(LogText().find("severity='32' "), std::string::npos);
}

TEST(AgentLog, AForkedChildKeepsTheTimedReRead) {
    log_detail::SetRefreshPeriodMs(200);
    CEReportEvent(LogError, TEXT("S"), TEXT("the parent's log object and timer"));
    // The child inherits a gate that rejects Debug, but not the parent's timer thread.
    kvtest::ExpectExitedCleanly(kvtest::RunInChild([] {
        SetConfig(TEXT("Severity"), 0x3F);
        if (!RecordedWithin60Seconds(LogDebug, TEXT("child"), "child]]>"))
            _exit(3);
    }));
    // The parent's own timer still runs.
    EXPECT_TRUE(RecordedWithin60Seconds(LogDebug, TEXT("parent"), "parent]]>"));
}

// A process that logs a little and ends (a launcher's worker) makes no timer thread; one that
// keeps logging gets it, and its rejected calls then stop at the gate.
TEST(AgentLog, TheTimerThreadStartsOnceTheLogIsUsedForAWhile) {
    kvtest::ExpectExitedCleanly(kvtest::RunInChild([] {
        const auto start = std::chrono::steady_clock::now();
        CEReportEvent(LogError, TEXT("S"), TEXT("a short-lived process"));
        for (int i = 0; i < 20; ++i)
            CEReportEvent(LogDebug, TEXT("S"), TEXT("rejected"));
        // Within a second the seconds clock cannot have reached the wait's end.
        if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1) &&
            log_detail::RefreshTimerRunning())
            _exit(3);
        for (int i = 0; i < 300; ++i)
            CEReportEvent(LogDebug, TEXT("S"), TEXT("rejected"));
        if (!log_detail::RefreshTimerRunning())
            _exit(4);
        if (!log_detail::CertainlyRejected(LogDebug))
            _exit(5);
    }));
}

TEST(AgentLog, OverrideVariableAddsLevelsRoutesToInstallLogOrSuppresses) {
    // Each child reads the variable when its log object is made; this process makes its own
    // only after the children are done.
    auto run = [](const char* value, const char* canonical, const WCHAR* tag) {
        return kvtest::RunInChild([=] {
            setenv(kOverride, value, 1);
            CEReportEventF(LogTrace, TEXT("Child"), TEXT("%ls traced"), tag);
            CEReportEventF(LogInformation, TEXT("Child"), TEXT("%ls informed"), tag);
            if (std::string(std::getenv(kOverride)) != canonical)
                _exit(3);  // children must inherit the canonical form
        });
    };
    kvtest::ExpectExitedCleanly(run("8", "00000008", TEXT("levels")));
    kvtest::ExpectExitedCleanly(run("01000000", "01000000", TEXT("install")));
    kvtest::ExpectExitedCleanly(run("02000000", "02000000", TEXT("suppressed")));

    const std::string text = LogText();
    EXPECT_NE(text.find("levels traced"), std::string::npos);
    EXPECT_NE(text.find("levels informed"), std::string::npos);
    EXPECT_NE(text.find("install informed"), std::string::npos);
    EXPECT_EQ(text.find("suppressed"), std::string::npos);

    const std::string install = ReadFile(Native(InstallLogPath()));
    EXPECT_TRUE(std::regex_search(
        install, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d P:\\d+ *T:\\d+ * INFO "
                            "Child: install informed\r\n")))
        << install;
    EXPECT_EQ(install.find("levels"), std::string::npos);
    EXPECT_EQ(install.find("traced"), std::string::npos);
}

TEST(AgentLog, HeaderPrecedesTheFirstRecordOfAnEmptyFileOnly) {
    kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kLogHeaderKey, TEXT("LogFileHeader"),
                            TEXT("Agent build 7"));
    CEReportEvent(LogError, TEXT("S"), TEXT("one"));
    CEReportEvent(LogError, TEXT("S"), TEXT("two"));
    const std::string text = LogText();
    EXPECT_EQ(text.rfind("<event date='", 0), 0u) << text;
    EXPECT_NE(text.find("source='Log File Start'"), std::string::npos);
    EXPECT_NE(text.find(">\r\n <![CDATA[Agent build 7]]>\r\n</event>\r\n<event "),
              std::string::npos);
    EXPECT_EQ(Count(text, "Log File Start"), 1u);
}

TEST(AgentLog, FileOfExactlyTheLimitIsAppendedToAndOneByteMoreRotates) {
    SetConfig(TEXT("MaxSize"), 10);
    SetConfig(TEXT("MaxFiles"), 3);
    CEReportEvent(LogError, TEXT("S"), TEXT("seed"));
    const std::string path = Native(GetEventLog().LogPath());
    ASSERT_EQ(truncate(path.c_str(), 10 * 1024), 0);
    CEReportEvent(LogError, TEXT("S"), TEXT("at the limit"));
    EXPECT_NE(LogText().find("at the limit"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat((path.substr(0, path.size() - 4) + "1.log").c_str(), &info), -1);

    ASSERT_EQ(truncate(path.c_str(), 10 * 1024 + 1), 0);
    CEReportEvent(LogError, TEXT("S"), TEXT("after rotation"));
    EXPECT_EQ(ReadFile(path).find("<event"), 2u);
    EXPECT_NE(ReadFile(path).find("after rotation"), std::string::npos);
    EXPECT_EQ(stat((path.substr(0, path.size() - 4) + "1.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 10 * 1024 + 1);
}

TEST(AgentLog, ProcessesAndThreadsAtOnceLoseNothingAndKeepTheLimits) {
    SetConfig(TEXT("MaxSize"), 10);
    SetConfig(TEXT("MaxFiles"), 3);
    constexpr int kProcesses = 4, kThreads = 3, kRecords = 40;
    const auto children = kvtest::RunInChildren(kProcesses, [](int index) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([index, t] {
                for (int i = 0; i < kRecords; ++i)
                    CEReportEventF(LogError, TEXT("Stress"), TEXT("p%d t%d r%d %ls"), index, t, i,
                                   WString(60, TEXT('x')));
            });
        for (auto& thread : threads)
            thread.join();
    });
    for (const auto& child : children)
        kvtest::ExpectExitedCleanly(child);

    // Every file within the limits; every record whole.
    const std::string folder = Native(GetEventLog().Folder());
    size_t whole = 0, files = 0;
    for (const char* name : {"Agent.log", "Agent1.log", "Agent2.log", "Agent3.log"}) {
        const std::string text = ReadFile(folder + "/" + name);
        if (text.empty())
            continue;
        ++files;
        EXPECT_LE(text.size(), 10u * 1024 + 400) << name;
        EXPECT_EQ(Count(text, "\r\n<event "), Count(text, "</event>")) << name;
        EXPECT_EQ(Count(text, "<event "), Count(text, "]]>\r\n</event>")) << name;
        whole += Count(text, "source='Stress'");
    }
    EXPECT_LE(files, 3u);
    // With rotation, the oldest copies go: what is left is the newest records, none torn.
    EXPECT_GT(whole, 0u);
}

TEST(AgentLog, NothingIsLostWithoutRotation) {
    SetConfig(TEXT("MaxSize"), 100000);
    constexpr int kProcesses = 3, kThreads = 4, kRecords = 50;
    const auto children = kvtest::RunInChildren(kProcesses, [](int index) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([index, t] {
                for (int i = 0; i < kRecords; ++i)
                    CEReportEventF(LogError, TEXT("Stress"), TEXT("p%d t%d r%d"), index, t, i);
            });
        for (auto& thread : threads)
            thread.join();
    });
    for (const auto& child : children)
        kvtest::ExpectExitedCleanly(child);
    const std::string text = LogText();
    EXPECT_EQ(Count(text, "source='Stress'"), size_t{kProcesses * kThreads * kRecords});
    for (int p = 0; p < kProcesses; ++p)
        EXPECT_NE(text.find("p" + std::to_string(p) + " t3 r49]]>"), std::string::npos);
}

TEST(AgentLog, AChildDyingWithTheMutexDoesNotStopTheOthers) {
    const auto child = kvtest::RunInChild([] {
        const HANDLE mutex = CreateMutexW(nullptr, TRUE, TEXT("Global\\AGENTLOGMUTEX"));
        if (!mutex)
            _exit(2);
        _exit(0);  // dies owning it
    });
    kvtest::ExpectExitedCleanly(child);
    CEReportEvent(LogError, TEXT("Survivor"), TEXT("still logging"));
    CEReportEvent(LogError, TEXT("Survivor"), TEXT("and again"));
    EXPECT_EQ(Count(LogText(), "source='Survivor'"), 2u);
}

TEST(AgentLog, FormattedMessagesAreCutAndLoseTheErrorSuffix) {
    const WString big(5000, TEXT('y'));
    CEReportEventF(LogError, TEXT("F"), TEXT("%ls"), big);
    CEReportEventS(LogError, TEXT("S"), big.c_str());
    const std::string text = LogText();
    EXPECT_NE(text.find("<![CDATA[" + std::string(4095, 'y') + "]]>"), std::string::npos);
    EXPECT_EQ(text.find(std::string(4096, 'y')), std::string::npos);
}

TEST(AgentLog, SourceFromAFilePathAndLine) {
    CEReportEventAt(LogError, "C:\\build\\src\\wmiquery.cpp", 181,
                    TEXT("CE_FAILED_THROW_ERROR_MSG %x"), 0x80041010u);
    EXPECT_NE(LogText().find("source='wmiquery(181)'"), std::string::npos);
    EXPECT_NE(LogText().find("CE_FAILED_THROW_ERROR_MSG 80041010"), std::string::npos);
}

}  // namespace
