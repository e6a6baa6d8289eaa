// BSTR lengths, variant text forms, safe-array ownership, apartments and error objects.
#include <gtest/gtest.h>

#include <string>

#include "win/com.h"

namespace {

std::u16string ToText(VARIANT& v, USHORT flags = 0) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &v, flags, VT_BSTR), S_OK);
    std::u16string s(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return s;
}

TEST(Bstr, LengthsAndTerminator) {
    BSTR b = SysAllocStringLen(u"ab\0cd", 5);
    EXPECT_EQ(SysStringLen(b), 5u);
    EXPECT_EQ(SysStringByteLen(b), 10u);
    EXPECT_EQ(b[5], 0);
    SysFreeString(b);
    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(VariantText, NumbersBooleansDatesCurrency) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = -42;
    EXPECT_EQ(ToText(v), u"-42");
    v.vt = VT_R8;
    v.dblVal = 0.1;
    EXPECT_EQ(ToText(v), u"0.1");
    v.dblVal = 1e20;
    EXPECT_EQ(ToText(v), u"1E+20");
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    EXPECT_EQ(ToText(v), u"-1");
    EXPECT_EQ(ToText(v, VARIANT_ALPHABOOL), u"True");
    v.vt = VT_DATE;
    v.date = 36526.5;  // 1 January 2000, noon
    EXPECT_EQ(ToText(v), u"1/1/2000 12:00:00 PM");
    v.date = 36526.0;
    EXPECT_EQ(ToText(v), u"1/1/2000");
    v.date = 0.25;
    EXPECT_EQ(ToText(v), u"6:00:00 AM");
    v.vt = VT_CY;
    v.cyVal.int64 = 15000;
    EXPECT_EQ(ToText(v), u"1.5");
}

TEST(VariantText, ParsingRoundingAndErrors) {
    VARIANT s, out;
    VariantInit(&out);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(u"70000");
    EXPECT_EQ(VariantChangeType(&out, &s, 0, VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&out, &s, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 70000);
    SysReAllocString(&s.bstrVal, u"abc");
    EXPECT_EQ(VariantChangeType(&out, &s, 0, VT_I4), DISP_E_TYPEMISMATCH);
    SysReAllocString(&s.bstrVal, u"2.5");
    EXPECT_EQ(VariantChangeType(&out, &s, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 2);  // half to even
    VariantClear(&s);
    VARIANT r;
    r.vt = VT_R8;
    r.dblVal = 3.5;
    EXPECT_EQ(VariantChangeType(&out, &r, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 4);
    VARIANT n;
    n.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&out, &n, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(SafeArray, OwnsBstrElementsAndChecksBounds) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 1, 2);
    ASSERT_NE(sa, nullptr);
    LONG i = 1;
    BSTR b = SysAllocString(u"x");
    EXPECT_EQ(SafeArrayPutElement(sa, &i, b), S_OK);
    SysFreeString(b);  // the array holds its own copy
    i = 3;
    EXPECT_EQ(SafeArrayPutElement(sa, &i, nullptr), DISP_E_BADINDEX);
    SAFEARRAY* copy = nullptr;
    EXPECT_EQ(SafeArrayCopy(sa, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
    i = 1;
    BSTR got = nullptr;
    EXPECT_EQ(SafeArrayGetElement(copy, &i, &got), S_OK);
    EXPECT_EQ(std::u16string(got), u"x");
    SysFreeString(got);
    LONG ub = 0;
    EXPECT_EQ(SafeArrayGetUBound(copy, 1, &ub), S_OK);
    EXPECT_EQ(ub, 2);
    EXPECT_EQ(SafeArrayLock(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(copy), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(Apartment, ResultsAndActivationNeedsOne) {
    IUnknown* p = nullptr;
    EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&p)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&p)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
    CoUninitialize();
}

TEST(ErrorInfo, GetTransfersOwnershipAndClears) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(u"broken"));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    EXPECT_EQ(SetErrorInfo(0, info), S_OK);
    info->Release();
    IErrorInfo* got = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &got), S_OK);
    ASSERT_NE(got, nullptr);
    BSTR d = nullptr;
    got->GetDescription(&d);
    EXPECT_EQ(std::u16string(d), u"broken");
    SysFreeString(d);
    got->Release();
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
    EXPECT_EQ(got, nullptr);
}

TEST(Guid, TextRoundTrip) {
    GUID g;
    ASSERT_EQ(CoCreateGuid(&g), S_OK);
    WCHAR text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
    GUID back;
    EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_TRUE(back == g);
    EXPECT_EQ(CLSIDFromString(u"{bad}", &back), CO_E_CLASSSTRING);
}

}  // namespace
