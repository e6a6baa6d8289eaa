// A child for the process tests: prints, one per line, its GetCommandLineW, its current
// folder, and whether the command-line variable was left in its environment.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "kvwin/utf.h"
#include "win/processes.h"

int main() {
    char folder[4096] = {};
    if (!::getcwd(folder, sizeof folder))
        folder[0] = 0;
    std::printf("line=%s\ncwd=%s\nvariable=%s\n", kvwin::ToUtf8(GetCommandLineW()).c_str(), folder,
                std::getenv("KAVREL_COMMAND_LINE") ? "left" : "taken");
    return 0;
}
