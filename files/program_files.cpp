#include "files/program_files.h"

#include "files/registry_text.h"
#include "kvwin/wide_string.h"

WString GetProgramFilesFolder() {
    WString folder;
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion"),
                         TEXT("ProgramFilesDir"), KEY_READ, folder)) {
        return folder;
    }
    return TEXT("C:\\Program Files");
}
