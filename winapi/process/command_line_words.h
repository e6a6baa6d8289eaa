// Command-line text and argument words, by the rules Windows programs split their command
// lines with (CommandLineToArgvW in win/processes.h describes them).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvwin {

// The words of a command line. With firstIsProgram the first word follows the program-name
// rule (quotes delimit, backslashes are plain); otherwise every word follows the general
// rules; a text that starts with a blank then has an empty program name. An empty text
// gives no words.
std::vector<std::u16string> SplitCommandLine(std::u16string_view text, bool firstIsProgram);

// One word written so that SplitCommandLine gives it back: unchanged when it has no blank
// and no double quote and is not empty, else quoted with its backslashes doubled where
// they come before a quote.
std::u16string QuoteCommandLineWord(std::u16string_view word);

}  // namespace kvwin
