#include "value_text.h"

#include <cstdio>

#include "kvwin/com_error_text.h"
#include "kvwin/utf.h"
#include "win/comutil.h"

HRESULT ValueText(const VARIANT* value, std::u16string& text) {
    text.clear();
    if (value && value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal)
        value = value->pvarVal;
    if (!value || value->vt == VT_EMPTY)
        return S_OK;
    if (value->vt == VT_NULL) {
        text = u"null";
        return S_OK;
    }
    _variant_t converted;
    const HRESULT hr = VariantChangeType(&converted, value, VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(hr))
        return hr;
    if (converted.bstrVal)
        text.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
    return S_OK;
}

std::string FormatScriptError(const std::string& file, unsigned long line, long column, HRESULT hr,
                              const std::u16string& description) {
    char position[64];
    std::snprintf(position, sizeof position, "(%lu, %ld) error %08X: ", line, column,
                  static_cast<unsigned>(hr));
    std::u16string text = description;
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r'))
        text.pop_back();
    return file + position + kvwin::ToUtf8(text) + "\n";
}

std::string DescribeHResult(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::u16string text;
    if (!kvwin::KnownHresultText(hr, text))
        return code;
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u'.'))
        text.pop_back();
    return std::string(code) + " (" + kvwin::ToUtf8(text) + ")";
}
