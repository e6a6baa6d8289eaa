// Scripting.Dictionary through IDispatch, as the script engines call it.
#include <memory>

#include "kvtest/held_memory_bound.h"
#include "kvwin/utf.h"
#include "scripting_test_support.h"

namespace scriptingtest {
namespace {

constexpr HRESULT kKeyExists = HRESULT(0x800A01C9);
constexpr HRESULT kNotFound = HRESULT(0x800A802B);
constexpr HRESULT kInvalidCall = HRESULT(0x800A0005);

_variant_t Short(short v) {
    _variant_t x;
    x.vt = VT_I2;
    x.iVal = v;
    return x;
}

_variant_t Currency(LONGLONG units) {
    _variant_t x;
    x.vt = VT_CY;
    x.cyVal.int64 = units * 10000;
    return x;
}

_variant_t Date(double days) {
    _variant_t x;
    x.vt = VT_DATE;
    x.date = days;
    return x;
}

_variant_t Single(float f) {
    _variant_t x;
    x.vt = VT_R4;
    x.fltVal = f;
    return x;
}

_variant_t Null() {
    _variant_t x;
    x.vt = VT_NULL;
    return x;
}

// A VT_BYREF | VT_VARIANT to a text that lives as long as the program.
_variant_t ByRef(const char16_t* text) {
    static std::vector<std::unique_ptr<_variant_t>> targets;
    targets.push_back(std::make_unique<_variant_t>(text));
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BYREF | VT_VARIANT;
    x.pvarVal = targets.back().get();
    return _variant_t(x);
}

// The keys, or items, as the SAFEARRAY the dictionary returns them in.
std::vector<std::u16string> Texts(const _variant_t& array) {
    std::vector<std::u16string> out;
    EXPECT_EQ(array.vt, VT_ARRAY | VT_VARIANT);
    if (array.vt != (VT_ARRAY | VT_VARIANT))
        return out;
    LONG lower = -1, upper = -2;
    SafeArrayGetLBound(array.parray, 1, &lower);
    SafeArrayGetUBound(array.parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    for (LONG i = lower; i <= upper; ++i) {
        _variant_t v;
        SafeArrayGetElement(array.parray, &i, &v);
        out.push_back(v.vt == VT_BSTR ? std::u16string(v.bstrVal) : u"?");
    }
    return out;
}

TEST(Dictionary, KeysMatchByValueAndCompareMode) {
    ScopedApartment apartment;
    struct Case {
        const char* what;
        int mode;
        _variant_t first, second;
        bool same;
    } cases[] = {
        {"equal texts", 0, u"a", u"a", true},
        {"case differs, binary", 0, u"a", u"A", false},
        {"case differs, text", 1, u"a", u"A", true},
        {"case differs, database", 2, u"Key", u"kEY", true},
        {"number and its text", 0, 1, u"1", false},
        {"two integer types", 0, 1, Short(1), true},
        {"integer and real", 0, 2, 2.0, true},
        {"different numbers", 0, 2, 2.5, false},
        {"empty and empty text", 0, _variant_t(), u"", false},
        {"integer and currency", 0, 3, Currency(3), true},
        {"integer and date", 0, 2, Date(2.0), true},
        {"single and double", 0, Single(0.5f), 0.5, true},
        {"zero and negative zero", 0, 0.0, -0.0, true},
        {"by reference and by value", 0, ByRef(u"r"), u"r", true},
        {"null and empty", 0, Null(), _variant_t(), false},
        {"text mode: non-ASCII case", 1, u"Ärger", u"äRGER", true},
        {"binary mode: non-ASCII case", 0, u"Ärger", u"äRGER", false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        IDispatchPtr d = Create(u"Scripting.Dictionary");
        EXPECT_EQ(Put(d, u"CompareMode", {c.mode}).hr, S_OK);
        EXPECT_EQ(Method(d, u"Add", {c.first, u"x"}).hr, S_OK);
        Outcome exists = Method(d, u"Exists", {c.second});
        EXPECT_EQ(exists.result.vt, VT_BOOL);
        EXPECT_EQ(exists.result.boolVal != VARIANT_FALSE, c.same);
        Outcome again = Method(d, u"Add", {c.second, u"y"});
        if (c.same) {
            EXPECT_EQ(again.hr, DISP_E_EXCEPTION);
            EXPECT_EQ(again.scode, kKeyExists);
            EXPECT_EQ(again.description,
                      u"This key is already associated with an element of this collection");
        } else {
            EXPECT_EQ(again.hr, S_OK);
        }
    }
}

TEST(Dictionary, ItemReadsAddMissingKeysAndPutsReplace) {
    ScopedApartment apartment;
    IDispatchPtr d = Create(u"Scripting.Dictionary");
    Outcome missing = Method(d, u"Item", {u"k"});
    EXPECT_EQ(missing.hr, S_OK);
    EXPECT_EQ(missing.result.vt, VT_EMPTY);
    EXPECT_EQ(Method(d, u"Count").result.lVal, 1);

    EXPECT_EQ(Put(d, u"Item", {u"k", 5}).hr, S_OK);
    EXPECT_EQ(Put(d, u"item", {u"new", 6}).hr, S_OK);  // names ignore case
    EXPECT_EQ(Method(d, u"Item", {u"k"}).result.lVal, 5);
    EXPECT_EQ(Method(d, u"Count").result.lVal, 2);

    // Item is the default member.
    DISPID id = -1;
    LPOLESTR name[] = {const_cast<LPOLESTR>(u"ITEM")};
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, DISPID_VALUE);
}

TEST(Dictionary, KeysItemsAndEnumerationKeepInsertionOrder) {
    ScopedApartment apartment;
    IDispatchPtr d = Create(u"Scripting.Dictionary");
    for (const char16_t* k : {u"c", u"a", u"b", u"d"})
        ASSERT_EQ(Method(d, u"Add", {k, _variant_t((std::u16string(k) + u"!").c_str())}).hr, S_OK);
    EXPECT_EQ(Method(d, u"Remove", {u"a"}).hr, S_OK);
    EXPECT_EQ(Texts(Method(d, u"Keys").result), (std::vector<std::u16string>{u"c", u"b", u"d"}));
    EXPECT_EQ(Texts(Method(d, u"Items").result),
              (std::vector<std::u16string>{u"c!", u"b!", u"d!"}));

    // Renaming keeps the place.
    EXPECT_EQ(Put(d, u"Key", {u"b", u"B"}).hr, S_OK);
    EXPECT_EQ(Texts(Method(d, u"Keys").result), (std::vector<std::u16string>{u"c", u"B", u"d"}));
    EXPECT_EQ(std::u16string(Method(d, u"Item", {u"B"}).result.bstrVal), u"b!");

    DISPPARAMS none{};
    _variant_t unknown;
    ASSERT_EQ(d->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                        &unknown, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(unknown.vt, VT_UNKNOWN);
    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(unknown.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)),
              S_OK);
    VARIANT got[4];
    ULONG fetched = 99;
    EXPECT_EQ(items->Next(4, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(std::u16string(got[0].bstrVal), u"c");
    EXPECT_EQ(std::u16string(got[2].bstrVal), u"d");
    for (ULONG i = 0; i < fetched; ++i)
        VariantClear(&got[i]);
    items->Release();
}

TEST(Dictionary, FailuresCarryTheWindowsCodes) {
    ScopedApartment apartment;
    IDispatchPtr d = Create(u"Scripting.Dictionary");
    ASSERT_EQ(Method(d, u"Add", {u"a", 1}).hr, S_OK);
    ASSERT_EQ(Method(d, u"Add", {u"b", 2}).hr, S_OK);
    struct Case {
        const char* what;
        Outcome outcome;
        HRESULT scode;
    } cases[] = {
        {"remove a missing key", Method(d, u"Remove", {u"zz"}), kNotFound},
        {"rename a missing key", Put(d, u"Key", {u"zz", u"y"}), kNotFound},
        {"rename onto another key", Put(d, u"Key", {u"a", u"b"}), kKeyExists},
        {"compare mode of a filled dictionary", Put(d, u"CompareMode", {1}), kInvalidCall},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(c.outcome.scode, c.scode);
    }
    EXPECT_EQ(Method(d, u"Add", {u"only one"}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Method(d, u"NoSuchMember").hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(Put(d, u"Count", {3}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Method(d, u"RemoveAll").hr, S_OK);
    EXPECT_EQ(Method(d, u"Count").result.lVal, 0);
    EXPECT_EQ(Put(d, u"CompareMode", {3}).scode, kInvalidCall);
}

TEST(Dictionary, ObjectKeysMatchByIdentity) {
    ScopedApartment apartment;
    IDispatchPtr d = Create(u"Scripting.Dictionary");
    IDispatchPtr a = Create(u"Scripting.Dictionary");
    IDispatchPtr b = Create(u"Scripting.Dictionary");
    EXPECT_EQ(Method(d, u"Add", {_variant_t(a.GetInterfacePtr()), 1}).hr, S_OK);
    EXPECT_EQ(Method(d, u"Add", {_variant_t(b.GetInterfacePtr()), 2}).hr, S_OK);
    EXPECT_EQ(Method(d, u"Item", {_variant_t(b.GetInterfacePtr())}).result.lVal, 2);
    EXPECT_EQ(Method(d, u"Count").result.lVal, 2);
}

// Many removals between additions: the order of what stays is the order of insertion, and
// every key still finds its own item (the index follows the entries as they move).
TEST(Dictionary, RemovalsKeepTheOrderAndTheIndexOfWhatStays) {
    ScopedApartment apartment;
    IDispatchPtr d = Create(u"Scripting.Dictionary");
    std::vector<std::u16string> expected;
    for (int i = 0; i < 300; ++i) {
        const std::u16string key = u"k" + kvwin::FromUtf8(std::to_string(i));
        ASSERT_EQ(Method(d, u"Add", {key.c_str(), i}).hr, S_OK);
        if (i % 3 != 0)
            ASSERT_EQ(Method(d, u"Remove", {key.c_str()}).hr, S_OK);
        else
            expected.push_back(key);
    }
    EXPECT_EQ(Texts(Method(d, u"Keys").result), expected);
    for (size_t i = 0; i < expected.size(); ++i) {
        Outcome item = Method(d, u"Item", {expected[i].c_str()});
        ASSERT_EQ(item.result.vt, VT_I4);
        EXPECT_EQ(item.result.lVal, LONG(i * 3));
    }
    EXPECT_EQ(Method(d, u"Count").result.lVal, LONG(expected.size()));
    // A renamed key keeps its place, answers to its new name only, and frees the old one.
    ASSERT_EQ(Put(d, u"Key", {u"k3", u"renamed"}).hr, S_OK);
    EXPECT_EQ(Texts(Method(d, u"Keys").result)[1], u"renamed");
    EXPECT_EQ(Method(d, u"Exists", {u"k3"}).result.boolVal, VARIANT_FALSE);
    EXPECT_EQ(Method(d, u"Item", {u"renamed"}).result.lVal, 3);
    EXPECT_EQ(Method(d, u"Add", {u"k3", 0}).hr, S_OK);
    EXPECT_EQ(Texts(Method(d, u"Keys").result).back(), u"k3");
    // Emptied, it takes keys again from the start.
    EXPECT_EQ(Method(d, u"RemoveAll").hr, S_OK);
    EXPECT_EQ(Method(d, u"Add", {u"k0", 1}).hr, S_OK);
    EXPECT_EQ(Texts(Method(d, u"Keys").result), std::vector<std::u16string>{u"k0"});
}

// What the entries hold is bounded: past it Add, Item and Key fail with E_OUTOFMEMORY and
// the dictionary keeps what it had; what is removed, or the dictionary itself, frees room.
TEST(Dictionary, HeldTextsStopAtTheBoundAndFreeTheirRoom) {
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    auto out_of_memory = [](const Outcome& o) {
        return o.hr == E_OUTOFMEMORY || (o.hr == DISP_E_EXCEPTION && o.scode == E_OUTOFMEMORY);
    };
    const _variant_t big(std::u16string(10000, u'x').c_str());  // 20 kB a copy
    {
        IDispatchPtr d = Create(u"Scripting.Dictionary");
        const size_t empty = kvwin::HeldMemoryInUse();  // the object itself counts too
        ASSERT_EQ(Method(d, u"Add", {u"small", 1}).hr, S_OK);
        int added = 0;
        Outcome last;
        for (; added < 1000; ++added) {
            last = Method(d, u"Add", {added, big});
            if (last.hr != S_OK)
                break;
        }
        EXPECT_TRUE(out_of_memory(last));
        EXPECT_GT(added, 40);
        EXPECT_LT(added, 51);
        EXPECT_EQ(Method(d, u"Count").result.lVal, added + 1);
        EXPECT_EQ(Method(d, u"Exists", {added}).result.boolVal, VARIANT_FALSE);
        // Filled to the last bytes, a big item or key in place of a small one is refused and
        // the old one stays.
        for (int i = 0; i < 1000 && Method(d, u"Add", {-1 - i, i}).hr == S_OK; ++i) {
        }
        EXPECT_TRUE(out_of_memory(Put(d, u"Item", {u"small", big})));
        EXPECT_TRUE(out_of_memory(Put(d, u"Key", {u"small", big})));
        EXPECT_EQ(Method(d, u"Item", {u"small"}).result.lVal, 1);
        // Replacing a big item with a small one gives its room back.
        ASSERT_EQ(Put(d, u"Item", {1, 0}).hr, S_OK);
        EXPECT_EQ(Put(d, u"Item", {u"small", big}).hr, S_OK);
        ASSERT_EQ(Method(d, u"RemoveAll").hr, S_OK);
        EXPECT_EQ(kvwin::HeldMemoryInUse(), empty);
        for (int i = 0; i < 40; ++i)
            ASSERT_EQ(Method(d, u"Add", {i, big}).hr, S_OK);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
}  // namespace scriptingtest
