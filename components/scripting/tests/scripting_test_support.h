// Late-bound calls for the scripting objects' tests: one call by member name, arguments as
// _variant_t, the outcome as HRESULT, result and EXCEPINFO.
#pragma once

#include "kvtest/com_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/comdef.h"

namespace scriptingtest {

// A single-threaded apartment, as script engines run in.
class ScopedApartment : public kvtest::ScopedApartment {
  public:
    ScopedApartment() : kvtest::ScopedApartment(COINIT_APARTMENTTHREADED) {}
};

struct Outcome {
    HRESULT hr = S_OK;
    _variant_t result;
    HRESULT scode = S_OK;  // from the EXCEPINFO when hr is DISP_E_EXCEPTION
    std::u16string description;
};

inline IDispatchPtr Create(const char16_t* prog_id) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(prog_id, &clsid), S_OK);
    IDispatchPtr object;
    EXPECT_EQ(object.CreateInstance(clsid), S_OK);
    return object;
}

// Invokes a member by name. `put` sends the last argument as the value of a put.
inline Outcome Invoke(IDispatch* object, const std::u16string& name, WORD flags,
                      std::vector<_variant_t> args = {}) {
    Outcome out;
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    out.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(out.hr))
        return out;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        reversed.push_back(*it);
    DISPID put = DISPID_PROPERTYPUT;
    const bool is_put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params{reversed.data(), is_put ? &put : nullptr, UINT(reversed.size()),
                      is_put ? 1u : 0u};
    EXCEPINFO excep{};
    out.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &out.result, &excep,
                            nullptr);
    if (out.hr == DISP_E_EXCEPTION) {
        out.scode = excep.scode;
        if (excep.bstrDescription)
            out.description.assign(excep.bstrDescription, SysStringLen(excep.bstrDescription));
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrHelpFile);
    }
    return out;
}

inline Outcome Method(IDispatch* o, const std::u16string& name, std::vector<_variant_t> a = {}) {
    return Invoke(o, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(a));
}
inline Outcome Put(IDispatch* o, const std::u16string& name, std::vector<_variant_t> a) {
    return Invoke(o, name, DISPATCH_PROPERTYPUT, std::move(a));
}

}  // namespace scriptingtest
