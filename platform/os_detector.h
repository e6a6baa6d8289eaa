// OSDetector: the Windows release the host process sees, as one small code.
//
//   17 Windows 2000, 18 XP, 19 Server 2003, 20 Vista, 21 Server 2008, 22 Windows 7,
//   23 Server 2008 R2, 24 Windows 8, 25 Server 2012, 26 Windows 8.1, 27 Server 2012 R2,
//   28 Windows 10, 29 Server 2016, 30 Server 2019; 0 when it could not be determined.
//
// The code is gathered once per process (SingletonT, priority 4095) from GetVersionExW, the
// product type and the release id in the registry, and never changes afterwards. Codes of
// 20 or more mean Vista or later. Safe from any thread.
//
// A release id that does not read as a number is logged as a warning by the constructor. The
// log object asks for the code while it starts; a warning made then is held by the log and
// written as soon as the log object exists (log/held_records.h).
#pragma once

#include <cstdint>
#include <string>

#include "kvwin/wide_string.h"
#include "win/sysinfo.h"
#include "win/version_info.h"

class OSDetector {
  public:
    OSDetector();
    virtual ~OSDetector() = default;

    // The code of the process-wide detector, created on first call.
    static uint32_t GetOSCode();

    // The lookup itself, for a version, a server flag and a release number.
    static uint32_t LookupOSCode(DWORD major, DWORD minor, bool server, uint32_t release);

    uint32_t Code() const { return m_osCode; }

  private:
    uint32_t m_osCode = 0;
    OSVERSIONINFOEXW m_version{};
    bool m_extended = false;
    bool m_server = false;
    WString m_releaseIdText;
    uint32_t m_release = 0;
};
