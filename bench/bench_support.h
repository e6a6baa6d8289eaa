// What the benchmark programs share: this thread's processor time (the machine is shared, so
// wall time varies), a script site that asks for nothing and reports script errors, and a
// script engine holder.
#pragma once

#include <time.h>

#include <cstdio>

#include <string>

#include "kvwin/com_object.h"
#include "win/activscp.h"
#include "win/com.h"
#include "win/oleauto.h"

namespace kvbench {

inline double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

class QuietSite final : public kvwin::ComObject<IActiveScriptSite> {
  public:
    STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemInfo(LPCOLESTR, DWORD, IUnknown**, ITypeInfo**) override {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError*) override {
        std::fprintf(stderr, "script error\n");
        return S_OK;
    }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
};

// A script engine (CLSID_JScript, CLSID_VBScript) in an apartment of this thread, with `code`
// parsed and running, and its global object. A step that fails leaves `global` null and is
// reported on standard error; the benchmark then measures nothing useful, but does not crash.
class ScriptEngine {
  public:
    ScriptEngine(const CLSID& engine, const std::u16string& code) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(CoCreateInstance(engine, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                    reinterpret_cast<void**>(&script_)))) {
            std::fprintf(stderr, "the script engine could not be made\n");
            return;
        }
        IActiveScriptParse64* parse = nullptr;
        if (FAILED(script_->QueryInterface(IID_IActiveScriptParse64,
                                           reinterpret_cast<void**>(&parse))))
            return;
        auto* site = new QuietSite();
        script_->SetScriptSite(site);
        site->Release();
        parse->InitNew();
        HRESULT hr = parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, 0,
                                            nullptr, nullptr);
        parse->Release();
        if (FAILED(hr) || FAILED(script_->SetScriptState(SCRIPTSTATE_CONNECTED)) ||
            FAILED(script_->GetScriptDispatch(nullptr, &global)))
            std::fprintf(stderr, "the script did not start\n");
    }
    ~ScriptEngine() {
        if (global)
            global->Release();
        if (script_) {
            script_->Close();
            script_->Release();
        }
        CoUninitialize();
    }
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // The dispatch id of a global name (DISPID_UNKNOWN when there is none).
    DISPID Id(const char16_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        if (global)
            global->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        return id;
    }
    // Calls a global function without arguments; its result is dropped.
    void Call(const char16_t* name) {
        if (!global)
            return;
        DISPID id = Id(name);
        DISPPARAMS none{};
        VARIANT result;
        VariantInit(&result);
        global->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
        VariantClear(&result);
    }

    IDispatch* global = nullptr;

  private:
    IActiveScript* script_ = nullptr;
};

}  // namespace kvbench
