// _bstr_t, _variant_t and _com_ptr_t: sharing, ownership and conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "com_test_support.h"
#include "win/comdef.h"

namespace comtest {
_COM_SMARTPTR_TYPEDEF(IProbe, __uuidof(IProbe));
_COM_SMARTPTR_TYPEDEF(IOther, __uuidof(IOther));
_COM_SMARTPTR_TYPEDEF(IAbsent, __uuidof(IAbsent));
}  // namespace comtest

namespace {

using comtest::IAbsentPtr;
using comtest::IOtherPtr;
using comtest::IProbe;
using comtest::IProbePtr;
using comtest::Probe;
using comtest::RefCount;
using comtest::Text;

std::u16string Text(const _bstr_t& b) {
    return std::u16string(static_cast<const WCHAR*>(b), b.length());
}

HRESULT RaisedBy(const std::function<void()>& body) {
    try {
        body();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

// What an [out] parameter filler does.
void FillText(BSTR* out, const WCHAR* text) {
    *out = SysAllocString(text);
}
void FillObject(IProbe** out, IProbe* object) {
    object->AddRef();
    *out = object;
}

// ---- _bstr_t ------------------------------------------------------------------------------

TEST(Bstr, CopiesShareTheTextAndChangesStayWithTheChangedCopy) {
    _bstr_t a(u"alpha");
    _bstr_t b = a;
    EXPECT_EQ(static_cast<const WCHAR*>(a), static_cast<const WCHAR*>(b));
    b = u"beta";
    EXPECT_EQ(Text(a), u"alpha");
    EXPECT_EQ(Text(b), u"beta");

    _bstr_t c = a;
    c += u"!";
    EXPECT_EQ(Text(a), u"alpha");
    EXPECT_EQ(Text(c), u"alpha!");
    EXPECT_EQ(Text(u"<" + a + _bstr_t(">")), u"<alpha>");
    EXPECT_EQ(Text("x" + _bstr_t()), u"x");
    EXPECT_EQ((_bstr_t() + _bstr_t()).length(), 0u);

    // Assigning a text from the object itself copies it before letting go.
    a = static_cast<const WCHAR*>(a);
    EXPECT_EQ(Text(a), u"alpha");
    a = a;
    EXPECT_EQ(Text(a), u"alpha");
    _bstr_t moved = std::move(c);
    EXPECT_EQ(Text(moved), u"alpha!");
}

TEST(Bstr, AttachDetachCopyAndGetAddressMoveOwnership) {
    BSTR raw = SysAllocString(u"owned");
    _bstr_t holder;
    holder.Attach(raw);
    EXPECT_EQ(static_cast<const WCHAR*>(holder), raw);
    EXPECT_EQ(holder.Detach(), raw);
    EXPECT_TRUE(!holder);
    SysFreeString(raw);  // ours again

    // Detach refuses when the text is shared, or absent.
    _bstr_t one(u"one");
    _bstr_t two = one;
    EXPECT_EQ(RaisedBy([&] { one.Detach(); }), E_POINTER);
    EXPECT_EQ(RaisedBy([&] { _bstr_t().Detach(); }), E_POINTER);
    EXPECT_EQ(Text(one), u"one");

    // copy() is the caller's; copy(false) is the shared one.
    BSTR copied = one.copy();
    EXPECT_NE(copied, static_cast<const WCHAR*>(one));
    EXPECT_EQ(Text(copied), u"one");
    SysFreeString(copied);
    EXPECT_EQ(one.copy(false), static_cast<const WCHAR*>(one));

    // GetAddress drops this copy's text (the other copy keeps it) and takes the result.
    FillText(one.GetAddress(), u"refilled");
    EXPECT_EQ(Text(one), u"refilled");
    EXPECT_EQ(Text(two), u"one");
    FillText(one.GetAddress(), u"again");  // the unshared old text is freed
    EXPECT_EQ(Text(one), u"again");

    // Copying keeps the length; attaching takes the BSTR itself.
    BSTR with_nul = SysAllocStringLen(u"a\0b", 3);
    _bstr_t kept(with_nul, true);
    EXPECT_EQ(kept.length(), 3u);
    EXPECT_NE(static_cast<const WCHAR*>(kept), with_nul);
    _bstr_t adopted(with_nul, false);
    EXPECT_EQ(static_cast<const WCHAR*>(adopted), with_nul);
    _bstr_t assigned;
    assigned.Assign(with_nul);
    EXPECT_EQ(assigned.length(), 3u);
    EXPECT_NE(static_cast<const WCHAR*>(assigned), with_nul);
    BSTR& inner = assigned.GetBSTR();
    EXPECT_EQ(static_cast<const WCHAR*>(assigned), inner);
}

TEST(Bstr, ComparisonsAreOrdinalAndAnsiTextUsesTheAnsiPage) {
    EXPECT_TRUE(_bstr_t(u"a") < _bstr_t(u"b"));
    EXPECT_TRUE(_bstr_t(u"ab") > u"a");
    EXPECT_TRUE(_bstr_t(u"B") < u"a");  // code units, not letters
    EXPECT_TRUE(_bstr_t(u"same") == u"same");
    EXPECT_TRUE(_bstr_t(u"same") != "Same");
    EXPECT_TRUE(_bstr_t() == _bstr_t(u""));
    _bstr_t with_nul(SysAllocStringLen(u"a\0b", 3), false);
    EXPECT_TRUE(with_nul != u"a");
    EXPECT_TRUE(with_nul > u"a");

    _bstr_t from_ansi("caf\xe9 \x80");
    EXPECT_EQ(Text(from_ansi), u"caf\u00e9 \u20ac");
    const char* back = from_ansi;
    EXPECT_STREQ(back, "caf\xe9 \x80");
    EXPECT_EQ(static_cast<const char*>(from_ansi), back);  // built once
    EXPECT_EQ(static_cast<const char*>(_bstr_t()), nullptr);
}

// ---- _variant_t ---------------------------------------------------------------------------

TEST(Variant, ConstructorsFollowTheWindowsTypedefs) {
    LONG l = -5;
    DWORD dw = 5;
    LONGLONG ll = -(1LL << 40);
    ULONGLONG ull = 1ULL << 63;
    EXPECT_EQ(_variant_t(l).vt, VT_I4);
    EXPECT_EQ(_variant_t(dw).vt, VT_UI4);
    EXPECT_EQ(_variant_t(ll).vt, VT_I8);
    EXPECT_EQ(_variant_t(ll).llVal, ll);
    EXPECT_EQ(_variant_t(ull).vt, VT_UI8);
    _variant_t flag(true);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    _variant_t as_bool(short(2), VT_BOOL);
    EXPECT_EQ(as_bool.boolVal, VARIANT_TRUE);
    _variant_t error(int(E_FAIL), VT_ERROR);
    EXPECT_EQ(error.vt, VT_ERROR);
    EXPECT_EQ(error.scode, E_FAIL);
    EXPECT_EQ(RaisedBy([] { _variant_t bad(short(1), VT_R8); }), E_INVALIDARG);
    EXPECT_EQ(RaisedBy([] { _variant_t bad(1, VT_I2); }), E_INVALIDARG);

    _bstr_t text(u"words");
    _variant_t from_bstr(text);
    EXPECT_EQ(from_bstr.vt, VT_BSTR);
    EXPECT_NE(from_bstr.bstrVal, static_cast<const WCHAR*>(text));  // a copy of its own
    EXPECT_EQ(Text(from_bstr.bstrVal), u"words");
    EXPECT_EQ(Text(_variant_t("caf\xe9").bstrVal), u"caf\u00e9");
}

TEST(Variant, ExtractorsConvertOrRaiseAndLeaveTheSourceAlone) {
    _variant_t number(u"42");
    EXPECT_EQ(static_cast<LONG>(number), 42);
    EXPECT_EQ(static_cast<LONGLONG>(number), 42);
    EXPECT_EQ(number.vt, VT_BSTR);
    EXPECT_DOUBLE_EQ(static_cast<double>(_variant_t(u"2.5")), 2.5);
    EXPECT_FALSE(static_cast<bool>(_variant_t(0)));
    EXPECT_TRUE(static_cast<bool>(_variant_t(7)));
    EXPECT_EQ(Text(static_cast<_bstr_t>(_variant_t(-42))), u"-42");
    _bstr_t direct(_variant_t(12.5));
    EXPECT_EQ(Text(direct), u"12.5");

    EXPECT_EQ(RaisedBy([] { (void)static_cast<LONG>(_variant_t(u"abc")); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<short>(_variant_t(u"70000")); }), DISP_E_OVERFLOW);
    _variant_t null_value;
    null_value.vt = VT_NULL;
    EXPECT_EQ(RaisedBy([&] { (void)static_cast<LONG>(null_value); }), DISP_E_TYPEMISMATCH);

    _variant_t changing(u"12");
    changing.ChangeType(VT_I4);
    EXPECT_EQ(changing.vt, VT_I4);
    EXPECT_EQ(changing.lVal, 12);
    _variant_t stays(u"abc");
    EXPECT_EQ(RaisedBy([&] { stays.ChangeType(VT_I4); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(stays.vt, VT_BSTR);
    EXPECT_EQ(Text(stays.bstrVal), u"abc");
}

TEST(Variant, OwnsItsObjectsAndTexts) {
    bool destroyed = false;
    IProbe* probe = new Probe(&destroyed);
    {
        _variant_t held(static_cast<IUnknown*>(probe));
        EXPECT_EQ(held.vt, VT_UNKNOWN);
        EXPECT_EQ(RefCount(probe), 2u);
        _variant_t copy = held;
        EXPECT_EQ(RefCount(probe), 3u);
        IUnknown* extracted = copy;  // the extractor adds a reference
        EXPECT_EQ(RefCount(probe), 4u);
        extracted->Release();
        copy = held;  // self-contained: no change in count
        EXPECT_EQ(RefCount(probe), 3u);
        copy = copy;
        EXPECT_EQ(RefCount(probe), 3u);
        copy = 5;  // the object is released
        EXPECT_EQ(copy.vt, VT_I4);
        EXPECT_EQ(RefCount(probe), 2u);
        *held.GetAddress() = _variant_t(1.0).Detach();  // clears first
        EXPECT_EQ(RefCount(probe), 1u);
    }
    probe->AddRef();
    { _variant_t adopted(static_cast<IUnknown*>(probe), false); }
    EXPECT_FALSE(destroyed);
    { _variant_t last(static_cast<IUnknown*>(probe), false); }
    EXPECT_TRUE(destroyed);

    // Attach and the non-copying constructor take a VARIANT's contents and empty it;
    // Detach hands them back.
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = SysAllocString(u"moved");
    BSTR text = raw.bstrVal;
    _variant_t taker;
    taker.Attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(taker.bstrVal, text);
    VARIANT out = taker.Detach();
    EXPECT_EQ(taker.vt, VT_EMPTY);
    EXPECT_EQ(out.bstrVal, text);
    _variant_t moved_in(out, false);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_EQ(moved_in.bstrVal, text);
    _variant_t copied_in(static_cast<VARIANT&>(moved_in), true);
    EXPECT_NE(copied_in.bstrVal, text);
    EXPECT_TRUE(copied_in == moved_in);

    // A text assigned from the variant's own text stays readable while it is copied.
    moved_in = static_cast<const WCHAR*>(moved_in.bstrVal);
    EXPECT_EQ(Text(moved_in.bstrVal), u"moved");
}

TEST(Variant, AssignmentKeepsBooleanErrorAndDateTypes) {
    _variant_t flag(false);
    flag = 5;
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    flag = short(0);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_FALSE);
    _variant_t when(1.0, VT_DATE);
    when = 2.5;
    EXPECT_EQ(when.vt, VT_DATE);
    EXPECT_DOUBLE_EQ(when.date, 2.5);
    _variant_t text(u"x");
    text = 5;
    EXPECT_EQ(text.vt, VT_I4);
    text = LONGLONG(5);
    EXPECT_EQ(text.vt, VT_I8);

    EXPECT_TRUE(_variant_t(u"x") == _variant_t(u"x"));
    EXPECT_FALSE(_variant_t(u"x") == _variant_t(u"y"));
    EXPECT_FALSE(_variant_t(5) == _variant_t(LONGLONG(5)));  // types differ
}

// ---- _com_ptr_t ---------------------------------------------------------------------------

TEST(ComPtr, HoldsOneReferenceAndReleasesBeforeAnOutParameter) {
    bool destroyed = false;
    IProbe* probe = new Probe(&destroyed);
    {
        IProbePtr first(probe);
        EXPECT_EQ(RefCount(probe), 2u);
        IProbePtr second = first;
        EXPECT_EQ(RefCount(probe), 3u);
        second = first;
        second = second;
        EXPECT_EQ(RefCount(probe), 3u);
        IProbePtr moved = std::move(second);
        EXPECT_TRUE(second == nullptr);
        EXPECT_EQ(RefCount(probe), 3u);

        // operator& lets go of the old object first.
        bool other_destroyed = false;
        IProbePtr out(new Probe(&other_destroyed), false);
        FillObject(&out, probe);
        EXPECT_TRUE(other_destroyed);
        EXPECT_EQ(out.GetInterfacePtr(), probe);
        EXPECT_EQ(RefCount(probe), 4u);

        IProbe* detached = out.Detach();
        EXPECT_TRUE(!out);
        EXPECT_EQ(RefCount(probe), 4u);
        out.Attach(detached);  // takes the reference back, no new one
        EXPECT_EQ(RefCount(probe), 4u);
        EXPECT_EQ(out->Tag(), 7);
        out = nullptr;
        moved = NULL;
        EXPECT_EQ(RefCount(probe), 2u);
    }
    EXPECT_EQ(RefCount(probe), 1u);
    probe->Release();
    EXPECT_TRUE(destroyed);

    IProbePtr empty;
    EXPECT_TRUE(empty == nullptr);
    EXPECT_TRUE(empty == NULL);
    EXPECT_TRUE(empty == 0);
    EXPECT_FALSE(static_cast<bool>(empty));
    EXPECT_EQ(RaisedBy([&] { empty->Tag(); }), E_POINTER);
    EXPECT_EQ(RaisedBy([&] { empty.Release(); }), E_POINTER);
    IProbe* raw = nullptr;
    EXPECT_EQ(empty.QueryInterface(__uuidof(IProbe), raw), E_POINTER);
}

TEST(ComPtr, ConvertsThroughQueryInterfaceAndComparesIdentities) {
    IProbePtr probe(new Probe(), false);
    IOtherPtr other = probe;
    ASSERT_TRUE(other);
    EXPECT_EQ(other->Other(), 8);
    EXPECT_NE(static_cast<void*>(other.GetInterfacePtr()),
              static_cast<void*>(probe.GetInterfacePtr()));
    EXPECT_TRUE(other == probe);  // the same object
    EXPECT_TRUE(probe == other.GetInterfacePtr());
    IUnknownPtr unknown = other;
    EXPECT_TRUE(unknown == probe);

    IProbePtr another(new Probe(), false);
    EXPECT_FALSE(another == probe);
    EXPECT_TRUE((another < probe) != (probe < another));

    // E_NOINTERFACE leaves a null pointer and raises nothing.
    IAbsentPtr absent = probe;
    EXPECT_TRUE(absent == nullptr);
    absent = other.GetInterfacePtr();
    EXPECT_TRUE(absent == nullptr);

    comtest::IOther* raw = nullptr;
    EXPECT_EQ(probe.QueryInterface(__uuidof(comtest::IOther), &raw), S_OK);
    EXPECT_EQ(raw, other.GetInterfacePtr());
    raw->Release();

    // From a variant: the object it holds, null for empty, a failure for a number.
    _variant_t holding(static_cast<IUnknown*>(probe));
    IOtherPtr from_variant(holding);
    EXPECT_TRUE(from_variant == probe);
    IOtherPtr from_empty = _variant_t();
    EXPECT_TRUE(from_empty == nullptr);
    EXPECT_EQ(RaisedBy([] { IOtherPtr bad(_variant_t(5)); }), DISP_E_TYPEMISMATCH);
}

}  // namespace
