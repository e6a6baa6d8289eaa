// IDispatch over script objects.
#include "script_dispatch.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "dispatch_proxy.h"
#include "kvwin/ascii_case.h"
#include "kvwin/com_object.h"
#include "kvwin/dispatch_ex_object.h"
#include "kvwin/script_failure.h"
#include "kvwin/variant_enumerator.h"
#include "module.h"
#include "text.h"
#include "variant_conversion.h"

namespace kvjs {
namespace {

// Script objects handed out to COM are kept alive in the heap stash under a number.
const char kHeldObjectsKey[] = "kvjs:held-objects";
// On a script object that has a live dispatch object: that object (no reference), so the
// object crosses to COM with one identity however often it goes.
const char kDispatchKey[] = DUK_HIDDEN_SYMBOL("kvdisp");

void PushHeldObject(duk_context* ctx, unsigned slot) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kHeldObjectsKey);
    duk_get_prop_index(ctx, -1, slot);
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);
}

// Lets go of the script object kept under `slot`.
void ForgetHeldObject(duk_context* ctx, unsigned slot) {
    duk_push_heap_stash(ctx);
    if (duk_get_prop_string(ctx, -1, kHeldObjectsKey))
        duk_del_prop_index(ctx, -1, slot);
    duk_pop_2(ctx);
}

// How a dispatch object is known again when it comes back from COM: the heap and the slot
// of its script object. Private to this module.
struct IScriptObjectHandle : IUnknown {
    virtual Runtime* STDMETHODCALLTYPE Owner() = 0;
    virtual unsigned STDMETHODCALLTYPE Slot() = 0;
};

}  // namespace
}  // namespace kvjs

KV_DECLARE_UUID(kvjs::IScriptObjectHandle, "4FE77529-D4DB-42A1-AECC-B1E0AFEAFD1B");

namespace kvjs {
namespace {

class ScriptDispatch final : public kvwin::DispatchExObject<IScriptObjectHandle> {
  public:
    Runtime* STDMETHODCALLTYPE Owner() override { return runtime_.get(); }
    unsigned STDMETHODCALLTYPE Slot() override { return slot_; }

    ScriptDispatch(std::shared_ptr<Runtime> runtime, unsigned slot)
        : runtime_(std::move(runtime)), slot_(slot) {}

    STDMETHODIMP InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excep, IServiceProvider*) override {
        if (!runtime_->Context())
            return E_UNEXPECTED;
        if (params && params->cArgs > 0 && !params->rgvarg)
            return E_INVALIDARG;
        if (result)
            VariantInit(result);
        return kvwin::GuardComCall([&]() -> HRESULT {
            std::u16string name;
            if (id > 0) {
                if (!NameOf(id, name))
                    return DISP_E_MEMBERNOTFOUND;
            } else if (id != DISPID_VALUE && id != DISPID_NEWENUM) {
                return DISP_E_MEMBERNOTFOUND;
            }
            HRESULT answer = S_OK;
            HRESULT hr = runtime_->Run([&](duk_context* ctx) {
                answer = InvokeInScript(ctx, id, name, flags, params, result);
            });
            if (hr == DISP_E_EXCEPTION) {
                if (!excep)
                    return runtime_->LastFailure().code;
                FillExcepInfo(runtime_->LastFailure(), excep);
                return DISP_E_EXCEPTION;
            }
            return FAILED(hr) ? hr : answer;
        });
    }

    // Removes a member the object has of its own; S_FALSE when it cannot go (a declared
    // variable or function) or is not there.
    STDMETHODIMP DeleteMemberByName(BSTR name, DWORD grfdex) override {
        if (!name)
            return E_INVALIDARG;
        if (!runtime_->Context())
            return E_UNEXPECTED;
        return kvwin::GuardComCall([&]() -> HRESULT {
            DISPID id = DISPID_UNKNOWN;
            if (FAILED(FindName(std::u16string_view(name, SysStringLen(name)),
                                grfdex & ~DWORD(fdexNameEnsure), &id)))
                return S_FALSE;
            return DeleteMemberByDispID(id);
        });
    }

    STDMETHODIMP DeleteMemberByDispID(DISPID id) override {
        if (!runtime_->Context())
            return E_UNEXPECTED;
        return kvwin::GuardComCall([&]() -> HRESULT {
            std::u16string name;
            if (!NameOf(id, name))
                return S_FALSE;
            bool deleted = false;
            runtime_->Peek([&](duk_context* ctx) {
                PushSelf(ctx);
                if (!duk_is_object(ctx, -1))
                    return;
                PushText(ctx, name);
                deleted = duk_del_prop(ctx, -2) && !duk_has_prop(ctx, -1);
            });
            return deleted ? S_OK : S_FALSE;
        });
    }

    STDMETHODIMP GetMemberProperties(DISPID id, DWORD fetch, DWORD* props) override {
        if (!props)
            return E_POINTER;
        *props = 0;
        if (!runtime_->Context())
            return E_UNEXPECTED;
        return kvwin::GuardComCall([&]() -> HRESULT {
            std::u16string name;
            if (!NameOf(id, name) || !HasMember(name))
                return DISP_E_UNKNOWNNAME;
            bool callable = false;
            runtime_->Peek([&](duk_context* ctx) {
                PushSelf(ctx);
                PushText(ctx, name);
                duk_get_prop(ctx, -2);
                callable = duk_is_callable(ctx, -1) != 0;
            });
            const DWORD all = fdexPropCanGet | fdexPropCanPut | fdexPropCanPutRef |
                              fdexPropCannotSourceEvents | fdexPropDynamicType |
                              (callable ? fdexPropCanCall | fdexPropCanConstruct
                                        : fdexPropCannotCall | fdexPropCannotConstruct);
            *props = all & fetch;
            return S_OK;
        });
    }

    STDMETHODIMP GetMemberName(DISPID id, BSTR* name) override {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (!runtime_->Context())
            return E_UNEXPECTED;
        return kvwin::GuardComCall([&]() -> HRESULT {
            std::u16string text;
            if (!NameOf(id, text) || !HasMember(text))
                return DISP_E_UNKNOWNNAME;
            *name = SysAllocStringLen(text.data(), UINT(text.size()));
            return *name ? S_OK : E_OUTOFMEMORY;
        });
    }

    // The object's own enumerable members in the language's order (for the global object:
    // the script's variables and functions); S_FALSE after the last.
    STDMETHODIMP GetNextDispID(DWORD, DISPID id, DISPID* next) override {
        if (!next)
            return E_POINTER;
        *next = DISPID_UNKNOWN;
        if (!runtime_->Context())
            return E_UNEXPECTED;
        return kvwin::GuardComCall([&]() -> HRESULT {
            std::u16string after;
            if (id != DISPID_STARTENUM && !NameOf(id, after))
                return E_INVALIDARG;
            std::vector<std::u16string> names = OwnNames(false);
            auto at = names.begin();
            if (id != DISPID_STARTENUM) {
                at = std::find(names.begin(), names.end(), after);
                if (at == names.end())
                    return E_INVALIDARG;
                ++at;
            }
            if (at == names.end())
                return S_FALSE;
            *next = IdOf(*at);
            return S_OK;
        });
    }

  protected:
    // Names are the language's: exact by default and with fdexNameCaseSensitive; with
    // fdexNameCaseInsensitive an exact match first, else the first of the object's own
    // members that differs only in ASCII case. fdexNameEnsure adds a missing name as a
    // member holding undefined.
    HRESULT FindName(std::u16string_view name, DWORD grfdex, DISPID* id) override {
        if (!runtime_->Context())
            return E_UNEXPECTED;
        std::u16string text(name);
        if (!HasMember(text)) {
            bool found = false;
            if (grfdex & fdexNameCaseInsensitive) {
                for (const std::u16string& own : OwnNames(true)) {
                    if (kvwin::EqualsAsciiNoCase(own, text)) {
                        text = own;
                        found = true;
                        break;
                    }
                }
            }
            if (!found && (grfdex & fdexNameEnsure)) {
                runtime_->Peek([&](duk_context* ctx) {
                    PushSelf(ctx);
                    if (!duk_is_object(ctx, -1))
                        return;
                    PushText(ctx, text);
                    duk_push_undefined(ctx);
                    duk_put_prop(ctx, -3);
                });
                found = HasMember(text);
            }
            if (!found)
                return DISP_E_UNKNOWNNAME;
        }
        *id = IdOf(text);
        return S_OK;
    }
    DWORD NameFlags() const override { return fdexNameCaseSensitive; }

  private:
    ~ScriptDispatch() override {
        runtime_->Peek([this](duk_context* ctx) {
            PushSelf(ctx);
            if (duk_is_object(ctx, -1) && duk_get_prop_string(ctx, -1, kDispatchKey) &&
                duk_get_pointer(ctx, -1) == static_cast<IDispatch*>(this)) {
                duk_pop(ctx);
                duk_del_prop_string(ctx, -1, kDispatchKey);
            } else {
                duk_pop(ctx);
            }
            duk_pop(ctx);
            ForgetHeldObject(ctx, slot_);
        });
    }

    void PushSelf(duk_context* ctx) { PushHeldObject(ctx, slot_); }

    // The DISPID of a name: one per name and heap, handed out the first time it is asked.
    DISPID IdOf(const std::u16string& name) {
        Runtime::NameTable& table = runtime_->Names();
        auto [it, added] = table.ids.emplace(name, DISPID(table.names.size() + 1));
        if (added)
            table.names.push_back(name);
        return it->second;
    }

    bool NameOf(DISPID id, std::u16string& name) {
        const Runtime::NameTable& table = runtime_->Names();
        if (id < 1 || size_t(id) > table.names.size())
            return false;
        name = table.names[size_t(id) - 1];
        return true;
    }

    // The object's own string-named members; the enumerable ones only unless all is set.
    std::vector<std::u16string> OwnNames(bool all) {
        std::vector<std::u16string> names;
        runtime_->Peek([&](duk_context* ctx) {
            PushSelf(ctx);
            if (!duk_is_object(ctx, -1))
                return;
            duk_enum(ctx, -1,
                     DUK_ENUM_OWN_PROPERTIES_ONLY | (all ? DUK_ENUM_INCLUDE_NONENUMERABLE : 0));
            while (duk_next(ctx, -1, 0)) {
                if (duk_is_string(ctx, -1) && !duk_is_symbol(ctx, -1))
                    names.push_back(GetText(ctx, -1));
                duk_pop(ctx);
            }
        });
        return names;
    }

    bool HasMember(const std::u16string& name) {
        bool found = false;
        std::function<void(duk_context*)> body = [&](duk_context* c) {
            PushSelf(c);
            PushText(c, name);
            found = duk_is_object(c, -2) && duk_has_prop(c, -2);
            duk_pop(c);
        };
        return runtime_->Peek(body) && found;
    }

    // Runs inside the protected call: returns the dispatch answer; script errors throw.
    HRESULT InvokeInScript(duk_context* ctx, DISPID id, const std::u16string& name, WORD flags,
                           DISPPARAMS* params, VARIANT* result) {
        PushSelf(ctx);
        duk_idx_t self = duk_get_top_index(ctx);
        UINT argc = params ? params->cArgs : 0;
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        if (id == DISPID_NEWENUM)
            return NewEnum(ctx, self, result);
        if (put) {
            if (id == DISPID_VALUE || argc < 1)
                return DISP_E_MEMBERNOTFOUND;
            PushText(ctx, name);
            PushVariant(ctx, params->rgvarg[0]);
            duk_put_prop(ctx, self);
            return S_OK;
        }
        if (id == DISPID_VALUE) {
            if (!(flags & DISPATCH_METHOD) || !duk_is_callable(ctx, self))
                return DISP_E_MEMBERNOTFOUND;
            duk_dup(ctx, self);
            duk_push_undefined(ctx);
        } else {
            PushText(ctx, name);
            duk_get_prop(ctx, self);
            if (!duk_is_callable(ctx, -1) || !(flags & DISPATCH_METHOD)) {
                if (!(flags & DISPATCH_PROPERTYGET) || argc > 0)
                    return DISP_E_MEMBERNOTFOUND;
                if (result)
                    ToVariant(ctx, -1, result);
                return S_OK;
            }
            duk_dup(ctx, self);
        }
        for (UINT i = argc; i-- > 0;)  // DISPPARAMS holds them last to first
            PushVariant(ctx, params->rgvarg[i]);
        duk_call_method(ctx, duk_idx_t(argc));
        if (result)
            ToVariant(ctx, -1, result);
        return S_OK;
    }

    HRESULT NewEnum(duk_context* ctx, duk_idx_t self, VARIANT* result) {
        if (!duk_is_array(ctx, self) || !result)
            return DISP_E_MEMBERNOTFOUND;
        kvwin::ReturnEnumerator(result, ArrayElements(ctx, self));
        return S_OK;
    }

    ModuleRef module_ref_;
    std::shared_ptr<Runtime> runtime_;
    unsigned slot_;
};

}  // namespace

bool PushScriptObject(duk_context* ctx, IDispatch* object) {
    IScriptObjectHandle* handle = nullptr;
    if (!object || FAILED(object->QueryInterface(__uuidof(IScriptObjectHandle),
                                                 reinterpret_cast<void**>(&handle))))
        return false;
    const bool ours = handle->Owner() == &Runtime::Of(ctx);
    unsigned slot = handle->Slot();
    handle->Release();
    if (ours)
        PushHeldObject(ctx, slot);
    return ours;
}

namespace {

// [object pointer] -> []: records the dispatch object on the script object (a frozen object
// refuses, and then only identity is lost).
duk_ret_t RecordDispatch(duk_context* ctx, void*) {
    duk_put_prop_string(ctx, -2, kDispatchKey);
    return 0;
}

}  // namespace

IDispatch* CreateScriptDispatch(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    if (duk_get_prop_string(ctx, idx, kDispatchKey)) {
        auto* existing = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
        duk_pop(ctx);
        if (existing) {
            existing->AddRef();
            return existing;
        }
    } else {
        duk_pop(ctx);
    }
    duk_push_heap_stash(ctx);
    if (!duk_get_prop_string(ctx, -1, kHeldObjectsKey)) {
        duk_pop(ctx);
        duk_push_object(ctx);
        duk_push_int(ctx, 0);
        duk_put_prop_string(ctx, -2, "next");
        duk_dup_top(ctx);
        duk_put_prop_string(ctx, -3, kHeldObjectsKey);
    }
    duk_get_prop_string(ctx, -1, "next");
    unsigned slot = unsigned(duk_get_uint(ctx, -1));
    duk_pop(ctx);
    duk_push_uint(ctx, slot + 1);
    duk_put_prop_string(ctx, -2, "next");
    duk_dup(ctx, idx);
    duk_put_prop_index(ctx, -2, slot);
    duk_pop_2(ctx);
    IDispatch* created = nullptr;
    try {
        created = new ScriptDispatch(Runtime::Of(ctx).shared_from_this(), slot);
    } catch (const std::bad_alloc&) {  // refused past the held-memory bound: the slot goes
        ForgetHeldObject(ctx, slot);
        ThrowComError(ctx, E_OUTOFMEMORY, nullptr);
    }
    duk_dup(ctx, idx);
    duk_push_pointer(ctx, created);
    duk_safe_call(ctx, RecordDispatch, nullptr, 2, 1);
    duk_pop(ctx);
    return created;
}

}  // namespace kvjs
