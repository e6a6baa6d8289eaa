// The real Lumbrik.exe, run as a child process: what it leaves and how it ends.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "kvtest/test_env.h"

namespace {

constexpr const char* kId = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

struct LumbrikRun {
    int status = -1;
    std::string errorText;
};

// Runs Lumbrik.exe with arguments (shell words) and collects its status and standard error.
LumbrikRun RunLumbrik(const std::string& arguments) {
    const std::string command = std::string("'") + LUMBRIK_PATH + "' " + arguments + " 2>&1";
    LumbrikRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.errorText.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
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
}

TEST_F(Lumbrik, AFailingQueryEndsWithStatusFourTheCodeAndNoOutput) {
    std::ofstream(Input()) << "\xEF\xBB\xBF<query/>";
    const LumbrikRun run = RunLumbrik(Arguments());
    EXPECT_EQ(run.status, 4) << run.errorText;
    EXPECT_NE(run.errorText.find("the query failed: 0x8"), std::string::npos) << run.errorText;
    EXPECT_FALSE(Exists(Output()));
    EXPECT_TRUE(Exists(Input())) << "the input belongs to the library, which removes it";
}

}  // namespace
