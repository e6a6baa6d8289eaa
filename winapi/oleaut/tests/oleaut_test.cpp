// BSTR lengths, variant text forms, safe-array ownership, apartments and error objects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kvwin/locale_data.h"
#include "win/com.h"

namespace {

std::u16string ToText(VARIANT& v, USHORT flags = 0) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeTypeEx(&out, &v, 1033, flags, VT_BSTR), S_OK);  // en-US forms
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

// A text converted under an LCID; the HRESULT, and the value in `out`.
HRESULT FromText(const char16_t* text, LCID lcid, VARTYPE vt, VARIANT& out) {
    VARIANT in;
    in.vt = VT_BSTR;
    in.bstrVal = SysAllocString(text);
    VariantInit(&out);
    const HRESULT hr = VariantChangeTypeEx(&out, &in, lcid, 0, vt);
    VariantClear(&in);
    return hr;
}

double R8(const char16_t* text, LCID lcid = 1033) {
    VARIANT out;
    return FromText(text, lcid, VT_R8, out) == S_OK ? out.dblVal : -999.0;
}

std::u16string TextIn(VARIANT v, LCID lcid) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeTypeEx(&out, &v, lcid, 0, VT_BSTR), S_OK);
    std::u16string s(out.bstrVal ? out.bstrVal : u"", SysStringLen(out.bstrVal));
    VariantClear(&out);
    return s;
}

TEST(VariantText, CurrencySymbolsAndParenthesesAroundNumbers) {
    EXPECT_EQ(R8(u"$1"), 1.0);
    EXPECT_EQ(R8(u" $1,234.50 "), 1234.5);
    EXPECT_EQ(R8(u"(5)"), -5.0);
    EXPECT_EQ(R8(u"($1,000.25)"), -1000.25);
    EXPECT_EQ(R8(u"-$1"), -1.0);
    EXPECT_EQ(R8(u"$-1"), -1.0);
    EXPECT_EQ(R8(u"1$"), 1.0);
    EXPECT_EQ(R8(u"5-"), -5.0);
    VARIANT cy;
    ASSERT_EQ(FromText(u"$1,234.5678", 1033, VT_CY, cy), S_OK);
    EXPECT_EQ(cy.cyVal.int64, 12345678);  // exact, not through a double
    // Each mark counts once, and a sign inside parentheses is no number.
    for (const char16_t* bad : {u"$", u"()", u"$$1", u"(-5)", u"--5", u"(5", u"1 $ 2", u"€1"}) {
        VARIANT out;
        EXPECT_EQ(FromText(bad, 1033, VT_R8, out), DISP_E_TYPEMISMATCH);
    }
}

TEST(VariantText, TheLcidChoosesTheFormsOfNumbersAndDates) {
    if (!kvwin::FindLocale(1031))
        GTEST_SKIP() << "locale de-DE is not installed (scripts/setup.sh generates it)";
    EXPECT_EQ(R8(u"1,5", 1031), 1.5);
    EXPECT_EQ(R8(u"1.234,5", 1031), 1234.5);
    EXPECT_EQ(R8(u"1,5", 1033), 15.0);  // en-US: a group separator
    EXPECT_EQ(R8(u"1.234,50 \u20AC", 1031), 1234.5);
    EXPECT_EQ(R8(u"-1,5 \u20AC", 1031), -1.5);
    EXPECT_EQ(R8(u"$1", 1031), -999.0);  // not de-DE's symbol
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = 1.5;
    EXPECT_EQ(TextIn(v, 1031), u"1,5");
    EXPECT_EQ(TextIn(v, 1033), u"1.5");
    v.vt = VT_CY;
    v.cyVal.int64 = -22500;
    EXPECT_EQ(TextIn(v, 1031), u"-2,25");
    v.vt = VT_DATE;
    v.date = 45111.75;
    EXPECT_EQ(TextIn(v, 1031), u"04.07.2023 18:00:00");
    EXPECT_EQ(TextIn(v, 1033), u"7/4/2023 6:00:00 PM");
    VARIANT d;
    ASSERT_EQ(FromText(u"04.07.2023", 1031, VT_DATE, d), S_OK);
    EXPECT_EQ(d.date, 45111.0);
    ASSERT_EQ(FromText(u"7/4/2023", 1033, VT_DATE, d), S_OK);
    EXPECT_EQ(d.date, 45111.0);
    // An LCID with no locale here reads and writes en-US forms.
    EXPECT_EQ(R8(u"1,5", 0x7F), 15.0);
}

TEST(VariantText, VariantChangeTypeFollowsTheUsersLocale) {
    if (!kvwin::FindLocale(1031))
        GTEST_SKIP() << "locale de-DE is not installed (scripts/setup.sh generates it)";
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    VARIANT in, out;
    in.vt = VT_BSTR;
    in.bstrVal = SysAllocString(u"2,5");
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 2.5);
    VariantClear(&in);
    EXPECT_EQ(R8(u"2,5", LOCALE_USER_DEFAULT), 2.5);
    EXPECT_EQ(R8(u"2,5", LOCALE_SYSTEM_DEFAULT), 2.5);
    if (saved)
        setenv("LC_ALL", keep.c_str(), 1);
    else
        unsetenv("LC_ALL");
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

namespace {

TEST(VariantDates, SystemTimeRoundTripsAndLimits) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(45111.37850694444, &st));  // 4 July 2023 09:05:03
    EXPECT_EQ(st.wYear, 2023);
    EXPECT_EQ(st.wMonth, 7);
    EXPECT_EQ(st.wDay, 4);
    EXPECT_EQ(st.wDayOfWeek, 2);
    EXPECT_EQ(st.wHour * 3600 + st.wMinute * 60 + st.wSecond, 9 * 3600 + 5 * 60 + 3);
    double back = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &back));
    EXPECT_NEAR(back, 45111.37850694444, 1e-9);
    // Before the epoch the time of day still counts forward: -1.25 is 29 Dec 1899 06:00.
    ASSERT_TRUE(VariantTimeToSystemTime(-1.25, &st));
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wHour, 6);
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &back));
    EXPECT_DOUBLE_EQ(back, -1.25);
    // The first and last days, and one past each.
    ASSERT_TRUE(VariantTimeToSystemTime(-657434.0, &st));
    EXPECT_EQ(st.wYear, 100);
    EXPECT_EQ(st.wMonth, 1);
    ASSERT_TRUE(VariantTimeToSystemTime(2958465.9999, &st));
    EXPECT_EQ(st.wYear, 9999);
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
    SYSTEMTIME bad{2023, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &back));
    bad.wYear = 2024;
    EXPECT_TRUE(SystemTimeToVariantTime(&bad, &back));
    EXPECT_EQ(back, 45351.0);
}

std::u16string DateIn(LCID lcid, DATE d, ULONG flags = 0) {
    BSTR b = nullptr;
    EXPECT_EQ(VarBstrFromDate(d, lcid, flags, &b), S_OK);
    std::u16string s(b ? b : u"", SysStringLen(b));
    SysFreeString(b);
    return s;
}

double Parse(LCID lcid, const char16_t* text) {
    DATE d = -1e9;
    return VarDateFromStr(text, lcid, 0, &d) == S_OK ? d : -1e9;
}

TEST(VariantDates, TextInALocaleAgreesWithTheDefaultText) {
    VARIANT v;
    v.vt = VT_DATE;
    for (double d : {45111.37850694444, 45111.0, 0.75, -1.25, 2958465.5}) {
        v.date = d;
        EXPECT_EQ(DateIn(1033, d), ToText(v)) << d;
    }
    EXPECT_EQ(DateIn(1033, 45111.75, VAR_DATEVALUEONLY), u"7/4/2023");
    EXPECT_EQ(DateIn(1033, 45111.75, VAR_TIMEVALUEONLY), u"6:00:00 PM");
    if (kvwin::FindLocale(1031)) {
        EXPECT_EQ(DateIn(1031, 45111.75), u"04.07.2023 18:00:00");
    }
}

TEST(VariantDates, ReadingTheLocaleAndLongForms) {
    const double july4 = 45111.0, nine = (9 * 3600 + 5 * 60 + 3) / 86400.0;
    EXPECT_EQ(Parse(1033, u"7/4/2023"), july4);
    EXPECT_EQ(Parse(1033, u"2023-07-04"), july4);
    EXPECT_NEAR(Parse(1033, u"2023-07-04T09:05:03"), july4 + nine, 1e-9);
    EXPECT_EQ(Parse(1033, u"July 4, 2023"), july4);
    EXPECT_EQ(Parse(1033, u"Tuesday, July 4, 2023"), july4);
    EXPECT_EQ(Parse(1033, u"4-Jul-23"), july4);
    EXPECT_EQ(Parse(1033, u"13/1/2023"), 44939.0);  // no month 13: read as day first
    EXPECT_NEAR(Parse(1033, u"9:05:03 PM"), nine + 0.5, 1e-9);
    EXPECT_EQ(Parse(1033, u"2/29/2023"), -1e9);
    EXPECT_EQ(Parse(1033, u"2/29/2024"), 45351.0);
    EXPECT_EQ(Parse(1033, u"1/1/10000"), -1e9);
    EXPECT_EQ(Parse(1033, u"1/1/100"), -657434.0);
    EXPECT_EQ(Parse(1033, u"1/1/29"), 47119.0);  // 2029
    EXPECT_EQ(Parse(1033, u"1/1/30"), 10959.0);  // 1930
    EXPECT_EQ(Parse(1033, u"25:00"), -1e9);
    EXPECT_EQ(Parse(1033, u"hello"), -1e9);
    if (kvwin::FindLocale(1031)) {
        EXPECT_EQ(Parse(1031, u"04.07.2023"), july4);
        EXPECT_EQ(Parse(1031, u"4. Juli 2023"), july4);
        EXPECT_EQ(Parse(1031, u"Dienstag, 4. Juli 2023"), july4);
    }
    if (kvwin::FindLocale(1049)) {
        EXPECT_EQ(Parse(1049, u"4 \u0438\u044E\u043B\u044F 2023 \u0433."), july4);
    }
}

}  // namespace

namespace {

std::u16string Taken(BSTR b) {
    std::u16string s(b ? b : u"", SysStringLen(b));
    SysFreeString(b);
    return s;
}

TEST(VariantFormat, NumbersAndDatesInTheUsersLocale) {
    const char* saved = std::getenv("LC_ALL");
    std::string keep = saved ? saved : "";
    setenv("LC_ALL", "en_US.UTF-8", 1);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"-1234.5");
    BSTR out = nullptr;
    EXPECT_EQ(VarFormatNumber(&v, -1, -2, -1, -2, 0, &out), S_OK);
    EXPECT_EQ(Taken(out), u"(1,234.50)");
    EXPECT_EQ(VarFormatPercent(&v, 0, -2, 0, 0, 0, &out), S_OK);
    EXPECT_EQ(Taken(out), u"-123450%");
    VariantClear(&v);
    v.vt = VT_CY;
    v.cyVal.int64 = INT64_MIN;  // exact, even at the Currency limit
    EXPECT_EQ(VarFormatCurrency(&v, 4, -2, 0, -1, 0, &out), S_OK);
    EXPECT_EQ(Taken(out), u"-$922,337,203,685,477.5808");
    EXPECT_EQ(VarFormatNumber(&v, 100, -2, -2, -2, 0, &out), E_INVALIDARG);
    v.vt = VT_DATE;
    v.date = 45111.75;
    EXPECT_EQ(VarFormatDateTime(&v, 1, 0, &out), S_OK);
    EXPECT_EQ(Taken(out), u"Tuesday, July 4, 2023");
    EXPECT_EQ(VarFormatDateTime(&v, 4, 0, &out), S_OK);
    EXPECT_EQ(Taken(out), u"18:00");
    EXPECT_EQ(VarFormatDateTime(&v, 5, 0, &out), E_INVALIDARG);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"no number");
    EXPECT_EQ(VarFormatNumber(&v, -1, -2, -2, -2, 0, &out), DISP_E_TYPEMISMATCH);
    VariantClear(&v);
    if (saved)
        setenv("LC_ALL", keep.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

}  // namespace
