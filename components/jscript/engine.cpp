// IActiveScript and IActiveScriptParse64.
#include "engine.h"

#include "conditional_compilation.h"

#include <memory>
#include <string>
#include <vector>

#include "kvwin/ascii_case.h"
#include "kvwin/com_object.h"
#include "kvwin/component_module.h"
#include "kvwin/script_failure.h"
#include "module.h"
#include "runtime.h"
#include "script_dispatch.h"
#include "text.h"
#include "variant_conversion.h"
#include "win/handles.h"

namespace kvjs {
namespace {

const char kPendingKey[] = "kvjs:pending";  // compiled global code not yet run (heap stash)

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
            HRESULT hr = EnsureRuntime();
            if (FAILED(hr))
                return hr;
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
            HRESULT hr = EnsureRuntime();
            if (FAILED(hr))
                return hr;
            if (!FindItem(name))
                items_.push_back({name, flags});
            if (flags & SCRIPTITEM_ISVISIBLE)
                runtime_->DefineNamedItem(name);
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
        if (item && !FindItem(item))
            return E_INVALIDARG;
        return Guard([&] {
            IDispatch* global = nullptr;
            runtime_->Peek([&](duk_context* ctx) {
                duk_push_global_object(ctx);
                global = CreateScriptDispatch(ctx, -1);
                duk_pop(ctx);
            });
            *ppdisp = global;
            return global ? S_OK : E_OUTOFMEMORY;
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
            HRESULT hr = EnsureRuntime();
            if (SUCCEEDED(hr) && state_ == SCRIPTSTATE_UNINITIALIZED)
                ChangeState(SCRIPTSTATE_INITIALIZED);
            return hr;
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
        if (item && !FindItem(item))
            return E_INVALIDARG;
        return Guard([&]() -> HRESULT {
            std::u16string text = code ? code : u"";
            std::string file = runtime_->AddSourceText(text, cookie, start_line);
            const bool expression = (flags & SCRIPTTEXT_ISEXPRESSION) != 0;
            const bool run_now =
                expression || state_ == SCRIPTSTATE_STARTED || state_ == SCRIPTSTATE_CONNECTED;
            bool conditional_error = false;
            const std::u16string compiled = PreprocessConditional(text, conditional_error);
            return runtime_->Run([&](duk_context* ctx) {
                PushText(ctx, compiled);
                duk_push_string(ctx, file.c_str());
                duk_compile(ctx, expression ? DUK_COMPILE_EVAL : 0);
                if (run_now) {
                    duk_call(ctx, 0);
                    if (expression && result)
                        ToVariant(ctx, -1, result);
                    return;
                }
                // Global code waits for the engine to be started.
                duk_push_heap_stash(ctx);
                if (!duk_get_prop_string(ctx, -1, kPendingKey)) {
                    duk_pop(ctx);
                    duk_push_array(ctx);
                    duk_dup_top(ctx);
                    duk_put_prop_string(ctx, -3, kPendingKey);
                }
                duk_dup(ctx, -3);
                duk_put_prop_index(ctx, -2, duk_uarridx_t(duk_get_length(ctx, -2)));
            });
        });
    }

  private:
    struct Item {
        std::u16string name;
        DWORD flags;
    };

    ~Engine() override { Close(); }

    HRESULT EnsureRuntime() {
        if (!runtime_)
            runtime_ = std::make_shared<Runtime>(static_cast<RuntimeHost*>(this), signal_);
        return S_OK;
    }

    const Item* FindItem(std::u16string_view name) const {
        for (const auto& item : items_) {
            if (item.name == name)
                return &item;
        }
        return nullptr;
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
        HRESULT hr = S_OK;
        while (SUCCEEDED(hr)) {
            bool ran = false;
            hr = runtime_->Run([&](duk_context* ctx) {
                duk_push_heap_stash(ctx);
                if (!duk_get_prop_string(ctx, -1, kPendingKey) || duk_get_length(ctx, -1) == 0)
                    return;
                // Take the first piece off the list before running it, so that a failure
                // does not run it again.
                duk_get_prop_string(ctx, -1, "shift");
                duk_dup(ctx, -2);
                duk_call_method(ctx, 0);
                ran = true;
                duk_call(ctx, 0);
            });
            if (!ran)
                break;
        }
        return hr;
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
    std::vector<Item> items_;
    std::atomic<DWORD> base_thread_{0};  // read by InterruptScriptThread on any thread
    std::atomic<bool> in_script_{false};
};

}  // namespace

HRESULT CreateEngine(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Engine>(outer, riid, ppv);
}

}  // namespace kvjs
