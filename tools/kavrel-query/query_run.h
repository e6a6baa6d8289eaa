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
};

// False with the reason in problem for an unknown option or standard input named twice.
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

// "0x80004005 (Unspecified error)": the code and the system's text for it, when it has one.
std::string DescribeHResult(HRESULT hr);

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
