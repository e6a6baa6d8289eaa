// The launcher executable's command line: -d "<folder>" -id <identifier>.
//
// The folder is quoted and, as the library writes it, usually ends with a backslash right
// before the closing quote. The usual Windows splitting rules would read that backslash as
// escaping the quote and swallow the rest of the line, so the launcher reads its command
// line itself: a quoted value runs to the next double quote (a Windows path cannot hold
// one), an unquoted value to the next blank. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>

struct LauncherArguments {
    std::u16string folder;      // as written, trailing separator included
    std::u16string identifier;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
};

// Reads "-d" and "-id", in either order, each once. A first word that is not an option is
// the program's own name (a command line typed in a shell has one) and is skipped. False,
// with the reason in problem, for anything else: an unknown word, a missing value, an
// unterminated quote, an identifier that is not a GUID in registry form (it becomes part of
// two file names, so nothing else is taken).
bool ParseLauncherArguments(std::u16string_view commandLine, LauncherArguments& arguments,
                            std::string& problem);

// True for "{8-4-4-4-12}" hexadecimal digits, 38 characters.
bool IsRegistryFormGuid(std::u16string_view text);
