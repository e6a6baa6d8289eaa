// The install log: plain-text lines in ZORHUBC.log in the agent's InstallLogs folder, written
// by log calls that carry LogToInstallLog (or whose process's override asks for it).
//
// Called only from a log call holding the log mutex, so lines of all threads and processes
// never interleave.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/types.h"

// The install log's full path, fixed for the process (InstallLogName, priority 255); empty
// when no path could be formed, which turns the install log off.
const WString& InstallLogPath();

// Appends "YYYY-MM-DD hh:mm:ss P:<pid> T:<tid> <tag> <source>: <message>" (or the short form
// with the message alone when the tag or the source is missing). A line that cannot be
// written is lost.
void WriteInstallLogLine(const WCHAR* tag, const WCHAR* source, const WCHAR* message);
