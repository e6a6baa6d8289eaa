// One kavrel-script run: the engine, its site and the WScript object, the files run one
// after another, the watchdog, and the exit status.
//
// The run creates the engine (CLSID_VBScript or CLSID_JScript, in process), gives it the
// site, adds the named item "WScript" (visible) and parses each file as a block of its own
// (ParseScriptText with SCRIPTTEXT_ISVISIBLE, the file's index as the source context);
// after the first block has been parsed the engine is connected, which runs it, and every
// later block runs as it is parsed. A block that fails (a compile or run-time error,
// reported by the site) ends, and the next file runs. The engine is closed at the end.
//
// Exit status: 0 when every file ran without error; 1 after a script error, when the engine
// cannot be created or set up, or when the time limit stopped the run; WScript.Quit's code
// when a script quit (the run ends there); 130 when Ctrl-C stopped it.
//
// Thread safety: runs on the calling thread, which it enters into a single-threaded COM
// apartment for the run; the watchdog runs beside it.
#pragma once

#include "host_context.h"
#include "script_options.h"

// The status for a run stopped by Ctrl-C (128 + SIGINT, as shells report it).
inline constexpr int kInterruptedStatus = 130;

// Runs context.sources in an engine of the language, within timeoutMs (0: no limit).
int RunScriptFiles(HostContext& context, ScriptLanguage language, DWORD timeoutMs);

// The line printed when the time limit or Ctrl-C stopped the run ("FILE: the script was
// stopped after 500 ms"), or empty for any other reason.
std::string StopMessage(const HostContext& context, DWORD timeoutMs);
