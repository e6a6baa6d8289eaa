// A script engine for the host's tests, put in place of the JScript and VBScript engines
// through the built-in registrations, so that every outcome of a script run can be chosen.
//
// Its "script" is one directive a line; the text is kept whole for the test to read:
//   !parse-fails          ParseScriptText reports the error to the site and fails
//   !connect-fails        SetScriptState reports an error in the global code and fails
//   Name=number 7         a function Name returning the VT_I4 7
//   Name=text <row/>      ... returning the text after "text "
//   Name=nothing          ... returning S_OK with no value
//   Name=array            ... returning a one-dimensional array (which has no text form)
//   Name=fails            ... reporting a run-time error to the site and failing
//   Name=endless          ... running until InterruptScriptThread: it sets the named event
//                         kTestScriptStartedEvent when it starts (so a test, in this or
//                         another process, knows the script is running) and then fails
//
// Every engine made writes what was done to it in the process-wide TestEngineLog.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "kvwin/wide_string.h"
#include "win/activscp.h"

inline constexpr const WCHAR* kTestScriptStartedEvent = TEXT("Local\\KavrelTestScriptStarted");

// What the engines of this process were asked to do, in order. Thread safe.
struct TestEngineLog {
    std::vector<std::string> calls;  // "AddNamedItem Scripter 14", "Invoke Collect 1024 1"...
    WString parsedText;              // the last text given to ParseScriptText
    std::string engineClass;         // "JScript" or "VBScript", of the last engine made
    int live = 0;                    // engines not yet destroyed
    int interrupts = 0;              // InterruptScriptThread calls
};

// A copy of the log, and clearing it.
TestEngineLog ReadTestEngineLog();
void ClearTestEngineLog();

// Registers the test engine for CLSID_JScript and CLSID_VBScript for the object's lifetime.
class ScopedTestEngine {
  public:
    ScopedTestEngine();
    ~ScopedTestEngine();
    ScopedTestEngine(const ScopedTestEngine&) = delete;
    ScopedTestEngine& operator=(const ScopedTestEngine&) = delete;
};
