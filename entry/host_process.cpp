#include "entry/host_process.h"

#include <string>

#include "files/path_text.h"
#include "kvwin/ascii_case.h"
#include "kvwin/wide_string.h"
#include "win/modules.h"

namespace {

constexpr WStringView kInventoryHostSuffix = TEXT("keldrin.exe");

}  // namespace

bool IsInventoryHostName(WStringView fileName) {
    if (fileName.size() < kInventoryHostSuffix.size())
        return false;
    WStringView tail = fileName.substr(fileName.size() - kInventoryHostSuffix.size());
    // Only A-Z change, as the runtime's lower-casing does in the default locale; the
    // suffix itself is lower-case ASCII, so a plain comparison after folding is exact.
    for (size_t i = 0; i < tail.size(); ++i) {
        if (kvwin::AsciiLower(tail[i]) != kInventoryHostSuffix[i])
            return false;
    }
    return true;
}

bool IsInventoryHostProcess() {
    WCHAR path[1024] = {};
    if (GetModuleFileNameW(nullptr, path, 1024) == 0)
        path[0] = 0;
    path[1023] = 0;  // a path cut at the buffer's end is still a path
    return IsInventoryHostName(GetFileNamePart(path));
}
