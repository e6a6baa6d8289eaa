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

// The exchange's files live in a folder of their own, made for the call inside the caller's
// temp folder: "<temp>\Lumbrik_<identifier>", mode 0700, owned by the caller's file-system
// user (the user the launcher runs as), so that no one else can read the query, plant a
// result or put a link where a file will be. Made exclusively, never through a link; false
// with the last error set.
bool CreateLauncherFolder(const WString& tempFolder, const WString& identifier, WString& folder);

// Creates the empty file `path` exclusively with mode 0600; false with the last error.
bool CreatePrivateFile(const WString& path);

// Whether `path` is a regular file (not a link) owned by the caller's file-system user: only
// such an output is read back as the launcher's result.
bool IsOwnRegularFile(const WString& path);
