// A stand-in for the launcher executable, for the tests of the launcher road.
//
// Started as "-d "<folder>" -id {GUID}" like the real one, it reports what it was given and
// who it runs as in Probe_{GUID}.txt beside <folder> (which the caller removes when the call
// ends; one "key=value" line each: commandline, uid,
// user, home, userenv), then reads WmiInput_{GUID}.xml and answers as the document asks:
//   contains "probe:none"   no output file;
//   contains "probe:empty"  an empty output file;
//   anything else           WmiOutput_{GUID}.xml holding "echo:" and the document.
// Bad arguments end it with status 2 and no files.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "launcher_arguments.h"
#include "win/processes.h"
#include "win/sysinfo.h"

namespace {

std::string Native(const WString& path) {
    std::string native;
    return kvwin::ToNativePath(path, native) ? native : kvwin::ToUtf8(path);
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "(unset)";
}

}  // namespace

int main() {
    const WString commandLine = GetCommandLineW();
    LauncherArguments arguments;
    std::string problem;
    if (!ParseLauncherArguments(commandLine, arguments, problem))
        return 2;
    std::string folder = Native(arguments.folder);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    const std::string id = kvwin::ToUtf8(arguments.identifier);
    const std::string beside = folder.substr(0, folder.rfind('/', folder.size() - 2) + 1);

    WCHAR user[260] = {};
    DWORD size = 260;
    GetUserNameW(user, &size);
    std::ofstream(beside + "Probe_" + id + ".txt")
        << "commandline=" << kvwin::ToUtf8(commandLine) << "\n"
        << "uid=" << ::getuid() << "\n"
        << "user=" << kvwin::ToUtf8(user) << "\n"
        << "home=" << Variable("HOME") << "\n"
        << "userenv=" << Variable("USER") << "\n";

    std::ifstream input(folder + "WmiInput_" + id + ".xml", std::ios::binary);
    std::string document((std::istreambuf_iterator<char>(input)), {});
    if (document.rfind("\xEF\xBB\xBF", 0) == 0)
        document.erase(0, 3);
    if (document.find("probe:none") != std::string::npos)
        return 0;
    std::ofstream output(folder + "WmiOutput_" + id + ".xml", std::ios::binary);
    if (document.find("probe:empty") == std::string::npos)
        output << "echo:" << document;
    return 0;
}
