// CConfig::Lumbrik: the query document goes to the launcher through two files named after
// one fresh GUID, so any number of calls can run at once without meeting.
#include "launcher/config.h"

#include "files/file_operations.h"
#include "files/path_text.h"
#include "files/temp_folder.h"
#include "kvwin/wide_string.h"
#include "launcher/launcher_files.h"
#include "launcher/run_process_as.h"
#include "log/agent_log.h"
#include "win/com.h"

namespace {

constexpr const WCHAR* kSource = TEXT("CConfig::Lumbrik()");
constexpr UINT kUtf8 = 65001;

// "Entered" now, "Exited" however the operation ends.
class EnteredExited {
  public:
    EnteredExited() { CEReportEvent(LogTrace, kSource, TEXT("Entered")); }
    ~EnteredExited() { CEReportEvent(LogTrace, kSource, TEXT("Exited")); }
    EnteredExited(const EnteredExited&) = delete;
    EnteredExited& operator=(const EnteredExited&) = delete;
};

// The call's identifier: a new GUID in registry form, or empty when it cannot be written.
WString NewCallIdentifier() {
    GUID guid{};
    CoCreateGuid(&guid);
    WCHAR text[64] = {};
    if (StringFromGUID2(guid, text, 64) < 3)
        return WString();
    return text;
}

}  // namespace

bool CConfig::Lumbrik(const WString& input, WString& output) {
    EnteredExited trace;
    output.clear();

    const WString identifier = NewCallIdentifier();
    const WString tempFolder = GetWorkingTempPath();  // throws when there is none
    // The two files go into a folder of the call's own that only the launcher's user (and
    // the caller) can reach; the input is made exclusively, readable by that user alone.
    WString folder;
    if (!CreateLauncherFolder(tempFolder, identifier, folder)) {
        CEReportEventWin32(LogWarning, kSource, GetLastError(),
                           TEXT("Cannot make the launcher's folder in [%s]"), tempFolder.c_str());
        return false;
    }
    const WString inputFile = CombinePath(folder, LauncherInputFileName(identifier));
    const WString outputFile = CombinePath(folder, LauncherOutputFileName(identifier));

    // Not checked: a launcher that finds no input writes no output, and that is the answer.
    if (CreatePrivateFile(inputFile.c_str()))
        SaveEncodedTextFile(inputFile.c_str(), input.c_str(), kUtf8);
    CEReportEventF(LogTrace, kSource, TEXT("Writing to [%s] file"), inputFile.c_str());

    const WString launcher = LauncherPath();
    const WString commandLine = LauncherCommandLine(folder, identifier);
    PROCESS_INFORMATION processInfo{};
    // Its result is not needed either: a launcher that did not start left no output file.
    RunProccesAs(launcher.c_str(), commandLine.c_str(), true, processInfo);

    // Only a plain file of the launcher's user is its result.
    WString text;
    if (IsOwnRegularFile(outputFile) && ReadTextFile(outputFile.c_str(), text, kUtf8))
        output.assign(text.c_str());  // up to its first NUL
    DeleteFileForce(inputFile.c_str());
    DeleteFileForce(outputFile.c_str());
    RemoveDirectoryW(folder.c_str());
    return !output.empty();
}
