// The WScript object: the host's named item "WScript".
//
//   Echo([value, ...])      the values on one line of standard output, one blank apart
//   Arguments               the arguments after "--" (wscript_arguments.h)
//   Quit([code])            ends the whole run now with the exit status code (0 by default)
//   Sleep(ms)               waits; a stopped run ends the wait
//   StdOut, StdErr, StdIn   the console streams (wscript_streams.h)
//   ScriptName, ScriptFullName   the running file's name and full path
//   Name (default), Version, FullName, Path   the host's name, version, program and folder
//   CreateObject(progid)    a new object of the class a ProgID or "{CLSID}" names
//   GetObject(name)         the object a display name stands for ("winmgmts:...")
//
// A failing member answers with the script error's number and text (script_errors.h),
// which the engine turns into a script error.
//
// Thread safety: used by the script thread; Quit stops the run through the thread-safe run
// control. The host context outlives the object.
#pragma once

#include "host_context.h"
#include "kvwin/dispatch_object.h"
#include "win/comdef.h"

// The host's name and version as WScript.Name and WScript.Version give them.
inline constexpr const char16_t* kScriptHostName = u"Kavrel Script Host";
inline constexpr const char16_t* kScriptHostVersion = u"5.8";

// The most arguments one Echo takes.
inline constexpr UINT kMostEchoArguments = 4096;

class WScriptObject final : public kvwin::DispatchObject<WScriptObject, IDispatch> {
  public:
    explicit WScriptObject(HostContext& context) : context_(context) {}

    static std::span<const kvwin::DispatchMember<WScriptObject>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WScript"; }

    static HRESULT Echo(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT Arguments(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT Quit(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT Sleep(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT StdOut(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT StdErr(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT StdIn(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT ScriptName(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT ScriptFullName(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT Name(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT Version(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT FullName(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT Path(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT CreateObject(WScriptObject& self, kvwin::DispatchCall& call);
    static HRESULT GetObject(WScriptObject& self, kvwin::DispatchCall& call);

  private:
    ~WScriptObject() override = default;

    // Hands out the object in slot, made by make on first use.
    template <class Make>
    static HRESULT ReturnObject(IDispatchPtr& slot, Make make, VARIANT* result);

    HostContext& context_;
    IDispatchPtr arguments_;
    IDispatchPtr stdOut_;
    IDispatchPtr stdErr_;
    IDispatchPtr stdIn_;
};
