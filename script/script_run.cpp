#include "script/script_run.h"

#include <new>
#include <string>

#include "kvwin/wide_string.h"
#include "script/active_script_site.h"
#include "script/predefined_functions.h"
#include "win/com.h"
#include "win/oleauto.h"
#include "win/text.h"

namespace {

#ifdef _WIN32
// The engines' classes; no SDK header declares them.
constexpr CLSID CLSID_JScript = {
    0xF414C260, 0x6AC0, 0x11CF, {0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58}};
constexpr CLSID CLSID_VBScript = {
    0xB54F3741, 0x5B07, 0x11CF, {0xA4, 0xB0, 0x00, 0xAA, 0x00, 0x4A, 0x55, 0xE8}};
#endif

// One script run's engine interfaces and the order in which they are given back.
class EngineRun {
  public:
    explicit EngineRun(ScriptRunContext& context) : context_(context) {}
    ~EngineRun() { TearDown(); }
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;

    // Creates the engine the type names into the slot, under the lock; false for a type
    // that names none or an engine that cannot be made. A VBScript text gets the predefined
    // functions whether or not its engine could be made.
    bool CreateEngine(const WCHAR* scriptType, WString& script) {
        std::lock_guard<std::mutex> lock(context_.engineLock);
        if (lstrcmpiW(scriptType, TEXT("jscript")) == 0) {
            Create(CLSID_JScript);
        } else if (lstrcmpiW(scriptType, TEXT("vbscript")) == 0) {
            Create(CLSID_VBScript);
            AppendPredefinedFunctions(script);
        }
        return context_.engine != nullptr;
    }

    // A step's outcome: the call succeeded and nobody asked the run to stop.
    bool Proceed(HRESULT hr) const {
        return SUCCEEDED(hr) && !context_.interrupted.load(std::memory_order_acquire);
    }

    // Every step after the engine's creation; stops at the first that fails.
    void Run(const WString& script, const WCHAR* functionName) {
        IActiveScript* engine = context_.engine;
        if (!Proceed(engine->QueryInterface(IID_IActiveScriptParse64,
                                            reinterpret_cast<void**>(&parse_))))
            return;
        CActiveScriptSite* site = new (std::nothrow) CActiveScriptSite();
        if (!site)
            return;
        // The engine keeps the site alive with a reference of its own.
        const HRESULT siteSet = engine->SetScriptSite(site);
        site->Release();
        if (!Proceed(siteSet))
            return;
        if (!Proceed(engine->AddNamedItem(kScriptItemName, kScriptItemFlags)))
            return;
        if (!Proceed(parse_->InitNew()))
            return;
        EXCEPINFO exception{};
        if (!Proceed(parse_->ParseScriptText(script.c_str(), kScriptItemName, nullptr, nullptr, 0,
                                             0, 0, nullptr, &exception)))
            return;
        // The parse leaves nothing in it that this host reads, but a filled record owns texts.
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        if (!Proceed(engine->SetScriptState(SCRIPTSTATE_CONNECTED)))
            return;
        IDispatch* dispatch = nullptr;
        if (!Proceed(engine->GetScriptDispatch(kScriptItemName, &dispatch)))
            return;
        CallFunction(dispatch, functionName);
        dispatch->Release();
    }

  private:
    void Create(REFCLSID engineClass) {
        CoCreateInstance(engineClass, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                         reinterpret_cast<void**>(&context_.engine));
    }

    void CallFunction(IDispatch* dispatch, const WCHAR* functionName) {
        DISPID member = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(functionName);
        if (!Proceed(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &member)))
            return;
        DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
        const HRESULT hr = dispatch->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                            &noArguments, context_.result, nullptr, nullptr);
        if (Proceed(hr))
            context_.succeeded.store(true, std::memory_order_release);
    }

    // Closes and releases the engine under the lock, so an interruption asked for now finds
    // either the live engine or none; then gives back the parse interface.
    void TearDown() {
        {
            std::lock_guard<std::mutex> lock(context_.engineLock);
            if (IActiveScript* engine = context_.engine) {
                engine->Close();
                context_.engine = nullptr;
                engine->Release();
            }
        }
        if (parse_) {
            parse_->Release();
            parse_ = nullptr;
        }
    }

    ScriptRunContext& context_;
    IActiveScriptParse64* parse_ = nullptr;
};

}  // namespace

void PerformScriptRun(ScriptRunContext& context, const WCHAR* scriptType, const WCHAR* scriptText,
                      const WCHAR* functionName) noexcept {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
        WString script = scriptText;
        EngineRun run(context);
        if (run.CreateEngine(scriptType, script))
            run.Run(script, functionName);
    } catch (...) {
        // Only an allocation can fail here; the run then simply does not succeed. The
        // engine run's destructor has closed whatever was made.
    }
    if (SUCCEEDED(apartment))
        CoUninitialize();
}
