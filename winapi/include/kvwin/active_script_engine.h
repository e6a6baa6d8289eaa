// The Active Scripting state machine the script engines share: IActiveScript and
// IActiveScriptParse64 over a runtime of the engine's own.
//
//   class Engine final : public kvwin::ActiveScriptEngine<Engine, Runtime, RuntimeHost> { ... };
//
// States: UNINITIALIZED until a site is set (or InitNew runs), then INITIALIZED; script text
// parsed before the engine is started waits for STARTED or CONNECTED, which runs it in order
// (stopping at the first failure); text parsed later runs at once. CLOSED after Close, which
// shuts the runtime down and lets go of the site; a closed engine answers E_UNEXPECTED.
// Every change of state goes to the site's OnStateChange.
//
// The base keeps the site, the state, the named items, the script thread and the interrupt
// signal, and implements the runtime's host (Host: EnterScript/LeaveScript around outermost
// entries, ReportError to OnScriptError, NamedItemObject from GetItemInfo). The engine
// (Derived) supplies what depends on its language:
//   static bool SameItemName(std::u16string_view a, std::u16string_view b);
//   void ItemAdded(std::u16string_view name, DWORD flags, bool is_new);   // AddNamedItem
//   IDispatch* CreateGlobalDispatch();          // GetScriptDispatch; a new reference or null
//   HRESULT ParseText(std::u16string_view text, DWORDLONG cookie, ULONG start_line,
//                     DWORD flags, VARIANT* result, bool started);  // ParseScriptText
//   HRESULT RunPending();                       // the global code parsed before the start
//   void DropPending();                         // Close
// and calls Close() from its own destructor. Runtime is made as Runtime(Host*,
// std::shared_ptr<InterruptSignal>) and has Shutdown().
// Each hook runs inside GuardComCall, so it may throw.
//
// Thread safety: an apartment object, used by the thread that set its site; the exceptions
// are InterruptScriptThread, GetScriptThreadState and the thread IDs, which any thread may
// call at any time (they touch only atomics), and AddRef/Release.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kvwin/com_object.h"
#include "kvwin/component_module.h"
#include "kvwin/script_failure.h"
#include "kvwin/script_interrupt.h"
#include "win/activscp.h"
#include "win/handles.h"

namespace kvwin {

template <class Derived, class Runtime, class Host>
class ActiveScriptEngine : public ComObject<IActiveScript, IActiveScriptParse64>, protected Host {
  public:
    ActiveScriptEngine() : signal_(std::make_shared<InterruptSignal>()) {}

    // ---- IActiveScript ----------------------------------------------------------------
    STDMETHODIMP SetScriptSite(IActiveScriptSite* site) override {
        if (!site)
            return E_POINTER;
        if (site_ || state_ == SCRIPTSTATE_CLOSED)
            return E_UNEXPECTED;
        return GuardComCall([&] {
            EnsureRuntime();
            site->AddRef();
            site_ = site;
            base_thread_ = GetCurrentThreadId();
            ChangeState(SCRIPTSTATE_INITIALIZED);
            return S_OK;
        });
    }

    STDMETHODIMP GetScriptSite(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        return site_ ? site_->QueryInterface(riid, ppv) : S_FALSE;
    }

    STDMETHODIMP SetScriptState(SCRIPTSTATE state) override {
        if (state_ == SCRIPTSTATE_CLOSED)
            return E_UNEXPECTED;
        return GuardComCall([&]() -> HRESULT {
            switch (state) {
                case SCRIPTSTATE_STARTED:
                case SCRIPTSTATE_CONNECTED: {
                    if (!runtime_)
                        return E_UNEXPECTED;
                    HRESULT hr = self().RunPending();
                    ChangeState(state);
                    return hr;
                }
                case SCRIPTSTATE_INITIALIZED:
                case SCRIPTSTATE_DISCONNECTED:
                    if (!runtime_)
                        return E_UNEXPECTED;
                    ChangeState(state);
                    return S_OK;
                case SCRIPTSTATE_CLOSED:
                    return Close();
                default:
                    return E_INVALIDARG;
            }
        });
    }

    STDMETHODIMP GetScriptState(SCRIPTSTATE* state) override {
        if (!state)
            return E_POINTER;
        *state = state_;
        return S_OK;
    }

    STDMETHODIMP Close() override {
        if (state_ == SCRIPTSTATE_CLOSED)
            return S_OK;
        if (runtime_) {
            runtime_->Shutdown();
            runtime_.reset();
        }
        items_.clear();
        self().DropPending();
        ChangeState(SCRIPTSTATE_CLOSED);
        if (site_) {
            site_->Release();
            site_ = nullptr;
        }
        return S_OK;
    }

    STDMETHODIMP AddNamedItem(LPCOLESTR name, DWORD flags) override {
        if (!name)
            return E_POINTER;
        if (flags & ~DWORD(SCRIPTITEM_ALL_FLAGS))
            return E_INVALIDARG;
        if (state_ == SCRIPTSTATE_CLOSED)
            return E_UNEXPECTED;
        return GuardComCall([&] {
            EnsureRuntime();
            const bool is_new = !KnownItem(name);
            if (is_new)
                items_.push_back(name);
            self().ItemAdded(name, flags, is_new);
            return S_OK;
        });
    }

    STDMETHODIMP AddTypeLib(REFGUID, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }

    STDMETHODIMP GetScriptDispatch(LPCOLESTR item, IDispatch** ppdisp) override {
        if (!ppdisp)
            return E_POINTER;
        *ppdisp = nullptr;
        if (!runtime_)
            return E_UNEXPECTED;
        if (item && !KnownItem(item))
            return E_INVALIDARG;
        return GuardComCall([&] {
            *ppdisp = self().CreateGlobalDispatch();
            return *ppdisp ? S_OK : E_OUTOFMEMORY;
        });
    }

    STDMETHODIMP GetCurrentScriptThreadID(SCRIPTTHREADID* id) override {
        if (!id)
            return E_POINTER;
        *id = base_thread_.load();
        return S_OK;
    }
    STDMETHODIMP GetScriptThreadID(DWORD thread, SCRIPTTHREADID* id) override {
        if (!id)
            return E_POINTER;
        *id = thread;
        return thread == base_thread_.load() ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP GetScriptThreadState(SCRIPTTHREADID id, SCRIPTTHREADSTATE* state) override {
        if (!state)
            return E_POINTER;
        if (!KnownThread(id))
            return E_INVALIDARG;
        *state = in_script_.load() ? SCRIPTTHREADSTATE_RUNNING : SCRIPTTHREADSTATE_NOTINSCRIPT;
        return S_OK;
    }

    STDMETHODIMP InterruptScriptThread(SCRIPTTHREADID id, const EXCEPINFO* excep,
                                       DWORD flags) override {
        if (flags & ~DWORD(SCRIPTINTERRUPT_ALL_FLAGS))
            return E_INVALIDARG;
        if (!KnownThread(id))
            return E_INVALIDARG;
        // Only atomics are touched here: this runs on any thread, at any time.
        signal_->code.store(excep && FAILED(excep->scode) ? excep->scode : E_ABORT,
                            std::memory_order_relaxed);
        signal_->requested.store(true, std::memory_order_release);
        return S_OK;
    }

    STDMETHODIMP Clone(IActiveScript** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

    // ---- IActiveScriptParse64 ---------------------------------------------------------
    STDMETHODIMP InitNew() override {
        if (state_ == SCRIPTSTATE_CLOSED)
            return E_UNEXPECTED;
        return GuardComCall([&] {
            EnsureRuntime();
            if (state_ == SCRIPTSTATE_UNINITIALIZED)
                ChangeState(SCRIPTSTATE_INITIALIZED);
            return S_OK;
        });
    }

    STDMETHODIMP AddScriptlet(LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR,
                              DWORDLONG, ULONG, DWORD, BSTR* name, EXCEPINFO*) override {
        if (name)
            *name = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP ParseScriptText(LPCOLESTR code, LPCOLESTR item, IUnknown*, LPCOLESTR,
                                 DWORDLONG cookie, ULONG start_line, DWORD flags, VARIANT* result,
                                 EXCEPINFO* excep) override {
        if (result)
            VariantInit(result);
        if (excep)
            *excep = EXCEPINFO{};
        if (state_ == SCRIPTSTATE_CLOSED || !runtime_)
            return E_UNEXPECTED;
        if (item && !KnownItem(item))
            return E_INVALIDARG;
        return GuardComCall([&]() -> HRESULT {
            std::u16string_view text = code ? std::u16string_view(code) : std::u16string_view();
            const bool started = state_ == SCRIPTSTATE_STARTED || state_ == SCRIPTSTATE_CONNECTED;
            return self().ParseText(text, cookie, start_line, flags, result, started);
        });
    }

  protected:
    ~ActiveScriptEngine() override = default;

    // The site the host set, or nullptr; for an engine's own host calls on the script thread.
    IActiveScriptSite* Site() const { return site_; }

    // ---- Host ---------------------------------------------------------------------------
    void EnterScript() override {
        in_script_.store(true);
        if (site_)
            site_->OnEnterScript();
    }
    void LeaveScript() override {
        if (site_)
            site_->OnLeaveScript();
        in_script_.store(false);
    }
    void ReportError(const ScriptFailure& failure) override {
        if (!site_)
            return;
        IActiveScriptError* error = CreateScriptError(failure);
        if (!error)
            return;
        site_->OnScriptError(error);
        error->Release();
    }
    HRESULT NamedItemObject(std::u16string_view name, IDispatch** out) override {
        *out = nullptr;
        if (!site_)
            return E_UNEXPECTED;
        IUnknown* unknown = nullptr;
        std::u16string text(name);
        HRESULT hr = site_->GetItemInfo(text.c_str(), SCRIPTINFO_IUNKNOWN, &unknown, nullptr);
        if (FAILED(hr))
            return hr;
        if (!unknown)
            return E_POINTER;
        hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
        unknown->Release();
        return hr;
    }

    std::shared_ptr<InterruptSignal> signal_;
    std::shared_ptr<Runtime> runtime_;  // null until a site or InitNew, and after Close

  private:
    Derived& self() { return static_cast<Derived&>(*this); }

    void EnsureRuntime() {
        if (!runtime_)
            runtime_ = std::make_shared<Runtime>(static_cast<Host*>(this), signal_);
    }

    bool KnownItem(std::u16string_view name) const {
        for (const auto& item : items_) {
            if (Derived::SameItemName(item, name))
                return true;
        }
        return false;
    }

    bool KnownThread(SCRIPTTHREADID id) const {
        return id == SCRIPTTHREADID_ALL || id == SCRIPTTHREADID_BASE ||
               id == SCRIPTTHREADID_CURRENT || id == base_thread_.load();
    }

    void ChangeState(SCRIPTSTATE state) {
        if (state_ == state)
            return;
        state_ = state;
        if (site_)
            site_->OnStateChange(state);
    }

    IActiveScriptSite* site_ = nullptr;
    SCRIPTSTATE state_ = SCRIPTSTATE_UNINITIALIZED;
    std::vector<std::u16string> items_;
    std::atomic<DWORD> base_thread_{0};  // read by InterruptScriptThread on any thread
    std::atomic<bool> in_script_{false};
};

}  // namespace kvwin
