// SWbemObject: one class, instance or parameter object, with its properties readable by name
// (`obj.Caption`) and through Properties_, its path through Path_, and the methods of its
// class (StdRegProv) through Methods_/ExecMethod_ or called directly.
#include <span>

#include "kvwin/ascii_case.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/variant_enumerator.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

using Data = std::shared_ptr<ObjectData>;

// DISPIDs of a WbemObject: the fixed members, then one per property and one per method.
constexpr DISPID kPropertiesId = 1;
constexpr DISPID kPathId = 2;
constexpr DISPID kMethodsId = 3;
constexpr DISPID kSpawnInstanceId = 4;
constexpr DISPID kExecMethodId = 5;
constexpr DISPID kDerivationId = 6;
constexpr DISPID kObjectTextId = 7;
constexpr DISPID kFirstPropertyId = 1000;
constexpr DISPID kFirstMethodId = 2000;

constexpr auto& PutObject = kvwin::ReturnObject;

constexpr auto& PutInteger = kvwin::SetVariantLong;

// One element of an array property, as `obj.Property(i)` reads it.
HRESULT ArrayElement(const VARIANT& array, const VARIANT* index, VARIANT* result) {
    _variant_t position;
    if (!index || !array.parray || FAILED(VariantChangeType(&position, index, 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array.parray, 1, &lower);
    SafeArrayGetUBound(array.parray, 1, &upper);
    LONG at = lower + position.lVal;
    if (position.lVal < 0 || at > upper)
        return DISP_E_BADINDEX;
    if (!result)
        return S_OK;
    const VARTYPE vt = VARTYPE(array.vt & ~VT_ARRAY);
    if (vt == VT_VARIANT)
        return SafeArrayGetElement(array.parray, &at, result);
    if (SafeArrayGetElemsize(array.parray) > sizeof(double))
        return DISP_E_TYPEMISMATCH;  // no element of such a size fits the variant's union
    HRESULT hr = SafeArrayGetElement(array.parray, &at, &V_BSTR(result));
    if (SUCCEEDED(hr))
        result->vt = vt;
    return hr;
}

constexpr auto& PutBool = kvwin::SetVariantBool;

HRESULT Fail(kvwin::DispatchCall& call, HRESULT hr, std::u16string_view operation = u"GetObject") {
    return FailCall(call, hr, operation);
}

// ---- SWbemProperty / SWbemPropertySet ---------------------------------------------------

class Property final : public kvwin::DispatchObject<Property, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemProperty"; }
    Property(Data data, size_t index) : data_(std::move(data)), index_(index) {}
    std::u16string_view ErrorSource() const override { return u"SWbemProperty"; }

    static std::span<const kvwin::DispatchMember<Property>> DispatchMembers() {
        static const kvwin::DispatchMember<Property> members[] = {
            {u"Value", DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, 0, 0,
             [](Property& self, kvwin::DispatchCall& call) {
                 PropertyValue& p = self.data_->properties[self.index_];
                 if (call.IsPut())
                     return call.PutValue() ? PutPropertyValue(*self.data_, p, *call.PutValue())
                                            : DISP_E_PARAMNOTOPTIONAL;
                 return call.Result() ? VariantCopy(call.Result(), &p.value) : S_OK;
             }},
            {u"Name", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](Property& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(),
                                              self.data_->properties[self.index_].name);
             }},
            {u"CIMType", 2, DISPATCH_PROPERTYGET, 0, 0,
             [](Property& self, kvwin::DispatchCall& call) {
                 return PutInteger(call.Result(),
                                   self.data_->properties[self.index_].type & ~CIM_FLAG_ARRAY);
             }},
            {u"IsArray", 3, DISPATCH_PROPERTYGET, 0, 0,
             [](Property& self, kvwin::DispatchCall& call) {
                 return PutBool(call.Result(),
                                (self.data_->properties[self.index_].type & CIM_FLAG_ARRAY) != 0);
             }},
        };
        return members;
    }

  private:
    ~Property() override = default;
    Data data_;
    size_t index_;
    ModuleRef module_ref_;
};

class PropertySet final : public kvwin::DispatchObject<PropertySet, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemPropertySet"; }
    explicit PropertySet(Data data) : data_(std::move(data)) {}
    std::u16string_view ErrorSource() const override { return u"SWbemPropertySet"; }

    static std::span<const kvwin::DispatchMember<PropertySet>> DispatchMembers() {
        static const kvwin::DispatchMember<PropertySet> members[] = {
            {u"Item", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 1, 2,
             [](PropertySet& self, kvwin::DispatchCall& call) {
                 const std::u16string name = TextArg(call.Arg(0));
                 auto& props = self.data_->properties;
                 for (size_t i = 0; i < props.size(); ++i) {
                     if (kvwin::EqualsAsciiNoCase(props[i].name, name))
                         return PutObject(call.Result(), new Property(self.data_, i));
                 }
                 return Fail(call, WBEM_E_NOT_FOUND);
             }},
            {u"Count", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](PropertySet& self, kvwin::DispatchCall& call) {
                 return PutInteger(call.Result(), long(self.data_->properties.size()));
             }},
            {u"_NewEnum", DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, 0,
             [](PropertySet& self, kvwin::DispatchCall& call) {
                 std::vector<_variant_t> items(self.data_->properties.size());
                 for (size_t i = 0; i < items.size(); ++i) {
                     items[i].pdispVal = new Property(self.data_, i);  // may throw
                     items[i].vt = VT_DISPATCH;
                 }
                 return kvwin::ReturnEnumerator(call.Result(), std::move(items));
             }},
        };
        return members;
    }

  private:
    ~PropertySet() override = default;
    Data data_;
    ModuleRef module_ref_;
};

// ---- SWbemObjectPath --------------------------------------------------------------------

class ObjectPath final : public kvwin::DispatchObject<ObjectPath, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemObjectPath"; }
    explicit ObjectPath(Data data) : data_(std::move(data)) {}
    std::u16string_view ErrorSource() const override { return u"SWbemObjectPath"; }

    static std::span<const kvwin::DispatchMember<ObjectPath>> DispatchMembers() {
        static const kvwin::DispatchMember<ObjectPath> members[] = {
            {u"Path", DISPID_VALUE, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectPath& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), self.data_->path);
             }},
            {u"RelPath", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectPath& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), self.data_->relpath);
             }},
            {u"Class", 2, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectPath& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), self.data_->class_name);
             }},
            {u"Namespace", 3, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectPath& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), self.data_->name_space);
             }},
            {u"Server", 4, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectPath&, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), u".");
             }},
            {u"IsClass", 5, DISPATCH_PROPERTYGET, 0, 0,
             [](ObjectPath& self, kvwin::DispatchCall& call) {
                 return PutBool(call.Result(), self.data_->relpath.empty());
             }},
        };
        return members;
    }

  private:
    ~ObjectPath() override = default;
    Data data_;
    ModuleRef module_ref_;
};

// ---- SWbemMethod / SWbemMethodSet -------------------------------------------------------

Data ParameterObject(const std::vector<PropertyValue>& params, const std::u16string& name_space) {
    auto data = std::make_shared<ObjectData>();
    data->class_name = u"__PARAMETERS";
    data->name_space = name_space;
    data->properties = params;
    for (auto& p : data->properties) {
        VariantClear(&p.value);
        p.value.vt = VT_NULL;
    }
    return data;
}

class Method final : public kvwin::DispatchObject<Method, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemMethod"; }
    Method(Data owner, const MethodDecl* decl) : owner_(std::move(owner)), decl_(decl) {}
    std::u16string_view ErrorSource() const override { return u"SWbemMethod"; }

    static std::span<const kvwin::DispatchMember<Method>> DispatchMembers() {
        static const kvwin::DispatchMember<Method> members[] = {
            {u"Name", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](Method& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), self.decl_->name);
             }},
            {u"InParameters", 2, DISPATCH_PROPERTYGET, 0, 0,
             [](Method& self, kvwin::DispatchCall& call) {
                 return PutObject(call.Result(), NewWbemObject(ParameterObject(
                                                     self.decl_->in, self.owner_->name_space)));
             }},
            {u"OutParameters", 3, DISPATCH_PROPERTYGET, 0, 0,
             [](Method& self, kvwin::DispatchCall& call) {
                 return PutObject(call.Result(), NewWbemObject(ParameterObject(
                                                     self.decl_->out, self.owner_->name_space)));
             }},
            {u"Origin", 4, DISPATCH_PROPERTYGET, 0, 0,
             [](Method& self, kvwin::DispatchCall& call) {
                 return kvwin::SetVariantText(call.Result(), self.owner_->class_name);
             }},
        };
        return members;
    }

  private:
    ~Method() override = default;
    Data owner_;
    const MethodDecl* decl_;
    ModuleRef module_ref_;
};

class MethodSet final : public kvwin::DispatchObject<MethodSet, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemMethodSet"; }
    explicit MethodSet(Data data) : data_(std::move(data)) {}
    std::u16string_view ErrorSource() const override { return u"SWbemMethodSet"; }

    static std::span<const kvwin::DispatchMember<MethodSet>> DispatchMembers() {
        static const kvwin::DispatchMember<MethodSet> members[] = {
            {u"Item", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 1, 2,
             [](MethodSet& self, kvwin::DispatchCall& call) {
                 const MethodDecl* decl = self.data_->FindMethod(TextArg(call.Arg(0)));
                 if (!decl)
                     return Fail(call, WBEM_E_NOT_FOUND);
                 return PutObject(call.Result(), new Method(self.data_, decl));
             }},
            {u"Count", 1, DISPATCH_PROPERTYGET, 0, 0,
             [](MethodSet& self, kvwin::DispatchCall& call) {
                 return PutInteger(call.Result(),
                                   self.data_->methods ? long(self.data_->methods->size()) : 0);
             }},
            {u"_NewEnum", DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, 0,
             [](MethodSet& self, kvwin::DispatchCall& call) {
                 std::vector<_variant_t> items;
                 if (self.data_->methods) {
                     for (const auto& m : *self.data_->methods) {
                         items.emplace_back();
                         items.back().pdispVal = new Method(self.data_, &m);  // may throw
                         items.back().vt = VT_DISPATCH;
                     }
                 }
                 return kvwin::ReturnEnumerator(call.Result(), std::move(items));
             }},
        };
        return members;
    }

  private:
    ~MethodSet() override = default;
    Data data_;
    ModuleRef module_ref_;
};

// ---- SWbemObject ------------------------------------------------------------------------

// Reads the in parameters of a method from a script's parameter object (any IDispatch: its
// properties are read by name).
HRESULT ReadInParameters(IDispatch* source, ObjectData& in) {
    for (auto& p : in.properties) {
        LPOLESTR name = p.name.data();
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(source->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)))
            continue;  // a parameter the object does not carry stays null
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        _variant_t value;
        HRESULT hr =
            source->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
        if (FAILED(hr))
            return kWbemInvalidMethodParameters;
        p.value = value;
    }
    return S_OK;
}

class WbemObject final : public kvwin::NamedDispatch<IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemObjectEx"; }
    explicit WbemObject(Data data) : data_(std::move(data)) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids)
            return E_POINTER;
        if (count == 0)
            return S_OK;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        if (count > 1 || !names[0])
            return DISP_E_UNKNOWNNAME;
        std::u16string_view name(names[0]);
        static constexpr std::pair<const char16_t*, DISPID> fixed[] = {
            {u"Properties_", kPropertiesId},    {u"Path_", kPathId},
            {u"Methods_", kMethodsId},          {u"SpawnInstance_", kSpawnInstanceId},
            {u"ExecMethod_", kExecMethodId},    {u"Derivation_", kDerivationId},
            {u"GetObjectText_", kObjectTextId},
        };
        for (const auto& [text, id] : fixed) {
            if (kvwin::EqualsAsciiNoCase(name, text)) {
                ids[0] = id;
                return S_OK;
            }
        }
        const auto& props = data_->properties;
        for (size_t i = 0; i < props.size(); ++i) {
            if (kvwin::EqualsAsciiNoCase(name, props[i].name)) {
                ids[0] = kFirstPropertyId + DISPID(i);
                return S_OK;
            }
        }
        if (data_->methods) {
            for (size_t i = 0; i < data_->methods->size(); ++i) {
                if (kvwin::EqualsAsciiNoCase(name, (*data_->methods)[i].name)) {
                    ids[0] = kFirstMethodId + DISPID(i);
                    return S_OK;
                }
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT*) override {
        if (params && params->cArgs > 0 && !params->rgvarg)
            return E_INVALIDARG;
        kvwin::DispatchCall call(flags, params, result);
        if (result)
            VariantInit(result);
        HRESULT hr;
        try {
            hr = Dispatch(id, call);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
            hr = E_UNEXPECTED;
        }
        if (SUCCEEDED(hr) || call.Error() != hr || !excep)
            return hr;
        *excep = EXCEPINFO{};
        excep->scode = hr;
        excep->bstrSource = SysAllocString(u"SWbemObjectEx");
        excep->bstrDescription =
            SysAllocStringLen(call.Description().data(), UINT(call.Description().size()));
        return DISP_E_EXCEPTION;
    }

  private:
    ~WbemObject() override = default;

    HRESULT Dispatch(DISPID id, kvwin::DispatchCall& call) {
        const bool get = (call.Flags() & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;
        // Methods refuse a plain get, so that a script engine reads `obj.SpawnInstance_` as a
        // method reference and then calls it.
        const bool method = (call.Flags() & DISPATCH_METHOD) != 0;
        if (id >= kFirstPropertyId && id < kFirstPropertyId + DISPID(data_->properties.size())) {
            PropertyValue& p = data_->properties[size_t(id - kFirstPropertyId)];
            if (call.IsPut())
                return call.PutValue() ? PutPropertyValue(*data_, p, *call.PutValue())
                                       : DISP_E_PARAMNOTOPTIONAL;
            if (call.Count() == 1 && (p.value.vt & VT_ARRAY))
                return ArrayElement(p.value, call.Arg(0), call.Result());  // obj.IPAddress(0)
            if (call.Count() != 0)
                return DISP_E_BADPARAMCOUNT;
            return call.Result() ? VariantCopy(call.Result(), &p.value) : S_OK;
        }
        if (data_->methods && id >= kFirstMethodId &&
            id < kFirstMethodId + DISPID(data_->methods->size()))
            return method ? CallDirect((*data_->methods)[size_t(id - kFirstMethodId)], call)
                          : DISP_E_MEMBERNOTFOUND;
        if (!get || call.IsPut())
            return DISP_E_MEMBERNOTFOUND;
        switch (id) {
            case kPropertiesId:
                return PutObject(call.Result(), new PropertySet(data_));
            case kPathId:
                return PutObject(call.Result(), new ObjectPath(data_));
            case kMethodsId:
                return PutObject(call.Result(), new MethodSet(data_));
            case kSpawnInstanceId:
                if (!method)
                    return DISP_E_MEMBERNOTFOUND;
                return PutObject(call.Result(),
                                 NewWbemObject(std::make_shared<ObjectData>(*data_)));
            case kExecMethodId:
                return method ? ExecMethod(call) : DISP_E_MEMBERNOTFOUND;
            case kDerivationId:
                return Derivation(call);
            case kObjectTextId:
                return method ? kvwin::SetVariantText(call.Result(), ObjectText())
                              : DISP_E_MEMBERNOTFOUND;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

    // Derivation_: the superclass names, nearest first, as an array of texts.
    HRESULT Derivation(kvwin::DispatchCall& call) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(data_->derivation.size()));
        if (!array)
            return E_OUTOFMEMORY;
        for (LONG i = 0; i < LONG(data_->derivation.size()); ++i) {
            _variant_t name(data_->derivation[size_t(i)].c_str());
            SafeArrayPutElement(array, &i, &name);
        }
        if (!call.Result()) {
            SafeArrayDestroy(array);
            return S_OK;
        }
        call.Result()->vt = VT_ARRAY | VT_VARIANT;
        call.Result()->parray = array;
        return S_OK;
    }

    // GetObjectText_([flags]): the object in MOF, "instance of Class\n{\n\tName = value;\n};".
    std::u16string ObjectText() const {
        std::u16string text = data_->relpath.empty() ? u"\nclass " : u"\ninstance of ";
        text += data_->class_name + u"\n{\n";
        for (const auto& p : data_->properties) {
            if (p.value.vt == VT_EMPTY || p.value.vt == VT_NULL)
                continue;
            text += u"\t" + p.name + u" = " + MofValue(p.value) + u";\n";
        }
        return text + u"};\n";
    }
    static std::u16string MofValue(const VARIANT& v) {
        if (v.vt & VT_ARRAY) {
            std::u16string out = u"{";
            SAFEARRAY* a = v.parray;
            LONG low = 0, high = -1;
            SafeArrayGetLBound(a, 1, &low);
            SafeArrayGetUBound(a, 1, &high);
            VARTYPE type = VT_EMPTY;
            SafeArrayGetVartype(a, &type);
            for (LONG i = low; i <= high; ++i) {
                _variant_t item;
                if (type == VT_VARIANT)
                    SafeArrayGetElement(a, &i, &item);
                else {
                    item.vt = type;
                    SafeArrayGetElement(a, &i, &item.bVal);  // the union's storage
                }
                out += (i > low ? u", " : u"") + MofValue(item);
            }
            return out + u"}";
        }
        if (v.vt == VT_BOOL)
            return v.boolVal ? u"TRUE" : u"FALSE";
        _variant_t text;
        if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR)))
            return u"NULL";
        std::u16string s(text.bstrVal, SysStringLen(text.bstrVal));
        if (v.vt != VT_BSTR)
            return s;
        std::u16string quoted = u"\"";
        for (char16_t c : s) {
            if (c == u'"' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        return quoted + u"\"";
    }

    // ExecMethod_(name [, inParams [, flags [, context]]]) -> the out-parameters object.
    HRESULT ExecMethod(kvwin::DispatchCall& call) {
        if (call.Count() < 1)
            return DISP_E_PARAMNOTOPTIONAL;
        const MethodDecl* decl = data_->FindMethod(TextArg(call.Arg(0)));
        if (!decl)
            return Fail(call, kWbemInvalidMethod, u"ExecMethod");
        Data in = ParameterObject(decl->in, data_->name_space);
        const VARIANT* source = call.Arg(1);
        if (source && source->vt == VT_DISPATCH && source->pdispVal) {
            if (HRESULT hr = ReadInParameters(source->pdispVal, *in); FAILED(hr))
                return Fail(call, hr, u"ExecMethod");
        } else if (source && source->vt != VT_EMPTY && source->vt != VT_NULL) {
            return Fail(call, WBEM_E_INVALID_PARAMETER, u"ExecMethod");
        }
        Data out = ParameterObject(decl->out, data_->name_space);
        if (HRESULT hr = decl->run(*in, *out); FAILED(hr))
            return Fail(call, hr, u"ExecMethod");
        return PutObject(call.Result(), NewWbemObject(std::move(out)));
    }

    // The direct form: oReg.GetStringValue(hDefKey, sSubKeyName, sValueName, sValue), the in
    // parameters in order, then the out parameters as by-reference arguments; the result is
    // ReturnValue.
    HRESULT CallDirect(const MethodDecl& decl, kvwin::DispatchCall& call) {
        const size_t outs = decl.out.size() - 1;  // ReturnValue is the result
        if (call.Count() > decl.in.size() + outs)
            return DISP_E_BADPARAMCOUNT;
        Data in = ParameterObject(decl.in, data_->name_space);
        for (size_t i = 0; i < decl.in.size(); ++i) {
            if (const VARIANT* v = call.Arg(UINT(i)))
                in->properties[i].value = *v;
        }
        Data out = ParameterObject(decl.out, data_->name_space);
        if (HRESULT hr = decl.run(*in, *out); FAILED(hr))
            return Fail(call, hr, u"ExecMethod");
        for (size_t i = 0; i < outs; ++i) {
            if (VARIANT* target = call.OutArg(UINT(decl.in.size() + i))) {
                VariantClear(target);
                VariantCopy(target, &out->properties[i + 1].value);
            }
        }
        return call.Result() ? VariantCopy(call.Result(), &out->properties[0].value) : S_OK;
    }

    Data data_;
    ModuleRef module_ref_;
};

}  // namespace

IDispatch* NewWbemObject(std::shared_ptr<ObjectData> data) {
    return new WbemObject(std::move(data));
}

}  // namespace kvwmiscript
