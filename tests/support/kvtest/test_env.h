// Helpers every test program shares.
//
// Each test program runs with a fresh, empty state root of its own (set up by the shared
// main before any test starts), and CTest runs each case in its own process, so no case
// sees another's registry, named objects or files.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kvtest {

// The state root this process was given.
std::string TestStateRoot();

// Points KAVREL_ROOT at a new empty folder for the lifetime of the object, and back after.
class ScopedStateRoot {
  public:
    ScopedStateRoot();
    ~ScopedStateRoot();
    ScopedStateRoot(const ScopedStateRoot&) = delete;
    ScopedStateRoot& operator=(const ScopedStateRoot&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string previous_;
};

// Sets (or, with nullptr, unsets) one environment variable for the lifetime of the object,
// and restores what it was after.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(std::string name, const char* value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

  private:
    std::string name_;
    bool had_ = false;
    std::string previous_;
};

// How a child process ended.
struct ChildResult {
    bool exited = false;  // ended through exit()
    int exit_code = -1;   // when exited
    int signal = 0;       // when killed by a signal
    std::string output;   // what it wrote to stdout and stderr
};

// Runs `body` in a forked child process and waits for it. The child exits with status 0
// when `body` returns, unless `body` ends the process itself. Output is captured.
ChildResult RunInChild(const std::function<void()>& body);

// Expects the child to have exited with status 0, showing how it ended and its output
// otherwise.
void ExpectExitedCleanly(const ChildResult& child);

// Runs `body` in `count` children at once (each gets its index) and returns their results.
std::vector<ChildResult> RunInChildren(int count, const std::function<void(int)>& body);

// Creates a new empty folder under the test root base and returns its path.
std::string MakeTempFolder(const std::string& tag);

}  // namespace kvtest
