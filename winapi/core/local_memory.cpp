// LocalAlloc and GlobalAlloc: fixed memory from the C heap.
#include <cstdlib>

#include "win/handles.h"
#include "win/memory.h"

extern "C" {

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* memory = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes ? uBytes : 1)
                                            : std::malloc(uBytes ? uBytes : 1);
    if (!memory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    return LocalAlloc(uFlags, dwBytes);
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    return LocalFree(hMem);
}

}  // extern "C"
