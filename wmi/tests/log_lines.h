// What the engine logged, read back from the agent log file of the test's state root. Every
// level is recorded in these tests (the shared log capture raises the severity mask).
#pragma once

#include "kvtest/log_capture.h"

namespace wmitest {

// The records written since the last ClearLoggedLines, as "severity|source|message".
inline std::vector<std::string> LoggedLines() { return kvtest::Lines(); }
using kvtest::ClearLoggedLines;

}  // namespace wmitest
