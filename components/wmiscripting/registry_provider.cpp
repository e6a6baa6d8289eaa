// StdRegProv: the registry read and changed through WMI's method calls. Each method answers, in its
// ReturnValue, 0 or the Win32 error code of the registry call (2 for a missing key or value),
// and WBEM_E_TYPE_MISMATCH when the value exists with another type. An enumeration of a key
// that has no subkeys (or values) gives null names, as WMI does.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kvwin/registry_key.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/registry.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

constexpr uint32_t kLocalMachine = 0x80000002u;

using KeyHandle = kvwin::RegistryKey;

std::u16string Text(const ObjectData& in, std::u16string_view name) {
    const PropertyValue* p = in.Find(name);
    if (!p || p->value.vt == VT_NULL || p->value.vt == VT_EMPTY)
        return {};
    _variant_t text;
    if (FAILED(VariantChangeType(&text, &p->value, 0, VT_BSTR)))
        return {};
    return std::u16string(text.bstrVal, SysStringLen(text.bstrVal));
}

// hDefKey: a uint32 that scripts pass as a number (2147483650, or -2147483646 as the signed
// bits); absent means HKEY_LOCAL_MACHINE, as in WMI.
uint32_t DefKey(const ObjectData& in) {
    const PropertyValue* p = in.Find(u"hDefKey");
    if (!p || p->value.vt == VT_NULL || p->value.vt == VT_EMPTY)
        return kLocalMachine;
    _variant_t number;
    if (FAILED(VariantChangeType(&number, &p->value, 0, VT_R8)))
        return 0;
    double d = number.dblVal;
    if (d < 0)
        d += 4294967296.0;
    return d >= 0 && d < 4294967296.0 ? uint32_t(d) : 0;
}

void SetReturn(ObjectData& out, LSTATUS status) {
    PropertyValue* p = out.Find(u"ReturnValue");
    VariantClear(&p->value);
    p->value.vt = VT_I4;
    p->value.lVal = LONG(status);
}

void SetText(ObjectData& out, std::u16string_view name, std::u16string_view text) {
    PropertyValue* p = out.Find(name);
    VariantClear(&p->value);
    p->value.vt = VT_BSTR;
    p->value.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
}

void SetTextArray(ObjectData& out, std::u16string_view name,
                  const std::vector<std::u16string>& items) {
    PropertyValue* p = out.Find(name);
    VariantClear(&p->value);
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, ULONG(items.size()));
    if (!array)
        return;
    for (LONG i = 0; i < LONG(items.size()); ++i) {
        BSTR s = SysAllocStringLen(items[size_t(i)].data(), UINT(items[size_t(i)].size()));
        SafeArrayPutElement(array, &i, s);
        SysFreeString(s);
    }
    p->value.vt = VT_ARRAY | VT_BSTR;
    p->value.parray = array;
}

LSTATUS OpenKey(const ObjectData& in, KeyHandle& key) {
    HKEY root = reinterpret_cast<HKEY>(ULONG_PTR(LONG(DefKey(in))));
    const std::u16string subkey = Text(in, u"sSubKeyName");
    return RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.out());
}

// Reads a value of the key the in parameters name; ERROR_SUCCESS and the bytes, or the code
// to return (WBEM_E_TYPE_MISMATCH when its type is not `type`).
LSTATUS ReadValue(const ObjectData& in, std::initializer_list<DWORD> types,
                  std::vector<BYTE>& bytes) {
    KeyHandle key;
    LSTATUS status = OpenKey(in, key);
    if (status != ERROR_SUCCESS)
        return status;
    const std::u16string name = Text(in, u"sValueName");
    DWORD type = 0;
    status = kvwin::QueryRegistryValue(key.get(), name.c_str(), type, bytes);
    if (status != ERROR_SUCCESS)
        return status;
    bool wanted = false;
    for (DWORD t : types)
        wanted = wanted || t == type;
    return wanted ? ERROR_SUCCESS : LSTATUS(WBEM_E_TYPE_MISMATCH);
}

std::u16string BytesText(const std::vector<BYTE>& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

HRESULT GetString(const ObjectData& in, ObjectData& out, DWORD type) {
    std::vector<BYTE> bytes;
    LSTATUS status = ReadValue(in, {type}, bytes);
    if (status == ERROR_SUCCESS) {
        std::u16string text = BytesText(bytes);
        if (type == REG_EXPAND_SZ) {
            DWORD need = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
            std::u16string expanded(need, u'\0');
            if (need && ExpandEnvironmentStringsW(text.c_str(), expanded.data(), need)) {
                expanded.resize(need - 1);
                text = std::move(expanded);
            }
        }
        SetText(out, u"sValue", text);
    }
    SetReturn(out, status);
    return S_OK;
}

HRESULT GetStringValue(const ObjectData& in, ObjectData& out) {
    return GetString(in, out, REG_SZ);
}

HRESULT GetExpandedStringValue(const ObjectData& in, ObjectData& out) {
    return GetString(in, out, REG_EXPAND_SZ);
}

HRESULT GetDWORDValue(const ObjectData& in, ObjectData& out) {
    std::vector<BYTE> bytes;
    LSTATUS status = ReadValue(in, {REG_DWORD}, bytes);
    if (status == ERROR_SUCCESS) {
        DWORD value = 0;
        std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
        PropertyValue* p = out.Find(u"uValue");
        p->value.vt = VT_I4;  // uint32 travels as its bits
        p->value.lVal = LONG(value);
    }
    SetReturn(out, status);
    return S_OK;
}

HRESULT GetQWORDValue(const ObjectData& in, ObjectData& out) {
    std::vector<BYTE> bytes;
    LSTATUS status = ReadValue(in, {REG_QWORD}, bytes);
    if (status == ERROR_SUCCESS) {
        uint64_t value = 0;
        std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
        std::string digits = std::to_string(value);  // uint64 travels as decimal text
        SetText(out, u"uValue", std::u16string(digits.begin(), digits.end()));
    }
    SetReturn(out, status);
    return S_OK;
}

HRESULT GetMultiStringValue(const ObjectData& in, ObjectData& out) {
    std::vector<BYTE> bytes;
    LSTATUS status = ReadValue(in, {REG_MULTI_SZ}, bytes);
    if (status == ERROR_SUCCESS) {
        std::u16string all(bytes.size() / 2, u'\0');
        std::memcpy(all.data(), bytes.data(), all.size() * 2);
        std::vector<std::u16string> items;
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find(u'\0', start);
            if (end == std::u16string::npos)
                end = all.size();
            if (end == start)
                break;  // the empty string that ends the list
            items.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        SetTextArray(out, u"sValue", items);
    }
    SetReturn(out, status);
    return S_OK;
}

HRESULT GetBinaryValue(const ObjectData& in, ObjectData& out) {
    std::vector<BYTE> bytes;
    LSTATUS status = ReadValue(in, {REG_BINARY}, bytes);
    if (status == ERROR_SUCCESS) {
        PropertyValue* p = out.Find(u"uValue");
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(bytes.size()));
        if (array) {
            for (LONG i = 0; i < LONG(bytes.size()); ++i)
                SafeArrayPutElement(array, &i, &bytes[size_t(i)]);
            p->value.vt = VT_ARRAY | VT_UI1;
            p->value.parray = array;
        }
    }
    SetReturn(out, status);
    return S_OK;
}

HRESULT EnumKey(const ObjectData& in, ObjectData& out) {
    KeyHandle key;
    LSTATUS status = OpenKey(in, key);
    std::vector<std::u16string> names;
    for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        LSTATUS s = RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (s == ERROR_NO_MORE_ITEMS)
            break;
        if (s != ERROR_SUCCESS)
            status = s;
        else
            names.emplace_back(name, length);
    }
    if (status == ERROR_SUCCESS && !names.empty())
        SetTextArray(out, u"sNames", names);
    SetReturn(out, status);
    return S_OK;
}

HRESULT EnumValues(const ObjectData& in, ObjectData& out) {
    KeyHandle key;
    LSTATUS status = OpenKey(in, key);
    std::vector<std::u16string> names;
    std::vector<LONG> types;
    std::u16string name(16384, u'\0');
    for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
        DWORD length = DWORD(name.size());
        DWORD type = 0;
        LSTATUS s =
            RegEnumValueW(key.get(), i, name.data(), &length, nullptr, &type, nullptr, nullptr);
        if (s == ERROR_NO_MORE_ITEMS)
            break;
        if (s != ERROR_SUCCESS) {
            status = s;
        } else {
            names.emplace_back(name.data(), length);
            types.push_back(LONG(type));
        }
    }
    if (status == ERROR_SUCCESS && !names.empty()) {
        SetTextArray(out, u"sNames", names);
        PropertyValue* p = out.Find(u"Types");
        SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, ULONG(types.size()));
        if (array) {
            for (LONG i = 0; i < LONG(types.size()); ++i)
                SafeArrayPutElement(array, &i, &types[size_t(i)]);
            p->value.vt = VT_ARRAY | VT_I4;
            p->value.parray = array;
        }
    }
    SetReturn(out, status);
    return S_OK;
}

// ---- changing the registry ------------------------------------------------------------------

HKEY RootOf(const ObjectData& in) {
    return reinterpret_cast<HKEY>(ULONG_PTR(LONG(DefKey(in))));
}

HRESULT CreateKey(const ObjectData& in, ObjectData& out) {
    KeyHandle key;
    const std::u16string subkey = Text(in, u"sSubKeyName");
    SetReturn(out, RegCreateKeyExW(RootOf(in), subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                   key.out(), nullptr));
    return S_OK;
}

HRESULT DeleteKey(const ObjectData& in, ObjectData& out) {
    const std::u16string subkey = Text(in, u"sSubKeyName");
    // A key with subkeys is refused, as WMI refuses it (ERROR_ACCESS_DENIED, 5).
    SetReturn(out, subkey.empty() ? LSTATUS(ERROR_INVALID_PARAMETER)
                                  : RegDeleteKeyW(RootOf(in), subkey.c_str()));
    return S_OK;
}

HRESULT DeleteValue(const ObjectData& in, ObjectData& out) {
    KeyHandle key;
    const std::u16string subkey = Text(in, u"sSubKeyName");
    LSTATUS status = RegOpenKeyExW(RootOf(in), subkey.c_str(), 0, KEY_SET_VALUE, key.out());
    if (status == ERROR_SUCCESS)
        status = RegDeleteValueW(key.get(), Text(in, u"sValueName").c_str());
    SetReturn(out, status);
    return S_OK;
}

// CheckAccess(hDefKey, sSubKeyName, uRequired) -> bGranted: whether the key opens with the
// rights asked for.
HRESULT CheckAccess(const ObjectData& in, ObjectData& out) {
    const PropertyValue* p = in.Find(u"uRequired");
    _variant_t rights;
    REGSAM wanted = KEY_QUERY_VALUE;
    if (p && p->value.vt != VT_NULL && p->value.vt != VT_EMPTY &&
        SUCCEEDED(VariantChangeType(&rights, &p->value, 0, VT_R8)))
        wanted = REGSAM(uint32_t(rights.dblVal < 0 ? rights.dblVal + 4294967296.0 : rights.dblVal));
    KeyHandle key;
    const std::u16string subkey = Text(in, u"sSubKeyName");
    LSTATUS status = RegOpenKeyExW(RootOf(in), subkey.c_str(), 0, wanted, key.out());
    PropertyValue* granted = out.Find(u"bGranted");
    VariantClear(&granted->value);
    granted->value.vt = VT_BOOL;
    granted->value.boolVal = status == ERROR_SUCCESS ? VARIANT_TRUE : VARIANT_FALSE;
    SetReturn(out, status);
    return S_OK;
}

// Writes one value of the key the in parameters name (the key must exist, as in WMI).
LSTATUS WriteValue(const ObjectData& in, DWORD type, const void* data, size_t size) {
    KeyHandle key;
    const std::u16string subkey = Text(in, u"sSubKeyName");
    LSTATUS status = RegOpenKeyExW(RootOf(in), subkey.c_str(), 0, KEY_SET_VALUE, key.out());
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExW(key.get(), Text(in, u"sValueName").c_str(), 0, type,
                          static_cast<const BYTE*>(data), DWORD(size));
}

template <DWORD kType>
HRESULT SetTextValue(const ObjectData& in, ObjectData& out) {
    std::u16string text = Text(in, u"sValue");
    text.push_back(u'\0');
    SetReturn(out, WriteValue(in, kType, text.data(), text.size() * 2));
    return S_OK;
}

// A number in parameter `name` as unsigned bits; false when it is missing or not a number.
bool Unsigned(const ObjectData& in, const char16_t* name, unsigned long long& n) {
    const PropertyValue* p = in.Find(name);
    if (!p || p->value.vt == VT_NULL || p->value.vt == VT_EMPTY)
        return false;
    _variant_t v;
    if (p->value.vt == VT_BSTR) {  // 64-bit numbers travel as decimal text
        std::u16string t(p->value.bstrVal, SysStringLen(p->value.bstrVal));
        std::string digits(t.begin(), t.end());
        char* end = nullptr;
        n = std::strtoull(digits.c_str(), &end, 10);
        return !digits.empty() && end && *end == '\0';
    }
    if (FAILED(VariantChangeType(&v, &p->value, 0, VT_R8)))
        return false;
    double d = v.dblVal;
    if (d < 0)
        d += 4294967296.0;
    if (d < 0 || d >= 18446744073709551616.0)
        return false;
    n = static_cast<unsigned long long>(d);
    return true;
}

HRESULT SetDWORDValue(const ObjectData& in, ObjectData& out) {
    unsigned long long n = 0;
    if (!Unsigned(in, u"uValue", n) || n > 0xFFFFFFFFull) {
        SetReturn(out, ERROR_INVALID_PARAMETER);
        return S_OK;
    }
    const uint32_t value = uint32_t(n);
    SetReturn(out, WriteValue(in, REG_DWORD, &value, sizeof value));
    return S_OK;
}

HRESULT SetQWORDValue(const ObjectData& in, ObjectData& out) {
    unsigned long long n = 0;
    if (!Unsigned(in, u"uValue", n)) {
        SetReturn(out, ERROR_INVALID_PARAMETER);
        return S_OK;
    }
    SetReturn(out, WriteValue(in, REG_QWORD, &n, sizeof n));
    return S_OK;
}

// The elements of an array parameter, each through VARIANT (scripts pass VT_ARRAY|VT_VARIANT,
// or JScript arrays that arrive the same way).
// A property of a script object by name (a JScript array's "length" and "0", "1", ...).
bool ScriptProperty(IDispatch* object, const std::u16string& name, _variant_t& value) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = 0;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) &&
           SUCCEEDED(object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                    nullptr));
}

// Most elements an array parameter may have.
constexpr long kMaxElements = 1 << 20;

bool Elements(const ObjectData& in, const char16_t* name, std::vector<_variant_t>& items) {
    const PropertyValue* p = in.Find(name);
    if (p && p->value.vt == VT_DISPATCH && p->value.pdispVal) {  // a JScript array
        _variant_t length;
        if (!ScriptProperty(p->value.pdispVal, u"length", length) ||
            FAILED(VariantChangeType(&length, &length, 0, VT_I4)) || length.lVal < 0 ||
            length.lVal > kMaxElements)
            return false;
        for (long i = 0; i < length.lVal; ++i) {
            std::string index = std::to_string(i);
            _variant_t item;
            if (!ScriptProperty(p->value.pdispVal, std::u16string(index.begin(), index.end()),
                                item))
                return false;
            items.push_back(std::move(item));
        }
        return true;
    }
    if (!p || !(p->value.vt & VT_ARRAY) || !p->value.parray ||
        SafeArrayGetDim(p->value.parray) != 1)
        return false;
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(p->value.parray, &type);
    LONG low = 0, high = -1;
    SafeArrayGetLBound(p->value.parray, 1, &low);
    SafeArrayGetUBound(p->value.parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        _variant_t item;
        if (type == VT_VARIANT) {
            SafeArrayGetElement(p->value.parray, &i, &item);
        } else if (type == VT_BSTR) {
            BSTR b = nullptr;
            SafeArrayGetElement(p->value.parray, &i, &b);
            item.vt = VT_BSTR;
            item.bstrVal = b;
        } else {
            VARIANT raw;
            VariantInit(&raw);
            raw.vt = type;
            if (SafeArrayGetElemsize(p->value.parray) > sizeof raw.llVal ||
                FAILED(SafeArrayGetElement(p->value.parray, &i, &raw.llVal)))
                return false;
            item = raw;
            VariantClear(&raw);
        }
        items.push_back(std::move(item));
    }
    return true;
}

HRESULT SetMultiStringValue(const ObjectData& in, ObjectData& out) {
    std::vector<_variant_t> items;
    if (!Elements(in, u"sValue", items)) {
        SetReturn(out, ERROR_INVALID_PARAMETER);
        return S_OK;
    }
    std::u16string block;
    for (auto& item : items) {
        _variant_t text;
        if (FAILED(VariantChangeType(&text, &item, 0, VT_BSTR))) {
            SetReturn(out, ERROR_INVALID_PARAMETER);
            return S_OK;
        }
        block.append(text.bstrVal, SysStringLen(text.bstrVal));
        block.push_back(u'\0');
    }
    block.push_back(u'\0');
    SetReturn(out, WriteValue(in, REG_MULTI_SZ, block.data(), block.size() * 2));
    return S_OK;
}

HRESULT SetBinaryValue(const ObjectData& in, ObjectData& out) {
    std::vector<_variant_t> items;
    if (!Elements(in, u"uValue", items)) {
        SetReturn(out, ERROR_INVALID_PARAMETER);
        return S_OK;
    }
    std::vector<BYTE> bytes;
    for (auto& item : items) {
        _variant_t n;
        if (FAILED(VariantChangeType(&n, &item, 0, VT_I4)) || n.lVal < 0 || n.lVal > 255) {
            SetReturn(out, ERROR_INVALID_PARAMETER);
            return S_OK;
        }
        bytes.push_back(BYTE(n.lVal));
    }
    SetReturn(out, WriteValue(in, REG_BINARY, bytes.data(), bytes.size()));
    return S_OK;
}

PropertyValue Param(const char16_t* name, CIMTYPE type) {
    PropertyValue p;
    p.name = name;
    p.type = type;
    p.value.vt = VT_NULL;
    return p;
}

const std::vector<MethodDecl>& Methods() {
    static const std::vector<MethodDecl> methods = [] {
        const PropertyValue key = Param(u"hDefKey", CIM_UINT32);
        const PropertyValue subkey = Param(u"sSubKeyName", CIM_STRING);
        const PropertyValue value = Param(u"sValueName", CIM_STRING);
        const PropertyValue result = Param(u"ReturnValue", CIM_UINT32);
        return std::vector<MethodDecl>{
            {u"GetStringValue",
             {key, subkey, value},
             {result, Param(u"sValue", CIM_STRING)},
             &GetStringValue},
            {u"GetExpandedStringValue",
             {key, subkey, value},
             {result, Param(u"sValue", CIM_STRING)},
             &GetExpandedStringValue},
            {u"GetDWORDValue",
             {key, subkey, value},
             {result, Param(u"uValue", CIM_UINT32)},
             &GetDWORDValue},
            {u"GetQWORDValue",
             {key, subkey, value},
             {result, Param(u"uValue", CIM_UINT64)},
             &GetQWORDValue},
            {u"GetMultiStringValue",
             {key, subkey, value},
             {result, Param(u"sValue", CIM_STRING | CIM_FLAG_ARRAY)},
             &GetMultiStringValue},
            {u"GetBinaryValue",
             {key, subkey, value},
             {result, Param(u"uValue", CIM_UINT8 | CIM_FLAG_ARRAY)},
             &GetBinaryValue},
            {u"EnumKey",
             {key, subkey},
             {result, Param(u"sNames", CIM_STRING | CIM_FLAG_ARRAY)},
             &EnumKey},
            {u"EnumValues",
             {key, subkey},
             {result, Param(u"sNames", CIM_STRING | CIM_FLAG_ARRAY),
              Param(u"Types", CIM_SINT32 | CIM_FLAG_ARRAY)},
             &EnumValues},
            {u"CheckAccess",
             {key, subkey, Param(u"uRequired", CIM_UINT32)},
             {result, Param(u"bGranted", CIM_BOOLEAN)},
             &CheckAccess},
            {u"CreateKey", {key, subkey}, {result}, &CreateKey},
            {u"DeleteKey", {key, subkey}, {result}, &DeleteKey},
            {u"DeleteValue", {key, subkey, value}, {result}, &DeleteValue},
            {u"SetStringValue",
             {key, subkey, value, Param(u"sValue", CIM_STRING)},
             {result},
             &SetTextValue<REG_SZ>},
            {u"SetExpandedStringValue",
             {key, subkey, value, Param(u"sValue", CIM_STRING)},
             {result},
             &SetTextValue<REG_EXPAND_SZ>},
            {u"SetDWORDValue",
             {key, subkey, value, Param(u"uValue", CIM_UINT32)},
             {result},
             &SetDWORDValue},
            {u"SetQWORDValue",
             {key, subkey, value, Param(u"uValue", CIM_UINT64)},
             {result},
             &SetQWORDValue},
            {u"SetMultiStringValue",
             {key, subkey, value, Param(u"sValue", CIM_STRING | CIM_FLAG_ARRAY)},
             {result},
             &SetMultiStringValue},
            {u"SetBinaryValue",
             {key, subkey, value, Param(u"uValue", CIM_UINT8 | CIM_FLAG_ARRAY)},
             {result},
             &SetBinaryValue},
        };
    }();
    return methods;
}

}  // namespace

std::shared_ptr<ObjectData> StdRegProvClass(const std::u16string& name_space) {
    auto data = std::make_shared<ObjectData>();
    data->class_name = u"StdRegProv";
    data->name_space = name_space;
    data->path = u"\\\\.\\" + name_space + u":StdRegProv";
    data->methods = &Methods();
    return data;
}

}  // namespace kvwmiscript
