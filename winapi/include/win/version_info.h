// The Windows version the layer reports.
//
// GetVersionExW and RtlGetVersion answer as the kernel does on Windows, without the registry:
// from the layer's Windows level (kvwin/windows_level.h), a current Windows 10 workstation
// unless the layer's configuration presents another release. The version values a new
// machine hive is given (HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion,
// ProductOptions\ProductType) come from the same level; changing them later in the registry
// changes what registry readers see, not what these calls report, as on Windows. The layer
// behaves as a host with a compatibility manifest: the version is reported as configured.
// Safe from any thread.
#pragma once

#include "win/handles.h"

extern "C" {

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW, RTL_OSVERSIONINFOW, *PRTL_OSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW, RTL_OSVERSIONINFOEXW,
    *PRTL_OSVERSIONINFOEXW;

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003

#define VER_SUITE_TERMINAL 0x00000010
#define VER_SUITE_SINGLEUSERTS 0x00000100

typedef LONG NTSTATUS;
#ifndef STATUS_SUCCESS
#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#endif
#ifndef STATUS_INVALID_PARAMETER
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#endif

// dwOSVersionInfoSize must be sizeof(OSVERSIONINFOW) (276) or sizeof(OSVERSIONINFOEXW)
// (284); any other size fails with ERROR_INVALID_PARAMETER. The platform is always
// VER_PLATFORM_WIN32_NT. The extended fields: the service pack number from the
// "Service Pack N" text, the suite mask (single-user terminal services, and
// terminal services on servers) and the product type.
KVWIN_API BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);

// The same answer in the kernel's form: STATUS_INVALID_PARAMETER for a wrong size.
KVWIN_API NTSTATUS RtlGetVersion(PRTL_OSVERSIONINFOW lpVersionInformation);

}  // extern "C"
