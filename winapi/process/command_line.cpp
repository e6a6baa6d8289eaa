// GetCommandLineW and CommandLineToArgvW.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "command_line_words.h"
#include "kvwin/environment_lock.h"
#include "kvwin/last_error.h"
#include "kvwin/os_release.h"
#include "kvwin/utf.h"
#include "process_command_line.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/processes.h"

namespace {

// The text the parent left, taken out of the environment as the layer is loaded, before
// the program can start threads or children of its own. Plain storage: no constructor of
// another object may run before this.
char* g_passed_command_line = nullptr;

__attribute__((constructor(101))) void TakePassedCommandLine() {
    std::lock_guard guard(kvwin::EnvironmentLock());
    if (const char* value = ::getenv(kvwin::kCommandLineVariable)) {
        g_passed_command_line = ::strdup(value);
        ::unsetenv(kvwin::kCommandLineVariable);
    }
}

// The kernel keeps at most this much of a process's arguments (a quarter of the largest
// stack, 2 MiB by default); read with plain calls, as a file stream would first set up the
// C++ locale, which no other step of a short-lived child needs.
constexpr size_t kMaxArgumentBytes = size_t{8} << 20;

std::vector<std::string> OwnArguments() {
    const std::string all =
        kvwin::ReadSmallFile("/proc/self/cmdline", kMaxArgumentBytes).value_or(std::string());
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < all.size()) {
        const size_t end = all.find('\0', start);
        arguments.push_back(all.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return arguments;
}

std::u16string MakeCommandLine() {
    const std::vector<std::string> arguments = OwnArguments();
    if (g_passed_command_line) {
        const std::u16string passed = kvwin::FromUtf8(g_passed_command_line);
        const std::vector<std::u16string> words = kvwin::SplitCommandLine(passed, false);
        bool matches = arguments.size() == words.size() + 1;
        for (size_t i = 0; matches && i < words.size(); ++i)
            matches = kvwin::ToUtf8(words[i]) == arguments[i + 1];
        // A parent without an application name put the program in the text as well.
        const std::vector<std::u16string> with_program = kvwin::SplitCommandLine(passed, true);
        bool matches_with_program = arguments.size() == with_program.size();
        for (size_t i = 1; matches_with_program && i < with_program.size(); ++i)
            matches_with_program = kvwin::ToUtf8(with_program[i]) == arguments[i];
        if (matches || matches_with_program)
            return passed;
    }
    std::u16string text;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i)
            text.push_back(u' ');
        const std::u16string word = kvwin::FromUtf8(arguments[i]);
        // The program name has no escapes: it is quoted only when it holds a blank.
        if (i == 0)
            text +=
                word.find_first_of(u" \t") == std::u16string::npos ? word : u"\"" + word + u"\"";
        else
            text += kvwin::QuoteCommandLineWord(word);
    }
    return text;
}

}  // namespace

extern "C" {

LPWSTR GetCommandLineW(void) {
    // Made once; the text lives as long as the process, as the caller may keep it.
    static std::u16string* text = new std::u16string(MakeCommandLine());
    return text->data();
}

LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
    if (!pNumArgs) {
        kvwin::FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        std::vector<std::u16string> words;
        if (!lpCmdLine || !*lpCmdLine) {
            WCHAR path[1024] = {};
            GetModuleFileNameW(nullptr, path, 1024);
            words.emplace_back(path);
        } else {
            words = kvwin::SplitCommandLine(lpCmdLine, true);
        }
        // One block: the pointer array (with a null at the end), then the strings.
        size_t bytes = (words.size() + 1) * sizeof(LPWSTR);
        for (const std::u16string& word : words)
            bytes += (word.size() + 1) * sizeof(WCHAR);
        auto** argv = static_cast<LPWSTR*>(LocalAlloc(0, bytes));
        if (!argv)
            return nullptr;
        auto* strings = reinterpret_cast<WCHAR*>(argv + words.size() + 1);
        for (size_t i = 0; i < words.size(); ++i) {
            argv[i] = strings;
            std::memcpy(strings, words[i].c_str(), (words[i].size() + 1) * sizeof(WCHAR));
            strings += words[i].size() + 1;
        }
        argv[words.size()] = nullptr;
        *pNumArgs = static_cast<int>(words.size());
        return argv;
    } catch (...) {
        kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // extern "C"
