// Windows' message tables carry texts, not the symbolic names of their codes: on Windows a
// code is described by its number and text alone.
#pragma once

#include <windows.h>

namespace kvwin {

inline const char* MessageSymbolicName(DWORD) {
    return nullptr;
}

}  // namespace kvwin
