// WScript.Network against the C library's own answers.
#include <pwd.h>
#include <unistd.h>

#include "kvwin/utf.h"
#include "scripting_test_support.h"

namespace scriptingtest {
namespace {

std::u16string Read(IDispatch* network, const std::u16string& name) {
    Outcome o = Invoke(network, name, DISPATCH_PROPERTYGET);
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_BSTR);
    return o.result.vt == VT_BSTR ? std::u16string(o.result.bstrVal) : u"";
}

TEST(WshNetwork, NamesTheComputerAndTheUser) {
    ScopedApartment apartment;
    IDispatchPtr network = Create(u"Wscript.Network");  // ProgIDs ignore case

    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    std::string expected = std::string(host).substr(0, std::string(host).find('.'));
    for (char& c : expected)
        c = char(toupper(static_cast<unsigned char>(c)));
    expected.resize(std::min<size_t>(expected.size(), 15));  // a NetBIOS name
    EXPECT_EQ(Read(network, u"ComputerName"), kvwin::FromUtf8(expected));

    const passwd* account = getpwuid(geteuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(Read(network, u"UserName"), kvwin::FromUtf8(account->pw_name));
    EXPECT_FALSE(Read(network, u"UserDomain").empty());

    EXPECT_EQ(Invoke(network, u"ComputerName", DISPATCH_PROPERTYPUT, {u"x"}).hr,
              DISP_E_MEMBERNOTFOUND);

    for (const char16_t* method : {u"EnumNetworkDrives", u"EnumPrinterConnections"}) {
        Outcome drives = Method(network, method);
        ASSERT_EQ(drives.result.vt, VT_DISPATCH);
        EXPECT_EQ(Invoke(drives.result.pdispVal, u"Count", DISPATCH_PROPERTYGET).result.lVal, 0);
        EXPECT_EQ(Method(drives.result.pdispVal, u"Item", {_variant_t(0L)}).scode,
                  HRESULT(0x800A0005));
    }
}

}  // namespace
}  // namespace scriptingtest
