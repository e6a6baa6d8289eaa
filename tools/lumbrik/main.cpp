// Lumbrik.exe: the launcher executable. The library, in any host other than the inventory
// solution process, writes a query document to a file and starts this program as the
// session user:
//
//   Lumbrik.exe -d "<folder>" -id {GUID}
//
// It reads <folder>\WmiInput_{GUID}.xml, runs the document through
// GetInventoryInformationInternal in this process, and writes the result document to
// <folder>\WmiOutput_{GUID}.xml in UTF-8. On any failure it writes no output file (the
// library reads a missing output as a failed query), says why on standard error and in the
// agent log (a warning from "Lumbrik") and ends with a status that tells what happened
// (docs/launcher.md).
//
// The launcher never outlives its host: it asks Linux for SIGKILL when its parent ends, and
// runs the query in a worker process of its own, which it watches, so that a worker that
// crashes is recorded in the log before the launcher ends with the worker's signal. The host
// waits for the launcher on the thread that started it (the parent-death signal follows
// that thread), as the library's launcher road does.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files/path_text.h"
#include "kavrel/kavrel.h"
#include "kvwin/utf.h"
#include "launcher/launcher_files.h"
#include "launcher_arguments.h"
#include "log/agent_log.h"
#include "win/com.h"
#include "win/oleauto.h"
#include "win/processes.h"

namespace {

enum ExitStatus : int {
    kWritten = 0,
    kBadArguments = 2,
    kNoInput = 3,
    kQueryFailed = 4,
    kOutputNotWritten = 5,
    kNoComApartment = 6,
    kHostGone = 7,
};

constexpr UINT kUtf8 = 65001;
constexpr const WCHAR* kLogSource = u"Lumbrik";

// Says why on standard error and records it in the agent log as a warning.
int Fail(ExitStatus status, const std::string& message) {
    std::fprintf(stderr, "Lumbrik.exe: %s\n", message.c_str());
    CEReportEventS(LogWarning, kLogSource, kvwin::FromUtf8(message).c_str());
    return status;
}

// Asks for SIGKILL when the parent ends, then checks the parent it had before is still the
// parent: one that ended before the request would have left this process to a reaper.
// `expected` is that parent when it is known (0: the parent found on entry). A parent found
// on entry may already be a reaper that adopted us; a reaper outside our process group (init,
// a service manager) is told from the host, which shares our group unless we lead our own.
bool DieWithParent(pid_t expected) {
    const pid_t before = expected != 0 ? expected : ::getppid();
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        return false;
    const pid_t parent = ::getppid();
    if (parent != before)
        return false;
    const pid_t group = ::getpgrp();
    return expected != 0 || group == ::getpid() || ::getpgid(parent) == group;
}

std::string Describe(uint32_t code) {
    std::u16string text = GetErrorText(code);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
        text.pop_back();
    return text.empty() ? std::string("no description") : kvwin::ToUtf8(text);
}

std::string Hex(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}

// The apartment is this process's own; the library's exports expect the caller to be in one.
class ComApartment {
  public:
    ComApartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const { return m_result; }

  private:
    HRESULT m_result;
};

int RunLauncher() {
    LauncherArguments arguments;
    std::string problem;
    if (!ParseLauncherArguments(GetCommandLineW(), arguments, problem)) {
        return Fail(kBadArguments, problem + "\nusage: Lumbrik.exe -d \"<folder>\" -id {GUID}");
    }
    const std::u16string inputFile =
        CombinePath(arguments.folder, LauncherInputFileName(arguments.identifier));
    const std::u16string outputFile =
        CombinePath(arguments.folder, LauncherOutputFileName(arguments.identifier));

    std::u16string document;
    if (!ReadTextFile(inputFile.c_str(), document, kUtf8)) {
        const DWORD error = GetLastError();
        return Fail(kNoInput, "cannot read the query document " + kvwin::ToUtf8(inputFile) + ": " +
                                  std::to_string(error) + " - " + Describe(error));
    }

    ComApartment apartment;
    if (FAILED(apartment.Result())) {
        return Fail(kNoComApartment, "COM could not be initialised: " + Hex(apartment.Result()));
    }
    BSTR result = nullptr;
    const HRESULT hr = GetInventoryInformationInternal(document.c_str(), &result);
    if (FAILED(hr)) {
        return Fail(kQueryFailed, "the query failed: " + Hex(static_cast<uint32_t>(hr)) + " - " +
                                      Describe(static_cast<uint32_t>(hr)));
    }
    const bool written = SaveEncodedTextFile(outputFile.c_str(), result ? result : u"", kUtf8);
    const DWORD error = GetLastError();
    SysFreeString(result);
    if (!written) {
        DeleteFileForce(outputFile.c_str());  // nothing half-written may pass for a result
        return Fail(kOutputNotWritten, "cannot write the result " + kvwin::ToUtf8(outputFile) +
                                           ": " + std::to_string(error) + " - " + Describe(error));
    }
    return kWritten;
}

// Waits for the worker and ends as it ended; a worker ended by a signal is recorded first.
int Supervise(pid_t worker) {
    int status = 0;
    while (::waitpid(worker, &status, 0) < 0) {
        if (errno != EINTR)
            return kQueryFailed;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (!WIFSIGNALED(status))
        return kQueryFailed;
    const int signal = WTERMSIG(status);
    Fail(kQueryFailed, "the query ended with signal " + std::to_string(signal) + " (" +
                           ::strsignal(signal) + ")");
    // The host sees the same end as if the worker had been the launcher.
    ::signal(signal, SIG_DFL);
    ::kill(::getpid(), signal);
    return 128 + signal;
}

}  // namespace

int main() {
    if (!DieWithParent(0))
        return Fail(kHostGone, "the process that started the launcher has ended");
    const pid_t supervisor = ::getpid();
    const pid_t worker = ::fork();
    if (worker < 0)
        return RunLauncher();  // no worker: run the query here, unwatched
    if (worker > 0)
        return Supervise(worker);
    if (!DieWithParent(supervisor))
        ::_exit(kHostGone);
    return RunLauncher();
}
