// The kavrel-query program as a user runs it: statuses, messages and what it shows.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "kvtest/test_env.h"
#include "kvwin/state_root.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;  // standard output and error together
};

ToolRun RunTool(const std::string& arguments, const std::string& environment = "") {
    const std::string command =
        environment + " '" + KAVREL_QUERY_TOOL + "' " + arguments + " 2>&1 </dev/null";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class QueryTool : public ::testing::Test {
  protected:
    std::string m_folder = kvtest::MakeTempFolder("query");
    std::string Document(const std::string& name, const std::string& text) {
        std::ofstream(m_folder + "/" + name) << text;
        return m_folder + "/" + name;
    }
};

TEST_F(QueryTool, BadUsageAndUnreadableDocumentsEndWithStatusTwo) {
    ToolRun run = RunTool("--nonsense");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("unknown option '--nonsense'"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("usage: kavrel-query"), std::string::npos) << run.out;
    run = RunTool("'" + m_folder + "/missing.xml'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("cannot read"), std::string::npos) << run.out;
    run = RunTool("");  // standard input is empty
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("standard input is empty"), std::string::npos) << run.out;
}

TEST_F(QueryTool, AFailingQueryGivesStatusOneWithItsCodeAndReasonOnBothRoads) {
    const std::string document = Document("unknown.xml", "<query/>");
    for (const std::string option : {"", "--in-process"}) {
        const ToolRun run = RunTool(option + " '" + document + "'");
        EXPECT_EQ(run.status, 1) << option << ": " << run.out;
        EXPECT_NE(run.out.find(document + ": the query failed: 0x8"), std::string::npos)
            << option << ": " << run.out;
    }
}

TEST_F(QueryTool, TheLogOptionShowsTheRecordsOfTheRunFromBothProcesses) {
    const std::string document = Document("unknown.xml", "<query/>");
    const ToolRun run = RunTool("--log '" + document + "'",
                                "env 'Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}=00000008'");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("CConfig::Lumbrik()"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Proccess exit code is: 4"), std::string::npos) << run.out;
}

TEST_F(QueryTool, WhereNamesTheLocationsInUse) {
    const ToolRun run = RunTool("--where");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("state root: " + kvwin::StateRoot() + "\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("agent log: " + kvwin::StateRoot() + "/ProgramData/"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("/Lumbrik.exe\n"), std::string::npos) << run.out;
}

}  // namespace
