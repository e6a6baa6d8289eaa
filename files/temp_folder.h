// The agent temp folder of the host process, and the temp path handed to other programs.
//
// At library load InitProcessTempFolder picks one folder for the process and points the
// process's TEMP and TMP at it, so every temp path the process uses afterwards lies there.
// The first of these that works is taken:
//   1. the process's own temp folder (GetTempPathW);
//   2. "Norvale\Norvale Agent\Temp" under the common application-data folder;
//   3. "Temp" beside the host executable.
// A folder works when it exists or can be created (with the temp-folder security) and a
// test file can be opened in it. The test file, "<folder>\<marker>.tmp", stays open and
// goes away when its handle is closed: when the library is unloaded or the process ends.
// The marker variable "Zor_{A4597EF2-B2F1-4954-A2FF-A65C393439AF}_<process id>" is set to
// "OK", so that a second load of the library in the same process keeps the choice.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/types.h"

// The marker variable's name for a process id.
WString TempFolderMarkerName(DWORD processId);

// Chooses the process temp folder unless the marker says it is chosen already. Logs
// nothing and never fails: when no folder works, TEMP and TMP stay as they were. Runs as
// the library's first load step, before any other static object of the library exists;
// safe on any thread.
void InitProcessTempFolder() noexcept;

// Makes folder the process temp folder: creates it when missing, opens the test file named
// after markerName in it, sets TEMP, TMP and markerName ("OK"). False, with the last error,
// when the test file cannot be opened. Any thread.
bool TryUseTempFolder(const WCHAR* folder, const WCHAR* markerName);

// The process temp path as GetTempPathW gives it (with its trailing separator), the folder
// created when missing. Raises a described COM error ("Can't find temp path") when the
// path does not fit in MAX_PATH characters. Any thread.
WString GetWorkingTempPath();
