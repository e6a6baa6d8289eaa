// SWbemLastError: the failure of the last WMI scripting call on this thread, as an
// __ExtendedStatus object. Creating the object takes the record, so a second creation fails
// until another call fails.
#include "kvwin/dispatch_object.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

// The record of this thread's last failed call (null when there is none, or it was taken).
thread_local std::shared_ptr<ObjectData> last_error;

PropertyValue Text(const char16_t* name, std::u16string_view text) {
    PropertyValue p;
    p.name = name;
    p.value = _bstr_t(std::u16string(text).c_str());
    p.type = CIM_STRING;
    return p;
}

}  // namespace

HRESULT FailCall(kvwin::DispatchCall& call, HRESULT hr, std::u16string_view operation,
                 std::u16string_view parameter) {
    const std::u16string description = WbemErrorText(hr);
    try {
        auto data = std::make_shared<ObjectData>();
        data->class_name = u"__ExtendedStatus";
        data->name_space = u"root\\cimv2";
        data->derivation = {u"__NotifyStatus"};
        data->properties.push_back(Text(u"Description", description));
        data->properties.push_back(Text(u"Operation", operation));
        data->properties.push_back(Text(u"ParameterInfo", parameter));
        data->properties.push_back(Text(u"ProviderName", u"WinMgmt"));
        PropertyValue status;
        status.name = u"StatusCode";
        status.value = long(hr);
        status.type = CIM_UINT32;
        data->properties.push_back(std::move(status));
        last_error = std::move(data);
    } catch (const std::bad_alloc&) {
        last_error.reset();  // the call still fails; only its record is lost
    }
    return call.Fail(hr, description);
}

HRESULT CreateLastError(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer)
        return CLASS_E_NOAGGREGATION;
    std::shared_ptr<ObjectData> data = std::move(last_error);
    last_error.reset();
    if (!data)
        return WBEM_E_FAILED;  // no failure since the last time it was taken
    IDispatch* object = NewWbemObject(std::move(data));
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

}  // namespace kvwmiscript
