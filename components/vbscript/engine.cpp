// IActiveScript and IActiveScriptParse64.
#include "engine.h"

#include <memory>
#include <string>
#include <vector>

#include "interpreter.h"
#include "kvwin/com_object.h"
#include "kvwin/component_module.h"
#include "kvwin/script_failure.h"
#include "lexer.h"
#include "module.h"
#include "script_dispatch.h"
#include "variant_conversion.h"
#include "win/handles.h"

namespace kvvbs {
namespace {

template <class F>
HRESULT Guard(F&& body) noexcept {
    return kvwin::GuardComCall(std::forward<F>(body));
}

class Engine final : public kvwin::ComObject<IActiveScript, IActiveScriptParse64>,
                     private RuntimeHost {
  public:
    Engine() : signal_(std::make_shared<InterruptSignal>()) {}

    // ---- IActiveScript ----------------------------------------------------------------
    STDMETHODIMP SetScriptSite(IActiveScriptSite* site) override {
        if (!site)
            return E_POINTER;
        if (site_ || state_ == SCRIPTSTATE_CLOSED)
            return E_UNEXPECTED;
        return Guard([&] {
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
        return Guard([&]() -> HRESULT {
            switch (state) {
                case SCRIPTSTATE_STARTED:
                case SCRIPTSTATE_CONNECTED: {
                    if (!runtime_)
                        return E_UNEXPECTED;
                    HRESULT hr = RunPending();
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
        pending_.clear();
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
        return Guard([&] {
            EnsureRuntime();
            std::u16string lower = LowerName(name);
            for (const auto& item : items_) {
                if (item == lower)
                    return S_OK;
            }
            items_.push_back(lower);
            runtime_->AddNamedItem(name, (flags & SCRIPTITEM_GLOBALMEMBERS) != 0);
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
        return Guard([&] {
            *ppdisp = CreateScriptDispatch(runtime_);
            return S_OK;
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
        return Guard([&] {
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
        return Guard([&]() -> HRESULT {
            std::u16string_view text = code ? std::u16string_view(code) : std::u16string_view();
            const bool expression = (flags & SCRIPTTEXT_ISEXPRESSION) != 0;
            const bool run_now = state_ == SCRIPTSTATE_STARTED || state_ == SCRIPTSTATE_CONNECTED;
            std::shared_ptr<Runtime> rt = runtime_;
            return rt->Enter([&] {
                if (expression) {
                    Value v = rt->Evaluate(text, cookie, start_line);
                    if (result)
                        ToVariant(v, result);
                    return;
                }
                int proc = rt->Compile(text, cookie, start_line);
                if (run_now)
                    rt->RunGlobalCode(proc);
                else
                    pending_.push_back(proc);
            });
        });
    }

  private:
    ~Engine() override { Close(); }

    void EnsureRuntime() {
        if (!runtime_)
            runtime_ = std::make_shared<Runtime>(static_cast<RuntimeHost*>(this), signal_);
    }

    bool KnownItem(std::u16string_view name) const {
        std::u16string lower = LowerName(name);
        for (const auto& item : items_) {
            if (item == lower)
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

    // Runs the global code parsed before the engine was started, in order; stops at the
    // first failure.
    HRESULT RunPending() {
        std::shared_ptr<Runtime> rt = runtime_;
        while (!pending_.empty()) {
            int proc = pending_.front();
            pending_.erase(pending_.begin());
            HRESULT hr = rt->Enter([&] { rt->RunGlobalCode(proc); });
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    // ---- RuntimeHost ------------------------------------------------------------------
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
    LCID HostLocale() override {
        LCID lcid = 0;
        if (site_ && site_->GetLCID(&lcid) == S_OK)
            return lcid;
        return 0;
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

    ModuleRef module_ref_;
    std::shared_ptr<InterruptSignal> signal_;
    std::shared_ptr<Runtime> runtime_;
    IActiveScriptSite* site_ = nullptr;
    SCRIPTSTATE state_ = SCRIPTSTATE_UNINITIALIZED;
    std::vector<std::u16string> items_;  // lower case
    std::vector<int> pending_;
    std::atomic<DWORD> base_thread_{0};  // read by InterruptScriptThread on any thread
    std::atomic<bool> in_script_{false};
};

}  // namespace

HRESULT CreateEngine(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Engine>(outer, riid, ppv);
}

}  // namespace kvvbs
