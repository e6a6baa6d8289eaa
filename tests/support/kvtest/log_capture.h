// What the library logged, read back from the agent log file by a test program that links
// the library's code (kavrel_core). Linking this turns every level on before the first
// test starts (a registry "Severity" of 0x3F in the test's state root).
#pragma once

#include <string>
#include <vector>

namespace kvtest {

// The lines this process's agent log holds since the last ClearLoggedLines, as
// "level|source|message", in order.
std::vector<std::string> Lines();

// Lines() starts after what the log holds now.
void ClearLoggedLines();

// Waits until the agent log holds a record whose message contains text; false when it did
// not come within timeoutMs. Any process of the test may wait for any other's records.
bool WaitForLoggedText(const std::string& text, unsigned timeoutMs);

}  // namespace kvtest
