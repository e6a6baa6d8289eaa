#include "files/temp_folder_security.h"

#include "win/memory.h"

// The platform layer's string-descriptor conversion is declared in win/security.h; until
// that header exists, there is no descriptor, as when a conversion fails.
#if __has_include("win/security.h")
#include "win/security.h"
#define KAVREL_TEMP_FOLDER_SDDL_CONVERSION 1
#else
#define KAVREL_TEMP_FOLDER_SDDL_CONVERSION 0
#endif

TempFolderDescriptor::TempFolderDescriptor() {
#if KAVREL_TEMP_FOLDER_SDDL_CONVERSION
    PSECURITY_DESCRIPTOR converted = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kTempFolderSddl, SDDL_REVISION_1,
                                                             &converted, nullptr)) {
        descriptor_ = converted;
    }
#endif
}

TempFolderDescriptor::~TempFolderDescriptor() {
    if (descriptor_)
        LocalFree(descriptor_);
}

TempFolderSecurity::TempFolderSecurity() {
    attributes_.nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes_.lpSecurityDescriptor = descriptor_.get();
    attributes_.bInheritHandle = FALSE;
}
