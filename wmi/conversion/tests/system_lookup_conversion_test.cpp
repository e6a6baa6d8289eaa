// The conversions that ask the system: an account's domain, and a printer driver's version
// from a CUPS scheduler the test starts for itself.
#include <sys/utsname.h>

#include <cctype>
#include <string>

#include "conversion_test_support.h"
#include "cups_test_server.h"
#include "errors/error_description.h"
#include "kvtest/test_env.h"
#include "kvwin/wide_string.h"
#include "win/comdef.h"
#include "win/errors.h"

namespace {

using convtest::Convert;

// The NetBIOS name, worked out from uname independently of the platform layer.
std::string ComputerName() {
    struct utsname names {};
    uname(&names);
    std::string name = names.nodename;
    name = name.substr(0, name.find('.')).substr(0, 15);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

struct DomainCase {
    std::string account;
    std::string domain;
};

void PrintTo(const DomainCase& c, std::ostream* os) {
    *os << "'" << c.account << "'";
}

class DomainName : public ::testing::TestWithParam<DomainCase> {};

TEST_P(DomainName, IsFoundOrFallsBack) {
    EXPECT_EQ(Convert("GetDomainName", GetParam().account), GetParam().domain)
        << GetParam().account;
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, DomainName,
    ::testing::Values(
        // Known to the account database: its referenced domain.
        DomainCase{"SYSTEM", "NT AUTHORITY"}, DomainCase{"root", "NT AUTHORITY"},
        DomainCase{"Administrators", "BUILTIN"}, DomainCase{"daemon", ComputerName()},
        DomainCase{ComputerName() + "\\daemon", ComputerName()},
        // Unknown, with a domain part: that part.
        DomainCase{"OTHERBOX\\no-such-account-kv", "OTHERBOX"},
        // Unknown and without one, or with an empty one, or known with an empty domain
        // (Everyone): this computer.
        DomainCase{"no-such-account-kv", ComputerName()},
        DomainCase{"\\no-such-account-kv", ComputerName()}, DomainCase{"Everyone", ComputerName()},
        DomainCase{"", ComputerName()}));

// A printer's driver version needs a print server; each test starts its own.
class ProviderVersion : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kvtest::CupsTestServer::Installed(KAVREL_CUPSD))
            GTEST_SKIP() << "cupsd is not installed";
        std::string why;
        ASSERT_TRUE(server_.Start(KAVREL_CUPSD, kvtest::TestStateRoot() + "/cups",
                                  {{"KvVersioned", kvtest::TestPpd("2.7.1")},
                                   {"KvUnversioned", kvtest::TestPpd("")},
                                   {"KvRaw", ""}},
                                  why))
            << why;
        ::setenv("CUPS_SERVER", server_.Address().c_str(), 1);
    }
    void TearDown() override {
        server_.Stop();
        ::unsetenv("CUPS_SERVER");
    }

    kvtest::CupsTestServer server_;
};

TEST_F(ProviderVersion, IsTheProductVersionOfTheDriversConfigurationFile) {
    EXPECT_EQ(Convert("GetProviderVersion", "KvVersioned"), "2.7.1.0");
    EXPECT_EQ(Convert("getproviderversion", "kvversioned"), "2.7.1.0");
}

TEST_F(ProviderVersion, LeavesPrintersWithoutADriverOrUnknownToTheServerAlone) {
    EXPECT_EQ(Convert("GetProviderVersion", "KvRaw"), "KvRaw");
    EXPECT_EQ(Convert("GetProviderVersion", "KvMissing"), "KvMissing");
    EXPECT_EQ(Convert("GetProviderVersion", "Kv Missing/Queue"), "Kv Missing/Queue");
}

TEST_F(ProviderVersion, LeavesTheNameAloneWhenNoServerAnswers) {
    server_.Stop();
    EXPECT_EQ(Convert("GetProviderVersion", "KvVersioned"), "KvVersioned");
}

TEST_F(ProviderVersion, ADriverWithoutVersionInformationFailsTheConversion) {
    try {
        Convert("GetProviderVersion", "KvUnversioned");
        ADD_FAILURE() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), static_cast<HRESULT>(0x80070000u | ERROR_RESOURCE_DATA_NOT_FOUND));
        WString text;
        GetComErrorText(error, text);
        // The reader's words, a blank, and the system's text for the code.
        const std::string described = kvwin::ToUtf8(text);
        const std::string systemText = kvwin::ToUtf8(GetErrorText(ERROR_RESOURCE_DATA_NOT_FOUND));
        ASSERT_FALSE(systemText.empty());
        EXPECT_TRUE(described.starts_with("Error loading version resource: ")) << described;
        EXPECT_NE(described.find(systemText), std::string::npos) << described;
    }
}

}  // namespace
