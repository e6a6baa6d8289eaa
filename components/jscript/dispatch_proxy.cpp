// The Proxy traps that carry script operations to IDispatch.
#include "dispatch_proxy.h"

#include <cstring>
#include <string>

#include "call_assignment.h"
#include "kvwin/com_error_text.h"
#include "runtime.h"
#include "text.h"
#include "variant_conversion.h"

namespace kvjs {
namespace {

const char kObjectKey[] = DUK_HIDDEN_SYMBOL("kvcom");         // on a proxy's target
const char kMethodObjectKey[] = DUK_HIDDEN_SYMBOL("kvmobj");  // on a method reference
const char kMethodIdKey[] = DUK_HIDDEN_SYMBOL("kvmid");
const char kCallsKey[] = DUK_HIDDEN_SYMBOL("kvcalls");  // on a target: name -> method reference
const char kHandlerKey[] = "kvjs:dispatch-handler";     // in the heap stash
// A reference to a member with arguments, made for an assignment to a call.
const char kReferencePrototypeKey[] = "kvjs:member-reference";   // in the heap stash
const char kReferenceObjectKey[] = DUK_HIDDEN_SYMBOL("kvrobj");  // the object's proxy
const char kReferenceIdKey[] = DUK_HIDDEN_SYMBOL("kvrid");
const char kReferenceArgsKey[] = DUK_HIDDEN_SYMBOL("kvrargs");

// A script that spends its time in COM calls runs few instructions between the
// interpreter's interrupt checks, so every call into COM looks at the signal first.
void StopIfInterrupted(duk_context* ctx) {
    if (Runtime::Of(ctx).InterruptRequested())
        duk_error(ctx, DUK_ERR_RANGE_ERROR, "script interrupted");
}

// Hidden symbols never reach Proxy traps: reading one from a proxy reads its target.
IDispatch* PointerAt(duk_context* ctx, duk_idx_t idx, const char* key) {
    if (!duk_is_object(ctx, idx))
        return nullptr;
    duk_get_prop_string(ctx, idx, key);
    void* p = duk_get_pointer(ctx, -1);
    duk_pop(ctx);
    return static_cast<IDispatch*>(p);
}

// Releases the reference a target or a method reference holds.
duk_ret_t ReleaseHeldObject(duk_context* ctx) {
    for (const char* key : {kObjectKey, kMethodObjectKey}) {
        if (IDispatch* p = PointerAt(ctx, 0, key)) {
            duk_push_pointer(ctx, nullptr);
            duk_put_prop_string(ctx, 0, key);
            p->Release();
        }
    }
    return 0;
}

void HoldObject(duk_context* ctx, duk_idx_t idx, const char* key, IDispatch* object) {
    object->AddRef();
    duk_push_pointer(ctx, object);
    duk_put_prop_string(ctx, idx, key);
    duk_push_c_function(ctx, ReleaseHeldObject, 1);
    duk_set_finalizer(ctx, idx);
}

// The DISPID of a name, or false when the object does not know it.
bool FindName(IDispatch* object, const std::u16string& name, DISPID& id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

class ExcepInfo {
  public:
    ExcepInfo() { excep_ = EXCEPINFO{}; }
    ~ExcepInfo() {
        SysFreeString(excep_.bstrSource);
        SysFreeString(excep_.bstrDescription);
        SysFreeString(excep_.bstrHelpFile);
    }
    EXCEPINFO* get() { return &excep_; }

  private:
    EXCEPINFO excep_;
};

class Result {
  public:
    Result() { VariantInit(&v_); }
    ~Result() { VariantClear(&v_); }
    VARIANT* get() { return &v_; }

  private:
    VARIANT v_;
};

// Invokes and pushes the result, or throws.
void InvokeAndPush(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, ArgumentList& args) {
    Result result;
    ExcepInfo excep;
    UINT arg_err = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, args.Params(),
                                result.get(), excep.get(), &arg_err);
    if (FAILED(hr))
        ThrowComError(ctx, hr, excep.get());
    PushVariant(ctx, *result.get());
}

// Assigns through a put (args made by MakePut, the value last); an object value that the
// member does not take as a property value is tried as a reference (DISPATCH_PROPERTYPUTREF).
// Throws on failure.
void InvokePut(duk_context* ctx, IDispatch* object, DISPID id, ArgumentList& args,
               duk_idx_t value) {
    ExcepInfo excep;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                args.Params(), nullptr, excep.get(), nullptr);
    if (hr == DISP_E_MEMBERNOTFOUND && duk_is_object(ctx, value))
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF,
                            args.Params(), nullptr, excep.get(), nullptr);
    if (FAILED(hr))
        ThrowComError(ctx, hr, excep.get());
}

// A method reference: calling it invokes the member with the call's arguments. The DISPID
// rides in the function's magic when it fits (the common case), else in a property.
constexpr duk_int_t kIdInProperty = -32768;

duk_ret_t CallMethodReference(duk_context* ctx) {
    StopIfInterrupted(ctx);
    duk_idx_t argc = duk_get_top(ctx);
    duk_push_current_function(ctx);
    IDispatch* object = PointerAt(ctx, -1, kMethodObjectKey);
    DISPID id = duk_get_current_magic(ctx);
    if (id == kIdInProperty) {
        duk_get_prop_string(ctx, -1, kMethodIdKey);
        id = duk_get_int(ctx, -1);
        duk_pop(ctx);
    }
    duk_pop(ctx);
    if (!object)
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "object is no longer available");
    ArgumentList args(ctx, 0, argc);
    InvokeAndPush(ctx, object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    return 1;
}

void PushMethodReference(duk_context* ctx, IDispatch* object, DISPID id) {
    duk_idx_t fn = duk_push_c_function(ctx, CallMethodReference, DUK_VARARGS);
    if (id > kIdInProperty && id <= 32767) {
        duk_set_magic(ctx, fn, id);
    } else {
        duk_set_magic(ctx, fn, kIdInProperty);
        duk_push_int(ctx, id);
        duk_put_prop_string(ctx, fn, kMethodIdKey);
    }
    HoldObject(ctx, fn, kMethodObjectKey, object);
}

// The object's value as a primitive: its default member, or a fixed text.
duk_ret_t DefaultValue(duk_context* ctx) {
    duk_push_this(ctx);
    IDispatch* object = ProxiedDispatch(ctx, -1);
    duk_pop(ctx);
    if (object) {
        Result result;
        DISPPARAMS none{};
        if (SUCCEEDED(object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                     DISPATCH_PROPERTYGET, &none, result.get(), nullptr,
                                     nullptr)) &&
            result.get()->vt != VT_DISPATCH && result.get()->vt != VT_UNKNOWN) {
            PushVariant(ctx, *result.get());
            return 1;
        }
    }
    duk_push_string(ctx, "[object]");
    return 1;
}

// An assignment to a call, rewritten as A[K](name, args).value = v (call_assignment.h): the
// callee of A[K] on a COM object's proxy, called with this = the proxy. Makes a reference to
// the member (the default member for an undefined name) with the arguments; its `value`
// reads the member with them (for op=) and writes it with them plus the value.
duk_ret_t MakeMemberReference(duk_context* ctx) {
    StopIfInterrupted(ctx);
    const duk_idx_t argc = duk_get_top(ctx);
    duk_push_this(ctx);
    const duk_idx_t self = duk_get_top_index(ctx);
    IDispatch* object = ProxiedDispatch(ctx, self);
    if (!object)
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "object expected");
    DISPID id = DISPID_VALUE;
    if (argc > 0 && !duk_is_undefined(ctx, 0) && !FindName(object, GetText(ctx, 0), id))
        ThrowComError(ctx, DISP_E_UNKNOWNNAME, nullptr);
    const duk_idx_t reference = duk_push_bare_object(ctx);
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kReferencePrototypeKey);
    duk_remove(ctx, -2);
    duk_set_prototype(ctx, reference);
    duk_dup(ctx, self);
    duk_put_prop_string(ctx, reference, kReferenceObjectKey);
    duk_push_int(ctx, id);
    duk_put_prop_string(ctx, reference, kReferenceIdKey);
    const duk_idx_t args = duk_push_array(ctx);
    for (duk_idx_t i = 1; i < argc; ++i) {
        duk_dup(ctx, i);
        duk_put_prop_index(ctx, args, duk_uarridx_t(i - 1));
    }
    duk_put_prop_string(ctx, reference, kReferenceArgsKey);
    return 1;
}

// Pushes the arguments of the reference that is `this`; gives its object and member.
IDispatch* PushReferenceArguments(duk_context* ctx, DISPID& id, duk_idx_t& first,
                                  duk_idx_t& count) {
    duk_push_this(ctx);
    const duk_idx_t reference = duk_get_top_index(ctx);
    duk_get_prop_string(ctx, reference, kReferenceObjectKey);
    IDispatch* object = ProxiedDispatch(ctx, -1);
    duk_get_prop_string(ctx, reference, kReferenceIdKey);
    id = duk_get_int(ctx, -1);
    duk_get_prop_string(ctx, reference, kReferenceArgsKey);
    const duk_idx_t args = duk_get_top_index(ctx);
    count = duk_is_array(ctx, args) ? duk_idx_t(duk_get_length(ctx, args)) : 0;
    first = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < count; ++i)
        duk_get_prop_index(ctx, args, duk_uarridx_t(i));
    if (!object)
        duk_error(ctx, DUK_ERR_TYPE_ERROR, "object expected");
    return object;
}

duk_ret_t ReadMemberReference(duk_context* ctx) {
    StopIfInterrupted(ctx);
    DISPID id;
    duk_idx_t first, count;
    IDispatch* object = PushReferenceArguments(ctx, id, first, count);
    ArgumentList args(ctx, first, first + count);
    InvokeAndPush(ctx, object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    return 1;
}

duk_ret_t WriteMemberReference(duk_context* ctx) {
    StopIfInterrupted(ctx);
    DISPID id;
    duk_idx_t first, count;
    IDispatch* object = PushReferenceArguments(ctx, id, first, count);
    duk_dup(ctx, 0);  // the value goes last: rgvarg[0], the named DISPID_PROPERTYPUT
    ArgumentList args(ctx, first, first + count + 1);
    args.MakePut();
    InvokePut(ctx, object, id, args, 0);
    return 0;
}

// What every other value finds for A[K]: the language's error for an assignment to the
// result of a call.
duk_ret_t CannotAssignToCall(duk_context* ctx) {
    duk_push_error_object(ctx, DUK_ERR_REFERENCE_ERROR, "Cannot assign to a function result");
    duk_push_int(ctx, HRESULT(0x800A138B));
    duk_put_prop_string(ctx, -2, "number");
    duk_push_string(ctx, "Cannot assign to a function result");
    duk_put_prop_string(ctx, -2, "description");
    return duk_throw(ctx);
}

// The callee of obj.name(args) on the target at idx with the key on top: the method
// reference of the name, made once per proxy and name and kept on the target, so a loop of
// calls creates no object per call. Replaces the key with the callee (undefined for a name
// the object does not know, so the call fails as a call of a missing method does).
void ReplaceKeyWithCallee(duk_context* ctx, duk_idx_t target, IDispatch* object) {
    const duk_idx_t key = duk_get_top_index(ctx);
    if (std::strcmp(duk_get_string(ctx, key), kCallAssignmentKey) == 0) {
        duk_push_c_function(ctx, MakeMemberReference, DUK_VARARGS);
        duk_replace(ctx, key);
        return;
    }
    if (!duk_get_prop_string(ctx, target, kCallsKey)) {
        duk_pop(ctx);
        duk_push_bare_object(ctx);
        duk_dup_top(ctx);
        duk_put_prop_string(ctx, target, kCallsKey);
    }
    const duk_idx_t calls = key + 1;
    duk_dup(ctx, key);
    if (!duk_get_prop(ctx, calls)) {
        duk_pop(ctx);
        const std::u16string name = GetText(ctx, key);
        DISPID id;
        if (FindName(object, name, id)) {
            PushMethodReference(ctx, object, id);
            duk_dup(ctx, key);
            duk_dup(ctx, -2);
            duk_put_prop(ctx, calls);
        } else if (name == u"toString" || name == u"valueOf") {
            duk_push_c_function(ctx, DefaultValue, 0);
        } else {
            duk_push_undefined(ctx);
        }
    }
    duk_replace(ctx, key);
    duk_pop(ctx);  // the cache
}

// get(target, key, receiver)
duk_ret_t TrapGet(duk_context* ctx) {
    StopIfInterrupted(ctx);
    IDispatch* object = PointerAt(ctx, 0, kObjectKey);
    if (!object || !duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1))
        return 0;
    std::u16string name = GetText(ctx, 1);
    DISPID id;
    if (!FindName(object, name, id)) {
        if (name == u"toString" || name == u"valueOf") {
            duk_push_c_function(ctx, DefaultValue, 0);
            return 1;
        }
        return 0;
    }
    Result result;
    ExcepInfo excep;
    DISPPARAMS none{};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                result.get(), excep.get(), nullptr);
    if (SUCCEEDED(hr)) {
        PushVariant(ctx, *result.get());
        return 1;
    }
    switch (hr) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_PARAMNOTOPTIONAL:
        case DISP_E_PARAMNOTFOUND:
        case DISP_E_TYPEMISMATCH:
            // Not a plain property: a method, or a property that takes arguments.
            PushMethodReference(ctx, object, id);
            return 1;
        default:
            ThrowComError(ctx, hr, excep.get());
    }
}

// set(target, key, value, receiver)
duk_ret_t TrapSet(duk_context* ctx) {
    StopIfInterrupted(ctx);
    IDispatch* object = PointerAt(ctx, 0, kObjectKey);
    if (!object || duk_is_symbol(ctx, 1))
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "object does not support this property");
    std::u16string name = GetText(ctx, 1);
    DISPID id;
    if (!FindName(object, name, id))
        ThrowComError(ctx, DISP_E_UNKNOWNNAME, nullptr);
    ArgumentList args(ctx, 2, 3);
    args.MakePut();
    InvokePut(ctx, object, id, args, 2);
    duk_push_true(ctx);
    return 1;
}

// has(target, key)
duk_ret_t TrapHas(duk_context* ctx) {
    IDispatch* object = PointerAt(ctx, 0, kObjectKey);
    DISPID id;
    duk_push_boolean(ctx,
                     object && !duk_is_symbol(ctx, 1) && FindName(object, GetText(ctx, 1), id));
    return 1;
}

// apply(target, this, args): the default member.
duk_ret_t TrapApply(duk_context* ctx) {
    StopIfInterrupted(ctx);
    IDispatch* object = PointerAt(ctx, 0, kObjectKey);
    if (!object)
        return 0;
    duk_idx_t argc = duk_idx_t(duk_get_length(ctx, 2));
    duk_idx_t first = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < argc; ++i)
        duk_get_prop_index(ctx, 2, duk_uarridx_t(i));
    ArgumentList args(ctx, first, first + argc);
    InvokeAndPush(ctx, object, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    return 1;
}

// The target's own code never runs (the apply trap answers calls); it exists so that the
// proxy is callable.
duk_ret_t TargetBody(duk_context*) {
    return 0;
}

}  // namespace

void InstallDispatchProxy(duk_context* ctx) {
    duk_push_heap_stash(ctx);
    duk_push_object(ctx);
    duk_push_c_function(ctx, TrapGet, 3);
    duk_put_prop_string(ctx, -2, "get");
    duk_push_c_function(ctx, TrapSet, 4);
    duk_put_prop_string(ctx, -2, "set");
    duk_push_c_function(ctx, TrapHas, 2);
    duk_put_prop_string(ctx, -2, "has");
    duk_push_c_function(ctx, TrapApply, 3);
    duk_put_prop_string(ctx, -2, "apply");
    duk_put_prop_string(ctx, -2, kHandlerKey);

    duk_push_object(ctx);
    duk_push_string(ctx, "value");
    duk_push_c_function(ctx, ReadMemberReference, 0);
    duk_push_c_function(ctx, WriteMemberReference, 1);
    duk_def_prop(ctx, -4, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER);
    duk_put_prop_string(ctx, -2, kReferencePrototypeKey);
    duk_pop(ctx);

    duk_get_global_string(ctx, "Object");
    duk_get_prop_string(ctx, -1, "prototype");
    duk_push_string(ctx, kCallAssignmentKey);
    duk_push_c_function(ctx, CannotAssignToCall, DUK_VARARGS);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE |
                     DUK_DEFPROP_CLEAR_ENUMERABLE | DUK_DEFPROP_CLEAR_CONFIGURABLE);
    duk_pop_2(ctx);
}

void PushDispatch(duk_context* ctx, IDispatch* object) {
    if (!object) {
        duk_push_null(ctx);
        return;
    }
    duk_idx_t target = duk_push_c_function(ctx, TargetBody, DUK_VARARGS);
    HoldObject(ctx, target, kObjectKey, object);
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kHandlerKey);
    duk_remove(ctx, -2);
    duk_push_proxy(ctx, 0);
}

IDispatch* ProxiedDispatch(duk_context* ctx, duk_idx_t idx) {
    return PointerAt(ctx, idx, kObjectKey);
}

void ThrowComError(duk_context* ctx, HRESULT hr, EXCEPINFO* excep) {
    std::u16string description;
    if (hr == DISP_E_EXCEPTION && excep) {
        if (excep->pfnDeferredFillIn)
            excep->pfnDeferredFillIn(excep);
        if (excep->scode)
            hr = excep->scode;
        else if (excep->wCode)
            hr = HRESULT(0x800A0000u | excep->wCode);
        if (excep->bstrDescription)
            description.assign(excep->bstrDescription, SysStringLen(excep->bstrDescription));
    }
    if (description.empty())
        description = kvwin::HresultText(hr);
    while (!description.empty() && (description.back() == u'\n' || description.back() == u'\r'))
        description.pop_back();
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", "");
    PushText(ctx, description);
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, "message");
    duk_put_prop_string(ctx, -2, "description");
    duk_push_int(ctx, hr);
    duk_put_prop_string(ctx, -2, "number");
    duk_throw(ctx);
    __builtin_unreachable();
}

}  // namespace kvjs

extern "C" int kvjs_property_call(void* ctx_pointer, void* target, void* key) {
    auto* ctx = static_cast<duk_context*>(ctx_pointer);
    // The interpreter asks between instructions, not from a native call with its own
    // reserve: room for what is pushed here.
    duk_require_stack(ctx, 16);
    const duk_idx_t target_idx = duk_push_heapptr(ctx, target);
    IDispatch* object = kvjs::PointerAt(ctx, target_idx, kvjs::kObjectKey);
    duk_push_heapptr(ctx, key);
    if (!object || duk_is_symbol(ctx, -1)) {
        duk_pop_n(ctx, duk_get_top(ctx) - target_idx);
        return 0;  // not a COM object's proxy, or not a name: the ordinary lookup
    }
    kvjs::ReplaceKeyWithCallee(ctx, target_idx, object);
    duk_remove(ctx, target_idx);
    return 1;
}
