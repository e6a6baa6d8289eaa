// Local and global memory: the allocations Windows functions hand to their callers
// (FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER, converted security descriptors and
// SIDs, environment blocks). Freed with LocalFree. Safe from any thread.
#pragma once

#include "win/types.h"

extern "C" {

typedef HANDLE HLOCAL;
typedef HANDLE HGLOBAL;

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define GMEM_FIXED 0x0000u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// Only fixed memory: the handle is the pointer. Null on failure (ERROR_NOT_ENOUGH_MEMORY).
KVWIN_API HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Returns null on success, the argument on failure, as Windows does. Null is accepted.
KVWIN_API HLOCAL LocalFree(HLOCAL hMem);
KVWIN_API HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
KVWIN_API HGLOBAL GlobalFree(HGLOBAL hMem);

}  // extern "C"
