// StdRegProv: the registry read through WMI's method calls. Each method answers, in its
// ReturnValue, 0 or the Win32 error code of the registry call (2 for a missing key or value),
// and WBEM_E_TYPE_MISMATCH when the value exists with another type. An enumeration of a key
// that has no subkeys (or values) gives null names, as WMI does.
#include <algorithm>
#include <cstring>
#include <string>

#include "win/environment.h"
#include "win/errors.h"
#include "win/registry.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

constexpr uint32_t kLocalMachine = 0x80000002u;

class KeyHandle {
  public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (key_)
            RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

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
    return RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Out());
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
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = DWORD(bytes.size());
        status = RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type,
                                  bytes.empty() ? nullptr : bytes.data(), &size);
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && bytes.size() < size)) {
            bytes.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return status;
        bool wanted = false;
        for (DWORD t : types)
            wanted = wanted || t == type;
        if (!wanted)
            return LSTATUS(WBEM_E_TYPE_MISMATCH);
        bytes.resize(size);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
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
        LSTATUS s = RegEnumKeyExW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
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
            RegEnumValueW(key.Get(), i, name.data(), &length, nullptr, &type, nullptr, nullptr);
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
