#include "files/program_files.h"

#include "files/registry_text.h"

std::u16string GetProgramFilesFolder() {
    std::u16string folder;
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                         u"ProgramFilesDir", KEY_READ, folder)) {
        return folder;
    }
    return u"C:\\Program Files";
}
