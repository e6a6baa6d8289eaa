// What the WMI service tests share: an apartment, BSTR helpers, smart pointers, connecting
// to a namespace through the service linked into the test program, and reading values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvtest/com_support.h"
#include "kvwin/utf.h"
#include "service/locator.h"
#include "win/comdef.h"
#include "win/wbemcli.h"

_COM_SMARTPTR_TYPEDEF(IWbemLocator, __uuidof(IWbemLocator));
_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IEnumWbemClassObject, __uuidof(IEnumWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IWbemObjectSink, __uuidof(IWbemObjectSink));

namespace wmitest {

using kvtest::ScopedApartment;

using kvtest::Bstr;
using kvtest::Take;

inline std::string Narrow(std::u16string_view text) {
    return kvwin::ToUtf8(text);
}

// A locator of the service linked into this program (so it sees the test's classes).
inline IWbemLocatorPtr LinkedLocator() {
    IWbemLocatorPtr locator;
    EXPECT_EQ(kvwmi::CreateLocator(nullptr, IID_IWbemLocator, reinterpret_cast<void**>(&locator)),
              S_OK);
    return locator;
}

inline HRESULT Connect(IWbemLocator* locator, std::u16string_view path, IWbemServicesPtr& out) {
    out = nullptr;
    IWbemServices* services = nullptr;
    HRESULT hr = locator->ConnectServer(Bstr(path), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                        &services);
    out.Attach(services);
    return hr;
}

// Connects to a namespace of the linked service; the connection must succeed.
inline IWbemServicesPtr ConnectLinked(std::u16string_view path) {
    IWbemServicesPtr services;
    EXPECT_EQ(Connect(LinkedLocator(), path, services), S_OK) << Narrow(path);
    return services;
}

// Every object of a synchronous query, or the HRESULT of ExecQuery / the enumerator.
inline HRESULT Query(IWbemServices* services, std::u16string_view wql,
                     std::vector<IWbemClassObjectPtr>& objects) {
    objects.clear();
    IEnumWbemClassObject* raw = nullptr;
    HRESULT hr =
        services->ExecQuery(Bstr(u"WQL"), Bstr(wql), WBEM_FLAG_FORWARD_ONLY, nullptr, &raw);
    if (FAILED(hr))
        return hr;
    IEnumWbemClassObjectPtr enumerator(raw, false);
    while (true) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        hr = enumerator->Next(long(WBEM_INFINITE), 1, &object, &returned);
        if (returned == 1)
            objects.emplace_back(object, false);
        if (hr != WBEM_S_NO_ERROR)
            return FAILED(hr) ? hr : S_OK;
    }
}

// A property's value as text for comparisons in tests: "null", or VT type and content.
inline std::string Describe(const VARIANT& value) {
    switch (V_VT(&value)) {
        case VT_NULL:
            return "null";
        case VT_EMPTY:
            return "empty";
        case VT_BSTR:
            return "bstr:" + Narrow(std::u16string(V_BSTR(&value), SysStringLen(V_BSTR(&value))));
        case VT_BOOL:
            return std::string("bool:") + (V_BOOL(&value) ? "true" : "false");
        case VT_I2:
            return "i2:" + std::to_string(V_I2(&value));
        case VT_UI1:
            return "ui1:" + std::to_string(V_UI1(&value));
        case VT_I4:
            return "i4:" + std::to_string(V_I4(&value));
        case VT_R4:
            return "r4:" + std::to_string(V_R4(&value));
        case VT_R8:
            return "r8:" + std::to_string(V_R8(&value));
        default:
            return "vt:" + std::to_string(V_VT(&value));
    }
}

// Get of one property, described; "error:<hex>" when Get fails.
inline std::string GetText(IWbemClassObject* object, std::u16string_view name,
                           CIMTYPE* type = nullptr) {
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = object->Get(std::u16string(name).c_str(), 0, &value, type, nullptr);
    if (FAILED(hr)) {
        char buffer[32];
        snprintf(buffer, sizeof buffer, "error:%08X", unsigned(hr));
        return buffer;
    }
    std::string text = Describe(value);
    VariantClear(&value);
    return text;
}

}  // namespace wmitest
