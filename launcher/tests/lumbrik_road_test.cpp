// The whole launcher road: CConfig::Lumbrik and GetInventoryInformation's launcher branch,
// with a stand-in launcher (and the real Lumbrik.exe) running as real child processes.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "kavrel/kavrel.h"
#include "kvtest/hostile.h"
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
        if (name.rfind("WmiInput_", 0) == 0 || name.rfind("WmiOutput_", 0) == 0 ||
            name.rfind("Lumbrik_", 0) == 0)
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

TEST_F(LauncherRoad, TheCommandLineNamesTheCallsFolderAndTheBraces) {
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
    // The files are in a folder of the call's own inside the temp folder.
    EXPECT_EQ(report.at("commandline"), "-d \"C:\\Temp\\Lumbrik_" + id + "\" -id " + id);
    const auto writing = launcher_test::RecordsOf("CConfig::Lumbrik()", "Writing to [");
    ASSERT_EQ(writing.size(), 1u);
    EXPECT_EQ(writing[0].message,
              "Writing to [C:\\Temp\\Lumbrik_" + id + "\\WmiInput_" + id + ".xml] file");
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

// Another user, in a loop: reads every query document it can find in the shared temp
// folder and answers each call with a result of its own, in the folder or beside it.
[[noreturn]] void ForgeResults(const std::string& temp, int report) {
    // The attacker's own files, open to all on purpose: whatever root might take from them.
    auto forge = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd >= 0) {
            if (::write(fd, "forged", 6) != 6) {
            }
            ::close(fd);
        }
    };
    bool told = false;
    for (;;) {
        DIR* dir = ::opendir(temp.c_str());
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            std::string id;
            if (name.rfind("WmiInput_", 0) == 0 && name.size() > 13)
                id = name.substr(9, name.size() - 13);
            else if (name.rfind("Lumbrik_", 0) == 0)
                id = name.substr(8);
            if (id.empty())
                continue;
            const int in = ::open((temp + "/" + name).c_str(), O_RDONLY | O_NONBLOCK);
            char byte = 0;
            if (in >= 0 && ::read(in, &byte, 1) == 1 && !told)
                told = ::write(report, "r", 1) == 1;
            if (in >= 0)
                ::close(in);
            forge(temp + "/WmiOutput_" + id + ".xml");
            forge(temp + "/Lumbrik_" + id + "/WmiOutput_" + id + ".xml");
        }
        ::closedir(dir);
    }
}

TEST_F(LauncherRoad, AnotherUserCanNeitherReadTheQueryNorForgeTheResult) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (!kvtest::UnprivilegedAccount(uid, gid))
        GTEST_SKIP() << "needs root and a 'nobody' account";
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC | O_NONBLOCK), 0);
    const pid_t attacker = ::fork();
    ASSERT_GE(attacker, 0);
    if (attacker == 0) {
        if (::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(2);
        ForgeResults(m_temp.path(), report[1]);
    }
    ::close(report[1]);
    int forged = 0;
    for (int i = 0; i < 100; ++i) {
        WString output;
        // The stand-in writes no output for this document: any result is a forgery.
        if (CConfig::Lumbrik(TEXT("<query>probe:none</query>"), output) || !output.empty())
            ++forged;
    }
    ::kill(attacker, SIGKILL);
    ::waitpid(attacker, nullptr, 0);
    char read_one = 0;
    EXPECT_NE(::read(report[0], &read_one, 1), 1) << "another user read a query document";
    ::close(report[0]);
    EXPECT_EQ(forged, 0) << "results written by another user were taken";
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
