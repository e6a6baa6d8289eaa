// What kavrel-query does, kept out of its main: reading its options and documents, running
// one document through the library's exports, naming a failure, finding the log records a
// run produced, and the locations in use.
//
// The calling thread must be in a COM apartment before RunDocument (the exports do not
// initialise COM). Nothing here keeps state between calls; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/errors.h"
#include "win/types.h"

struct QueryToolOptions {
    std::vector<std::string> documents;  // file paths; "-" is standard input; none: "-"
    bool inProcess = false;              // GetInventoryInformationInternal
    bool showLog = false;                // the agent log records each run produced
    bool where = false;                  // the locations in use
    bool help = false;
    bool version = false;
    // The WMI face: one of these instead of documents.
    std::optional<std::string> wql;       // a WQL statement to run
    bool classes = false;                 // list the classes of the namespace
    std::optional<std::string> describe;  // a class to describe
    std::string ns = "root\\cimv2";       // --namespace, or --classes' argument
    std::optional<std::string> format;    // table|csv|json|xml; none: table on a terminal
};

// The text --help prints: every option and every environment variable that changes what
// the tool or the library does.
const char* QueryToolUsage();

// "kavrel-query <version> (<build>)", for --version.
std::string QueryToolVersion();

// False with the reason in problem for an unknown option, a missing or bad value, options
// that exclude each other, or standard input named twice.
bool ParseQueryToolOptions(const std::vector<std::string>& arguments, QueryToolOptions& options,
                           std::string& problem);

// A document's text: UTF-8 (with or without its mark) or UTF-16LE with its mark. "-" reads
// standard input. False with the reason in problem when it cannot be read.
bool ReadQueryDocument(const std::string& source, std::u16string& document, std::string& problem);

struct QueryOutcome {
    HRESULT hr = E_FAIL;
    std::u16string result;  // the result document, on success
};

// One document through GetInventoryInformation, or GetInventoryInformationInternal.
QueryOutcome RunDocument(const std::u16string& document, bool inProcess);

// "0x80004005 E_FAIL (Unspecified error)": the code, its name and the tables' text for it,
// when they have them.
std::string DescribeHResult(HRESULT hr);

// Listens on the debug channel of this process and of every process it starts: makes a
// private file (mode 0600, in $TMPDIR or /tmp) and points KAVREL_DEBUG_OUTPUT at it for as
// long as it lives, then removes the file and restores the variable. The launcher and the
// library write their reasons there (docs/diagnostics.md). One per process; not for
// concurrent use.
class DiagnosticsListener {
  public:
    DiagnosticsListener();
    ~DiagnosticsListener();
    DiagnosticsListener(const DiagnosticsListener&) = delete;
    DiagnosticsListener& operator=(const DiagnosticsListener&) = delete;

    bool listening() const { return !path_.empty(); }
    // The lines written since the last call, each without its line break.
    std::vector<std::string> TakeLines();

  private:
    std::string path_;
    std::optional<std::string> previous_;
    uint64_t offset_ = 0;
};

// The agent log file of this machine, as a native path.
std::string AgentLogPath();

// The size of a file now (0 when it does not exist), to find later what was appended.
uint64_t FileSize(const std::string& path);

// The text appended to a file past offset (all of it when the file is now shorter: it was
// rotated in between).
std::string TextAppendedSince(const std::string& path, uint64_t offset);

// "name: value" lines: the state root, the registry store, the agent log, the temp folder
// and the launcher executable in use.
std::vector<std::pair<std::string, std::string>> LocationsInUse();
