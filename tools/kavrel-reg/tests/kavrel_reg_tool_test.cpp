// The built tool, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ToolRun {
    int status;
    std::string output;
};

ToolRun Tool(const std::string& arguments) {
    const std::string command = std::string(KAVREL_REG_TOOL) + " " + arguments + " 2>&1";
    ToolRun run{-1, ""};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(KavrelRegTool, AddQueryDeleteRoundTrip) {
    EXPECT_EQ(Tool(R"(add "HKLM\Software\Kavrel Test" /v Count /t REG_DWORD /d 7)").status, 0);
    EXPECT_EQ(Tool(R"(add "HKLM\Software\Kavrel Test" /v Name /d "a b")").status, 0);
    ToolRun query = Tool(R"(query "hklm\software\kavrel test")");
    EXPECT_EQ(query.status, 0) << query.output;
    EXPECT_NE(query.output.find("Count    REG_DWORD    0x7"), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("Name    REG_SZ    a b"), std::string::npos) << query.output;

    ToolRun again = Tool(R"(add "HKLM\Software\Kavrel Test" /v Name /d other)");
    EXPECT_NE(again.status, 0) << "an existing value needs /f";
    EXPECT_EQ(Tool(R"(add "HKLM\Software\Kavrel Test" /v Name /d other /f)").status, 0);
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel Test" /v Name)").output.find("other"),
              std::string::npos);

    EXPECT_EQ(Tool(R"(delete "HKLM\Software\Kavrel Test" /v Count)").status, 0);
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel Test" /v Count)").status, 0);
    EXPECT_NE(Tool(R"(delete "HKLM\Software\Kavrel Test")").status, 0) << "a whole key needs /f";
    EXPECT_EQ(Tool(R"(delete "HKLM\Software\Kavrel Test" /f)").status, 0);
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel Test")").status, 0);
}

TEST(KavrelRegTool, BadInputGivesAReasonAndANonZeroStatus) {
    for (const char* arguments :
         {"", "query", "frobnicate HKLM\\x", "query HKXY\\Software",
          "add HKLM\\x /t REG_FLOAT /v a", "add HKLM\\x /v a /t REG_DWORD /d notanumber",
          "query HKLM\\x /v", "query HKLM\\x /q"}) {
        ToolRun run = Tool(arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_NE(run.output.find("kavrel-reg"), std::string::npos)
            << arguments << ": " << run.output;
    }
    ToolRun where = Tool("--where");
    EXPECT_EQ(where.status, 0);
    EXPECT_NE(where.output.find("state root"), std::string::npos);
}

TEST(KavrelRegTool, SeededIdentityIsThereOnAFreshRoot) {
    ToolRun query =
        Tool(R"(query "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v CurrentBuildNumber)");
    EXPECT_EQ(query.status, 0) << query.output;
}

}  // namespace
