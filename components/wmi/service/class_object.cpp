#include "service/class_object.h"

#include <mutex>

#include "kvwin/ascii_case.h"
#include "kvwin/com_object.h"
#include "kvwin/utf.h"
#include "service/cim_variant.h"
#include "service/module_state.h"
#include "service/object_text.h"
#include "wql/system_properties.h"

namespace kvwmi {

namespace {

HRESULT PutText(const std::u16string& text, VARIANT* out) {
    V_BSTR(out) = SysAllocStringLen(text.data(), UINT(text.size()));
    if (!V_BSTR(out))
        return WBEM_E_OUT_OF_MEMORY;
    V_VT(out) = VT_BSTR;
    return WBEM_S_NO_ERROR;
}

class ClassObject final : public kvwin::ComObject<IWbemClassObject> {
  public:
    explicit ClassObject(ObjectData data) : data_(std::move(data)) {}

    STDMETHODIMP GetQualifierSet(IWbemQualifierSet** set) override {
        if (set)
            *set = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }

    STDMETHODIMP Get(LPCWSTR name, long, VARIANT* value, CIMTYPE* type, long* flavor) override {
        if (!name)
            return WBEM_E_INVALID_PARAMETER;
        return Guard([&] {
            std::u16string_view view(name);
            // Every system property's name begins with two underscores.
            if (view.starts_with(u"__")) {
                const int system = SystemPropertyIndex(view);
                if (system >= 0)
                    return GetSystem(system, value, type, flavor);
            }
            int index = data_.decl->IndexOf(view);
            if (index < 0)
                return WBEM_E_NOT_FOUND;
            for (const InjectedFailure& failure : data_.failures) {
                if (failure.property == index)
                    return failure.result;
            }
            return GetProperty(static_cast<size_t>(index), value, type, flavor);
        });
    }

    STDMETHODIMP Put(LPCWSTR, long, VARIANT*, CIMTYPE) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP Delete(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }

    STDMETHODIMP GetNames(LPCWSTR qualifier, long flags, VARIANT* qualifier_value,
                          SAFEARRAY** names) override {
        if (!names)
            return WBEM_E_INVALID_PARAMETER;
        *names = nullptr;
        if (qualifier_value && V_VT(qualifier_value) != VT_EMPTY &&
            V_VT(qualifier_value) != VT_NULL)
            return WBEM_E_NOT_SUPPORTED;  // no qualifier has a value to compare with
        return Guard([&] {
            std::vector<std::u16string> list = Names(flags, qualifier);
            SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, ULONG(list.size()));
            if (!array)
                return WBEM_E_OUT_OF_MEMORY;
            for (LONG i = 0; i < LONG(list.size()); ++i) {
                BSTR text = SysAllocStringLen(list[size_t(i)].data(), UINT(list[size_t(i)].size()));
                HRESULT hr = text ? SafeArrayPutElement(array, &i, text) : WBEM_E_OUT_OF_MEMORY;
                SysFreeString(text);
                if (FAILED(hr)) {
                    SafeArrayDestroy(array);
                    return hr;
                }
            }
            *names = array;
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP BeginEnumeration(long flags) override {
        return Guard([&] {
            std::vector<std::u16string> names = Names(flags, nullptr);
            std::lock_guard lock(mutex_);
            enumeration_ = std::move(names);
            cursor_ = 0;
            enumerating_ = true;
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP Next(long, BSTR* name, VARIANT* value, CIMTYPE* type, long* flavor) override {
        return Guard([&] {
            std::u16string current;
            {
                std::lock_guard lock(mutex_);
                if (!enumerating_)
                    return WBEM_E_UNEXPECTED;
                if (cursor_ >= enumeration_.size())
                    return WBEM_S_NO_MORE_DATA;
                current = enumeration_[cursor_++];
            }
            HRESULT hr = Get(current.c_str(), 0, value, type, flavor);
            if (FAILED(hr) && hr != WBEM_E_OUT_OF_MEMORY) {
                // A property whose read is made to fail still takes its place.
                int index = data_.decl->IndexOf(current);
                if (index < 0)
                    return hr;
                hr = GetProperty(static_cast<size_t>(index), value, type, flavor, true);
            }
            if (FAILED(hr))
                return hr;
            if (name) {
                *name = SysAllocStringLen(current.data(), UINT(current.size()));
                if (!*name) {
                    if (value)
                        VariantClear(value);
                    return WBEM_E_OUT_OF_MEMORY;
                }
            }
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP EndEnumeration() override {
        std::lock_guard lock(mutex_);
        enumerating_ = false;
        enumeration_.clear();
        return WBEM_S_NO_ERROR;
    }

    STDMETHODIMP GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet** set) override {
        if (set)
            *set = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }

    STDMETHODIMP Clone(IWbemClassObject** copy) override {
        if (!copy)
            return WBEM_E_INVALID_PARAMETER;
        *copy = nullptr;
        return Guard([&] {
            *copy = CreateClassObject(data_);
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP GetObjectText(long, BSTR* text) override {
        if (!text)
            return WBEM_E_INVALID_PARAMETER;
        *text = nullptr;
        return Guard([&] {
            std::u16string mof = ObjectText(data_);
            *text = SysAllocStringLen(mof.data(), UINT(mof.size()));
            return *text ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
        });
    }

    STDMETHODIMP SpawnDerivedClass(long, IWbemClassObject** out) override {
        return NotSupported(out);
    }
    STDMETHODIMP SpawnInstance(long, IWbemClassObject** out) override { return NotSupported(out); }
    STDMETHODIMP CompareTo(long, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }

    STDMETHODIMP GetPropertyOrigin(LPCWSTR name, BSTR* class_name) override {
        if (!name || !class_name)
            return WBEM_E_INVALID_PARAMETER;
        *class_name = nullptr;
        if (data_.decl->IndexOf(name) < 0 && SystemPropertyIndex(name) < 0)
            return WBEM_E_NOT_FOUND;
        *class_name = SysAllocStringLen(data_.decl->name.data(), UINT(data_.decl->name.size()));
        return *class_name ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
    }

    STDMETHODIMP InheritsFrom(LPCWSTR ancestor) override {
        return ancestor ? WBEM_S_FALSE : WBEM_E_INVALID_PARAMETER;
    }

    STDMETHODIMP GetMethod(LPCWSTR, long, IWbemClassObject** in, IWbemClassObject** out) override {
        if (in)
            *in = nullptr;
        return NotSupported(out);
    }
    STDMETHODIMP PutMethod(LPCWSTR, long, IWbemClassObject*, IWbemClassObject*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteMethod(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP BeginMethodEnumeration(long) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP NextMethod(long, BSTR* name, IWbemClassObject** in,
                            IWbemClassObject** out) override {
        if (name)
            *name = nullptr;
        if (in)
            *in = nullptr;
        return NotSupported(out);
    }
    STDMETHODIMP EndMethodEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet** set) override {
        if (set)
            *set = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP GetMethodOrigin(LPCWSTR, BSTR* class_name) override {
        if (class_name)
            *class_name = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }

  private:
    ~ClassObject() override = default;

    static HRESULT NotSupported(IWbemClassObject** out) {
        if (out)
            *out = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }

    bool IsSelected(size_t index) const {
        return data_.selected.empty() || data_.selected[index] || data_.decl->properties[index].key;
    }

    HRESULT GetProperty(size_t index, VARIANT* value, CIMTYPE* type, long* flavor,
                        bool force_null = false) const {
        const PropertyDecl& property = data_.decl->properties[index];
        if (type)
            *type = property.type;
        if (flavor)
            *flavor = WBEM_FLAVOR_ORIGIN_LOCAL;
        if (!value)
            return WBEM_S_NO_ERROR;
        if (force_null || data_.is_class || !IsSelected(index) || index >= data_.values.size()) {
            VariantInit(value);
            V_VT(value) = VT_NULL;
            return WBEM_S_NO_ERROR;
        }
        return ToVariant(data_.values[index], property.type, value);
    }

    HRESULT GetSystem(int system, VARIANT* value, CIMTYPE* type, long* flavor) const {
        std::u16string_view name = kSystemProperties[static_cast<size_t>(system)];
        if (flavor)
            *flavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
        bool is_number = name == u"__GENUS" || name == u"__PROPERTY_COUNT";
        bool is_array = name == u"__DERIVATION";
        if (type)
            *type = is_number ? CIM_SINT32 : is_array ? CIM_STRING | CIM_FLAG_ARRAY : CIM_STRING;
        if (!value)
            return WBEM_S_NO_ERROR;
        VariantInit(value);
        if (is_number) {
            V_VT(value) = VT_I4;
            V_I4(value) =
                name == u"__GENUS" ? (data_.is_class ? 1 : 2) : LONG(data_.decl->properties.size());
            return WBEM_S_NO_ERROR;
        }
        if (is_array) {
            V_ARRAY(value) = SafeArrayCreateVector(VT_BSTR, 0, 0);
            if (!V_ARRAY(value))
                return WBEM_E_OUT_OF_MEMORY;
            V_VT(value) = VT_ARRAY | VT_BSTR;
            return WBEM_S_NO_ERROR;
        }
        std::optional<std::u16string> text = SystemText(data_, name);
        if (!text) {
            V_VT(value) = VT_NULL;
            return WBEM_S_NO_ERROR;
        }
        return PutText(*text, value);
    }

    // The names the flags (and the optional qualifier filter) select.
    std::vector<std::u16string> Names(long flags, LPCWSTR qualifier) const {
        long origin = flags & WBEM_MASK_CONDITION_ORIGIN;
        bool system = origin == 0 || origin == WBEM_FLAG_SYSTEM_ONLY;
        bool own =
            origin == 0 || origin == WBEM_FLAG_LOCAL_ONLY || origin == WBEM_FLAG_NONSYSTEM_ONLY;
        bool keys_only = flags & WBEM_FLAG_KEYS_ONLY;
        bool refs_only = flags & WBEM_FLAG_REFS_ONLY;
        // The only qualifier a property has here is "key".
        long condition = flags & WBEM_MASK_PRIMARY_CONDITION;
        bool by_key_qualifier = qualifier && kvwin::EqualsAsciiNoCase(qualifier, u"key");
        std::vector<std::u16string> names;
        if (system && !keys_only && !refs_only && !qualifier) {
            for (std::u16string_view name : kSystemProperties)
                names.emplace_back(name);
        }
        if (!own)
            return names;
        for (const PropertyDecl& property : data_.decl->properties) {
            if (keys_only && !property.key)
                continue;
            if (refs_only && (property.type & ~CIM_FLAG_ARRAY) != CIM_REFERENCE)
                continue;
            if (qualifier) {
                bool has = by_key_qualifier && property.key;
                if (condition == WBEM_FLAG_ONLY_IF_FALSE ? has : !has)
                    continue;
            }
            names.emplace_back(property.name);
        }
        return names;
    }

    ObjectData data_;
    std::mutex mutex_;  // guards the enumeration cursor
    std::vector<std::u16string> enumeration_;
    size_t cursor_ = 0;
    bool enumerating_ = false;
    ModuleRef module_ref_;
};

}  // namespace

IWbemClassObject* CreateClassObject(ObjectData data) {
    return new ClassObject(std::move(data));
}

}  // namespace kvwmi
