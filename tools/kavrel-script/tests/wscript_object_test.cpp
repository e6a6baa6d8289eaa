// The WScript object and the site in this process, driven through IDispatch as an engine
// drives them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "host_site.h"
#include "kvtest/com_support.h"
#include "win/comutil.h"
#include "wscript_object.h"

namespace {

// A host context whose standard output is a pipe the test reads.
class WScriptObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::pipe2(output_, O_NONBLOCK), 0);
        context_ = std::make_unique<HostContext>(STDIN_FILENO, output_[1], output_[1]);
        context_->arguments = {u"first", u"second arg"};
        wscript_.Attach(new WScriptObject(*context_));
    }
    void TearDown() override {
        wscript_ = nullptr;
        context_.reset();
        ::close(output_[0]);
        ::close(output_[1]);
    }

    std::string Output() {
        std::string text;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(output_[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(got));
        return text;
    }

    // Invokes a member of object by name with the arguments in the order written.
    HRESULT Call(IDispatch* object, const char16_t* name, WORD flags,
                 std::vector<_variant_t> arguments, VARIANT* result,
                 EXCEPINFO* exception = nullptr) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr))
            return hr;
        std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
        DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
        return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception,
                              nullptr);
    }

    IDispatchPtr Property(IDispatch* object, const char16_t* name) {
        _variant_t value;
        EXPECT_EQ(Call(object, name, DISPATCH_PROPERTYGET, {}, &value), S_OK);
        EXPECT_EQ(value.vt, VT_DISPATCH);
        return value.vt == VT_DISPATCH ? IDispatchPtr(value.pdispVal) : IDispatchPtr();
    }

    kvtest::ScopedApartment apartment_{COINIT_APARTMENTTHREADED};
    int output_[2] = {-1, -1};
    std::unique_ptr<HostContext> context_;
    IDispatchPtr wscript_;
};

TEST_F(WScriptObjectTest, EchoWritesItsValuesOnOneLineAndRefusesValuesWithoutText) {
    _variant_t none;
    EXPECT_EQ(Call(wscript_, u"echo", DISPATCH_METHOD,
                   {_variant_t(u"a b"), _variant_t(42), _variant_t(), _variant_t(u"z")}, &none),
              S_OK);
    EXPECT_EQ(Call(wscript_, u"Echo", DISPATCH_METHOD, {}, &none), S_OK);
    EXPECT_EQ(Output(), "a b 42  z\n\n");

    _variant_t array;
    array.vt = VT_ARRAY | VT_VARIANT;
    array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    EXCEPINFO exception{};
    EXPECT_EQ(
        Call(wscript_, u"Echo", DISPATCH_METHOD, {_variant_t(u"x"), array}, &none, &exception),
        DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, static_cast<HRESULT>(0x800A000D));
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    EXPECT_EQ(Output(), "");  // nothing of a failed line
    // A plain get of a method is refused, so that a script engine reads it as a method.
    EXPECT_EQ(Call(wscript_, u"Echo", DISPATCH_PROPERTYGET, {}, &none), DISP_E_MEMBERNOTFOUND);
}

TEST_F(WScriptObjectTest, ArgumentsAreACollectionWithCountItemDefaultMemberAndEnumerator) {
    IDispatchPtr arguments = Property(wscript_, u"Arguments");
    ASSERT_TRUE(arguments);
    _variant_t value;
    EXPECT_EQ(Call(arguments, u"Count", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &value), S_OK);
    EXPECT_EQ(value.lVal, 2);
    EXPECT_EQ(Call(arguments, u"length", DISPATCH_PROPERTYGET, {}, &value), S_OK);
    EXPECT_EQ(value.lVal, 2);
    EXPECT_EQ(Call(arguments, u"Item", DISPATCH_METHOD, {_variant_t(1)}, &value), S_OK);
    EXPECT_EQ(kvtest::Take(value.Detach().bstrVal), u"second arg");

    DISPPARAMS index{};
    _variant_t zero(u"0");  // any value that converts to a number
    index.rgvarg = &zero;
    index.cArgs = 1;
    EXPECT_EQ(arguments->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                &index, &value, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(kvtest::Take(value.Detach().bstrVal), u"first");

    EXCEPINFO exception{};
    EXPECT_EQ(Call(arguments, u"Item", DISPATCH_METHOD, {_variant_t(2)}, &value, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, static_cast<HRESULT>(0x800A0009));
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);

    DISPPARAMS none{};
    ASSERT_EQ(arguments->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value,
                                nullptr, nullptr),
              S_OK);
    ASSERT_EQ(value.vt, VT_UNKNOWN);
    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(value.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)),
              S_OK);
    VARIANT got[3];
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(kvtest::Take(got[0].bstrVal), u"first");
    EXPECT_EQ(kvtest::Take(got[1].bstrVal), u"second arg");
    items->Release();
}

TEST_F(WScriptObjectTest, QuitStopsTheRunOnceWithItsCodeAndStoppedWaitsEndAtOnce) {
    _variant_t none;
    EXPECT_EQ(Call(wscript_, u"Quit", DISPATCH_METHOD, {_variant_t(u"3")}, &none), E_ABORT);
    // (Without an EXCEPINFO a failing member answers its own code.)
    EXPECT_EQ(context_->control.Reason(), StopReason::Quit);
    EXPECT_EQ(context_->control.QuitCode(), 3);
    // The first stop is kept.
    EXPECT_FALSE(context_->control.Stop(StopReason::TimeOut));
    EXPECT_EQ(Call(wscript_, u"Quit", DISPATCH_METHOD, {_variant_t(9)}, &none), E_ABORT);
    EXPECT_EQ(context_->control.QuitCode(), 3);
    // A wait of an hour in a stopped run ends now (the test's own time limit would catch it).
    EXPECT_EQ(Call(wscript_, u"Sleep", DISPATCH_METHOD, {_variant_t(3600000)}, &none), E_ABORT);
    IDispatchPtr input = Property(wscript_, u"StdIn");
    EXPECT_EQ(Call(input, u"ReadLine", DISPATCH_METHOD, {}, &none), E_ABORT);
}

TEST_F(WScriptObjectTest, TheSiteHandsOutWScriptAndNothingElse) {
    IActiveScriptSite* site = new HostSite(*context_, wscript_);
    IUnknown* item = nullptr;
    EXPECT_EQ(site->GetItemInfo(u"wscript", SCRIPTINFO_IUNKNOWN, &item, nullptr), S_OK);
    ASSERT_NE(item, nullptr);
    IUnknown* identity = nullptr;
    wscript_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(item, identity);
    identity->Release();
    item->Release();
    ITypeInfo* type = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(site->GetItemInfo(u"WScript", SCRIPTINFO_ITYPEINFO, nullptr, &type),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(type, nullptr);
    item = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(site->GetItemInfo(u"Scripter", SCRIPTINFO_IUNKNOWN, &item, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(site->GetItemInfo(u"WScript", SCRIPTINFO_IUNKNOWN, nullptr, nullptr), E_POINTER);
    site->Release();
}

}  // namespace
