#include "platform/token_security.h"

#include "entry/singleton/singleton.h"
#include "win/errors.h"
#include "win/handles.h"
#include "win/memory.h"

void HandleHolder::Reset(HANDLE handle) {
    if (m_handle) {
        const DWORD error = GetLastError();
        CloseHandle(m_handle);
        SetLastError(error);
    }
    m_handle = handle;
}

SidHolder::~SidHolder() {
    if (!m_sid)
        return;
    if (m_freeing == Freeing::Sid)
        FreeSid(m_sid);
    else
        LocalFree(m_sid);
}

bool OpenCurrentProcessToken(HandleHolder& token, DWORD access) {
    return OpenProcessToken(GetCurrentProcess(), access, token.Receive()) != FALSE;
}

bool GetTokenInformationAlloc(HANDLE token, TOKEN_INFORMATION_CLASS informationClass,
                              std::vector<BYTE>& buffer) {
    DWORD size = 0;
    if (GetTokenInformation(token, informationClass, nullptr, 0, &size)) {
        // A query that needs no buffer is not one this function serves.
        buffer.clear();
        SetLastError(ERROR_INTERNAL_ERROR);
        return false;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        buffer.clear();
        return false;
    }
    buffer.assign(size, 0);
    if (!GetTokenInformation(token, informationClass, buffer.data(), size, &size)) {
        buffer.clear();
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool GetTokenIntegrityRid(DWORD& rid) {
    HandleHolder token;
    if (!OpenCurrentProcessToken(token, MAXIMUM_ALLOWED))
        return false;
    std::vector<BYTE> buffer;
    if (!GetTokenInformationAlloc(token.Get(), TokenIntegrityLevel, buffer))
        return false;
    const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
    const PSID sid = label->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0)
        return false;
    rid = *GetSidSubAuthority(sid, count - 1);
    return true;
}

bool IsLocalSystemToken(HANDLE token) {
    std::vector<BYTE> buffer;
    if (!GetTokenInformationAlloc(token, TokenUser, buffer))
        return false;
    const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID copy = nullptr;
    const UCHAR count = *GetSidSubAuthorityCount(user);
    if (!AllocateAndInitializeSid(&nt, count, 0, 0, 0, 0, 0, 0, 0, 0, &copy))
        return false;
    const SidHolder hold(copy, SidHolder::Freeing::Sid);
    if (!CopySid(GetLengthSid(copy), copy, user))
        return false;
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(copy);
    for (int i = 0; i < 6; ++i)
        if (authority->Value[i] != nt.Value[i])
            return false;
    return *GetSidSubAuthorityCount(copy) >= 1 &&
           *GetSidSubAuthority(copy, 0) == SECURITY_LOCAL_SYSTEM_RID;
}

bool EnablePrivilege(HANDLE token, const WCHAR* privilege, bool enable) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueW(nullptr, privilege, &privileges.Privileges[0].Luid))
        return false;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    return GetLastError() == ERROR_SUCCESS;
}

namespace {

class SharedObjectSecurity {
  public:
    SharedObjectSecurity() {
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.bInheritHandle = FALSE;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
                TEXT("O:BAD:P(A;;0x101FFFFF;;;WD)"), SDDL_REVISION_1, &descriptor, nullptr))
            m_attributes.lpSecurityDescriptor = descriptor;
    }
    ~SharedObjectSecurity() {
        if (m_attributes.lpSecurityDescriptor)
            LocalFree(m_attributes.lpSecurityDescriptor);
    }
    SECURITY_ATTRIBUTES* Attributes() { return &m_attributes; }

  private:
    SECURITY_ATTRIBUTES m_attributes{};
};

}  // namespace

LPSECURITY_ATTRIBUTES GetSharedObjectSecurityAttributes() {
    return Utility::SingletonT<SharedObjectSecurity, 255>::Instance().Attributes();
}
