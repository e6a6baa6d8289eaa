// The launcher's files, command line and path, as both sides build them.
#include "launcher/launcher_files.h"

#include "files/module_paths.h"
#include "files/path_text.h"
#include "kvwin/format.h"
#include "win/modules.h"

namespace {

constexpr size_t kCommandLineChars = 8192;

}  // namespace

std::u16string LauncherInputFileName(const std::u16string& identifier) {
    return kvwin::Format(u"WmiInput_%s.xml", identifier.c_str());
}

std::u16string LauncherOutputFileName(const std::u16string& identifier) {
    return kvwin::Format(u"WmiOutput_%s.xml", identifier.c_str());
}

std::u16string LauncherCommandLine(const std::u16string& folder, const std::u16string& identifier) {
    WCHAR text[kCommandLineChars];
    kvwin::FormatTo(text, kCommandLineChars, u"-d \"%s\" -id %s", folder.c_str(),
                    identifier.c_str());
    return text;
}

std::u16string LauncherPath() {
    // Beside the agent module that loaded us; failing that, beside the host executable.
    const HMODULE agentModule = GetModuleHandleW(u"Colvane.dll");
    return CombinePath(GetModuleFolder(agentModule), kLauncherExecutableName);
}
