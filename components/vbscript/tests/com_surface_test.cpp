// How the engine meets COM objects beyond plain IDispatch: objects with IDispatchEx, the
// script's own IDispatchEx, assignments to the members of global-member items.
#include <atomic>
#include <map>
#include <vector>

#include "kvtest/com_support.h"
#include "kvtest/held_memory_bound.h"
#include "vbs_test_support.h"
#include "win/dispex.h"
#include "win/typeinfo.h"

namespace vbstest {
namespace {

using kvtest::Bstr;

std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out)
        c = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return out;
}

// An object reachable only through IDispatchEx: GetIDsOfNames and Invoke fail, names are
// matched with regard to case unless the caller asks otherwise. "Twice" is a method; every
// other name is a property.
class DynamicBag final : public kvwin::UntypedDispatch<IDispatchEx> {
  public:
    std::vector<std::u16string> names{u"Color", u"Size", u"Twice"};
    std::map<DISPID, _variant_t> values;
    std::vector<DWORD> lookups;  // grfdex of every GetDispID
    int invokes = 0;

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDispID(BSTR name, DWORD grfdex, DISPID* id) override {
        lookups.push_back(grfdex);
        *id = DISPID_UNKNOWN;
        std::u16string_view wanted(name, SysStringLen(name));
        for (size_t i = 0; i < names.size(); ++i) {
            bool same = (grfdex & fdexNameCaseInsensitive) ? Lower(names[i]) == Lower(wanted)
                                                           : names[i] == wanted;
            if (same) {
                *id = DISPID(i + 1);
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, IServiceProvider*) override {
        ++invokes;
        if (id < 1 || size_t(id) > names.size())
            return DISP_E_MEMBERNOTFOUND;
        if (names[size_t(id - 1)] == u"Twice") {
            if (!(flags & DISPATCH_METHOD) || params->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            _variant_t arg(params->rgvarg[0]);
            arg.ChangeType(VT_I4);
            if (result) {
                result->vt = VT_I4;
                result->lVal = 2 * arg.lVal;
            }
            return S_OK;
        }
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            values[id] = _variant_t(params->rgvarg[0]);
            return S_OK;
        }
        if (result)
            return VariantCopy(result, &values[id]);
        return S_OK;
    }
    STDMETHODIMP DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
    STDMETHODIMP GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

  private:
    ~DynamicBag() override = default;
};

// The script engine with one more named item.
void AddItem(Script& s, const std::u16string& name, IDispatch* object, DWORD flags) {
    object->AddRef();
    s.site->items[name] = object;
    ASSERT_EQ(s.engine->AddNamedItem(name.c_str(), flags), S_OK);
}

TEST(VBScriptComSurface, ObjectsWithIDispatchExAreBoundByNameWithoutRegardToCase) {
    ScopedApartment apartment;
    Script s;
    auto* bag = new DynamicBag();
    AddItem(s, u"Bag", bag, SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(s.Run(u"Bag.COLOR = \"red\"\n"
                    u"Test.ok Bag.color = \"red\", \"a put then a get\"\n"
                    u"Test.ok Bag.twice(21) = 42, \"a method with an argument\"\n"
                    u"Dim n : n = 0\n"
                    u"On Error Resume Next\n"
                    u"n = Bag.NoSuchThing\n"
                    u"Test.ok Err.Number = 438, \"an unknown name: \" & Err.Number\n"),
              S_OK)
        << s.Errors();
    s.ExpectChecksPassed(3);
    ASSERT_FALSE(bag->lookups.empty());
    for (DWORD grfdex : bag->lookups)
        EXPECT_TRUE(grfdex & fdexNameCaseInsensitive);
    EXPECT_GE(bag->invokes, 3);
    bag->Release();
}

TEST(VBScriptComSurface, TheScriptDispatchLetsAHostAddFindAndWalkGlobals) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Run(u"Dim counter : counter = 1\nConst Limit = 9\n"
                    u"Function Add(a, b)\n Add = a + b\nEnd Function\n"),
              S_OK)
        << s.Errors();
    IDispatch* global = nullptr;
    ASSERT_EQ(s.engine->GetScriptDispatch(nullptr, &global), S_OK);
    IDispatchEx* ex = nullptr;
    ASSERT_EQ(global->QueryInterface(IID_PPV_ARGS(&ex)), S_OK);
    global->Release();

    // A member the host adds is a global the next block sees.
    DISPID added = DISPID_UNKNOWN;
    EXPECT_EQ(ex->GetDispID(Bstr(u"FromHost"), fdexNameCaseSensitive, &added), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(added, DISPID_UNKNOWN);
    ASSERT_EQ(ex->GetDispID(Bstr(u"FromHost"), fdexNameEnsure, &added), S_OK);
    VARIANT seven;
    seven.vt = VT_I4;
    seven.lVal = 7;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS put_params{&seven, &put, 1, 1};
    ASSERT_EQ(ex->InvokeEx(added, 0, DISPATCH_PROPERTYPUT, &put_params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(s.Parse(u"Test.ok FROMHOST * counter = 7, \"the host's global\""), S_OK)
        << s.Errors();
    EXPECT_EQ(s.helper->checks, 1);
    EXPECT_TRUE(s.helper->failures.empty());
    EXPECT_EQ(ex->GetDispID(Bstr(u"not a name"), fdexNameEnsure, &added), DISP_E_UNKNOWNNAME);

    // Walking the globals gives the script's names, not the host's named items.
    std::vector<std::u16string> names;
    DISPID id = DISPID_STARTENUM;
    while (ex->GetNextDispID(fdexEnumAll, id, &id) == S_OK && names.size() < 100) {
        BSTR name = nullptr;
        ASSERT_EQ(ex->GetMemberName(id, &name), S_OK);
        names.push_back(kvtest::Take(name));
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"counter", u"Limit", u"Add", u"FromHost"}));

    DISPID add = 0;
    ASSERT_EQ(ex->GetDispID(Bstr(u"ADD"), fdexNameCaseInsensitive, &add), S_OK);
    DWORD props = 0;
    ASSERT_EQ(ex->GetMemberProperties(add, grfdexPropAll, &props), S_OK);
    EXPECT_TRUE(props & fdexPropCanCall);
    EXPECT_TRUE(props & fdexPropCannotPut);
    DISPID limit = 0;
    ASSERT_EQ(ex->GetDispID(Bstr(u"limit"), 0, &limit), S_OK);
    ASSERT_EQ(ex->GetMemberProperties(limit, fdexPropCanPut | fdexPropCannotPut, &props), S_OK);
    EXPECT_EQ(props, DWORD(fdexPropCannotPut));
    ex->Release();
}

// An object without type information of its own that names its class through
// IProvideClassInfo (when `provides`), or an object that says nothing about its class.
class Anonymous final : public kvwin::UntypedDispatch<IDispatch, IProvideClassInfo> {
  public:
    explicit Anonymous(bool provides) : provides_(provides) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override {
        *info = provides_ ? new kvwin::ClassNameInfo(u"Widget") : nullptr;
        return provides_ ? S_OK : E_NOTIMPL;
    }

  private:
    ~Anonymous() override = default;
    bool provides_;
};

// An object without IDispatch, which a script's variable cannot hold.
class Opaque final : public kvwin::ComObject<IUnknown> {
  private:
    ~Opaque() override = default;
};

// Every name is the one method: it returns a text and puts an Opaque into its by-reference
// argument, which the script cannot take back.
class OpaqueFiller final : public kvwin::UntypedDispatch<IDispatch> {
  public:
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* id) override {
        *id = 1;
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (params->cArgs != 1 || params->rgvarg[0].vt != (VT_BYREF | VT_VARIANT))
            return DISP_E_TYPEMISMATCH;
        VARIANT* out = params->rgvarg[0].pvarVal;
        VariantClear(out);
        out->vt = VT_UNKNOWN;
        out->punkVal = new Opaque();
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(u"a result the call failed to hand over");
        }
        return S_OK;
    }

  private:
    ~OpaqueFiller() override = default;
};

TEST(VBScriptComSurface, AnOutArgumentTheScriptCannotTakeIsAnErrorAndLeaksNothing) {
    // The sanitizer build's leak check is what sees the call's result left behind.
    ScopedApartment apartment;
    Script s;
    auto* filler = new OpaqueFiller();
    AddItem(s, u"Filler", filler, SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(s.Run(u"Dim x, r\n"
                    u"On Error Resume Next\n"
                    u"r = Filler.Fill(x)\n"
                    u"Test.ok Err.Number = 13, \"a type mismatch: \" & Err.Number\n"
                    u"Test.ok IsEmpty(r), \"no result\"\n"),
              S_OK)
        << s.Errors();
    s.ExpectChecksPassed(2);
    filler->Release();
}

TEST(VBScriptComSurface, TypeNameOfAnObjectIsTheClassItsTypeInformationNames) {
    ScopedApartment apartment;
    Script s;
    auto* widget = new Anonymous(true);
    auto* plain = new Anonymous(false);
    AddItem(s, u"Widget", widget, SCRIPTITEM_ISVISIBLE);
    AddItem(s, u"Plain", plain, SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(s.Run(u"Test.ok TypeName(Widget) = \"Widget\", TypeName(Widget)\n"
                    u"Test.ok TypeName(Plain) = \"Object\", TypeName(Plain)\n"
                    u"Test.ok TypeName(CreateObject(\"Scripting.Dictionary\")) = \"Dictionary\","
                    u" \"a Dictionary\"\n"),
              S_OK)
        << s.Errors();
    s.ExpectChecksPassed(3);
    widget->Release();
    plain->Release();
}

TEST(VBScriptComSurface, ForEachPullsTheItemsOfACollectionOneAtATime) {
    ScopedApartment apartment;
    Script s;
    auto* three = new CountingCollection(3);
    AddItem(s, u"Three", three, SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(s.Run(u"Dim x, seen\n"
                    u"For Each x In Three\n"
                    u" Test.ok Three.Produced = x, \"item \" & x & \" after \" & Three.Produced\n"
                    u" seen = seen & x\n"
                    u"Next\n"
                    u"Test.ok seen = \"123\", \"every item once: \" & seen\n"
                    u"Test.ok Three.Live = 0, \"the enumerator goes with the loop\"\n"
                    // Leaving early lets go of the enumerator too.
                    u"For Each x In Three\n"
                    u" If x = 2 Then Exit For\n"
                    u"Next\n"
                    u"Test.ok Three.Produced = 5, \"no item fetched after Exit For\"\n"),
              S_OK)
        << s.Errors();
    s.ExpectChecksPassed(6);
    EXPECT_EQ(three->live.load(), 0);
    three->Release();
}

TEST(VBScriptComSurface, ForEachOverAnEndlessCollectionEndsWithTheScript) {
    ScopedApartment apartment;
    Script s;
    auto* endless = new CountingCollection(-1);
    AddItem(s, u"Endless", endless, SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(s.Run(u"Dim x\n"
                    u"For Each x In Endless\n"
                    u" If x = 100000 Then Exit For\n"
                    u"Next\n"
                    u"Test.ok x = 100000, \"stopped at \" & x\n"),
              S_OK)
        << s.Errors();
    EXPECT_TRUE(s.helper->failures.empty());
    EXPECT_EQ(endless->produced.load(), 100000);
    EXPECT_EQ(endless->live.load(), 0);
    endless->Release();
}

// What a script piles up inside objects (a dictionary's entries, the texts match collections
// keep) stops at the bound on what objects hold for scripts with error 7, which the script
// catches; once it lets go, the room is there again.
TEST(VBScriptComSurface, ObjectsAScriptFillsStopAtTheHeldMemoryBoundWithError7) {
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    {
        Script s;
        EXPECT_EQ(s.Run(u"On Error Resume Next\n"
                        u"Set d = CreateObject(\"Scripting.Dictionary\")\n"
                        u"For i = 1 To 1000 : d.Add i, Space(10000) : If Err Then Exit For\n"
                        u"Next\n"
                        u"Test.ok Err.Number = 7 And i > 40 And i < 52, Err.Number & \" at \" & i\n"
                        u"Err.Clear : d.RemoveAll\n"
                        u"Set re = New RegExp : re.Pattern = \"x\"\n"
                        u"Dim kept(100)\n"
                        u"For i = 0 To 100 : Set kept(i) = re.Execute(Space(100000)) : If Err Then "
                        u"Exit For\n"
                        u"Next\n"
                        u"Test.ok Err.Number = 7 And i > 3 And i < 6, Err.Number & \" at \" & i\n"
                        u"Erase kept : Err.Clear\n"
                        u"Set m = re.Execute(Space(100000))\n"
                        u"Test.ok Err.Number = 0 And m.Count = 0, Err.Number\n"
                        u"Set d = Nothing : Set m = Nothing\n"),
                  S_OK)
            << s.Errors();
        s.ExpectChecksPassed(3);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

// The objects themselves count too: a script that keeps new objects in an array (empty
// dictionaries, regular expressions, instances of its own classes) stops with error 7, which
// it catches, and has the room again once it lets them go. Without On Error the host hears of
// error 7 like any other, though the bound is still full when it is reported.
TEST(VBScriptComSurface, ObjectsAScriptKeepsInNumbersStopAtTheHeldMemoryBound) {
    ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 2000000);
    {
        Script s;
        EXPECT_EQ(s.Run(u"On Error Resume Next\n"
                        u"Class Thing\n"
                        u"  Public a, b, c\n"
                        u"End Class\n"
                        u"For kind = 0 To 2\n"
                        u"  ReDim kept(1000000)\n"
                        u"  For i = 0 To 1000000\n"
                        u"    Select Case kind\n"
                        u"      Case 0 : Set kept(i) = CreateObject(\"Scripting.Dictionary\")\n"
                        u"      Case 1 : Set kept(i) = New RegExp\n"
                        u"      Case 2 : Set kept(i) = New Thing\n"
                        u"    End Select\n"
                        u"    If Err Then Exit For\n"
                        u"  Next\n"
                        u"  Test.ok Err.Number = 7 And i > 1000 And i < 100000, kind & \": \" & "
                        u"Err.Number & \" after \" & i\n"
                        u"  Err.Clear\n"
                        u"Next\n"
                        u"Erase kept\n"
                        u"Set d = CreateObject(\"Scripting.Dictionary\")\n"
                        u"Test.ok Err.Number = 0, Err.Number\n"),
                  S_OK)
            << s.Errors();
        s.ExpectChecksPassed(4);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
    {
        Script s;
        EXPECT_NE(s.Run(u"ReDim kept(1000000)\n"
                        u"For i = 0 To 1000000 : Set kept(i) = New RegExp : Next\n"),
                  S_OK);
        ASSERT_EQ(s.site->errors.size(), 1u);
        EXPECT_EQ(s.site->errors[0].code, HRESULT(0x800A0007)) << s.Errors();
        EXPECT_EQ(s.site->errors[0].line, 1u);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
}  // namespace vbstest
