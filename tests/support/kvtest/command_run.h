// Running a command as a user runs it, for the tests of the tools.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kvtest {

struct CommandRun {
    int status = -1;     // the exit status; -1 when it did not exit (a signal) or did not start
    std::string output;  // its standard output (and whatever the command line sends there)
};

// Runs `command` through /bin/sh and waits for it.
inline CommandRun RunCommand(const std::string& command) {
    CommandRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace kvtest
