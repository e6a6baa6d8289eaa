// Lumbrik.exe: the launcher executable. The library, in any host other than the inventory
// solution process, writes a query document to a file and starts this program as the
// session user:
//
//   Lumbrik.exe -d "<folder>" -id {GUID}
//
// It reads <folder>\WmiInput_{GUID}.xml, runs the document through
// GetInventoryInformationInternal in this process, and writes the result document to
// <folder>\WmiOutput_{GUID}.xml in UTF-8. On any failure it writes no output file (the
// library reads a missing output as a failed query), says why on standard error and ends
// with a status that tells what happened (docs/launcher.md).
#include <cstdio>
#include <string>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files/path_text.h"
#include "kavrel/kavrel.h"
#include "kvwin/utf.h"
#include "launcher/launcher_files.h"
#include "launcher_arguments.h"
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
};

constexpr UINT kUtf8 = 65001;

int Fail(ExitStatus status, const std::string& message) {
    std::fprintf(stderr, "Lumbrik.exe: %s\n", message.c_str());
    return status;
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

}  // namespace

int main() {
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
