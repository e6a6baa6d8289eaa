#include "script_host.h"

#include <unistd.h>

#include "host_site.h"
#include "kvwin/utf.h"
#include "value_text.h"
#include "watchdog.h"
#include "win/comdef.h"
#include "wscript_object.h"

namespace {

_COM_SMARTPTR_TYPEDEF(IActiveScript, IID_IActiveScript);
_COM_SMARTPTR_TYPEDEF(IActiveScriptParse64, IID_IActiveScriptParse64);

// The calling thread in a single-threaded apartment for the lifetime of the object.
class Apartment {
  public:
    Apartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// Closes the engine and takes it out of the run control however the run ends.
class EngineSession {
  public:
    EngineSession(HostContext& context, IActiveScript* engine)
        : context_(context), engine_(engine) {
        context_.control.SetEngine(engine_);
    }
    ~EngineSession() {
        context_.control.SetEngine(nullptr);
        engine_->Close();
    }
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

  private:
    HostContext& context_;
    IActiveScript* engine_;
};

void Complain(HostContext& context, const std::string& what, HRESULT hr) {
    context.err.WriteUtf8("kavrel-script: " + what + ": " + DescribeHResult(hr) + "\n");
}

bool IsRunning(IActiveScript* engine) {
    SCRIPTSTATE state = SCRIPTSTATE_UNINITIALIZED;
    return SUCCEEDED(engine->GetScriptState(&state)) &&
           (state == SCRIPTSTATE_STARTED || state == SCRIPTSTATE_CONNECTED);
}

// Runs the files one after another; true when every one ran without error.
bool RunFiles(HostContext& context, IActiveScript* engine, IActiveScriptParse64* parse) {
    bool clean = true;
    bool running = false;
    for (size_t i = 0; i < context.sources.size(); ++i) {
        if (context.control.Reason() != StopReason::None)
            break;
        context.current.store(i);
        context.errorReported = false;
        ExceptionRecord exception;
        HRESULT hr = parse->ParseScriptText(context.sources[i].text.c_str(), nullptr, nullptr,
                                            nullptr, SourceCookie(i), 0, SCRIPTTEXT_ISVISIBLE,
                                            nullptr, exception.get());
        if (SUCCEEDED(hr) && !running) {
            hr = engine->SetScriptState(SCRIPTSTATE_CONNECTED);
            running = IsRunning(engine);
        }
        if (context.control.Reason() != StopReason::None)
            break;  // quit or stopped: not an error of the file
        if (FAILED(hr) && !context.errorReported) {
            // A failure the engine did not report as a script error: no position to give.
            const BSTR description = exception.get()->bstrDescription;
            context.err.WriteUtf8(
                context.sources[i].path + ": error " + DescribeHResult(hr) +
                (description && *description ? ": " + kvwin::ToUtf8(description) : "") + "\n");
        }
        if (FAILED(hr) || context.errorReported)
            clean = false;
    }
    return clean;
}

}  // namespace

std::string StopMessage(const HostContext& context, DWORD timeoutMs) {
    const ScriptSource* source = context.CurrentSource();
    const std::string file = source ? source->path : std::string("kavrel-script");
    switch (context.control.Reason()) {
        case StopReason::TimeOut:
            return file + ": the script was stopped after " + std::to_string(timeoutMs) + " ms\n";
        case StopReason::Interrupt:
            return file + ": the script was stopped by Ctrl-C\n";
        case StopReason::None:
        case StopReason::Quit:
            break;
    }
    return std::string();
}

int RunScriptFiles(HostContext& context, ScriptLanguage language, DWORD timeoutMs) {
    Apartment apartment;
    if (FAILED(apartment.Result())) {
        Complain(context, "COM could not be initialised", apartment.Result());
        return 1;
    }
    const std::string engineName = std::string("the ") + LanguageName(language) + " engine";
    IActiveScriptPtr engine;
    HRESULT hr =
        engine.CreateInstance(language == ScriptLanguage::VBScript ? CLSID_VBScript : CLSID_JScript,
                              nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr)) {
        Complain(context, engineName + " cannot be created", hr);
        return 1;
    }
    IActiveScriptParse64Ptr parse;
    hr = engine.QueryInterface(IID_IActiveScriptParse64, &parse);
    if (FAILED(hr)) {
        Complain(context, engineName + " does not parse script text", hr);
        return 1;
    }
    IDispatchPtr wscript;
    wscript.Attach(new WScriptObject(context));
    IActiveScriptSite* site = new HostSite(context, wscript.GetInterfacePtr());
    hr = engine->SetScriptSite(site);  // the engine keeps the site alive
    site->Release();

    bool clean = false;
    {
        EngineSession session(context, engine.GetInterfacePtr());
        if (SUCCEEDED(hr))
            hr = engine->AddNamedItem(kWScriptItemName, SCRIPTITEM_ISVISIBLE);
        if (SUCCEEDED(hr))
            hr = parse->InitNew();
        if (FAILED(hr)) {
            Complain(context, engineName + " refused the host", hr);
            return 1;
        }
        // A stopped script that does not stop ends the process, with the same message.
        Watchdog watchdog(context.control, timeoutMs, [&context, timeoutMs] {
            context.err.WriteUtf8(StopMessage(context, timeoutMs));
            ::_exit(context.control.Reason() == StopReason::Interrupt ? kInterruptedStatus : 1);
        });
        clean = RunFiles(context, engine.GetInterfacePtr(), parse.GetInterfacePtr());
    }

    switch (context.control.Reason()) {
        case StopReason::Quit:
            return context.control.QuitCode();
        case StopReason::TimeOut:
            context.err.WriteUtf8(StopMessage(context, timeoutMs));
            return 1;
        case StopReason::Interrupt:
            context.err.WriteUtf8(StopMessage(context, timeoutMs));
            return kInterruptedStatus;
        case StopReason::None:
            break;
    }
    return clean ? 0 : 1;
}
