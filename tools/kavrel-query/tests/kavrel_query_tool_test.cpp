// The kavrel-query program as a user runs it: statuses, messages and what it shows.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "kvtest/command_run.h"
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
    kvtest::CommandRun done = kvtest::RunCommand(command);
    return ToolRun{done.status, std::move(done.output)};
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

// Each failure names its reason under the failure line, from this process and from the
// launcher's alike.
TEST_F(QueryTool, FailuresExplainThemselvesOnBothRoads) {
    const std::string wmi =
        "<query namespace=\"root\\cimv2\" class=\"C\"><properties>"
        "<property mapsTo=\"0\">P</property></properties>F</query>";
    const auto wmiQuery = [&](const std::string& className, const std::string& property,
                              const std::string& filter) {
        std::string text = wmi;
        text.replace(text.find("\"C\""), 3, "\"" + className + "\"");
        text.replace(text.find(">P<"), 3, ">" + property + "<");
        text.replace(text.find(">F<"), 3, ">" + filter + "<");
        return text;
    };
    const struct {
        std::string document;
        std::vector<std::string> reasons;
    } cases[] = {
        {wmiQuery("Win32_Nothing", "Name", ""),
         {"kavrel-wmi: no class Win32_Nothing in namespace root\\cimv2 (offset 17)",
          "0x80041010 WBEM_E_INVALID_CLASS ("}},
        {wmiQuery("Win32_Process", "Nope", ""),
         {"kavrel-wmi: Nope is not a property of the class Win32_Process (offset 7)",
          "0x80041017 WBEM_E_INVALID_QUERY ("}},
        {wmiQuery("Win32_Process", "Name", "<filter clause=\"where Name = = 'x'\"/>"),
         {"kavrel-wmi: invalid query at offset 44: ", "where Name = = 'x'"}},
        {"<query scriptType=\"JScript\" function=\"Collect\" timeout=\"5000\"><scriptText>"
         "function Collect() {\n  var x = 1;\n  return missingThing.call(); }</scriptText></query>",
         {"JScript runtime error: identifier 'missingThing' undefined",
          "on line 3, column 1:   return missingThing.call(); }"}},
        {"<query scriptType=\"JScript\" function=\"Collect\" timeout=\"200\"><scriptText>"
         "function Collect() { for (;;) {} }</scriptText></query>",
         {"kavrel: the script was interrupted: it ran past its time limit of 200 ms"}},
    };
    for (const auto& sample : cases) {
        const std::string document = Document("failing.xml", sample.document);
        for (const std::string option : {"", "--in-process"}) {
            const ToolRun run = RunTool(option + " '" + document + "'");
            EXPECT_EQ(run.status, 1) << run.out;
            const size_t failed = run.out.find(": the query failed: 0x8");
            ASSERT_NE(failed, std::string::npos) << option << ": " << run.out;
            for (const std::string& reason : sample.reasons)
                EXPECT_NE(run.out.find(reason, failed), std::string::npos)
                    << option << ": " << reason << "\n"
                    << run.out;
        }
    }
}

TEST_F(QueryTool, HelpNamesEveryOptionAndVariableAndVersionTheBuild) {
    const ToolRun help = RunTool("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--in-process", "--log", "--where", "--wql", "--classes", "--describe",
                             "--namespace", "--format", "--version", "KAVREL_ROOT", "KAVREL_DRIVE_",
                             "KAVREL_DEBUG_OUTPUT", "Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}",
                             "Zor_{5F596BB2-D8F6-4549-B5A3-3C07AE7B2AD2}",
                             "Zor_{407B8F95-9674-45e8-B441-969669DBEB56}", "KAVREL_WMI_FIXTURES",
                             "KAVREL_REGISTRY_BUSY_TIMEOUT_MS", "KAVREL_INTEGRITY"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const ToolRun version = RunTool("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kavrel-query 0.", 0), 0u) << version.out;
}

TEST_F(QueryTool, WqlClassesAndDescribeInEachFormat) {
    ToolRun run = RunTool("--wql \"select Name, ProcessId from Win32_Process\"");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.rfind("Name,ProcessId\n", 0), 0u) << run.out;  // not a terminal: CSV
    run = RunTool("--format json --wql \"select Caption, Version from Win32_OperatingSystem\"");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.rfind("[\n  {\"Caption\": ", 0), 0u) << run.out;
    run = RunTool("--format xml --namespace 'root\\cimv2' --wql \"select Name from Win32_BIOS\"");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.rfind("<rows>\n", 0), 0u) << run.out;
    run = RunTool("--classes --format table");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\nWin32_Service\n"), std::string::npos) << run.out;
    run = RunTool("--describe Win32_Service --format csv");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\nName,string,true,"), std::string::npos) << run.out;

    run = RunTool("--wql \"select Nope from Win32_Service\"");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("the statement failed: 0x80041017 WBEM_E_INVALID_QUERY"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  kavrel-wmi: Nope is not a property"), std::string::npos) << run.out;
    run = RunTool("--classes 'root\\nowhere'");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("kavrel-wmi: no namespace root\\nowhere"), std::string::npos) << run.out;

    for (const char* bad : {"--format yaml --classes", "--wql", "--classes --describe X",
                            "--wql x a.xml", "--namespace root"}) {
        run = RunTool(bad);
        EXPECT_EQ(run.status, 2) << bad << ": " << run.out;
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
