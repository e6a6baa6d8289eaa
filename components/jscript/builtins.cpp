// ActiveXObject, GetObject, Enumerator, VBArray and ScriptEngine*.
#include "builtins.h"

#include <string>

#include "dispatch_proxy.h"
#include "kvwin/moniker_names.h"
#include "kvwin/variant_enumerator.h"
#include "text.h"
#include "variant_conversion.h"
#include "win/com.h"

namespace kvjs {
namespace {

const char kEnumStateKey[] = DUK_HIDDEN_SYMBOL("kvenum");

// `new ActiveXObject(progid)`: the class named by a ProgID (or a braced CLSID), created
// in process and asked for IDispatch.
duk_ret_t ActiveXObject(duk_context* ctx) {
    std::u16string name = GetText(ctx, 0);
    CLSID clsid;
    HRESULT hr = name.size() && name[0] == u'{' ? CLSIDFromString(name.c_str(), &clsid)
                                                : CLSIDFromProgID(name.c_str(), &clsid);
    IDispatch* object = nullptr;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(&object));
    if (hr == E_OUTOFMEMORY)
        ThrowComError(ctx, hr, nullptr);  // e.g. past the bound on what objects hold for scripts
    if (FAILED(hr)) {
        // The language's own error: "Automation server can't create object".
        duk_push_error_object(ctx, DUK_ERR_ERROR, "Automation server can't create object");
        duk_push_int(ctx, HRESULT(0x800A01AD));
        duk_put_prop_string(ctx, -2, "number");
        duk_throw(ctx);
    }
    PushDispatch(ctx, object);
    object->Release();
    return 1;
}

// `GetObject(displayName)`: the object a display name stands for (kvwin/moniker_names.h).
duk_ret_t GetObject(duk_context* ctx) {
    std::u16string name = GetText(ctx, 0);
    IDispatch* object = nullptr;
    HRESULT hr =
        CoGetObject(name.c_str(), nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(hr))
        ThrowComError(ctx, hr, nullptr);
    PushDispatch(ctx, object);
    object->Release();
    return 1;
}

// The state of one Enumerator: the collection's enumerator and the current element.
struct EnumState {
    IEnumVARIANT* items = nullptr;
    VARIANT current;
    bool at_end = true;

    EnumState() { VariantInit(&current); }
    ~EnumState() {
        VariantClear(&current);
        if (items)
            items->Release();
    }
    void Advance() {
        VariantClear(&current);
        ULONG fetched = 0;
        at_end = !items || items->Next(1, &current, &fetched) != S_OK || fetched != 1;
        if (at_end)
            VariantInit(&current);
    }
};

EnumState* StateOf(duk_context* ctx) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kEnumStateKey);
    auto* state = static_cast<EnumState*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    if (!state)
        duk_error(ctx, DUK_ERR_TYPE_ERROR, "Enumerator object expected");
    return state;
}

duk_ret_t FinalizeEnumerator(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kEnumStateKey);
    delete static_cast<EnumState*>(duk_get_pointer(ctx, -1));
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kEnumStateKey);
    return 0;
}

// The IEnumVARIANT of a collection (its DISPID_NEWENUM member) or of a script array.
IEnumVARIANT* EnumeratorOf(duk_context* ctx, duk_idx_t idx) {
    if (IDispatch* coll = ProxiedDispatch(ctx, idx)) {
        VARIANT result;
        VariantInit(&result);
        DISPPARAMS none{};
        HRESULT hr =
            coll->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                         DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        IEnumVARIANT* items = nullptr;
        if (SUCCEEDED(hr) && (result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH) &&
            result.punkVal)
            hr = result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
        else if (SUCCEEDED(hr))
            hr = DISP_E_TYPEMISMATCH;
        VariantClear(&result);
        if (FAILED(hr))
            ThrowComError(ctx, hr, nullptr);
        return items;
    }
    if (duk_is_array(ctx, idx))
        return kvwin::VariantEnumerator::Create(ArrayElements(ctx, idx));
    if (duk_is_undefined(ctx, idx))
        return nullptr;  // an empty enumerator
    duk_push_error_object(ctx, DUK_ERR_TYPE_ERROR, "Object is not a collection");
    duk_push_int(ctx, HRESULT(0x800A01C3));
    duk_put_prop_string(ctx, -2, "number");
    duk_throw(ctx);
    return nullptr;
}

duk_ret_t EnumeratorConstructor(duk_context* ctx) {
    if (!duk_is_constructor_call(ctx))
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "Enumerator must be called with new");
    duk_push_this(ctx);
    auto* state = new EnumState();
    duk_push_pointer(ctx, state);
    duk_put_prop_string(ctx, -2, kEnumStateKey);
    duk_push_c_function(ctx, FinalizeEnumerator, 1);
    duk_set_finalizer(ctx, -2);
    state->items = EnumeratorOf(ctx, 0);  // the finalizer frees the state if this throws
    state->Advance();
    return 0;
}

duk_ret_t EnumeratorAtEnd(duk_context* ctx) {
    duk_push_boolean(ctx, StateOf(ctx)->at_end);
    return 1;
}
duk_ret_t EnumeratorItem(duk_context* ctx) {
    EnumState* state = StateOf(ctx);
    PushVariant(ctx, state->current);
    return 1;
}
duk_ret_t EnumeratorMoveNext(duk_context* ctx) {
    StateOf(ctx)->Advance();
    return 0;
}
duk_ret_t EnumeratorMoveFirst(duk_context* ctx) {
    EnumState* state = StateOf(ctx);
    if (state->items)
        state->items->Reset();
    state->Advance();
    return 0;
}

// What is simplest written in the language itself. Arrays from COM arrive as opaque values;
// partsOf gives one's elements (in storage order, the first dimension varying fastest) and
// bounds ([lbound1, count1, lbound2, count2, ...]), of which a VBArray is a view. Anything
// else is not a VBArray, as on Windows.
const char kPrelude[] = R"JS(
(function (global, partsOf) {
    function define(name, value) {
        Object.defineProperty(global, name, {value: value, writable: true, configurable: true});
    }
    function outOfRange() {
        var e = new RangeError('Subscript out of range');
        e.number = -2146828279;  // 0x800A0009
        e.description = e.message;
        throw e;
    }
    function VBArray(values) {
        if (!(this instanceof VBArray)) return new VBArray(values);
        var parts = partsOf(values);
        if (!parts) {
            var e = new TypeError('VBArray expected');
            e.number = -2146823275;  // 0x800A1395
            e.description = e.message;
            throw e;
        }
        Object.defineProperty(this, 'values', {value: parts[0]});
        Object.defineProperty(this, 'bounds', {value: parts[1]});
    }
    VBArray.prototype.toArray = function () { return this.values.slice(); };
    VBArray.prototype.dimensions = function () { return this.bounds.length / 2; };
    function dimension(self, d) {
        d = d === undefined ? 1 : Number(d);
        if (!(d >= 1 && d <= self.bounds.length / 2) || d != Math.floor(d)) outOfRange();
        return 2 * (d - 1);
    }
    VBArray.prototype.lbound = function (d) { return this.bounds[dimension(this, d)]; };
    VBArray.prototype.ubound = function (d) {
        var at = dimension(this, d);
        return this.bounds[at] + this.bounds[at + 1] - 1;
    };
    // getItem(i, j, ...): one index per dimension, the first varying fastest in storage.
    VBArray.prototype.getItem = function () {
        var b = this.bounds;
        if (arguments.length != b.length / 2) outOfRange();
        var at = 0, stride = 1;
        for (var d = 0; d < arguments.length; ++d) {
            var i = Number(arguments[d]) - b[2 * d];
            if (!(i >= 0 && i < b[2 * d + 1]) || i != Math.floor(i)) outOfRange();
            at += i * stride;
            stride *= b[2 * d + 1];
        }
        return this.values[at];
    };
    define('VBArray', VBArray);
    define('ScriptEngine', function () { return 'JScript'; });
    define('ScriptEngineMajorVersion', function () { return 5; });
    define('ScriptEngineMinorVersion', function () { return 8; });
    define('ScriptEngineBuildVersion', function () { return 0; });
    define('CollectGarbage', function () { Duktape.gc(); });
    // The moment as a COM date: a Date crosses to COM as VT_DATE.
    Object.defineProperty(Date.prototype, 'getVarDate', {
        value: function () { return new Date(this.getTime()); }, writable: true, configurable: true});
})
)JS";

// The host's globals are not enumerable, as the language's own are not: walking the global
// object (for-in, the script dispatch's GetNextDispID) finds what the script made.
void DefineGlobal(duk_context* ctx, const char* name) {
    duk_push_global_object(ctx);
    duk_insert(ctx, -2);
    duk_push_string(ctx, name);
    duk_insert(ctx, -2);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE |
                     DUK_DEFPROP_CLEAR_ENUMERABLE);
    duk_pop(ctx);
}

void DefineFunction(duk_context* ctx, const char* name, duk_c_function fn, duk_idx_t nargs) {
    duk_push_c_function(ctx, fn, nargs);
    DefineGlobal(ctx, name);
}

}  // namespace

void InstallBuiltins(duk_context* ctx) {
    DefineFunction(ctx, "ActiveXObject", ActiveXObject, 1);
    DefineFunction(ctx, "GetObject", GetObject, 1);

    duk_push_c_function(ctx, EnumeratorConstructor, 1);
    duk_push_object(ctx);
    const duk_function_list_entry methods[] = {{"atEnd", EnumeratorAtEnd, 0},
                                               {"item", EnumeratorItem, 0},
                                               {"moveNext", EnumeratorMoveNext, 0},
                                               {"moveFirst", EnumeratorMoveFirst, 0},
                                               {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, methods);
    duk_put_prop_string(ctx, -2, "prototype");
    DefineGlobal(ctx, "Enumerator");

    // Whatever the interpreter itself put on the global object enumerable (its `performance`)
    // is hidden the same way.
    duk_push_global_object(ctx);
    duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(ctx, -1, 0)) {
        duk_def_prop(ctx, -3, DUK_DEFPROP_CLEAR_ENUMERABLE);
    }
    duk_pop_2(ctx);

    InstallComValueTypes(ctx);
    duk_eval_string(ctx, kPrelude);
    duk_push_global_object(ctx);
    duk_push_c_function(ctx, PushArrayParts, 1);
    duk_call(ctx, 2);
    duk_pop(ctx);
}

}  // namespace kvjs
