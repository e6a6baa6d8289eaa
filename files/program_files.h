// The program files folder. Stateless; any thread.
#pragma once

#include <string>

// "ProgramFilesDir" under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion, or
// "C:\Program Files" when it cannot be read.
std::u16string GetProgramFilesFolder();
