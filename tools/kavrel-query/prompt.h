// kavrel-query's interactive mode: WQL statements and dot commands typed at a prompt.
//
//   .help                 the commands
//   .classes [NS]         the classes of a namespace (default: the current one)
//   .describe CLASS       a class's properties
//   .mode [FORMAT]        show or set the output format (table, csv, json, xml)
//   .namespace [NS]       show or set the namespace of statements
//   .quit, .exit          leave (so does end of input)
//   anything else         a WQL statement (a trailing ';' is dropped)
//
// PromptSession holds the state and answers lines and completions without any terminal, so
// it is tested as it is; RunPrompt puts it behind a line editor (libedit, when the build
// found it: line editing, history in ~/.kavrel_query_history, Tab completion; otherwise
// plain lines). The calling thread must be in a COM apartment. Not for concurrent use.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "wql_tool.h"

class PromptSession {
  public:
    // `reasons`, when given, is asked after a failed call for the reasons gathered
    // meanwhile (DiagnosticsListener::TakeLines).
    explicit PromptSession(std::function<std::vector<std::string>()> reasons = {})
        : reasons_(std::move(reasons)) {}

    // Runs one line; returns what to print on standard output and, in `errors`, what to
    // print on standard error (a failure's code, name and text, and its reasons). Sets quit
    // for .quit and .exit.
    std::string Handle(const std::string& line, std::string& errors, bool& quit);

    // The words that may complete `word`, which ends the text `before` (the line up to the
    // cursor, the word included): dot commands first on a line, class names after FROM,
    // .describe and .classes' namespace, formats after .mode, and otherwise WQL keywords and
    // the properties of the class the line names after FROM. Sorted, no duplicates.
    std::vector<std::string> Complete(const std::string& before, const std::string& word);

    OutputFormat format() const { return format_; }
    void set_format(OutputFormat format) { format_ = format; }

  private:
    std::string Failure(const std::string& what, HRESULT hr);
    const std::vector<std::string>& Classes();
    const std::vector<std::string>& Properties(const std::string& className);

    std::string ns_ = "root\\cimv2";
    OutputFormat format_ = OutputFormat::Table;
    std::vector<std::string> classes_;  // of ns_, read once
    std::map<std::string, std::vector<std::string>> properties_;
    std::function<std::vector<std::string>()> reasons_;
};

// Reads lines from the terminal until end of input or .quit; 0.
int RunPrompt(PromptSession& session);
