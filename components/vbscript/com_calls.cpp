// IDispatch calls.
#include "com_calls.h"

#include <new>
#include <string>

#include "class_object.h"
#include "errors.h"
#include "interpreter.h"
#include "kvwin/dispatch_object.h"
#include "variant_conversion.h"
#include "win/dispex.h"
#include "win/typeinfo.h"

namespace kvvbs {
namespace {

// The argument VARIANTs of one call (reversed, as DISPPARAMS holds them), the targets of
// the by-reference ones, and the cleanup of both.
class Arguments {
  public:
    Arguments(Value* args, uint32_t argc, const Value* put_value)
        : count_(argc + (put_value ? 1 : 0)), values_(count_), byref_(count_) {
        for (auto& v : values_)
            VariantInit(&v);
        for (auto& v : byref_)
            VariantInit(&v);
        size_t at = count_;
        for (uint32_t i = 0; i < argc; ++i) {
            VARIANT& slot = values_[--at];
            const Value& a = args[i];
            if (a.Is(Kind::Ref)) {
                ToVariant(a, &byref_[at]);
                slot.vt = VT_BYREF | VT_VARIANT;
                slot.pvarVal = &byref_[at];
                refs_.push_back({at, const_cast<Value*>(&a)});
            } else {
                ToVariant(a, &slot);
            }
        }
        if (put_value)
            ToVariant(*put_value, &values_[0]);
        params_.rgvarg = values_.data();
        params_.cArgs = UINT(count_);
        if (put_value) {
            params_.rgdispidNamedArgs = &put_id_;
            params_.cNamedArgs = 1;
        }
    }
    ~Arguments() {
        for (auto& v : values_)
            VariantClear(&v);
        for (auto& v : byref_)
            VariantClear(&v);
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    DISPPARAMS* Params() { return &params_; }

    // Out values back into the script's variables.
    void CopyBack() {
        for (auto& [at, ref] : refs_) {
            Value v = FromVariant(byref_[at]);
            ref->Deref() = std::move(v);
        }
    }

  private:
    size_t count_;
    std::vector<VARIANT> values_;
    std::vector<VARIANT> byref_;
    std::vector<std::pair<size_t, Value*>> refs_;
    DISPID put_id_ = DISPID_PROPERTYPUT;
    DISPPARAMS params_{};
};

std::u16string Take(BSTR b) {
    std::u16string s = b ? std::u16string(b, SysStringLen(b)) : std::u16string();
    SysFreeString(b);
    return s;
}

// An EXCEPINFO that frees what a failed call left in it, unless ThrowCallFailure took it:
// an interruption noticed right after the call leaves by an exception of its own.
struct OwnedExcepInfo : EXCEPINFO {
    OwnedExcepInfo() : EXCEPINFO{} {}
    ~OwnedExcepInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
    OwnedExcepInfo(const OwnedExcepInfo&) = delete;
    OwnedExcepInfo& operator=(const OwnedExcepInfo&) = delete;
};

// A call's result, cleared however the caller's code is left: a conversion of it or of an
// out argument may end in a script error.
struct OwnedResult : VARIANT {
    OwnedResult() { VariantInit(this); }
    ~OwnedResult() { VariantClear(this); }
    OwnedResult(const OwnedResult&) = delete;
    OwnedResult& operator=(const OwnedResult&) = delete;
};

[[noreturn]] void ThrowCallFailure(HRESULT hr, EXCEPINFO& excep) {
    ScriptError e;
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn)
            excep.pfnDeferredFillIn(&excep);
        HRESULT code = excep.scode ? excep.scode : HRESULT(0x800A0000u | excep.wCode);
        e.number = ErrorNumberForHresult(code);
        e.description = Take(excep.bstrDescription);
        e.source = Take(excep.bstrSource);
        SysFreeString(excep.bstrHelpFile);
        excep = EXCEPINFO{};
        throw e;
    }
    e.number = ErrorNumberForHresult(hr);
    throw e;
}

// The object's IDispatchEx, when it has one (a reference the holder releases).
class DispatchEx {
  public:
    explicit DispatchEx(IDispatch* object) {
        if (FAILED(object->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex_))))
            ex_ = nullptr;
    }
    ~DispatchEx() {
        if (ex_)
            ex_->Release();
    }
    DispatchEx(const DispatchEx&) = delete;
    DispatchEx& operator=(const DispatchEx&) = delete;
    IDispatchEx* get() const { return ex_; }

  private:
    IDispatchEx* ex_ = nullptr;
};

// One call of a member: InvokeEx when the object has IDispatchEx, Invoke otherwise.
HRESULT CallObject(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep) {
    DispatchEx ex(object);
    if (ex.get())
        return ex.get()->InvokeEx(id, LOCALE_USER_DEFAULT, flags, params, result, excep, nullptr);
    UINT arg_err = 0;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, excep,
                          &arg_err);
}

}  // namespace

bool FindMember(IDispatch* object, std::u16string_view name, DISPID* id) {
    *id = DISPID_UNKNOWN;
    DispatchEx ex(object);
    if (ex.get()) {
        // Names without regard to case, as the language reads them.
        BSTR text = SysAllocStringLen(name.data(), UINT(name.size()));
        if (!text)
            Throw(kErrOutOfMemory);
        HRESULT hr = ex.get()->GetDispID(text, fdexNameCaseInsensitive, id);
        SysFreeString(text);
        return SUCCEEDED(hr);
    }
    std::u16string text(name);
    LPOLESTR names[] = {text.data()};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id));
}

Value InvokeDispid(Runtime& rt, IDispatch* object, DISPID id, Value* args, uint32_t argc,
                   WORD flags) {
    Arguments arguments(args, argc, nullptr);
    OwnedResult result;
    OwnedExcepInfo excep;
    HRESULT hr = CallObject(object, id, flags, arguments.Params(), &result, &excep);
    rt.CheckInterrupt();
    if (FAILED(hr))
        ThrowCallFailure(hr, excep);
    arguments.CopyBack();
    return FromVariant(result);
}

Value InvokeMember(Runtime& rt, IDispatch* object, std::u16string_view name, Value* args,
                   uint32_t argc) {
    if (!object)
        Throw(kErrObjectRequired);
    if (ClassObject* instance = ClassObject::From(object))
        return instance->Member(rt, name, args, argc);
    DISPID id;
    if (!FindMember(object, name, &id))
        Throw(kErrNoMember, ErrorText(kErrNoMember) + u": '" + std::u16string(name) + u"'");
    return InvokeDispid(rt, object, id, args, argc, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
}

void PutMember(Runtime& rt, IDispatch* object, std::u16string_view name, Value* args, uint32_t argc,
               const Value& value, bool put_ref) {
    if (!object)
        Throw(kErrObjectRequired);
    if (ClassObject* instance = ClassObject::From(object)) {
        instance->Put(rt, name, args, argc, value, put_ref);
        return;
    }
    DISPID id = DISPID_VALUE;
    if (!name.empty() && !FindMember(object, name, &id))
        Throw(kErrNoMember, ErrorText(kErrNoMember) + u": '" + std::u16string(name) + u"'");
    PutDispid(rt, object, id, args, argc, value, put_ref);
}

void PutDispid(Runtime& rt, IDispatch* object, DISPID id, Value* args, uint32_t argc,
               const Value& value, bool put_ref) {
    Arguments arguments(args, argc, &value);
    OwnedExcepInfo excep;
    HRESULT hr = CallObject(object, id, put_ref ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
                            arguments.Params(), nullptr, &excep);
    if (hr == DISP_E_MEMBERNOTFOUND && put_ref) {
        // Objects that know only PROPERTYPUT take the reference through it.
        hr = CallObject(object, id, DISPATCH_PROPERTYPUT, arguments.Params(), nullptr, &excep);
    }
    rt.CheckInterrupt();
    if (FAILED(hr))
        ThrowCallFailure(hr, excep);
    arguments.CopyBack();
}

Value DefaultValue(IDispatch* object) {
    if (ClassObject* instance = ClassObject::From(object))
        return instance->DefaultValue();
    DISPPARAMS none{};
    OwnedResult result;
    OwnedExcepInfo excep;
    HRESULT hr = CallObject(object, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none,
                            &result, &excep);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION)
            ThrowCallFailure(hr, excep);
        Throw(kErrNoMember);
    }
    Value out = FromVariant(result);
    if (out.IsObject())
        Throw(kErrNoMember);
    return out;
}

IUnknown* IdentityOf(IDispatch* object) {
    if (!object)
        return nullptr;
    IUnknown* unknown = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown))))
        return object;
    unknown->Release();
    return unknown;
}

namespace {

// The name the type information gives (GetDocumentation of the type itself); empty if none.
std::u16string TypeInfoName(ITypeInfo* info) {
    if (!info)
        return {};
    BSTR name = nullptr;
    HRESULT hr = info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    info->Release();
    return SUCCEEDED(hr) ? Take(name) : std::u16string();
}

}  // namespace

std::u16string ObjectTypeName(IDispatch* object) {
    if (ClassObject* instance = ClassObject::From(object))
        return instance->ClassName();
    // The class the object says it belongs to, then the type its IDispatch describes.
    std::u16string name;
    IProvideClassInfo* provider = nullptr;
    if (SUCCEEDED(
            object->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&provider))) &&
        provider) {
        ITypeInfo* info = nullptr;
        if (SUCCEEDED(provider->GetClassInfo(&info)))
            name = TypeInfoName(info);
        provider->Release();
    }
    UINT count = 0;
    if (name.empty() && SUCCEEDED(object->GetTypeInfoCount(&count)) && count > 0) {
        ITypeInfo* info = nullptr;
        if (SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)))
            name = TypeInfoName(info);
    }
    return name.empty() ? u"Object" : name;
}

namespace {

// The enumerator of a running For Each, as a value of the loop's hidden slot. It never
// reaches the script, which sees only the items; its IDispatch answers nothing.
class Enumeration final : public kvwin::UntypedDispatch<IDispatch> {
  public:
    explicit Enumeration(IEnumVARIANT* items) : items_(items) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; ids && i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    bool Next(Value* item) {
        VARIANT v;
        VariantInit(&v);
        ULONG fetched = 0;
        if (items_->Next(1, &v, &fetched) != S_OK || fetched != 1) {
            VariantClear(&v);
            return false;
        }
        try {
            *item = FromVariant(v);
        } catch (...) {
            VariantClear(&v);
            throw;
        }
        VariantClear(&v);
        return true;
    }

  private:
    ~Enumeration() override { items_->Release(); }
    IEnumVARIANT* items_;
};

}  // namespace

Value StartEnumeration(IDispatch* collection) {
    if (!collection)
        Throw(kErrObjectRequired);
    DISPPARAMS none{};
    OwnedResult result;
    OwnedExcepInfo excep;
    HRESULT hr = CallObject(collection, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                            &none, &result, &excep);
    // A collection that fails to start its enumeration (a query that failed) raises its own
    // error; an object without _NewEnum is not a collection.
    if (FAILED(hr) && hr != DISP_E_MEMBERNOTFOUND && hr != DISP_E_UNKNOWNNAME)
        ThrowCallFailure(hr, excep);
    IEnumVARIANT* items = nullptr;
    if (SUCCEEDED(hr) && (result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH) && result.punkVal)
        result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
    if (!items)
        Throw(451, u"Object not a collection");
    Enumeration* walk = new (std::nothrow) Enumeration(items);
    if (!walk) {
        items->Release();
        Throw(kErrOutOfMemory);
    }
    return Value::AttachObject(walk);
}

bool NextItem(const Value& enumeration, Value* item) {
    // Only StartEnumeration puts an object into the loop's slot.
    return static_cast<Enumeration*>(enumeration.AsObject())->Next(item);
}

}  // namespace kvvbs
