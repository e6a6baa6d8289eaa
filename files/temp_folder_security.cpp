#include "files/temp_folder_security.h"

#include "win/memory.h"

#include "win/security.h"

TempFolderDescriptor::TempFolderDescriptor() {
    PSECURITY_DESCRIPTOR converted = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kTempFolderSddl, SDDL_REVISION_1,
                                                             &converted, nullptr)) {
        descriptor_ = converted;
    }
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
