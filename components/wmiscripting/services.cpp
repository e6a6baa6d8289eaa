// SWbemServices: a connected namespace. ExecQuery and InstancesOf run synchronously and
// collect every object before they return, so a failing query fails the call itself.
#include <span>

#include "kvwin/ascii_case.h"
#include "kvwin/dispatch_object.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

std::u16string TextArg(const VARIANT* v) {
    if (!v)
        return {};
    _variant_t text;
    if (FAILED(VariantChangeType(&text, v, 0, VT_BSTR)))
        return {};
    return std::u16string(text.bstrVal, SysStringLen(text.bstrVal));
}

class Services final : public kvwin::DispatchObject<Services, IDispatch> {
  public:
    Services(IWbemServices* services, std::u16string name_space)
        : services_(services), name_space_(std::move(name_space)) {
        services_->AddRef();
    }
    std::u16string_view ErrorSource() const override { return u"SWbemServicesEx"; }

    static std::span<const kvwin::DispatchMember<Services>> DispatchMembers() {
        static const kvwin::DispatchMember<Services> members[] = {
            // ExecQuery(query [, language [, flags [, context]]])
            {u"ExecQuery", 1, DISPATCH_METHOD, 1, 4, &Services::ExecQuery},
            // InstancesOf(class [, flags [, context]])
            {u"InstancesOf", 2, DISPATCH_METHOD, 1, 3, &Services::InstancesOf},
            // Get([path [, flags [, context]]])
            {u"Get", 3, DISPATCH_METHOD, 0, 3, &Services::Get},
        };
        return members;
    }

  private:
    ~Services() override { services_->Release(); }

    static HRESULT Fail(kvwin::DispatchCall& call, HRESULT hr) {
        return call.Fail(hr, WbemErrorText(hr));
    }

    static HRESULT PutObject(kvwin::DispatchCall& call, IDispatch* object) {
        if (call.Result()) {
            call.Result()->vt = VT_DISPATCH;
            call.Result()->pdispVal = object;
        } else {
            object->Release();
        }
        return S_OK;
    }

    // Collects what the enumerator delivers into an SWbemObjectSet.
    HRESULT Collect(kvwin::DispatchCall& call, IEnumWbemClassObject* objects) {
        std::vector<std::shared_ptr<ObjectData>> items;
        HRESULT hr = S_OK;
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG got = 0;
            hr = objects->Next(WBEM_INFINITE, 1, &object, &got);
            if (FAILED(hr) || got == 0)
                break;
            std::shared_ptr<ObjectData> data;
            hr = CopyClassObject(object, name_space_, data);
            object->Release();
            if (FAILED(hr))
                break;
            items.push_back(std::move(data));
        }
        objects->Release();
        if (FAILED(hr))
            return Fail(call, hr);
        return PutObject(call, NewObjectSet(std::move(items)));
    }

    static HRESULT ExecQuery(Services& self, kvwin::DispatchCall& call) {
        _bstr_t query(TextArg(call.Arg(0)).c_str());
        std::u16string language = call.Arg(1) ? TextArg(call.Arg(1)) : u"WQL";
        IEnumWbemClassObject* objects = nullptr;
        HRESULT hr = self.services_->ExecQuery(
            _bstr_t(language.c_str()), query, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
            nullptr, &objects);
        if (FAILED(hr))
            return Fail(call, hr);
        return self.Collect(call, objects);
    }

    static HRESULT InstancesOf(Services& self, kvwin::DispatchCall& call) {
        IEnumWbemClassObject* objects = nullptr;
        HRESULT hr = self.services_->CreateInstanceEnum(
            _bstr_t(TextArg(call.Arg(0)).c_str()),
            WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &objects);
        if (FAILED(hr))
            return Fail(call, hr);
        return self.Collect(call, objects);
    }

    static HRESULT Get(Services& self, kvwin::DispatchCall& call) {
        std::shared_ptr<ObjectData> data;
        HRESULT hr = GetObjectData(self.services_, self.name_space_, TextArg(call.Arg(0)), data);
        if (FAILED(hr))
            return Fail(call, hr);
        return PutObject(call, NewWbemObject(std::move(data)));
    }

  private:
    IWbemServices* services_;
    std::u16string name_space_;
    ModuleRef module_ref_;
};

}  // namespace

HRESULT GetObjectData(IWbemServices* services, const std::u16string& name_space,
                      const std::u16string& path, std::shared_ptr<ObjectData>& data) {
    if (kvwin::EqualsAsciiNoCase(path, u"StdRegProv")) {
        data = StdRegProvClass(name_space);
        return S_OK;
    }
    IWbemClassObject* object = nullptr;
    HRESULT hr = services->GetObject(_bstr_t(path.c_str()), 0, nullptr, &object, nullptr);
    if (FAILED(hr))
        return hr;
    hr = CopyClassObject(object, name_space, data);
    object->Release();
    return hr;
}

IDispatch* NewServices(IWbemServices* services, std::u16string name_space) {
    return new Services(services, std::move(name_space));
}

}  // namespace kvwmiscript
