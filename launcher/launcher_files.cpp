// The launcher's files, command line and path, as both sides build them.
#include "launcher/launcher_files.h"

#include "files/module_paths.h"
#include "files/path_text.h"
#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "win/modules.h"

namespace {

constexpr size_t kCommandLineChars = 8192;

}  // namespace

WString LauncherInputFileName(const WString& identifier) {
    return kvwin::Format(TEXT("WmiInput_%s.xml"), identifier.c_str());
}

WString LauncherOutputFileName(const WString& identifier) {
    return kvwin::Format(TEXT("WmiOutput_%s.xml"), identifier.c_str());
}

WString LauncherCommandLine(const WString& folder, const WString& identifier) {
    WCHAR text[kCommandLineChars];
    kvwin::FormatTo(text, kCommandLineChars, TEXT("-d \"%s\" -id %s"), folder.c_str(),
                    identifier.c_str());
    return text;
}

WString LauncherPath() {
    // Beside the agent module that loaded us; failing that, beside the host executable.
    const HMODULE agentModule = GetModuleHandleW(TEXT("Colvane.dll"));
    return CombinePath(GetModuleFolder(agentModule), kLauncherExecutableName);
}
