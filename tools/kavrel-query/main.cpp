// kavrel-query: runs query documents through the library and prints the result documents;
// runs WQL statements, lists classes and describes one through the WMI service.
//
// Each FILE (or standard input, "-" or no FILE) holds one query document. Without
// --in-process a document goes the way a host's call goes: GetInventoryInformation, which
// in this process (not the inventory solution process) hands it to the launcher. Status: 0
// when every document succeeded, 1 when a query failed (its HRESULT and the reasons the
// library gave on standard error), 2 for bad usage or a document that cannot be read.
// With no argument on a terminal it is an interactive WQL prompt (prompt.h).
// QueryToolUsage() has every option and environment variable.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "kvwin/utf.h"
#include "log_records.h"
#include "prompt.h"
#include "query_run.h"
#include "record_table.h"
#include "win/com.h"
#include "wql_tool.h"

namespace {

void ShowLog(const std::string& logPath, uint64_t offset) {
    for (const LogRecord& record : ParseLogText(TextAppendedSince(logPath, offset)))
        PrintRecord(std::cerr, record);
}

void ShowReasons(DiagnosticsListener& diagnostics) {
    for (const std::string& line : diagnostics.TakeLines())
        std::cerr << "  " << line << "\n";
}

// --wql, --classes, --describe: 0, or 1 with the code and the service's reasons.
int RunWmiFace(const QueryToolOptions& options, DiagnosticsListener& diagnostics) {
    OutputFormat format = ::isatty(STDOUT_FILENO) ? OutputFormat::Table : OutputFormat::Csv;
    if (options.format)
        ParseOutputFormat(*options.format, format);
    WqlTable table;
    HRESULT hr = S_OK;
    std::string what;
    if (options.wql) {
        hr = RunWql(options.ns, *options.wql, table);
        what = "the statement failed";
    } else if (options.classes) {
        hr = ListClasses(options.ns, table);
        what = "the classes of " + options.ns + " could not be listed";
    } else {
        hr = DescribeClass(options.ns, *options.describe, table);
        what = "the class " + *options.describe + " could not be read";
    }
    if (FAILED(hr)) {
        std::cerr << "kavrel-query: " << what << ": " << DescribeHResult(hr) << "\n";
        ShowReasons(diagnostics);
        return 1;
    }
    std::cout << FormatTable(table, format) << std::flush;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QueryToolOptions options;
    std::string problem;
    if (!ParseQueryToolOptions(std::vector<std::string>(argv + 1, argv + argc), options, problem)) {
        std::cerr << "kavrel-query: " << problem << "\n" << QueryToolUsage();
        return 2;
    }
    if (options.help) {
        std::cout << QueryToolUsage();
        return 0;
    }
    if (options.version) {
        std::cout << QueryToolVersion() << "\n";
        return 0;
    }
    // Made before the library is first used, so every process it starts inherits it.
    DiagnosticsListener diagnostics;
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
    int status = 0;
    if (argc == 1 && ::isatty(STDIN_FILENO)) {
        // Nothing to read from a terminal but what is typed: the interactive mode.
        PromptSession session([&diagnostics] { return diagnostics.TakeLines(); });
        session.set_format(OutputFormat::Table);
        status = RunPrompt(session);
        CoUninitialize();
        return status;
    }
    if (options.wql || options.classes || options.describe) {
        status = RunWmiFace(options, diagnostics);
        CoUninitialize();
        return status;
    }
    const bool progress = options.documents.size() > 1 && ::isatty(STDERR_FILENO);
    const std::string logPath = options.showLog ? AgentLogPath() : std::string();
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
        diagnostics.TakeLines();  // what came before this document is not its reason
        const QueryOutcome outcome = RunDocument(document, options.inProcess);
        if (SUCCEEDED(outcome.hr)) {
            std::cout << kvwin::ToUtf8(outcome.result) << "\n" << std::flush;
        } else {
            std::cerr << "kavrel-query: " << source
                      << ": the query failed: " << DescribeHResult(outcome.hr) << "\n";
            ShowReasons(diagnostics);
            if (status == 0)
                status = 1;
        }
        if (options.showLog)
            ShowLog(logPath, logOffset);
    }
    CoUninitialize();
    return status;
}
