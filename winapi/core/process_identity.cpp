// Identity of the running process and thread, and the constants every part shares.
#include <sys/syscall.h>
#include <unistd.h>

#include "win/handles.h"

extern "C" {

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

DWORD GetCurrentProcessId(void) {
    return static_cast<DWORD>(::getpid());
}

DWORD GetCurrentThreadId(void) {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

}  // extern "C"
