// kavrel-query: runs query documents through the library and prints the result documents.
//
//   kavrel-query [--in-process] [--log] [--where] [FILE...]
//
// Each FILE (or standard input, "-" or no FILE) holds one query document. Without
// --in-process a document goes the way a host's call goes: GetInventoryInformation, which
// in this process (not the inventory solution process) hands it to the launcher. Status: 0
// when every document succeeded, 1 when a query failed (its HRESULT and reason on standard
// error), 2 for bad usage or a document that cannot be read.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "kvwin/utf.h"
#include "log_records.h"
#include "query_run.h"
#include "record_table.h"
#include "win/com.h"

namespace {

constexpr const char* kUsage =
    "usage: kavrel-query [options] [FILE...]\n"
    "  FILE          a query document (UTF-8, or UTF-16 with its mark); '-' or none: standard "
    "input\n"
    "  --in-process  run through GetInventoryInformationInternal in this process\n"
    "  --log         after each document, show the agent log records written while it ran\n"
    "  --where       show the locations in use (state root, registry, log, temp, launcher)\n";

void ShowLog(const std::string& logPath, uint64_t offset) {
    for (const LogRecord& record : ParseLogText(TextAppendedSince(logPath, offset)))
        PrintRecord(std::cerr, record);
}

}  // namespace

int main(int argc, char** argv) {
    QueryToolOptions options;
    std::string problem;
    if (!ParseQueryToolOptions(std::vector<std::string>(argv + 1, argv + argc), options, problem)) {
        std::cerr << "kavrel-query: " << problem << "\n" << kUsage;
        return 2;
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    // The exports expect the caller's thread to be in an apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        std::cerr << "kavrel-query: COM could not be initialised: " << DescribeHResult(com) << "\n";
        return 2;
    }
    if (options.where) {
        for (const auto& [name, value] : LocationsInUse())
            std::cout << name << ": " << value << "\n";
    }
    const bool progress = options.documents.size() > 1 && ::isatty(STDERR_FILENO);
    const std::string logPath = options.showLog ? AgentLogPath() : std::string();
    int status = 0;
    for (size_t i = 0; i < options.documents.size(); ++i) {
        const std::string& source = options.documents[i];
        // One line per document: the launcher's own messages may follow it on this stream.
        if (progress)
            std::cerr << "[" << i + 1 << "/" << options.documents.size() << "] " << source
                      << std::endl;
        std::u16string document;
        if (!ReadQueryDocument(source, document, problem)) {
            std::cerr << "kavrel-query: " << problem << "\n";
            status = 2;
            continue;
        }
        const uint64_t logOffset = options.showLog ? FileSize(logPath) : 0;
        const QueryOutcome outcome = RunDocument(document, options.inProcess);
        if (SUCCEEDED(outcome.hr)) {
            std::cout << kvwin::ToUtf8(outcome.result) << "\n" << std::flush;
        } else {
            std::cerr << "kavrel-query: " << source
                      << ": the query failed: " << DescribeHResult(outcome.hr) << "\n";
            if (status == 0)
                status = 1;
        }
        if (options.showLog)
            ShowLog(logPath, logOffset);
    }
    CoUninitialize();
    return status;
}
