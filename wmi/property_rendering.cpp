#include "wmi/property_rendering.h"

#include <charconv>
#include <utility>

#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/comdef.h"

namespace {

constexpr const WCHAR* kSource = TEXT("CWmiQuery::ExecuteQuery");

// Why Get refused a property; the four results WMI documents for Get have names of their own.
const WCHAR* GetFailureMessage(HRESULT hr) {
    switch (hr) {
        case static_cast<HRESULT>(WBEM_E_FAILED):
            return TEXT("WMI Property Failed - Property:%s Error:WBEM_E_FAILED");
        case static_cast<HRESULT>(WBEM_E_NOT_FOUND):
            return TEXT("WMI Property Failed - Property:%s Error:PROPERTY_NOT_FOUND");
        case static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY):
            return TEXT("WMI Property Failed - Property:%s Error:WBEM_E_OUT_OF_MEMORY");
        case static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER):
            return TEXT("WMI Property Failed - Property:%s Error:WBEM_E_INVALID_PARAMETER");
        default:
            return TEXT("WMI Property Failed - Property:%s Error:Unknown Error");
    }
}

// Plain ASCII digits whatever the locale says, and the most negative value as it is.
void AppendDecimal(WString& text, int32_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(digits, end);
}

WString RenderIntegerArray(SAFEARRAY* array) {
    WString text;
    LONG first = 0;
    LONG last = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &first)) || FAILED(SafeArrayGetUBound(array, 1, &last)))
        return text;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)))
        return text;
    const int64_t count = int64_t(last) - first + 1;
    const int32_t* elements = static_cast<const int32_t*>(data);
    for (int64_t i = 0; i < count; ++i) {
        AppendDecimal(text, elements[i]);
        if (count > 1)
            text += TEXT(';');
    }
    SafeArrayUnaccessData(array);
    return text;
}

// Owns the value Get wrote, whatever happens while it is rendered.
class ReadValue {
  public:
    ReadValue() { VariantInit(&value_); }
    ~ReadValue() { VariantClear(&value_); }
    ReadValue(const ReadValue&) = delete;
    ReadValue& operator=(const ReadValue&) = delete;
    VARIANT* operator&() { return &value_; }
    const VARIANT& get() const { return value_; }

  private:
    VARIANT value_;
};

void RenderProperty(IWbemClassObject* object, const WString& name, WMIRowMap& row) {
    ReadValue value;
    const HRESULT hr = object->Get(name.c_str(), 0, &value, nullptr, nullptr);
    if (hr != WBEM_S_NO_ERROR) {
        CEReportEventF(LogTrace, kSource, GetFailureMessage(hr), name.c_str());
        return;
    }
    if (value.get().vt == VT_NULL)
        return;
    WString text = RenderPropertyValue(value.get());
    row[name] = std::move(text);
}

}  // namespace

WString RenderPropertyValue(const VARIANT& value) {
    switch (value.vt) {
        case VT_BOOL:
            return value.boolVal ? TEXT("True") : TEXT("False");
        case VT_BSTR:
            return value.bstrVal ? WString(value.bstrVal, SysStringLen(value.bstrVal)) : WString();
        case VT_ARRAY | VT_I4:
            return RenderIntegerArray(value.parray);
        default:
            break;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_BSTR);
    if (FAILED(hr))
        throw _com_error(hr);
    WString text;
    try {
        if (converted.vt == VT_BSTR && converted.bstrVal)
            text.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
    } catch (...) {
        VariantClear(&converted);
        throw;
    }
    VariantClear(&converted);
    return text;
}

void AppendObjectRow(IWbemClassObject* object, const std::vector<WString>& names, WMIRows& rows) {
    WMIRowMap& row = rows.emplace_back();
    for (const WString& name : names) {
        // One property's failure costs that property only; the names read before keep
        // their entries.
        try {
            RenderProperty(object, name, row);
        } catch (...) {
            CEReportEventF(LogTrace, kSource,
                           TEXT("WMI Property Failed - Property:%s Error:Unknown"), name.c_str());
        }
    }
}
