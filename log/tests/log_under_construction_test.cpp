// Log calls made while the log object is being built: the facts its constructor gathers may
// log a warning of their own. Each case runs in a fresh child process, where the first log
// call builds the log object; the child must live and the warning must be written once,
// before the record that caused the construction.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "entry/singleton/singleton.h"
#include "kvtest/registry_values.h"
#include "kvtest/test_env.h"
#include "kvwin/state_root.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "log/event_log.h"
#include "platform/os_detector.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

constexpr const char* kOverride = "Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}";
constexpr const char* kReleaseWarning = "Failed to convert Release ID version";

std::string Native(const WString& path) {
    std::string native;
    EXPECT_TRUE(kvwin::ToNativePath(path, native));
    return native;
}

// Read from its default place: building this process's own log object would warn too.
std::string LogText() {
    std::ifstream in(Native(TEXT("C:\\ProgramData\\Norvale\\Norvale Agent\\Logs\\Agent.log")),
                     std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A Windows server identity with this release id.
// The product type is the layer's (its configuration), the release id the registry's.
void PresentServerRelease(const WString& releaseId) {
    ::setenv("KAVREL_WINDOWS_PRODUCT_TYPE", "ServerNT", 1);
    kvtest::SetRegistryText(HKEY_LOCAL_MACHINE,
                            TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
                            TEXT("ReleaseId"), releaseId);
}

// Makes the first log call of a fresh child process at the given severity, after checking
// that nothing of the log exists yet; exits 0 when the call returned.
kvtest::ChildResult FirstLogCallInChild(uint32_t severity, const WCHAR* message) {
    return kvtest::RunInChild([=] {
        if (Utility::SingletonT<EventLog, 255>::State() != 0 ||
            Utility::SingletonT<OSDetector, 4095>::State() != 0)
            _exit(7);  // the parent built them already: the case would prove nothing
        CEReportEvent(severity, TEXT("Test"), message);
    });
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(LogUnderConstruction, AReleaseIdStartingWithALetterIsWarnedAboutBeforeTheFirstRecord) {
    PresentServerRelease(TEXT("H2x"));
    // Levels that the default mask records and one it does not: the warning comes either way.
    kvtest::ExpectExitedCleanly(FirstLogCallInChild(LogError, TEXT("first error")));
    kvtest::ExpectExitedCleanly(FirstLogCallInChild(LogDebug, TEXT("first debug")));

    const std::string text = LogText();
    EXPECT_EQ(Count(text, "Failed to convert Release ID version from input string: 'H2x'."), 2u)
        << text;
    EXPECT_NE(text.find("severity='2' "), std::string::npos);
    EXPECT_NE(text.find("source='System'"), std::string::npos);
    const size_t firstWarning = text.find("'H2x'");
    const size_t firstError = text.find("first error");
    ASSERT_NE(firstError, std::string::npos) << text;
    EXPECT_LT(firstWarning, firstError);
    EXPECT_EQ(text.find("first debug"), std::string::npos);  // filtered as usual
}

TEST(LogUnderConstruction, AnEmptyReleaseIdIsWarnedAboutAndTheHostLives) {
    PresentServerRelease(TEXT(""));
    kvtest::ExpectExitedCleanly(FirstLogCallInChild(LogWarning, TEXT("first warning")));
    const std::string text = LogText();
    EXPECT_EQ(Count(text, "Failed to convert Release ID version from input string: ''."), 1u)
        << text;
}

TEST(LogUnderConstruction, TwoDigitsThenLettersIsRelease20WithoutAWarning) {
    PresentServerRelease(TEXT("20H2"));
    kvtest::ExpectExitedCleanly(FirstLogCallInChild(LogError, TEXT("first error")));
    const std::string text = LogText();
    EXPECT_EQ(text.find(kReleaseWarning), std::string::npos) << text;
    EXPECT_NE(text.find("first error"), std::string::npos);
    EXPECT_EQ(OSDetector().Code(), 27u);
}

TEST(LogUnderConstruction, AnInstallLogFolderThatCannotBeMadeCostsOnlyTheInstallLogLines) {
    // A file where the install log's folder must go.
    const std::string folder = Native(TEXT("C:\\ProgramData\\Norvale\\Norvale Agent\\InstallLogs"));
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path());
    std::ofstream(folder) << "in the way";

    kvtest::ExpectExitedCleanly(kvtest::RunInChild([] {
        ::setenv(kOverride, "01000000", 1);
        if (Utility::SingletonT<EventLog, 255>::State() != 0)
            _exit(7);
        CEReportEvent(LogInformation, TEXT("Test"), TEXT("routed to the install log"));
        CEReportEvent(LogError, TEXT("Test"), TEXT("and another"));
    }));
    const std::string text = LogText();
    EXPECT_NE(text.find("routed to the install log"), std::string::npos) << text;
    EXPECT_NE(text.find("and another"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_regular_file(folder));
}

}  // namespace
