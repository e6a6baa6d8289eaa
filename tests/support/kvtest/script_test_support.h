// What the script engines' tests share: a recording site, a helper object scripts reach as the
// named item "Test" (ok, Signal, Call), and an engine that is set up in one step.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kvtest/com_support.h"
#include "kvwin/com_object.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/utf.h"
#include "win/activscp.h"
#include "win/comdef.h"

namespace jstest {

// A single-threaded apartment, as script engines run in.
class ScopedApartment : public kvtest::ScopedApartment {
  public:
    ScopedApartment() : kvtest::ScopedApartment(COINIT_APARTMENTTHREADED) {}
};

// A one-shot flag another thread can wait for, with a time-out.
class Latch {
  public:
    void Set() {
        std::lock_guard<std::mutex> hold(lock_);
        set_ = true;
        changed_.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, limit, [&] { return set_; });
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool set_ = false;
};

inline std::u16string Take(BSTR text) {
    std::u16string result = text ? std::u16string(text, SysStringLen(text)) : std::u16string();
    SysFreeString(text);
    return result;
}

inline std::u16string TextOf(const VARIANT* v) {
    if (!v)
        return u"";
    VARIANT s;
    VariantInit(&s);
    if (FAILED(VariantChangeType(&s, v, 0, VT_BSTR)))
        return u"?";
    return Take(s.bstrVal);
}

// The named item "Test": ok(cond, msg) records failures, Signal() sets a latch, Call(f,
// args...) calls a script function back through its IDispatch; Matrix() gives a 2x3
// SAFEARRAY with lower bounds 1 and -1 whose element (i, j) is "i,j"; Opaque() gives an
// object without IDispatch, and KindOf(v) the VARTYPE of the value it received.
class TestHelper final : public kvwin::DispatchObject<TestHelper, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<TestHelper>> DispatchMembers() {
        static const kvwin::DispatchMember<TestHelper> members[] = {
            {u"ok", 1, DISPATCH_METHOD, 1, 2, &TestHelper::Ok},
            {u"Signal", 2, DISPATCH_METHOD, 0, 0, &TestHelper::Signal},
            {u"Call", 3, DISPATCH_METHOD, 1, 3, &TestHelper::Call},
            {u"Name", 4, DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, 0, 0, &TestHelper::Name},
            {u"Matrix", 5, DISPATCH_METHOD, 0, 1, &TestHelper::Matrix},
            {u"Opaque", 6, DISPATCH_METHOD, 0, 0, &TestHelper::Opaque},
            {u"KindOf", 7, DISPATCH_METHOD, 1, 1, &TestHelper::KindOf},
        };
        return members;
    }

    std::vector<std::string> failures;
    int checks = 0;
    Latch signalled;
    std::u16string name = u"helper";

  private:
    ~TestHelper() override = default;

    static HRESULT Ok(TestHelper& self, kvwin::DispatchCall& call) {
        ++self.checks;
        const VARIANT* cond = call.Arg(0);
        VARIANT b;
        VariantInit(&b);
        bool passed = cond && SUCCEEDED(VariantChangeType(&b, cond, 0, VT_BOOL)) &&
                      b.boolVal != VARIANT_FALSE;
        if (!passed)
            self.failures.push_back(kvwin::ToUtf8(TextOf(call.Arg(1))));
        return S_OK;
    }
    static HRESULT Signal(TestHelper& self, kvwin::DispatchCall&) {
        self.signalled.Set();
        return S_OK;
    }
    static HRESULT Call(TestHelper&, kvwin::DispatchCall& call) {
        const VARIANT* fn = call.Arg(0);
        if (!fn || fn->vt != VT_DISPATCH)
            return call.Fail(E_INVALIDARG, u"Call needs a function");
        VARIANT args[2];
        UINT argc = 0;
        for (UINT i = call.Count(); i-- > 1;)
            args[argc++] = *call.Arg(i);  // borrowed, last to first
        DISPPARAMS params{args, nullptr, argc, 0};
        EXCEPINFO excep{};
        HRESULT hr = fn->pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &params,
                                          call.Result(), &excep, nullptr);
        if (hr == DISP_E_EXCEPTION) {
            std::u16string text = Take(excep.bstrDescription);
            SysFreeString(excep.bstrSource);
            return call.Fail(excep.scode, text);
        }
        return hr;
    }
    // Matrix([vt]): elements of type vt (VT_VARIANT by default) holding, for (i, j), the
    // text "i,j" (VT_BSTR, VT_VARIANT), the number 10 * i + j, or for VT_BOOL whether i + j
    // is odd.
    static HRESULT Matrix(TestHelper&, kvwin::DispatchCall& call) {
        const VARTYPE vt = call.Arg(0) ? VARTYPE(call.Arg(0)->lVal) : VARTYPE(VT_VARIANT);
        SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};  // first dimension first
        SAFEARRAY* array = SafeArrayCreate(vt, 2, bounds);
        if (!array)
            return E_INVALIDARG;
        for (LONG i = 1; i <= 2; ++i) {
            for (LONG j = -1; j <= 1; ++j) {
                LONG at[2] = {j, i};  // the right-most dimension first
                VARIANT v;
                VariantInit(&v);
                if (vt == VT_BSTR || vt == VT_VARIANT) {
                    v.vt = VT_BSTR;
                    v.bstrVal = SysAllocString(
                        kvwin::FromUtf8(std::to_string(i) + "," + std::to_string(j)).c_str());
                } else if (vt == VT_BOOL) {
                    v.vt = VT_BOOL;
                    v.boolVal = (i + j) % 2 ? VARIANT_TRUE : VARIANT_FALSE;
                } else {
                    VARIANT n;
                    n.vt = VT_I4;
                    n.lVal = 10 * i + j;
                    VariantChangeType(&v, &n, 0, vt);
                }
                // A typed array takes the value itself, a VARIANT array the VARIANT.
                void* element = vt == VT_VARIANT ? static_cast<void*>(&v)
                                : vt == VT_BSTR  ? static_cast<void*>(v.bstrVal)
                                                 : static_cast<void*>(&v.llVal);
                SafeArrayPutElement(array, at, element);
                VariantClear(&v);
            }
        }
        call.Result()->vt = VT_ARRAY | vt;
        call.Result()->parray = array;
        return S_OK;
    }
    class Bare final : public kvwin::ComObject<IUnknown> {};
    static HRESULT Opaque(TestHelper&, kvwin::DispatchCall& call) {
        call.Result()->vt = VT_UNKNOWN;
        call.Result()->punkVal = new Bare();
        return S_OK;
    }
    static HRESULT KindOf(TestHelper&, kvwin::DispatchCall& call) {
        call.Result()->vt = VT_I4;
        call.Result()->lVal = call.Arg(0) ? call.Arg(0)->vt : -1;
        return S_OK;
    }
    static HRESULT Name(TestHelper& self, kvwin::DispatchCall& call) {
        if (call.IsPut()) {
            self.name = TextOf(call.PutValue());
            return S_OK;
        }
        return kvwin::SetVariantText(call.Result(), self.name);
    }
};

// A moniker binder for GetObject("kvtest:..."): a helper whose Name is the display name.
inline HRESULT BindTestName(LPCOLESTR name, REFIID riid, void** ppv) {
    auto* helper = new TestHelper();
    helper->name = name;
    HRESULT hr = helper->QueryInterface(riid, ppv);
    helper->Release();
    return hr;
}

struct ReportedError {
    HRESULT code;
    std::u16string description;
    std::u16string source;
    ULONG line;
    LONG column;
    DWORD cookie;
    std::u16string line_text;
};

// A site that records what the engine tells it. Items it knows come from `items`; any other
// name gets TYPE_E_ELEMENTNOTFOUND, as the library's own site answers for every name.
class RecordingSite final : public kvwin::ComObject<IActiveScriptSite> {
  public:
    std::map<std::u16string, IDispatch*> items;  // references held by the test
    std::vector<SCRIPTSTATE> states;
    std::vector<ReportedError> errors;
    std::atomic<int> entered{0};
    std::atomic<int> left{0};
    LCID lcid = 0;  // what GetLCID answers; 0: E_NOTIMPL

    STDMETHODIMP GetLCID(LCID* out) override {
        if (!lcid)
            return E_NOTIMPL;
        *out = lcid;
        return S_OK;
    }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** ti) override {
        if (ti)
            *ti = nullptr;
        if (unk)
            *unk = nullptr;
        auto it = items.find(name);
        if (it == items.end())
            return TYPE_E_ELEMENTNOTFOUND;
        if ((mask & SCRIPTINFO_IUNKNOWN) && unk) {
            it->second->AddRef();
            *unk = it->second;
        }
        return S_OK;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE state) override {
        states.push_back(state);
        return S_OK;
    }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
        ReportedError r{};
        EXCEPINFO excep{};
        EXPECT_EQ(error->GetExceptionInfo(&excep), S_OK);
        r.code = excep.scode;
        r.description = Take(excep.bstrDescription);
        r.source = Take(excep.bstrSource);
        SysFreeString(excep.bstrHelpFile);
        EXPECT_EQ(error->GetSourcePosition(&r.cookie, &r.line, &r.column), S_OK);
        BSTR line = nullptr;
        EXPECT_EQ(error->GetSourceLineText(&line), S_OK);
        r.line_text = Take(line);
        errors.push_back(r);
        return S_OK;
    }
    STDMETHODIMP OnEnterScript() override {
        ++entered;
        return S_OK;
    }
    STDMETHODIMP OnLeaveScript() override {
        ++left;
        return S_OK;
    }

  private:
    ~RecordingSite() override {
        for (auto& [name, object] : items)
            object->Release();
    }
};

_COM_SMARTPTR_TYPEDEF(IActiveScript, __uuidof(IActiveScript));
_COM_SMARTPTR_TYPEDEF(IActiveScriptParse64, __uuidof(IActiveScriptParse64));

// An engine with a recording site and, unless told otherwise, the helper as "Test".
struct Script {
    IActiveScriptPtr engine;
    IActiveScriptParse64Ptr parse;
    RecordingSite* site = new RecordingSite();  // the engine holds it; `site` borrows
    TestHelper* helper = new TestHelper();      // owned here

    // `engine_class` picks the engine (the VBScript tests pass CLSID_VBScript); the helper is
    // added as a named item with `item_flags`.
    explicit Script(bool with_helper = true, const CLSID& engine_class = CLSID_JScript,
                    DWORD item_flags = SCRIPTITEM_ISVISIBLE) {
        EXPECT_EQ(engine.CreateInstance(engine_class), S_OK);
        EXPECT_EQ(engine->QueryInterface(IID_PPV_ARGS(&parse)), S_OK);
        if (with_helper) {
            helper->AddRef();
            site->items[u"Test"] = helper;
        }
        EXPECT_EQ(engine->SetScriptSite(site), S_OK);
        site->Release();
        EXPECT_EQ(parse->InitNew(), S_OK);
        if (with_helper) {
            EXPECT_EQ(engine->AddNamedItem(u"Test", item_flags), S_OK);
        }
    }
    ~Script() {
        if (engine)
            engine->Close();
        helper->Release();
    }

    HRESULT Parse(std::u16string_view code, DWORD flags = 0, VARIANT* result = nullptr,
                  ULONG start_line = 0) {
        std::u16string text(code);
        return parse->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, start_line, flags,
                                      result, nullptr);
    }
    HRESULT Start() { return engine->SetScriptState(SCRIPTSTATE_CONNECTED); }
    // Parses and runs; returns the first failure.
    HRESULT Run(std::u16string_view code) {
        HRESULT hr = Parse(code);
        HRESULT started = Start();
        return FAILED(hr) ? hr : started;
    }

    // Calls a global function through GetScriptDispatch, as the library's host does.
    HRESULT Call(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args = {}) {
        IDispatch* global = nullptr;
        HRESULT hr = engine->GetScriptDispatch(nullptr, &global);
        if (FAILED(hr))
            return hr;
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
        hr = global->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
        if (SUCCEEDED(hr)) {
            std::vector<VARIANT> reversed(args.rbegin(), args.rend());
            DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
            hr = global->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                nullptr, nullptr);
        }
        global->Release();
        return hr;
    }

    // Every Test.ok of the script passed, and there were `count` of them.
    void ExpectChecksPassed(int count) const {
        for (const auto& f : helper->failures)
            ADD_FAILURE() << "check failed: " << f;
        EXPECT_EQ(helper->checks, count);
    }

    // The errors the site received, one line each with its 1-based line number.
    std::string Errors() const {
        std::string out;
        for (const auto& e : site->errors)
            out +=
                "line " + std::to_string(e.line + 1) + ": " + kvwin::ToUtf8(e.description) + "\n";
        return out;
    }
};

}  // namespace jstest
