// Events, mutexes, file mappings, threads, and waiting on them.
//
// Named objects are shared by every process on the machine that uses the same state root.
// "Global\" names are machine-wide; "Local\" names (and names without a prefix) belong to
// the caller's logon session. Names are case-sensitive. A named object lives while any
// process holds a handle to it; when the last handle anywhere closes (or its process dies)
// the next creation starts afresh, as on Windows.
//
// Waiting sleeps in the kernel (futexes) and is woken by the change it waits for; a mutex
// whose owning thread or process dies is reported abandoned to the next waiter.
//
// All functions may be called from any thread.
#pragma once

#include "win/access_rights.h"
#include "win/handles.h"

extern "C" {

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 258L
#endif
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define EVENT_MODIFY_STATE 0x0002u
#define EVENT_ALL_ACCESS 0x1F0003u
#define MUTEX_MODIFY_STATE 0x0001u
#define MUTEX_ALL_ACCESS 0x1F0001u

// ---- events ---------------------------------------------------------------------------------
// Creating an event whose name exists opens it (initial state and reset mode are those of
// the existing event) and leaves ERROR_ALREADY_EXISTS; a name taken by an object of another
// kind fails with ERROR_INVALID_HANDLE. Security attributes are accepted and not applied.
KVWIN_API HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                              BOOL bInitialState, LPCWSTR lpName);
KVWIN_API HANDLE OpenEventW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
KVWIN_API BOOL SetEvent(HANDLE hEvent);
KVWIN_API BOOL ResetEvent(HANDLE hEvent);

// ---- mutexes --------------------------------------------------------------------------------
// Recursive for their owning thread. ReleaseMutex by a thread that does not own the mutex
// fails with ERROR_NOT_OWNER. A mutex whose owner died is given to the next waiter with
// WAIT_ABANDONED (+ index).
KVWIN_API HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                              LPCWSTR lpName);
KVWIN_API HANDLE OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
KVWIN_API BOOL ReleaseMutex(HANDLE hMutex);

// ---- waiting --------------------------------------------------------------------------------
// Any mix of event, mutex and thread handles. A signalled auto-reset event is reset and a
// free mutex taken by the wait that reports it. Waiting for all objects takes them when all
// are signalled at one look.
KVWIN_API DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
KVWIN_API DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                       DWORD dwMilliseconds);

// ---- threads --------------------------------------------------------------------------------
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u

// Starts a thread; its handle is signalled when the thread ends. CREATE_SUSPENDED is not
// supported (ERROR_NOT_SUPPORTED).
KVWIN_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                              LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                              DWORD dwCreationFlags, LPDWORD lpThreadId);
KVWIN_API BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
KVWIN_API DWORD GetThreadId(HANDLE Thread);

// ---- file mappings --------------------------------------------------------------------------
#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define FILE_MAP_COPY 0x0001u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u
#define FILE_MAP_ALL_ACCESS 0x000F001Fu
#define MEM_COMMIT 0x00001000u
#define MEM_MAPPED 0x00040000u

// A mapping backed by the paging file (hFile INVALID_HANDLE_VALUE, size required) or by an
// open file (size 0: the file's size). Opening an existing named mapping keeps its size and
// leaves ERROR_ALREADY_EXISTS.
KVWIN_API HANDLE CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes,
                                    DWORD flProtect, DWORD dwMaximumSizeHigh,
                                    DWORD dwMaximumSizeLow, LPCWSTR lpName);
KVWIN_API HANDLE OpenFileMappingW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
// Offsets must be multiples of the allocation granularity (64 KiB; ERROR_MAPPED_ALIGNMENT).
// A size of 0 maps to the end of the mapping.
KVWIN_API LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                               DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                               SIZE_T dwNumberOfBytesToMap);
KVWIN_API BOOL UnmapViewOfFile(LPCVOID lpBaseAddress);

typedef struct _MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    DWORD AllocationProtect;
    WORD PartitionId;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
} MEMORY_BASIC_INFORMATION, *PMEMORY_BASIC_INFORMATION;

// Describes the views this layer mapped: the region from the address to the view's end,
// rounded up to whole pages. Other addresses give 0 with ERROR_INVALID_PARAMETER.
KVWIN_API SIZE_T VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer,
                              SIZE_T dwLength);

}  // extern "C"
