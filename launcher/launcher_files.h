// What the library and the launcher executable agree on: the launcher's file name, the two
// files of a call and the command line. Both sides build them here, so they cannot drift.
// Stateless; any thread.
#pragma once

#include <string>

#include "kvwin/wide_string.h"

// The launcher executable's file name, beside the agent module (or the host executable).
inline constexpr const WCHAR* kLauncherExecutableName = TEXT("Lumbrik.exe");

// "WmiInput_<identifier>.xml": the query document, UTF-8, written by the library.
WString LauncherInputFileName(const WString& identifier);

// "WmiOutput_<identifier>.xml": the launcher's result text, UTF-8, written by the launcher.
WString LauncherOutputFileName(const WString& identifier);

// "-d \"<folder>\" -id <identifier>", the folder as it is (its trailing backslash
// included), cut to 8191 characters.
WString LauncherCommandLine(const WString& folder, const WString& identifier);

// The launcher's full path: the folder of the loaded module "Colvane.dll" (found under its
// Linux names too: libColvane.so, ...), or of the host executable when none is loaded,
// joined with kLauncherExecutableName.
WString LauncherPath();
