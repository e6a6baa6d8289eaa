#include "wscript_object.h"

#include "kvwin/moniker_names.h"
#include "kvwin/utf.h"
#include "script_errors.h"
#include "value_text.h"
#include "win/comutil.h"
#include "wscript_arguments.h"
#include "wscript_streams.h"

namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

HRESULT ReturnText(kvwin::DispatchCall& call, const std::string& utf8) {
    return kvwin::SetVariantText(call.Result(), kvwin::FromUtf8(utf8));
}

// An argument as text; false when it has none.
bool TextArgument(const kvwin::DispatchCall& call, UINT index, std::u16string& text) {
    const VARIANT* value = call.Arg(index);
    return value && value->vt != VT_NULL && SUCCEEDED(ValueText(value, text));
}

HRESULT ReturnDispatch(kvwin::DispatchCall& call, IDispatch* object) {
    if (VARIANT* result = call.Result()) {
        result->vt = VT_DISPATCH;
        result->pdispVal = object;  // the caller's reference
    } else {
        object->Release();
    }
    return S_OK;
}

}  // namespace

template <class Make>
HRESULT WScriptObject::ReturnObject(IDispatchPtr& slot, Make make, VARIANT* result) {
    if (!slot)
        slot.Attach(make());
    if (!slot)
        return E_OUTOFMEMORY;
    if (result) {
        result->vt = VT_DISPATCH;
        result->pdispVal = slot.GetInterfacePtr();
        result->pdispVal->AddRef();
    }
    return S_OK;
}

HRESULT WScriptObject::Echo(WScriptObject& self, kvwin::DispatchCall& call) {
    std::u16string line;
    for (UINT i = 0; i < call.Count(); ++i) {
        std::u16string text;
        if (FAILED(ValueText(call.Arg(i), text)))
            return call.Fail(kScriptTypeMismatch, u"Type mismatch");
        if (i > 0)
            line.push_back(u' ');
        line += text;
    }
    line.push_back(u'\n');
    self.context_.out.Write(line);
    return S_OK;
}

HRESULT WScriptObject::Arguments(WScriptObject& self, kvwin::DispatchCall& call) {
    return ReturnObject(
        self.arguments_,
        [&]() -> IDispatch* { return new (std::nothrow) ScriptArguments(self.context_.arguments); },
        call.Result());
}

HRESULT WScriptObject::Quit(WScriptObject& self, kvwin::DispatchCall& call) {
    _variant_t code;
    if (call.Arg(0) && FAILED(VariantChangeType(&code, call.Arg(0), 0, VT_I4)))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    self.context_.control.Stop(StopReason::Quit, call.Arg(0) ? code.lVal : 0);
    // The engine has been told to stop; failing the call stops the statement at once.
    return call.Fail(E_ABORT, u"The script has quit");
}

HRESULT WScriptObject::Sleep(WScriptObject& self, kvwin::DispatchCall& call) {
    _variant_t ms;
    if (!call.Arg(0) || FAILED(VariantChangeType(&ms, call.Arg(0), 0, VT_I4)))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    if (self.context_.control.Signal().Wait(ms.lVal > 0 ? ms.lVal : 0))
        return call.Fail(E_ABORT, u"The script was stopped");
    return S_OK;
}

HRESULT WScriptObject::StdOut(WScriptObject& self, kvwin::DispatchCall& call) {
    return ReturnObject(
        self.stdOut_,
        [&]() -> IDispatch* { return new (std::nothrow) ScriptOutputStream(self.context_.out); },
        call.Result());
}

HRESULT WScriptObject::StdErr(WScriptObject& self, kvwin::DispatchCall& call) {
    return ReturnObject(
        self.stdErr_,
        [&]() -> IDispatch* { return new (std::nothrow) ScriptOutputStream(self.context_.err); },
        call.Result());
}

HRESULT WScriptObject::StdIn(WScriptObject& self, kvwin::DispatchCall& call) {
    return ReturnObject(
        self.stdIn_,
        [&]() -> IDispatch* { return new (std::nothrow) ScriptInputStream(self.context_.in); },
        call.Result());
}

HRESULT WScriptObject::ScriptName(WScriptObject& self, kvwin::DispatchCall& call) {
    const ScriptSource* source = self.context_.CurrentSource();
    return ReturnText(call, source ? source->name : std::string());
}

HRESULT WScriptObject::ScriptFullName(WScriptObject& self, kvwin::DispatchCall& call) {
    const ScriptSource* source = self.context_.CurrentSource();
    return ReturnText(call, source ? source->fullPath : std::string());
}

HRESULT WScriptObject::Name(WScriptObject&, kvwin::DispatchCall& call) {
    return kvwin::SetVariantText(call.Result(), kScriptHostName);
}

HRESULT WScriptObject::Version(WScriptObject&, kvwin::DispatchCall& call) {
    return kvwin::SetVariantText(call.Result(), kScriptHostVersion);
}

HRESULT WScriptObject::FullName(WScriptObject& self, kvwin::DispatchCall& call) {
    return ReturnText(call, self.context_.toolPath);
}

HRESULT WScriptObject::Path(WScriptObject& self, kvwin::DispatchCall& call) {
    const std::string& tool = self.context_.toolPath;
    const size_t slash = tool.rfind('/');
    return ReturnText(call, slash == std::string::npos ? std::string() : tool.substr(0, slash));
}

HRESULT WScriptObject::CreateObject(WScriptObject&, kvwin::DispatchCall& call) {
    std::u16string name;
    if (!TextArgument(call, 0, name))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    CLSID clsid{};
    HRESULT hr = name.starts_with(u"{") ? CLSIDFromString(name.c_str(), &clsid)
                                        : CLSIDFromProgID(name.c_str(), &clsid);
    IDispatch* object = nullptr;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object)
        return call.Fail(FAILED(hr) ? hr : E_NOINTERFACE,
                         u"Could not create an object of the class \"" + name + u"\"");
    return ReturnDispatch(call, object);
}

HRESULT WScriptObject::GetObject(WScriptObject&, kvwin::DispatchCall& call) {
    std::u16string name;
    if (!TextArgument(call, 0, name))
        return call.Fail(kScriptTypeMismatch, u"Type mismatch");
    IDispatch* object = nullptr;
    const HRESULT hr =
        CoGetObject(name.c_str(), nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object)
        return call.Fail(FAILED(hr) ? hr : E_NOINTERFACE,
                         u"Could not get the object named \"" + name + u"\"");
    return ReturnDispatch(call, object);
}

namespace {

const kvwin::DispatchMember<WScriptObject> kMembers[] = {
    {u"Name", DISPID_VALUE, kGet, 0, 0, &WScriptObject::Name},
    {u"Echo", 1, kMethod, 0, kMostEchoArguments, &WScriptObject::Echo},
    {u"Arguments", 2, kGet, 0, 0, &WScriptObject::Arguments},
    {u"Quit", 3, kMethod, 0, 1, &WScriptObject::Quit},
    {u"Sleep", 4, kMethod, 1, 1, &WScriptObject::Sleep},
    {u"StdOut", 5, kGet, 0, 0, &WScriptObject::StdOut},
    {u"StdErr", 6, kGet, 0, 0, &WScriptObject::StdErr},
    {u"StdIn", 7, kGet, 0, 0, &WScriptObject::StdIn},
    {u"ScriptName", 8, kGet, 0, 0, &WScriptObject::ScriptName},
    {u"ScriptFullName", 9, kGet, 0, 0, &WScriptObject::ScriptFullName},
    {u"Version", 10, kGet, 0, 0, &WScriptObject::Version},
    {u"FullName", 11, kGet, 0, 0, &WScriptObject::FullName},
    {u"Path", 12, kGet, 0, 0, &WScriptObject::Path},
    {u"CreateObject", 13, kMethod, 1, 1, &WScriptObject::CreateObject},
    {u"GetObject", 14, kMethod, 1, 1, &WScriptObject::GetObject},
};

}  // namespace

std::span<const kvwin::DispatchMember<WScriptObject>> WScriptObject::DispatchMembers() {
    return kMembers;
}
