// kavrel-script: runs VBScript and JScript files as a console script host does, with a
// WScript object, to try an inventory script before it goes into a query document.
//
//   kavrel-script [--engine vbscript|jscript] [--timeout MS] FILE... [-- ARG...]
//
// Status: 0 when every file ran without error, 1 after a script error (or a time-out, or an
// engine that cannot be made), WScript.Quit's code, 130 after Ctrl-C, 2 for bad usage or a
// file that cannot be read.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <exception>
#include <new>

#include "kvwin/utf.h"
#include "script_host.h"
#include "wscript_object.h"

namespace {

constexpr const char* kUsage =
    "usage: kavrel-script [options] FILE... [-- ARG...]\n"
    "  FILE               a script (UTF-8, or UTF-16 with its mark); each runs as a block of\n"
    "                     its own, in order, in one engine\n"
    "  ARG                what the scripts see as WScript.Arguments\n"
    "  --engine LANGUAGE  vbscript or jscript (default: from the extension: .vbs .vbe, .js "
    ".jse)\n"
    "  --timeout MS       stop the scripts after MS milliseconds\n"
    "  --version          the host's name and version\n"
    "  -h, --help         this text\n";

// This program's own path, for WScript.FullName and WScript.Path.
std::string ProgramPath(const char* argv0) {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string(argv0);
}

int Main(int argc, char** argv) {
    ScriptToolOptions options;
    std::string problem;
    if (!ParseScriptToolOptions(std::vector<std::string>(argv + 1, argv + argc), options,
                                problem)) {
        std::fprintf(stderr, "kavrel-script: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kavrel-script: %s %s\n", kvwin::ToUtf8(kScriptHostName).c_str(),
                    kvwin::ToUtf8(kScriptHostVersion).c_str());
        return 0;
    }
    ScriptLanguage language;
    if (!ChooseLanguage(options, language, problem)) {
        std::fprintf(stderr, "kavrel-script: %s\n", problem.c_str());
        return 2;
    }
    HostContext context;
    for (const std::string& file : options.files) {
        ScriptSource source;
        if (!ReadScriptSource(file, source, problem)) {
            std::fprintf(stderr, "kavrel-script: %s\n", problem.c_str());
            return 2;
        }
        context.sources.push_back(std::move(source));
    }
    for (const std::string& argument : options.arguments)
        context.arguments.push_back(kvwin::FromUtf8(argument));
    context.toolPath = ProgramPath(argv[0]);
    return RunScriptFiles(context, language, options.timeoutMs);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("kavrel-script: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kavrel-script: %s\n", e.what());
    }
    return 1;
}
