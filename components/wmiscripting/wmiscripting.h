// The WMI scripting face: late-bound (IDispatch) objects that scripts reach through
// GetObject("winmgmts:..."), over the WMI service's IWbemServices.
//
//   winmgmts moniker  -> SWbemServices (a namespace) or SWbemObject (a class or instance)
//   SWbemServices     -> ExecQuery / InstancesOf -> SWbemObjectSet -> SWbemObject
//   SWbemObject       -> properties by name, Properties_, Path_, Methods_, ExecMethod_
//
// Every object here is an apartment object: one object is used by one thread at a time;
// AddRef and Release are safe from any thread. The data an object shows (ObjectData) is
// copied out of the service when the object is made and shared by the objects made from it.
#pragma once

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kvwin/component_module.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/held_memory.h"
#include "win/com.h"
#include "win/comip.h"
#include "win/comutil.h"
#include "win/oleauto.h"
#include "win/wbemcli.h"

namespace kvwmiscript {

// The class "winmgmts" that a display name's prefix "winmgmts:" names; it answers
// IDisplayNameBinder (kvwin/moniker_names.h).
inline constexpr CLSID CLSID_WinmgmtsMoniker =
    kvwin::GuidFromLiteral("172BDDF8-CEEA-11D1-8B05-00600806D9B6");

// One property (or method parameter) of an object, with its value as the service gives it.
struct PropertyValue {
    std::u16string name;
    _variant_t value;
    CIMTYPE type = CIM_STRING;
};

struct ObjectData;

// A method a class offers to scripts: its parameters, and what runs it. Run reads the in
// parameters from `in` and fills `out` (ReturnValue included); a failed HRESULT fails the call.
struct MethodDecl {
    const char16_t* name;
    std::vector<PropertyValue> in;   // names and types, values null
    std::vector<PropertyValue> out;  // ReturnValue first
    HRESULT (*run)(const ObjectData& in, ObjectData& out);
};

// What an ObjectData keeps, charged to the process-wide bound on memory objects hold for
// scripts (kvwin/held_memory.h). A copy is charged the same again and throws std::bad_alloc
// past the bound.
struct DataCharge {
    kvwin::HeldMemory held;
    DataCharge() = default;
    DataCharge(const DataCharge& other) {
        if (!held.Charge(other.held.bytes()))
            throw std::bad_alloc();
    }
    DataCharge& operator=(const DataCharge&) = delete;
};

// What one SWbemObject shows.
struct ObjectData {
    std::u16string class_name;
    std::u16string relpath;  // empty for a class or a parameter object
    std::u16string path;
    std::u16string name_space;
    std::vector<PropertyValue> properties;
    std::vector<std::u16string> derivation;            // the superclasses, nearest first
    const std::vector<MethodDecl>* methods = nullptr;  // static table, or null
    DataCharge charge;  // for the copied texts and values and what scripts put in

    PropertyValue* Find(std::u16string_view name);
    const PropertyValue* Find(std::u16string_view name) const;
    const MethodDecl* FindMethod(std::u16string_view name) const;
};

// Puts a script's value into a property, charging the growth of what the object keeps;
// E_OUTOFMEMORY past the bound, and the property keeps its value.
HRESULT PutPropertyValue(ObjectData& data, PropertyValue& property, const VARIANT& value);

// The properties of a service object (its non-system properties and its path).
HRESULT CopyClassObject(IWbemClassObject* object, const std::u16string& name_space,
                        std::shared_ptr<ObjectData>& data);

// The class or instance a path names in a namespace (StdRegProv is served here, not by the
// service).
HRESULT GetObjectData(IWbemServices* services, const std::u16string& name_space,
                      const std::u16string& path, std::shared_ptr<ObjectData>& data);

// The StdRegProv class, with its registry methods.
std::shared_ptr<ObjectData> StdRegProvClass(const std::u16string& name_space);

// The scripting objects; each returns a new object with one reference, or throws
// std::bad_alloc past the held-memory bound.
IDispatch* NewWbemObject(std::shared_ptr<ObjectData> data);
// A forward-only set enumerates once (a second enumeration delivers nothing) and fails
// Count and ItemIndex with wbemErrFailed.
IDispatch* NewObjectSet(std::vector<std::shared_ptr<ObjectData>> items, bool forward_only = false);
// A call that returned at once and failed: its set reports the failure when it is used.
struct DeferredFailure {
    HRESULT hr = S_OK;
    std::u16string operation;
    std::u16string parameter;
};
IDispatch* NewFailedObjectSet(DeferredFailure failure, bool forward_only);
IDispatch* NewServices(IWbemServices* services, std::u16string name_space);

// The object a "winmgmts:" display name stands for.
HRESULT BindWinmgmtsName(std::u16string_view display_name, REFIID riid, void** ppv);
HRESULT CreateMonikerBinder(IUnknown* outer, REFIID riid, void** ppv);

// WbemScripting.SWbemLocator and WbemScripting.SWbemDateTime.
inline constexpr CLSID CLSID_SWbemLocator =
    kvwin::GuidFromLiteral("76A64158-CB41-11D1-8B02-00600806D9B6");
inline constexpr CLSID CLSID_SWbemDateTime =
    kvwin::GuidFromLiteral("47DFBE54-CF76-11D3-B38F-00105A1F473A");
HRESULT CreateLocator(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateDateTime(IUnknown* outer, REFIID riid, void** ppv);

// The service's namespace `resource` ("root\cimv2", "\\server\root\x") on this machine.
HRESULT ConnectNamespace(const std::u16string& resource, IWbemServices** services);
_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));

// WMI codes the service headers do not name.
inline constexpr HRESULT kWbemInvalidMethod = HRESULT(0x8004102E);
inline constexpr HRESULT kWbemInvalidMethodParameters = HRESULT(0x8004102F);

// What the objects raise a WMI code with: the text WMI gives it.
std::u16string WbemErrorText(HRESULT hr);

// Fails a call with a WMI code and its text, and records it as this thread's last error
// (what WbemScripting.SWbemLastError then shows: Operation, ParameterInfo, StatusCode).
HRESULT FailCall(kvwin::DispatchCall& call, HRESULT hr, std::u16string_view operation,
                 std::u16string_view parameter = {});

// WbemScripting.SWbemLastError: takes this thread's last error (fails when there is none).
inline constexpr CLSID CLSID_SWbemLastError =
    kvwin::GuidFromLiteral("C2FEEEAC-CFCD-11D1-8B05-00600806D9B6");
HRESULT CreateLastError(IUnknown* outer, REFIID riid, void** ppv);

// A script's argument as text ("" when there is none or it has no text form).
inline std::u16string TextArg(const VARIANT* v) {
    if (!v)
        return {};
    _variant_t text;
    if (FAILED(VariantChangeType(&text, v, 0, VT_BSTR)))
        return {};
    return std::u16string(text.bstrVal, SysStringLen(text.bstrVal));
}

// A member of every object of the module, for DllCanUnloadNow.
using kvwin::ModuleRef;

}  // namespace kvwmiscript
