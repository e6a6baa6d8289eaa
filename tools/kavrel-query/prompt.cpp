// kavrel-query's interactive mode.
#include "prompt.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>

#include "query_run.h"

#ifdef KAVREL_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace {

constexpr const char* kHelp =
    "  .help                 this text\n"
    "  .classes [NS]         the classes of a namespace\n"
    "  .describe CLASS       each property's CIM type, key flag and Linux source\n"
    "  .mode [FORMAT]        show or set the output: table, csv, json or xml\n"
    "  .namespace [NS]       show or set the namespace of statements\n"
    "  .quit, .exit          leave (Ctrl-D too)\n"
    "  SELECT ... FROM ...   a WQL statement; Tab completes commands, classes and properties\n";

constexpr const char* kFormats[] = {"table", "csv", "json", "xml"};
constexpr const char* kKeywords[] = {"SELECT", "FROM", "WHERE", "AND",  "OR",   "NOT",
                                     "LIKE",   "IS",   "NULL",  "TRUE", "FALSE"};
constexpr const char* kCommands[] = {".classes", ".describe",  ".exit", ".help",
                                     ".mode",    ".namespace", ".quit"};

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        const size_t end = text.find_first_of(" \t", at);
        words.push_back(text.substr(at, end == std::string::npos ? end : end - at));
        at = end;
    }
    return words;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

const char* FormatName(OutputFormat format) {
    return kFormats[static_cast<int>(format)];
}

}  // namespace

std::string PromptSession::Failure(const std::string& what, HRESULT hr) {
    std::string text = what + ": " + DescribeHResult(hr) + "\n";
    if (reasons_) {
        for (const std::string& line : reasons_())
            text += "  " + line + "\n";
    }
    return text;
}

const std::vector<std::string>& PromptSession::Classes() {
    if (classes_.empty()) {
        WqlTable table;
        if (SUCCEEDED(ListClasses(ns_, table))) {
            for (const auto& row : table.rows)
                classes_.push_back(row[0].text);
        }
        if (reasons_)
            reasons_();  // a completion's failure is no statement's reason
    }
    return classes_;
}

const std::vector<std::string>& PromptSession::Properties(const std::string& className) {
    const std::string key = Lower(className);
    auto found = properties_.find(key);
    if (found != properties_.end())
        return found->second;
    std::vector<std::string> names;
    WqlTable table;
    if (SUCCEEDED(DescribeClass(ns_, className, table))) {
        for (const auto& row : table.rows)
            names.push_back(row[0].text);
    }
    if (reasons_)
        reasons_();
    return properties_.emplace(key, std::move(names)).first->second;
}

std::string PromptSession::Handle(const std::string& input, std::string& errors, bool& quit) {
    errors.clear();
    quit = false;
    std::string line = Trimmed(input);
    if (line.empty())
        return std::string();
    if (line[0] != '.') {
        while (!line.empty() && line.back() == ';')
            line.pop_back();
        WqlTable table;
        const HRESULT hr = RunWql(ns_, line, table);
        if (FAILED(hr)) {
            errors = Failure("the statement failed", hr);
            return std::string();
        }
        return FormatTable(table, format_);
    }
    const std::vector<std::string> words = Words(line);
    const std::string command = Lower(words[0]);
    const std::string argument = words.size() > 1 ? words[1] : std::string();
    if (command == ".quit" || command == ".exit") {
        quit = true;
        return std::string();
    }
    if (command == ".help")
        return kHelp;
    if (command == ".mode") {
        if (!argument.empty() && !ParseOutputFormat(Lower(argument), format_)) {
            errors = "unknown format '" + argument + "' (table, csv, json or xml)\n";
            return std::string();
        }
        return std::string(FormatName(format_)) + "\n";
    }
    if (command == ".namespace") {
        if (!argument.empty()) {
            ns_ = argument;
            classes_.clear();
            properties_.clear();
        }
        return ns_ + "\n";
    }
    if (command == ".classes") {
        WqlTable table;
        const std::string ns = argument.empty() ? ns_ : argument;
        const HRESULT hr = ListClasses(ns, table);
        if (FAILED(hr)) {
            errors = Failure("the classes of " + ns + " could not be listed", hr);
            return std::string();
        }
        return FormatTable(table, format_);
    }
    if (command == ".describe") {
        if (argument.empty()) {
            errors = ".describe needs a class name\n";
            return std::string();
        }
        WqlTable table;
        const HRESULT hr = DescribeClass(ns_, argument, table);
        if (FAILED(hr)) {
            errors = Failure("the class " + argument + " could not be read", hr);
            return std::string();
        }
        return FormatTable(table, format_);
    }
    errors = "unknown command '" + words[0] + "' (.help lists them)\n";
    return std::string();
}

std::vector<std::string> PromptSession::Complete(const std::string& before,
                                                 const std::string& word) {
    std::set<std::string> found;
    const auto offer = [&](const std::string& candidate) {
        if (StartsWithNoCase(candidate, word))
            found.insert(candidate);
    };
    const std::string head = before.substr(0, before.size() - std::min(before.size(), word.size()));
    const std::vector<std::string> previous = Words(head);
    if (previous.empty()) {
        if (!word.empty() && word[0] == '.') {
            for (const char* command : kCommands)
                offer(command);
            return {found.begin(), found.end()};
        }
        offer("SELECT");
        return {found.begin(), found.end()};
    }
    const std::string last = Lower(previous.back());
    if (previous.size() == 1 && last == ".mode") {
        for (const char* format : kFormats)
            offer(format);
    } else if ((previous.size() == 1 && last == ".describe") || last == "from") {
        for (const std::string& name : Classes())
            offer(name);
    } else if (previous.size() == 1 && (last == ".classes" || last == ".namespace")) {
        offer("root\\cimv2");
        offer("root\\default");
    } else if (previous[0][0] != '.') {
        for (const char* keyword : kKeywords)
            offer(keyword);
        // The properties of the class the whole line names after FROM, wherever the cursor.
        const std::vector<std::string> all = Words(before);
        for (size_t i = 0; i + 1 < all.size(); ++i) {
            if (Lower(all[i]) == "from") {
                for (const std::string& name : Properties(all[i + 1]))
                    offer(name);
            }
        }
    }
    return {found.begin(), found.end()};
}

#ifdef KAVREL_HAVE_LIBEDIT
namespace {

PromptSession* g_session = nullptr;  // the session the completion callbacks serve
std::vector<std::string> g_matches;  // the current completion's candidates

char* NextMatch(const char* /*text*/, int state) {
    static size_t next = 0;
    if (state == 0)
        next = 0;
    if (next >= g_matches.size())
        return nullptr;
    return ::strdup(g_matches[next++].c_str());
}

char** CompleteWord(const char* text, int start, int end) {
    ::rl_attempted_completion_over = 1;  // no file names
    const std::string line(::rl_line_buffer ? ::rl_line_buffer : "");
    const std::string before =
        line.substr(0, std::min(line.size(), static_cast<size_t>(std::max(end, start))));
    try {
        g_matches = g_session->Complete(before, text ? text : "");
    } catch (...) {
        g_matches.clear();
    }
    return ::rl_completion_matches(text, NextMatch);
}

std::string HistoryPath() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.kavrel_query_history" : std::string();
}

}  // namespace
#endif

int RunPrompt(PromptSession& session) {
    std::cout << "kavrel-query: WQL statements and .commands (.help lists them; Ctrl-D "
                 "leaves)\n";
#ifdef KAVREL_HAVE_LIBEDIT
    g_session = &session;
    ::rl_readline_name = const_cast<char*>("kavrel-query");
    ::rl_attempted_completion_function = CompleteWord;
    const std::string history = HistoryPath();
    if (!history.empty())
        ::read_history(history.c_str());
#endif
    for (;;) {
        std::string line;
#ifdef KAVREL_HAVE_LIBEDIT
        char* read = ::readline("wql> ");
        if (!read)
            break;
        line = read;
        ::free(read);
        if (!Trimmed(line).empty())
            ::add_history(line.c_str());
#else
        std::cout << "wql> " << std::flush;
        if (!std::getline(std::cin, line))
            break;
#endif
        std::string errors;
        bool quit = false;
        const std::string output = session.Handle(line, errors, quit);
        std::cout << output << std::flush;
        std::cerr << errors << std::flush;
        if (quit)
            break;
    }
#ifdef KAVREL_HAVE_LIBEDIT
    if (!history.empty()) {
        ::stifle_history(1000);
        ::write_history(history.c_str());
    }
    g_session = nullptr;
#endif
    std::cout << "\n";
    return 0;
}
