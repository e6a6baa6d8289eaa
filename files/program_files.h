// The program files folder. Stateless; any thread.
#pragma once

#include <string>

#include "kvwin/wide_string.h"

// "ProgramFilesDir" under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion, or
// "C:\Program Files" when it cannot be read.
WString GetProgramFilesFolder();
