// Helpers of the file tests: paths on C: (the test's state root), whole files, the lines
// the agent log recorded.
#pragma once

#include <string>
#include <vector>

#include "kvtest/log_capture.h"
#include "kvtest/state_files.h"
#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/files.h"

namespace filestest {

using kvtest::ClearLoggedLines;
using kvtest::Lines;
using kvtest::NativePath;
using kvtest::ReadWholeFile;
using kvtest::WaitForLoggedText;
using kvtest::WinPath;
using kvtest::WriteWholeFile;

}  // namespace filestest
