// What the engine logged, read back from the agent log file of the test's state root. Every
// level is recorded in these tests (log_lines.cpp raises the severity mask before any test).
#pragma once

#include <string>
#include <vector>

namespace wmitest {

// The records written since the last ClearLoggedLines, as "severity|source|message".
std::vector<std::string> LoggedLines();
void ClearLoggedLines();

}  // namespace wmitest
