// Late binding for the project's own objects: IDispatch implemented from a table of named
// members.
//
//   class Counter final : public kvwin::DispatchObject<Counter, ICounterDispatch> {
//     public:
//       static std::span<const kvwin::DispatchMember<Counter>> DispatchMembers();
//   };
//   // one row per member: name, DISPID, what it answers, argument counts, handler
//   {u"Add", 1, DISPATCH_METHOD, 1, 2, [](Counter& self, kvwin::DispatchCall& call) {...}}
//
// GetIDsOfNames finds names without regard to ASCII case. Invoke checks the member, the
// kind of call and the number of arguments before the handler runs:
//   * DISPATCH_METHOD and DISPATCH_PROPERTYGET may come together (script engines send both
//     for `obj.x` and `obj.x()`); either one is enough when the member answers it;
//   * a put (DISPATCH_PROPERTYPUT/PUTREF) carries its value as the named argument
//     DISPID_PROPERTYPUT; it is not counted among the arguments;
//   * other named arguments are refused (DISP_E_NONAMEDARGS);
//   * an argument passed as VT_ERROR/DISP_E_PARAMNOTFOUND is a missing optional argument;
//   * a get of a property that takes no arguments, made with arguments (`WScript.Arguments(0)`
//     in VBScript), reads the property and hands the arguments to the default member of the
//     object it holds, as type-information-driven Invoke does on Windows.
// GetTypeInfo(0) gives type information that names the object's class (kvwin/type_name.h):
// the C++ class T unless the object overrides TypeName(); a script's TypeName shows it.
// A handler fails with DispatchCall::Fail(hr, description): Invoke then answers
// DISP_E_EXCEPTION with the code and text in the EXCEPINFO, as Automation objects do, or hr
// itself when the caller passed no EXCEPINFO. An exception never leaves Invoke.
//
// Thread safety: the table is immutable; the object's own state is the implementer's to
// guard (the project's dispatch objects are apartment objects, used by one thread at a time).
#pragma once

#include <new>
#include <span>
#include <string>
#include <string_view>

#include "kvwin/ascii_case.h"
#include "kvwin/com_object.h"
#include "kvwin/type_name.h"
#include "win/com.h"
#include "win/oleauto.h"

namespace kvwin {

// The arguments and result of one Invoke, in the order the caller wrote them.
class DispatchCall {
  public:
    DispatchCall(WORD flags, DISPPARAMS* params, VARIANT* result)
        : flags_(flags), params_(params), result_(result) {
        if (IsPut() && params_ && params_->cArgs > 0)
            put_value_ = &params_->rgvarg[0];  // the named DISPID_PROPERTYPUT argument
        count_ = params_ ? params_->cArgs - (put_value_ ? 1 : 0) : 0;
    }

    WORD Flags() const { return flags_; }
    bool IsPut() const { return (flags_ & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

    // Number of positional arguments (the put value not included).
    UINT Count() const { return count_; }

    // Argument i (0 = leftmost), seen through one VT_BYREF|VT_VARIANT level; null when the
    // caller passed fewer or left it out (an optional argument).
    const VARIANT* Arg(UINT i) const {
        if (i >= count_)
            return nullptr;
        const VARIANT* v = &params_->rgvarg[params_->cArgs - 1 - i];
        if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
            v = v->pvarVal;
        if (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND)
            return nullptr;
        return v;
    }

    // The variant an out argument writes to (a VT_BYREF|VT_VARIANT argument), or null.
    VARIANT* OutArg(UINT i) const {
        if (i >= count_)
            return nullptr;
        VARIANT* v = &params_->rgvarg[params_->cArgs - 1 - i];
        return v->vt == (VT_BYREF | VT_VARIANT) ? v->pvarVal : nullptr;
    }

    // The value of a put, through one VT_BYREF|VT_VARIANT level.
    const VARIANT* PutValue() const {
        if (put_value_ && put_value_->vt == (VT_BYREF | VT_VARIANT) && put_value_->pvarVal)
            return put_value_->pvarVal;
        return put_value_;
    }

    // Where the handler puts its result; null when the caller wants none.
    VARIANT* Result() const { return result_; }

    // Records a failure with its description; returns hr for the handler to return.
    HRESULT Fail(HRESULT hr, std::u16string description) {
        error_ = hr;
        description_ = std::move(description);
        return hr;
    }
    HRESULT Error() const { return error_; }
    const std::u16string& Description() const { return description_; }

  private:
    WORD flags_;
    DISPPARAMS* params_;
    VARIANT* result_;
    const VARIANT* put_value_ = nullptr;
    UINT count_ = 0;
    HRESULT error_ = S_OK;
    std::u16string description_;
};

template <class T>
struct DispatchMember {
    const char16_t* name;
    DISPID id;
    WORD answers;  // DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT
    UINT min_args;
    UINT max_args;
    HRESULT (*handler)(T& self, DispatchCall& call);
};

// An automation object without type information: GetTypeInfoCount answers 0 and GetTypeInfo
// TYPE_E_ELEMENTNOTFOUND; names are bound by GetIDsOfNames alone.
template <class... Interfaces>
class UntypedDispatch : public ComObject<Interfaces...> {
  public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
};

// An automation object that names its class through one type information (a script's
// TypeName shows it) and binds names by GetIDsOfNames alone.
template <class... Interfaces>
class NamedDispatch : public UntypedDispatch<Interfaces...> {
  public:
    // The class name the type information gives.
    virtual std::u16string_view TypeName() const = 0;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        try {
            *info = new ClassNameInfo(TypeName());
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
};

// IDispatch for T from T::DispatchMembers(); T derives from DispatchObject<T, I...>, where
// the listed interfaces are what ComObject answers (one of them IDispatch or derived from it).
template <class T, class... Interfaces>
class DispatchObject : public NamedDispatch<Interfaces...> {
  public:
    // The source named in the EXCEPINFO of a failed call.
    virtual std::u16string_view ErrorSource() const { return u""; }
    // The class name the type information gives: T's own unless the object says otherwise.
    std::u16string_view TypeName() const override { return DeclaredTypeName<T>(); }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids)
            return E_POINTER;
        if (count == 0)
            return S_OK;
        HRESULT hr = S_OK;
        ids[0] = DISPID_UNKNOWN;
        if (const auto* m = FindByName(names[0] ? names[0] : u""))
            ids[0] = m->id;
        else
            hr = DISP_E_UNKNOWNNAME;
        for (UINT i = 1; i < count; ++i) {  // the members take no named arguments
            ids[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* arg_err) override {
        const DispatchMember<T>* member = FindById(id);
        if (!member)
            return DISP_E_MEMBERNOTFOUND;
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        if (put) {
            if (!(member->answers & DISPATCH_PROPERTYPUT))
                return DISP_E_MEMBERNOTFOUND;
            if (!params || params->cArgs == 0)
                return DISP_E_PARAMNOTOPTIONAL;
            if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
        } else {
            if (!(member->answers & flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
                return DISP_E_MEMBERNOTFOUND;
            if (params && params->cNamedArgs != 0)
                return DISP_E_NONAMEDARGS;
        }
        if (params && params->cArgs > 0 && !params->rgvarg)
            return E_INVALIDARG;
        DispatchCall call(flags, params, result);
        if (!put && member->max_args == 0 && call.Count() > 0 &&
            (member->answers & flags & DISPATCH_PROPERTYGET))
            return InvokeDefaultOfProperty(id, flags, params, result, excep, arg_err);
        if (call.Count() < member->min_args || call.Count() > member->max_args)
            return DISP_E_BADPARAMCOUNT;
        if (result)
            VariantInit(result);
        HRESULT hr;
        try {
            hr = member->handler(static_cast<T&>(*this), call);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
            hr = E_UNEXPECTED;
        }
        if (SUCCEEDED(hr) || call.Error() != hr)
            return hr;
        if (arg_err)
            *arg_err = 0;
        if (!excep)
            return hr;
        *excep = EXCEPINFO{};
        excep->scode = hr;
        std::u16string_view source = ErrorSource();
        excep->bstrSource = SysAllocStringLen(source.data(), UINT(source.size()));
        excep->bstrDescription =
            SysAllocStringLen(call.Description().data(), UINT(call.Description().size()));
        return DISP_E_EXCEPTION;
    }

  protected:
    ~DispatchObject() override = default;

  private:
    // The property's value, then its default member called with the arguments.
    HRESULT InvokeDefaultOfProperty(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO* excep, UINT* arg_err) {
        VARIANT holder;
        VariantInit(&holder);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        HRESULT hr = Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &holder, excep, arg_err);
        if (FAILED(hr))
            return hr;
        if (holder.vt == VT_DISPATCH && holder.pdispVal)
            hr = holder.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0,
                                         flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET), params,
                                         result, excep, arg_err);
        else
            hr = DISP_E_BADPARAMCOUNT;
        VariantClear(&holder);
        return hr;
    }

    static const DispatchMember<T>* FindByName(std::u16string_view name) {
        for (const auto& m : T::DispatchMembers()) {
            if (EqualsAsciiNoCase(name, m.name))
                return &m;
        }
        return nullptr;
    }
    static const DispatchMember<T>* FindById(DISPID id) {
        for (const auto& m : T::DispatchMembers()) {
            if (m.id == id)
                return &m;
        }
        return nullptr;
    }
};

// Puts a copy of text into a VARIANT as VT_BSTR; E_OUTOFMEMORY when it cannot.
inline HRESULT SetVariantText(VARIANT* out, std::u16string_view text) {
    if (!out)
        return S_OK;
    BSTR b = SysAllocStringLen(text.data(), UINT(text.size()));
    if (!b)
        return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

// Puts a VT_I4 or a VT_BOOL into a VARIANT (nothing when the caller wants no result).
inline HRESULT SetVariantLong(VARIANT* out, LONG value) {
    if (out) {
        out->vt = VT_I4;
        out->lVal = value;
    }
    return S_OK;
}
inline HRESULT SetVariantBool(VARIANT* out, bool value) {
    if (out) {
        out->vt = VT_BOOL;
        out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

// Hands an object the caller owns a reference to out as VT_DISPATCH: into `out`, or released
// when the caller wants no result. A null object (an allocation that failed) is E_OUTOFMEMORY.
inline HRESULT ReturnObject(VARIANT* out, IDispatch* object) {
    if (!object)
        return E_OUTOFMEMORY;
    if (!out) {
        object->Release();
        return S_OK;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = object;
    return S_OK;
}

}  // namespace kvwin
