// The interactive mode's session without a terminal: commands, statements, failures with
// their reasons, and completion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvtest/com_support.h"
#include "prompt.h"
#include "query_run.h"

namespace {

class Prompt : public ::testing::Test {
  protected:
    std::string Run(const std::string& line) {
        bool quit = false;
        std::string output = session_.Handle(line, errors_, quit);
        quit_ = quit;
        return output;
    }

    kvtest::ScopedApartment apartment_{COINIT_APARTMENTTHREADED};
    DiagnosticsListener diagnostics_;
    PromptSession session_{[this] { return diagnostics_.TakeLines(); }};
    std::string errors_;
    bool quit_ = false;
};

TEST_F(Prompt, CommandsAndStatementsPrintInTheChosenMode) {
    EXPECT_NE(Run(".help").find(".describe CLASS"), std::string::npos);
    EXPECT_EQ(Run(".mode"), "table\n");
    EXPECT_EQ(Run(".mode JSON"), "json\n");
    EXPECT_EQ(Run("select Caption from Win32_OperatingSystem;").rfind("[\n  {\"Caption\": ", 0),
              0u);
    EXPECT_EQ(Run(".mode csv"), "csv\n");
    EXPECT_NE(Run(".classes").find("\nWin32_Process\n"), std::string::npos);
    EXPECT_NE(Run(".describe Win32_Process").find("\nProcessId,uint32,false,pid\n"),
              std::string::npos);
    EXPECT_EQ(Run(".namespace"), "root\\cimv2\n");
    EXPECT_EQ(Run("   "), "");
    EXPECT_EQ(errors_, "");
    Run(".quit");
    EXPECT_TRUE(quit_);
}

TEST_F(Prompt, FailuresCarryTheServicesReasons) {
    EXPECT_EQ(Run("select Nope from Win32_Process"), "");
    EXPECT_NE(errors_.find("the statement failed: 0x80041017 WBEM_E_INVALID_QUERY"),
              std::string::npos)
        << errors_;
    EXPECT_NE(errors_.find("\n  kavrel-wmi: Nope is not a property"), std::string::npos) << errors_;
    Run(".mode yaml");
    EXPECT_NE(errors_.find("unknown format 'yaml'"), std::string::npos);
    Run(".frobnicate");
    EXPECT_NE(errors_.find("unknown command '.frobnicate'"), std::string::npos);
    Run(".describe");
    EXPECT_NE(errors_.find("needs a class name"), std::string::npos);
    EXPECT_FALSE(quit_);
}

TEST_F(Prompt, CompletionOffersCommandsClassesPropertiesAndFormats) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(session_.Complete(".d", ".d"), Words{".describe"});
    EXPECT_EQ(session_.Complete("sel", "sel"), Words{"SELECT"});
    EXPECT_EQ(session_.Complete(".mode j", "j"), Words{"json"});
    EXPECT_EQ(session_.Complete("select Name from win32_proc", "win32_proc"),
              (Words{"Win32_Process", "Win32_Processor"}));
    EXPECT_EQ(session_.Complete(".describe Win32_Oper", "Win32_Oper"),
              Words{"Win32_OperatingSystem"});
    // Properties of the class the line names, wherever the cursor stands.
    const Words properties = session_.Complete("select Process", "Process");
    EXPECT_TRUE(properties.empty());  // no class named yet
    const Words named = session_.Complete("select Name from Win32_Process where Parent", "Parent");
    EXPECT_EQ(named, Words{"ParentProcessId"});
    EXPECT_EQ(session_.Complete("select Name from Win32_Process where name l", "l"), Words{"LIKE"});
    EXPECT_EQ(errors_, "");
}

}  // namespace
