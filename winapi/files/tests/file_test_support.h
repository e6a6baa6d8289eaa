// Small helpers for the file tests: paths under the test's state root, whole files, opening.
#pragma once

#include <string>

#include "kvtest/state_files.h"
#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "win/files.h"

namespace filetest {

using kvtest::NativePath;
using kvtest::ReadWholeFile;
using kvtest::WinPath;
using kvtest::WriteWholeFile;

inline HANDLE Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags = 0) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

}  // namespace filetest
