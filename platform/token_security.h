// Token, SID and descriptor helpers the log's decisions rest on: the process's integrity
// level, whether it runs as LocalSystem, privileges, and the security attributes of the
// named objects shared with other agent processes.
//
// All functions may run on any thread and report failure as false with the Win32 error as
// the thread's last error; none logs and none throws.
#pragma once

#include <cstdint>
#include <vector>

#include "win/security.h"

inline constexpr uint32_t kLowIntegrityRid = 0x1000;
inline constexpr uint32_t kMediumIntegrityRid = 0x2000;
inline constexpr uint32_t kHighIntegrityRid = 0x3000;

// Owns one handle (a token or a process); closing it keeps the thread's last error.
class HandleHolder {
  public:
    HandleHolder() = default;
    explicit HandleHolder(HANDLE handle) : m_handle(handle) {}
    ~HandleHolder() { Reset(); }
    HandleHolder(const HandleHolder&) = delete;
    HandleHolder& operator=(const HandleHolder&) = delete;

    HANDLE Get() const { return m_handle; }
    HANDLE* Receive() {
        Reset();
        return &m_handle;
    }
    void Reset(HANDLE handle = nullptr);
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }

  private:
    HANDLE m_handle = nullptr;
};

// Owns one SID with the way it must go: LocalFree for a SID converted from text, FreeSid for
// one from AllocateAndInitializeSid.
class SidHolder {
  public:
    enum class Freeing { Local, Sid };
    SidHolder() = default;
    SidHolder(PSID sid, Freeing freeing) : m_sid(sid), m_freeing(freeing) {}
    ~SidHolder();
    SidHolder(const SidHolder&) = delete;
    SidHolder& operator=(const SidHolder&) = delete;
    PSID Get() const { return m_sid; }

  private:
    PSID m_sid = nullptr;
    Freeing m_freeing = Freeing::Local;
};

// The current process's token, replacing what the holder held.
bool OpenCurrentProcessToken(HandleHolder& token, DWORD access);

// GetTokenInformation into a buffer of the size the token asks for; last error 0 on success.
bool GetTokenInformationAlloc(HANDLE token, TOKEN_INFORMATION_CLASS informationClass,
                              std::vector<BYTE>& buffer);

// The integrity RID of the current process (0x1000 low, 0x2000 medium, 0x3000 high).
bool GetTokenIntegrityRid(DWORD& rid);

// Whether the token's user is LocalSystem (S-1-5-18).
bool IsLocalSystemToken(HANDLE token);

// Enables or disables one privilege; false also when the token does not hold it.
bool EnablePrivilege(HANDLE token, const WCHAR* privilege, bool enable);

// The attributes for named objects every agent process must reach: owner Administrators,
// Everyone full access. Created on first use (SharedObjectSecurity, priority 255); the
// descriptor is null when it could not be converted.
LPSECURITY_ATTRIBUTES GetSharedObjectSecurityAttributes();
