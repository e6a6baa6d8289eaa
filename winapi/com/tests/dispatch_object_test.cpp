// IDispatch from member tables, and CoGetObject's prefix binders.
#include <gtest/gtest.h>

#include "kvwin/dispatch_object.h"
#include "kvwin/moniker_names.h"

namespace {

// Scale(value, [factor], [out]): value * factor (factor 2 when left out), also written to
// the out argument when one is passed by reference.
class Calculator final : public kvwin::DispatchObject<Calculator, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<Calculator>> DispatchMembers() {
        static const kvwin::DispatchMember<Calculator> members[] = {
            {u"Scale", 1, DISPATCH_METHOD, 1, 3, &Calculator::Scale},
            {u"Total", 2, DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, 0, 0, &Calculator::Total},
        };
        return members;
    }
    std::u16string_view ErrorSource() const override { return u"Calculator"; }
    LONG total = 0;

  private:
    ~Calculator() override = default;
    static HRESULT Scale(Calculator&, kvwin::DispatchCall& call) {
        VARIANT v, f;
        VariantInit(&v);
        VariantInit(&f);
        if (FAILED(VariantChangeType(&v, call.Arg(0), 0, VT_I4)))
            return call.Fail(HRESULT(0x800A000D), u"Type mismatch");
        f.vt = VT_I4;
        f.lVal = 2;
        if (call.Arg(1) && FAILED(VariantChangeType(&f, call.Arg(1), 0, VT_I4)))
            return call.Fail(HRESULT(0x800A000D), u"Type mismatch");
        LONG product = v.lVal * f.lVal;
        if (VARIANT* out = call.OutArg(2)) {
            VariantClear(out);
            out->vt = VT_I4;
            out->lVal = product;
        }
        if (call.Result()) {
            call.Result()->vt = VT_I4;
            call.Result()->lVal = product;
        }
        return S_OK;
    }
    static HRESULT Total(Calculator& self, kvwin::DispatchCall& call) {
        if (call.IsPut()) {
            VARIANT v;
            VariantInit(&v);
            HRESULT hr = VariantChangeType(&v, call.PutValue(), 0, VT_I4);
            if (SUCCEEDED(hr))
                self.total = v.lVal;
            return hr;
        }
        call.Result()->vt = VT_I4;
        call.Result()->lVal = self.total;
        return S_OK;
    }
};

// An object whose public class name is not its C++ name.
class FileSystem final : public kvwin::DispatchObject<FileSystem, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<FileSystem>> DispatchMembers() { return {}; }
    std::u16string_view TypeName() const override { return u"FileSystemObject"; }

  private:
    ~FileSystem() override = default;
};

// The name GetTypeInfo(0)'s GetDocumentation(MEMBERID_NIL) gives.
std::u16string ClassNameOf(IDispatch* object) {
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    if (object->GetTypeInfo(0, 0, &info) != S_OK || !info)
        return u"<no type information>";
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    std::u16string text = name ? std::u16string(name, SysStringLen(name)) : u"<null>";
    SysFreeString(name);
    info->Release();
    return text;
}

VARIANT I4(LONG v) {
    VARIANT x;
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}

VARIANT Missing() {
    VARIANT x;
    x.vt = VT_ERROR;
    x.scode = DISP_E_PARAMNOTFOUND;
    return x;
}

struct Fixture : ::testing::Test {
    Calculator* calc = new Calculator();
    ~Fixture() override { calc->Release(); }

    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> reversed, VARIANT* result,
                 EXCEPINFO* excep = nullptr, std::vector<DISPID> named = {}) {
        DISPPARAMS p{reversed.data(), named.data(), UINT(reversed.size()), UINT(named.size())};
        return calc->Invoke(id, IID_NULL, 0, flags, &p, result, excep, nullptr);
    }
};

TEST_F(Fixture, NamesIgnoreCaseAndUnknownNamesAreRefused) {
    DISPID ids[2] = {0, 0};
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"sCALE"), const_cast<LPOLESTR>(u"factor")};
    EXPECT_EQ(calc->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(calc->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Nope")};
    EXPECT_EQ(calc->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

TEST_F(Fixture, TypeInformationNamesTheClassAndNothingElse) {
    EXPECT_EQ(ClassNameOf(calc), u"Calculator");
    auto* fs = new FileSystem();
    EXPECT_EQ(ClassNameOf(fs), u"FileSystemObject");
    fs->Release();

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(calc->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info, nullptr);
    ASSERT_EQ(calc->GetTypeInfo(0, 0, &info), S_OK);
    IUnknown* same = nullptr;
    EXPECT_EQ(info->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&same)), S_OK);
    same->Release();
    // Members are not described, and what is not there comes back null.
    BSTR name = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(info->GetDocumentation(1, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(name, nullptr);
    TYPEATTR* attr = reinterpret_cast<TYPEATTR*>(1);
    EXPECT_EQ(info->GetTypeAttr(&attr), E_NOTIMPL);
    EXPECT_EQ(attr, nullptr);
    info->Release();
}

TEST_F(Fixture, OptionalAndOutArguments) {
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {I4(5)}, &r), S_OK);
    EXPECT_EQ(r.lVal, 10);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {Missing(), I4(5)}, &r), S_OK);  // factor left out
    EXPECT_EQ(r.lVal, 10);

    VARIANT target = I4(-1);
    VARIANT by_ref;
    by_ref.vt = VT_BYREF | VT_VARIANT;
    by_ref.pvarVal = &target;
    VARIANT factor_ref_target = I4(3);
    VARIANT factor_ref;
    factor_ref.vt = VT_BYREF | VT_VARIANT;
    factor_ref.pvarVal = &factor_ref_target;
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {by_ref, factor_ref, I4(7)}, &r), S_OK);
    EXPECT_EQ(r.lVal, 21);
    EXPECT_EQ(target.vt, VT_I4);
    EXPECT_EQ(target.lVal, 21);
}

TEST_F(Fixture, CallsOfTheWrongShapeAreRefusedBeforeTheMemberRuns) {
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {}, &r), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {I4(1), I4(1), I4(1), I4(1)}, &r), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYGET, {I4(1)}, &r), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(9, DISPATCH_METHOD, {}, &r), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {I4(1)}, &r, nullptr, {5}), DISP_E_NONAMEDARGS);
    // A put needs its value as the named DISPID_PROPERTYPUT argument.
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {I4(4)}, nullptr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {I4(4)}, nullptr, nullptr, {DISPID_PROPERTYPUT}), S_OK);
    EXPECT_EQ(calc->total, 4);
    // Script engines send METHOD and PROPERTYGET together.
    EXPECT_EQ(Call(2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 4);
}

TEST_F(Fixture, AFailureComesBackInTheExcepInfo) {
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"not a number");
    VARIANT r;
    VariantInit(&r);
    EXCEPINFO excep{};
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {text}, &r, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, HRESULT(0x800A000D));
    EXPECT_EQ(std::u16string(excep.bstrDescription), u"Type mismatch");
    EXPECT_EQ(std::u16string(excep.bstrSource), u"Calculator");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    // Without an EXCEPINFO the code itself is the answer.
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {text}, &r), HRESULT(0x800A000D));
    VariantClear(&text);
}

HRESULT BindCalculator(LPCOLESTR, REFIID riid, void** ppv) {
    auto* c = new Calculator();
    HRESULT hr = c->QueryInterface(riid, ppv);
    c->Release();
    return hr;
}

TEST(CoGetObject, RoutesDisplayNamesByPrefix) {
    kvwin::RegisterMonikerPrefix(u"calc:", BindCalculator);
    IDispatch* object = reinterpret_cast<IDispatch*>(0xdeadbeef);
    EXPECT_EQ(
        CoGetObject(u"CALC:anything", nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
        S_OK);
    ASSERT_NE(object, nullptr);
    object->Release();
    object = reinterpret_cast<IDispatch*>(0xdeadbeef);
    EXPECT_EQ(CoGetObject(u"other:x", nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
              MK_E_SYNTAX);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoGetObject(u"no colon", nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
              MK_E_SYNTAX);
    EXPECT_TRUE(kvwin::UnregisterMonikerPrefix(u"Calc:"));
    EXPECT_FALSE(kvwin::UnregisterMonikerPrefix(u"calc:"));
    EXPECT_EQ(CoGetObject(u"calc:x", nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
              MK_E_SYNTAX);
}

}  // namespace
