// Facts about the machine and the account the process runs as.
//
// Every function here is safe to call from any thread.
#pragma once

#include "win/handles.h"
#include "win/types.h"

extern "C" {

#define MAX_COMPUTERNAME_LENGTH 15

typedef enum _COMPUTER_NAME_FORMAT {
    ComputerNameNetBIOS,
    ComputerNameDnsHostname,
    ComputerNameDnsDomain,
    ComputerNameDnsFullyQualified,
    ComputerNamePhysicalNetBIOS,
    ComputerNamePhysicalDnsHostname,
    ComputerNamePhysicalDnsDomain,
    ComputerNamePhysicalDnsFullyQualified,
    ComputerNameMax
} COMPUTER_NAME_FORMAT;

// The NetBIOS form of the host name: its first label, upper-cased, cut to 15 characters.
// On success *nSize is the length without the NUL; when the buffer is too small the call
// fails with ERROR_BUFFER_OVERFLOW and *nSize is the size needed including the NUL.
KVWIN_API BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);

// The host name in the form asked for; the DNS forms keep the host name's case. The
// domain is the part of the host name after its first dot (empty when it has none). Too
// small a buffer fails with ERROR_MORE_DATA and *nSize the size needed including the NUL.
KVWIN_API BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize);

// The login name of the user the calling thread acts as (the impersonated user while it
// impersonates, else the effective user). On success *pcbBuffer is the length including the NUL;
// too small a buffer fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
KVWIN_API BOOL GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer);

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF

#define PROCESSOR_INTEL_386 386
#define PROCESSOR_INTEL_486 486
#define PROCESSOR_INTEL_PENTIUM 586
#define PROCESSOR_AMD_X8664 8664
#define PROCESSOR_ARM_7TDMI 70001

typedef struct _SYSTEM_INFO {
    union {
        DWORD dwOemId;
        struct {
            WORD wProcessorArchitecture;
            WORD wReserved;
        } s;
    } u;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

// Processor count (online processors), page size and architecture of this machine. The
// process is native to the machine, so both functions give the same answer.
KVWIN_API void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);
KVWIN_API void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo);

typedef struct _MEMORYSTATUSEX {
    DWORD dwLength;  // must be sizeof(MEMORYSTATUSEX)
    DWORD dwMemoryLoad;
    ULONGLONG ullTotalPhys;
    ULONGLONG ullAvailPhys;
    ULONGLONG ullTotalPageFile;
    ULONGLONG ullAvailPageFile;
    ULONGLONG ullTotalVirtual;
    ULONGLONG ullAvailVirtual;
    ULONGLONG ullAvailExtendedVirtual;
} MEMORYSTATUSEX, *LPMEMORYSTATUSEX;

// Physical memory and swap from the kernel; a dwLength other than the structure's size
// fails with ERROR_INVALID_PARAMETER.
KVWIN_API BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX lpBuffer);

}  // extern "C"
