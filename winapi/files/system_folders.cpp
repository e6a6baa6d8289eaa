// The temporary folder and the Windows folders.
#include <algorithm>
#include <string>

#include "kvwin/environment_lock.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/files.h"

namespace {

// Copies text with its terminator when it fits; returns the length written, or the size
// needed (terminator included) when it does not.
DWORD CopyOut(const std::u16string& text, LPWSTR buffer, DWORD size) {
    if (!buffer || size <= text.size())
        return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return static_cast<DWORD>(text.size());
}

std::u16string WithSeparator(std::u16string path) {
    if (path.empty() || (path.back() != u'\\' && path.back() != u'/')) {
        path.push_back(path.find(u'\\') != std::u16string::npos ||
                               path.find(u'/') == std::u16string::npos
                           ? u'\\'
                           : u'/');
    }
    return path;
}

}  // namespace

extern "C" {

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    std::u16string path;
    // Windows' order, then the Linux variable, then the folder every Linux machine has: a
    // fresh state root has no Windows folder to fall back on.
    for (const char* name : {"TMP", "TEMP", "USERPROFILE", "TMPDIR"}) {
        if (auto value = kvwin::GetEnvUtf8(name); value && !value->empty()) {
            path = kvwin::FromUtf8(*value);
            break;
        }
    }
    if (path.empty())
        path = u"/tmp";
    return CopyOut(WithSeparator(path), lpBuffer, nBufferLength);
}

UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return CopyOut(u"C:\\Windows", lpBuffer, uSize);
}

UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return CopyOut(u"C:\\Windows\\System32", lpBuffer, uSize);
}

}  // extern "C"
