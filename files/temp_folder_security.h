// The security of the folders the agent creates for temporary files.
//
// SYSTEM and Administrators have full control; Users may only traverse the folder and
// create files and folders in it (0x100026), so they can neither list it nor read files
// that others put there.
#pragma once

#include <cstdint>

#include "entry/singleton/singleton.h"
#include "win/types.h"

inline constexpr WCHAR kTempFolderSddl[] =
    TEXT("D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x100026;;;BU)");

// Owns kTempFolderSddl converted to a security descriptor, freed when it goes. The
// descriptor is null when the conversion fails; a folder created with it then gets the default
// security. One owner.
class TempFolderDescriptor {
  public:
    TempFolderDescriptor();
    ~TempFolderDescriptor();
    TempFolderDescriptor(const TempFolderDescriptor&) = delete;
    TempFolderDescriptor& operator=(const TempFolderDescriptor&) = delete;

    void* get() const { return descriptor_; }

  private:
    void* descriptor_ = nullptr;
};

// The process-wide attributes for creating temp folders: length 24, the descriptor above,
// not inheritable. Use it through TempFolderSecuritySingleton::Instance(). Set up once by
// the singleton and never changed, so any thread may read it; callers pass the attributes
// on and do not change them.
class TempFolderSecurity {
  public:
    LPSECURITY_ATTRIBUTES Attributes() { return &attributes_; }

  private:
    template <class, uint32_t>
    friend class Utility::SingletonT;
    TempFolderSecurity();

    TempFolderDescriptor descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

inline constexpr uint32_t kTempFolderSecurityPriority = 255;
using TempFolderSecuritySingleton =
    Utility::SingletonT<TempFolderSecurity, kTempFolderSecurityPriority>;
