// Debug output to standard error or to a file a tool listens on, and debugger presence from
// /proc.
//
// KAVREL_DEBUG_OUTPUT, read at every call (a process's children share it through their
// environment): unset, empty or "0" drops the text unless a debugger is attached;
// "file:/absolute/path" appends each text with one write to that file, which the listener
// has made beforehand (the file is never created here, and a symbolic link is not
// followed); any other value writes to standard error.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "kvwin/environment_lock.h"
#include "kvwin/utf.h"
#include "win/debug.h"

namespace {

constexpr std::string_view kFilePrefix = "file:";

void WriteAll(int fd, const char* text, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, text, size);
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
    const std::optional<std::string> setting = kvwin::GetEnvUtf8("KAVREL_DEBUG_OUTPUT");
    if (setting && std::string_view(*setting).substr(0, kFilePrefix.size()) == kFilePrefix) {
        const std::string path = setting->substr(kFilePrefix.size());
        if (path.empty() || path[0] != '/')
            return;
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return;  // nobody listens any more
        WriteAll(fd, text, size);
        ::close(fd);
        return;
    }
    if ((setting && !setting->empty() && *setting != "0") || IsDebuggerPresent())
        WriteAll(STDERR_FILENO, text, size);
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
