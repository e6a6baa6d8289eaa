// The whole launcher road: CConfig::Lumbrik and GetInventoryInformation's launcher branch,
// with a stand-in launcher (and the real Lumbrik.exe) running as real child processes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "kavrel/kavrel.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "launcher/config.h"
#include "launcher_test_support.h"
#include "win/com.h"
#include "win/oleauto.h"

namespace {

using launcher_test::OpenFolder;

// Points the process's temp path at folder (TMP wins over TEMP).
void UseTempFolder(const std::string& folder) {
    ::setenv("TMP", folder.c_str(), 1);
}

bool HasLauncherFiles(const OpenFolder& folder) {
    for (const std::string& name : folder.Files()) {
        if (name.rfind("WmiInput_", 0) == 0 || name.rfind("WmiOutput_", 0) == 0)
            return true;
    }
    return false;
}

class LauncherRoad : public ::testing::Test {
  protected:
    void SetUp() override {
        launcher_test::InstallProbeAsLauncher(m_install.path());
        UseTempFolder(m_temp.path() + "/");
    }
    OpenFolder m_install;
    OpenFolder m_temp;
};

TEST_F(LauncherRoad, TheLauncherBesideColvaneAnswersAndBothFilesAreRemovedWhateverHappens) {
    struct Case {
        WString input;
        bool result;
        WString output;
    };
    const Case cases[] = {
        {TEXT("<query a=\"\u00FC\u20AC\U0001D11E\"/>"), true,
         TEXT("echo:<query a=\"\u00FC\u20AC\U0001D11E\"/>")},
        {TEXT("<query>probe:empty</query>"), false, TEXT("")},
        {TEXT("<query>probe:none</query>"), false, TEXT("")},
    };
    for (const Case& c : cases) {
        WString output = TEXT("stale");
        EXPECT_EQ(CConfig::Lumbrik(c.input, output), c.result) << kvwin::ToUtf8(c.input);
        EXPECT_EQ(output, c.output) << kvwin::ToUtf8(c.input);
        EXPECT_FALSE(HasLauncherFiles(m_temp)) << "left behind after " << kvwin::ToUtf8(c.input);
    }
    EXPECT_EQ(launcher_test::ProbeReportIdentifiers(m_temp.path()).size(), 3u)
        << "every call has an identifier of its own";
    EXPECT_EQ(launcher_test::RecordsOf("CConfig::Lumbrik()", "Entered").size(), 3u);
    EXPECT_EQ(launcher_test::RecordsOf("CConfig::Lumbrik()", "Exited").size(), 3u);
    EXPECT_EQ(launcher_test::RecordsOf("CConfig::Lumbrik()", "Writing to [").size(), 3u);
}

TEST_F(LauncherRoad, TheCommandLineKeepsTheTrailingBackslashAndTheBraces) {
    // A Windows temp path: C: stands for the state root.
    std::filesystem::create_directories(kvwin::StateRoot() + "/Temp");
    ::setenv("TMP", "C:\\Temp\\", 1);
    WString output;
    ASSERT_TRUE(CConfig::Lumbrik(TEXT("<query/>"), output));
    const auto identifiers = launcher_test::ProbeReportIdentifiers(kvwin::StateRoot() + "/Temp");
    ASSERT_EQ(identifiers.size(), 1u);
    const std::string& id = identifiers[0];
    EXPECT_TRUE(
        std::regex_match(id, std::regex(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})")))
        << id;
    const auto report = launcher_test::ReadProbeReport(kvwin::StateRoot() + "/Temp", id);
    EXPECT_EQ(report.at("commandline"), "-d \"C:\\Temp\\\" -id " + id);
    const auto writing = launcher_test::RecordsOf("CConfig::Lumbrik()", "Writing to [");
    ASSERT_EQ(writing.size(), 1u);
    EXPECT_EQ(writing[0].message, "Writing to [C:\\Temp\\WmiInput_" + id + ".xml] file");
}

TEST_F(LauncherRoad, TwoCallsInParallelUseTheirOwnFiles) {
    WString first, second;
    bool firstResult = false, secondResult = false;
    std::thread a([&] { firstResult = CConfig::Lumbrik(TEXT("<first/>"), first); });
    std::thread b([&] { secondResult = CConfig::Lumbrik(TEXT("<second/>"), second); });
    a.join();
    b.join();
    EXPECT_TRUE(firstResult);
    EXPECT_TRUE(secondResult);
    EXPECT_EQ(first, TEXT("echo:<first/>"));
    EXPECT_EQ(second, TEXT("echo:<second/>"));
    const auto identifiers = launcher_test::ProbeReportIdentifiers(m_temp.path());
    ASSERT_EQ(identifiers.size(), 2u);
    EXPECT_NE(identifiers[0], identifiers[1]);
    EXPECT_FALSE(HasLauncherFiles(m_temp));
}

TEST_F(LauncherRoad, TheExportReturnsTheOutputOrEFailAndLeavesTheResultAloneOnFailure) {
    BSTR result = nullptr;
    ASSERT_EQ(GetInventoryInformation(TEXT("<query/>"), &result), S_OK);
    EXPECT_EQ(WString(result), TEXT("echo:<query/>"));
    SysFreeString(result);

    static WCHAR poison[] = TEXT("poison");
    result = poison;
    EXPECT_EQ(GetInventoryInformation(TEXT("<query>probe:empty</query>"), &result), E_FAIL);
    EXPECT_EQ(result, poison);
}

TEST(LauncherBoundary, ATempPathThatCannotBeFoundGivesEFailAndNoRecordFromTheExport) {
    ::setenv("TMP", ("/" + std::string(300, 'x')).c_str(), 1);
    static WCHAR poison[] = TEXT("poison");
    BSTR result = poison;
    EXPECT_EQ(GetInventoryInformation(TEXT("<query/>"), &result), E_FAIL);
    EXPECT_EQ(result, poison);
    EXPECT_TRUE(launcher_test::RecordsOf("ZorKavrel::GetInventoryInformation()", "").empty());
}

TEST(LauncherWithoutColvane, TheLauncherBesideTheHostExecutableIsRun) {
    // No "Colvane.dll" here: the launcher is the one beside this test program, which is
    // the project's Lumbrik.exe (all built programs share one folder).
    ASSERT_EQ(std::filesystem::path(LUMBRIK_PATH).parent_path(),
              std::filesystem::canonical("/proc/self/exe").parent_path());
    OpenFolder temp;
    UseTempFolder(temp.path() + "/");
    WString output;
    // A document of no known kind: the launcher ran it, it failed, no output came back.
    EXPECT_FALSE(CConfig::Lumbrik(TEXT("<query/>"), output));
    EXPECT_TRUE(output.empty());
    const auto exits = launcher_test::RecordsOf("RunProccesAs", "Proccess exit code is: ");
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].message, "Proccess exit code is: 4") << "the launcher's 'query failed'";
    EXPECT_TRUE(launcher_test::RecordsOf("InventoryCommon", "Failed to launch").empty());
    EXPECT_FALSE(HasLauncherFiles(temp));
}

}  // namespace
