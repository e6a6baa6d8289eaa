// SWbemServices: a connected namespace. ExecQuery and InstancesOf collect every object
// before they return. A query that fails (bad syntax, an unknown class) fails the call itself
// with wbemFlagReturnWhenComplete (0); with wbemFlagReturnImmediately (16, the default) the
// call succeeds and the set reports the failure at its first use (enumeration, Count,
// ItemIndex), as a semisynchronous call does on Windows. wbemFlagForwardOnly (32) makes a
// set that enumerates once and has no Count or ItemIndex.
#include <span>

#include "kvwin/ascii_case.h"
#include "kvwin/dispatch_object.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

class Services final : public kvwin::DispatchObject<Services, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemServicesEx"; }
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

    // wbemFlagReturnImmediately (the objects are collected before the call returns either
    // way; the flag decides where a failure is reported) and wbemFlagForwardOnly; a missing
    // or empty flags argument is the default, wbemFlagReturnImmediately.
    static constexpr long kReturnImmediately = 0x10;
    static constexpr long kForwardOnly = 0x20;
    static bool FlagsOf(const VARIANT* arg, long& flags) {
        flags = kReturnImmediately;
        if (!arg || arg->vt == VT_EMPTY ||
            (arg->vt == VT_ERROR && arg->scode == DISP_E_PARAMNOTFOUND))
            return true;
        _variant_t n;
        if (FAILED(VariantChangeType(&n, arg, 0, VT_I4)))
            return false;
        flags = n.lVal;
        return true;
    }

    static HRESULT PutObject(kvwin::DispatchCall& call, IDispatch* object) {
        return kvwin::ReturnObject(call.Result(), object);
    }

    // Collects what the enumerator delivers into an SWbemObjectSet.
    HRESULT Collect(kvwin::DispatchCall& call, IEnumWbemClassObject* objects, long flags,
                    std::u16string_view operation, const std::u16string& parameter) {
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
        return Deliver(call, hr, std::move(items), flags, operation, parameter);
    }

    // The set, or the failure.
    static HRESULT Deliver(kvwin::DispatchCall& call, HRESULT hr,
                           std::vector<std::shared_ptr<ObjectData>> items, long flags,
                           std::u16string_view operation, const std::u16string& parameter) {
        if (FAILED(hr) && (flags & kReturnImmediately))
            return PutObject(call, NewFailedObjectSet({hr, std::u16string(operation), parameter},
                                                      (flags & kForwardOnly) != 0));
        if (FAILED(hr))
            return FailCall(call, hr, operation, parameter);
        return PutObject(call, NewObjectSet(std::move(items), (flags & kForwardOnly) != 0));
    }

    static HRESULT ExecQuery(Services& self, kvwin::DispatchCall& call) {
        const std::u16string text = TextArg(call.Arg(0));
        const VARIANT* language_arg = call.Arg(1);
        std::u16string language =
            language_arg && language_arg->vt != VT_EMPTY ? TextArg(language_arg) : u"WQL";
        long flags = 0;
        if (!FlagsOf(call.Arg(2), flags))
            return FailCall(call, WBEM_E_INVALID_PARAMETER, u"ExecQuery", text);
        IEnumWbemClassObject* objects = nullptr;
        HRESULT hr = self.services_->ExecQuery(
            _bstr_t(language.c_str()), _bstr_t(text.c_str()),
            WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &objects);
        if (FAILED(hr))
            return Deliver(call, hr, {}, flags, u"ExecQuery", text);
        return self.Collect(call, objects, flags, u"ExecQuery", text);
    }

    static HRESULT InstancesOf(Services& self, kvwin::DispatchCall& call) {
        const std::u16string class_name = TextArg(call.Arg(0));
        long flags = 0;
        if (!FlagsOf(call.Arg(1), flags))
            return FailCall(call, WBEM_E_INVALID_PARAMETER, u"InstancesOf", class_name);
        IEnumWbemClassObject* objects = nullptr;
        HRESULT hr = self.services_->CreateInstanceEnum(
            _bstr_t(class_name.c_str()), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
            nullptr, &objects);
        if (FAILED(hr))
            return Deliver(call, hr, {}, flags, u"InstancesOf", class_name);
        return self.Collect(call, objects, flags, u"InstancesOf", class_name);
    }

    static HRESULT Get(Services& self, kvwin::DispatchCall& call) {
        std::shared_ptr<ObjectData> data;
        const std::u16string path = TextArg(call.Arg(0));
        HRESULT hr = GetObjectData(self.services_, self.name_space_, path, data);
        if (FAILED(hr))
            return FailCall(call, hr, u"GetObject", path);
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
