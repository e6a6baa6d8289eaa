// Debug output to standard error, and debugger presence from /proc.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kvwin/environment_lock.h"
#include "kvwin/utf.h"
#include "win/debug.h"

namespace {

bool DebugOutputSwitchedOn() {
    const std::optional<std::string> value = kvwin::GetEnvUtf8("KAVREL_DEBUG_OUTPUT");
    return value && !value->empty() && *value != "0";
}

void WriteAllToStderr(const char* text, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;  // debug output never fails its caller
        }
        text += n;
        size -= static_cast<size_t>(n);
    }
}

void Emit(const char* text, size_t size) {
    if (size == 0)
        return;
    if (!DebugOutputSwitchedOn() && !IsDebuggerPresent())
        return;
    WriteAllToStderr(text, size);
}

// Reads TracerPid without allocating, so it works in low-memory and exit paths too.
bool TracerAttached() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    size_t used = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer + used, sizeof buffer - 1 - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += static_cast<size_t>(n);
        if (used == sizeof buffer - 1)
            break;
    }
    ::close(fd);
    buffer[used] = '\0';
    const char* field = std::strstr(buffer, "\nTracerPid:");
    if (!field)
        return false;
    field += std::strlen("\nTracerPid:");
    while (*field == ' ' || *field == '\t')
        ++field;
    return *field >= '1' && *field <= '9';
}

}  // namespace

extern "C" {

void OutputDebugStringW(LPCWSTR lpOutputString) {
    if (!lpOutputString)
        return;
    try {
        const std::string text = kvwin::ToUtf8(lpOutputString);
        Emit(text.data(), text.size());
    } catch (...) {
        // Out of memory while converting: the message is lost, the caller carries on.
    }
}

void OutputDebugStringA(LPCSTR lpOutputString) {
    if (!lpOutputString)
        return;
    try {
        Emit(lpOutputString, std::strlen(lpOutputString));
    } catch (...) {
    }
}

BOOL IsDebuggerPresent(void) {
    return TracerAttached() ? TRUE : FALSE;
}

void DebugBreak(void) {
    ::raise(SIGTRAP);
}

}  // extern "C"
