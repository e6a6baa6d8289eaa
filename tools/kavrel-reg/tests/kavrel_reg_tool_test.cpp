// The built tool, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kvtest/command_run.h"
#include "kvtest/hostile.h"
#include "kvtest/test_env.h"

namespace {

using ToolRun = kvtest::CommandRun;

ToolRun Tool(const std::string& arguments) {
    return kvtest::RunCommand(std::string(KAVREL_REG_TOOL) + " " + arguments + " 2>&1");
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

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char kImport[] = R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Kavrel Export]
@="the default"
"Text"="C:\\Program Files\\\"q\""
"Count"=dword:0000002a
"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29
"Expand"=hex(2):25,00,41,00,25,00,00,00
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"Big"=hex(b):01,00,00,00,00,00,00,80
"Odd"=hex(1):41,00,42
"Nothing"=hex(0):

[HKEY_LOCAL_MACHINE\Software\Kavrel Export\Child]
"Name"="Grüße"

[HKEY_LOCAL_MACHINE\Software\Kavrel Export\Child\Grandchild]
)";

TEST(KavrelRegTool, ImportExportRoundTripsThroughFilesAndStandardStreams) {
    const std::string folder = kvtest::MakeTempFolder("reg-file");
    WriteFile(folder + "/in.reg", kImport);
    ToolRun run = Tool("import " + folder + "/in.reg");
    ASSERT_EQ(run.status, 0) << run.output;
    run = Tool(R"(query "HKLM\Software\Kavrel Export" /v Count)");
    EXPECT_NE(run.output.find("0x2a"), std::string::npos) << run.output;
    run = Tool(R"(query "HKLM\Software\Kavrel Export\Child" /v Name)");
    EXPECT_NE(run.output.find("Grüße"), std::string::npos) << run.output;

    // What the import made exports as the same text (names come in the order written,
    // subkeys after their parent).
    run = Tool(R"(export "HKLM\Software\Kavrel Export" )" + folder + "/out.reg");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string exported = ReadFile(folder + "/out.reg");
    EXPECT_EQ(exported, kImport);
    run = Tool(R"(export "hklm\software\kavrel export" -)");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("[HKEY_LOCAL_MACHINE\\software\\kavrel export]"), std::string::npos)
        << run.output;

    // Deleting and importing the export from standard input brings everything back.
    WriteFile(folder + "/delete.reg",
              "Windows Registry Editor Version 5.00\n\n[-HKLM\\Software\\Kavrel Export]\n");
    ASSERT_EQ(Tool("import " + folder + "/delete.reg").status, 0);
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel Export\Child")").status, 0);
    run = Tool("import - < " + folder + "/out.reg");
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(Tool(R"(export "HKLM\Software\Kavrel Export" )" + folder + "/again.reg").status, 0);
    EXPECT_EQ(ReadFile(folder + "/again.reg"), exported);

    // A UTF-16LE file with its byte order mark deletes one value and one subkey tree.
    const std::u16string wide =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Kavrel Export]\r\n"
        u"\"Count\"=-\r\n"
        u"\"Missing\"=-\r\n"
        u"[-HKEY_LOCAL_MACHINE\\Software\\Kavrel Export\\Child]\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : wide) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    WriteFile(folder + "/wide.reg", utf16);
    run = Tool("import " + folder + "/wide.reg");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel Export" /v Count)").status, 0);
    EXPECT_EQ(Tool(R"(query "HKLM\Software\Kavrel Export" /v Blob)").status, 0);
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel Export\Child")").status, 0);
}

TEST(KavrelRegTool, OutputFilesReplaceALinkPlantedAtTheirNameWithoutFollowingIt) {
    // An administrator writes into a folder another user owns; that user has planted links
    // at the output's name and at names a temporary file might take, all pointing at a file
    // of root's.
    uid_t uid = 0;
    gid_t gid = 0;
    if (::geteuid() != 0 || !kvtest::UnprivilegedAccount(uid, gid))
        GTEST_SKIP() << "needs root and an unprivileged account";
    const std::string folder = kvtest::MakeTempFolder("reg-links");
    const std::string victim = folder + "/victim";
    WriteFile(victim, "keep\n");
    const std::string theirs = folder + "/theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 0755), 0);
    ASSERT_EQ(::chown(theirs.c_str(), uid, gid), 0);
    for (const char* name :
         {"out.reg", "out.reg.new", ".out.reg.new", "classes", "classes.new", ".classes.new"}) {
        const std::string link = theirs + "/" + name;
        ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), uid, gid), 0);
    }
    ASSERT_EQ(Tool(R"(add "HKLM\Software\Kavrel Linked" /v A /d b)").status, 0);
    ToolRun run = Tool(R"(export "HKLM\Software\Kavrel Linked" )" + theirs + "/out.reg");
    EXPECT_EQ(run.status, 0) << run.output;
    run = Tool("declarations " + std::string(KAVREL_DECLARED_MODULE) + " " + theirs + "/classes");
    EXPECT_EQ(run.status, 0) << run.output;

    EXPECT_EQ(ReadFile(victim), "keep\n");
    struct stat st {};
    ASSERT_EQ(::lstat((theirs + "/out.reg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_NE(ReadFile(theirs + "/out.reg").find("Kavrel Linked"), std::string::npos);
    ASSERT_EQ(::lstat((theirs + "/classes").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_NE(::lstat((theirs + "/.out.reg.new").c_str(), &st), 0);
}

TEST(KavrelRegTool, ABadFileChangesNothingAndNamesItsLine) {
    const std::string folder = kvtest::MakeTempFolder("reg-file");
    ASSERT_EQ(Tool(R"(add "HKLM\Software\Kavrel Keep" /v Keep /d yes)").status, 0);
    WriteFile(folder + "/bad.reg",
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKLM\\Software\\Kavrel New]\n"
              "\"A\"=\"b\"\n"
              "[-HKLM\\Software\\Kavrel Keep]\n"
              "[HKLM\\Software\\Kavrel New]\n"
              "\"C\"=dword:nothex\n");
    ToolRun run = Tool("import " + folder + "/bad.reg");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("line 7: "), std::string::npos) << run.output;
    EXPECT_NE(Tool(R"(query "HKLM\Software\Kavrel New")").status, 0);
    EXPECT_EQ(Tool(R"(query "HKLM\Software\Kavrel Keep" /v Keep)").status, 0);

    // A name .reg text cannot hold: the export fails and leaves no file behind.
    ASSERT_EQ(Tool(R"x(add "HKLM\Software\Kavrel Break" /v "$(printf 'a\nb')" /d x)x").status, 0);
    run = Tool(R"(export "HKLM\Software\Kavrel Break" )" + folder + "/break.reg");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("line break"), std::string::npos) << run.output;
    EXPECT_NE(::access((folder + "/break.reg").c_str(), F_OK), 0);

    for (const std::string& arguments : std::vector<std::string>{
             "import " + folder + "/missing.reg", "import", "export HKLM\\Software",
             R"(export "HKLM\Software\Kavrel Nowhere" -)", "export HKXX\\x -",
             R"(export "HKLM\Software\Kavrel Keep" )" + folder + "/no/such/folder.reg"}) {
        run = Tool(arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_NE(run.output.find("kavrel-reg"), std::string::npos) << arguments;
    }
}

TEST(KavrelRegTool, SeededIdentityIsThereOnAFreshRoot) {
    ToolRun query =
        Tool(R"(query "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v CurrentBuildNumber)");
    EXPECT_EQ(query.status, 0) << query.output;
}

}  // namespace

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A damaged store names its file; reset-store keeps it (and its log) under a new name and
// starts a fresh store with the defaults; a sound store is reset only with /f.
TEST(KavrelRegTool, ADamagedStoreIsNamedAndMovedAsideForAFreshOne) {
    ASSERT_EQ(Tool(R"(add "HKLM\Software\Kavrel Test" /v Count /t REG_DWORD /d 7)").status, 0);
    const std::string store = kvtest::TestStateRoot() + "/registry/machine.db";
    ::unlink((store + "-wal").c_str());
    ::unlink((store + "-shm").c_str());
    const std::string garbage(20000, '\x5a');
    std::ofstream(store, std::ios::binary | std::ios::trunc) << garbage;

    ToolRun query = Tool(R"(query "HKLM\Software\Kavrel Test")");
    EXPECT_NE(query.status, 0);
    EXPECT_NE(query.output.find(store), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("kavrel-reg reset-store HKLM"), std::string::npos) << query.output;

    ToolRun reset = Tool("reset-store HKLM");
    ASSERT_EQ(reset.status, 0) << reset.output;
    const std::string prefix = "moved " + store + " to ";
    ASSERT_EQ(reset.output.rfind(prefix, 0), 0u) << reset.output;
    const std::string moved =
        reset.output.substr(prefix.size(), reset.output.find('\n') - prefix.size());
    EXPECT_EQ(moved.rfind(store + ".corrupt-", 0), 0u) << moved;
    EXPECT_EQ(ReadAll(moved), garbage);

    EXPECT_EQ(Tool(R"(query "HKLM\Software\Kavrel Test")").status, 1);  // gone with the file
    ToolRun seeded =
        Tool(R"(query "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v ProductName)");
    EXPECT_EQ(seeded.status, 0) << seeded.output;

    ToolRun sound = Tool("reset-store HKLM");
    EXPECT_NE(sound.status, 0);
    EXPECT_NE(sound.output.find("sound"), std::string::npos) << sound.output;
    ToolRun forced = Tool("reset-store HKLM /f");
    EXPECT_EQ(forced.status, 0) << forced.output;
    EXPECT_NE(Tool("reset-store HKLM\\Software").status, 0);
}

}  // namespace
