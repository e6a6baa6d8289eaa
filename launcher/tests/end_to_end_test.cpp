// The whole out-of-process road with the project's launcher: GetInventoryInformation in
// this process, Lumbrik.exe's own main, driver, result collector and event component in a
// child. The launcher is a test copy whose WMI kind returns canned rows; the same kind in
// this process gives the in-process answer to compare with.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "canned_rows_kind.h"
#include "entry/query_factory.h"
#include "kavrel/kavrel.h"
#include "kvtest/com_support.h"
#include "kvwin/security_token.h"
#include "kvwin/wide_string.h"
#include "launcher_test_support.h"
#include "win/oleauto.h"

namespace {

using launcher_test::OpenFolder;

constexpr const WCHAR* kDocument =
    TEXT("<query namespace=\"root\\cimv2\" value=\"caf\u00E9 \u20AC &lt;1&gt; \U0001F600\"/>");

WString Take(BSTR text) {
    WString value(text, SysStringLen(text));
    SysFreeString(text);
    return value;
}

class WholeRoad : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_symlink(LUMBRIK_WITH_CANNED_ROWS_PATH,
                                        m_install.path() + "/Lumbrik.exe");
        launcher_test::InstallColvaneModule(m_install.path());
        ::setenv("TMP", (m_temp.path() + "/").c_str(), 1);
    }
    // The in-process answer to the same document, with the same kind.
    WString InProcessAnswer() {
        ScopedQueryMaker canned(QueryKind::Wmi, MakeCannedRowsQuery);
        BSTR result = nullptr;
        EXPECT_EQ(GetInventoryInformationInternal(kDocument, &result), S_OK);
        return result ? Take(result) : TEXT("");
    }
    kvtest::ScopedApartment m_apartment{COINIT_APARTMENTTHREADED};
    OpenFolder m_install;
    OpenFolder m_temp;
};

TEST_F(WholeRoad, TheLaunchersResultIsTheInProcessResult) {
    const WString expected = InProcessAnswer();
    ASSERT_EQ(expected.rfind(TEXT("<result>\n<row"), 0), 0u);
    BSTR result = nullptr;
    ASSERT_EQ(GetInventoryInformation(kDocument, &result), S_OK);
    EXPECT_EQ(Take(result), expected);
    EXPECT_TRUE(m_temp.Files().empty()) << "the call's files are gone";
    const auto exits = launcher_test::RecordsOf("RunProccesAs", "Proccess exit code is: ");
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].message, "Proccess exit code is: 0");
}

TEST_F(WholeRoad, AQueryThatFailsInTheLauncherIsEFailHere) {
    // No "value": the kind cannot initialise, the launcher writes nothing.
    static WCHAR poison[] = TEXT("poison");
    BSTR result = poison;
    EXPECT_EQ(GetInventoryInformation(TEXT("<query namespace=\"root\\cimv2\"/>"), &result), E_FAIL);
    EXPECT_EQ(result, poison);
    EXPECT_TRUE(m_temp.Files().empty());
    EXPECT_EQ(launcher_test::RecordsOf("RunProccesAs", "Proccess exit code is: ")[0].message,
              "Proccess exit code is: 4");
}

TEST_F(WholeRoad, FromAThreadImpersonatingAUserTheLauncherRunsAsThatUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: only root may start a process as another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const WString expected = InProcessAnswer();
    HRESULT hr = E_UNEXPECTED;
    WString answer;
    std::thread worker([&] {
        kvtest::ScopedApartment apartment{COINIT_APARTMENTTHREADED};
        kvwin::ScopedImpersonation asNobody(nobody->pw_uid);
        ASSERT_TRUE(asNobody.active());
        BSTR result = nullptr;
        hr = GetInventoryInformation(kDocument, &result);
        if (SUCCEEDED(hr))
            answer = Take(result);
    });
    worker.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(answer, expected);
    EXPECT_TRUE(m_temp.Files().empty());
}

}  // namespace
