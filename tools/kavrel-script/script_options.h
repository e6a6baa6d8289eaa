// kavrel-script's command line: the options, the script files and the arguments the scripts
// see, and the engine a run uses.
//
// Nothing here keeps state; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

enum class ScriptLanguage { VBScript, JScript };

struct ScriptToolOptions {
    std::optional<ScriptLanguage> engine;  // --engine; otherwise from the files' extensions
    DWORD timeoutMs = 0;                   // --timeout; 0: no time limit
    bool help = false;
    bool version = false;
    std::vector<std::string> files;      // the script files, in order
    std::vector<std::string> arguments;  // everything after "--": WScript.Arguments
};

// False with the reason in problem for an unknown option, a bad value or no file (unless
// --help or --version was asked for).
bool ParseScriptToolOptions(const std::vector<std::string>& arguments, ScriptToolOptions& options,
                            std::string& problem);

// The language a file's extension names (.vbs and .vbe VBScript, .js and .jse JScript, in any
// case); none for any other.
std::optional<ScriptLanguage> LanguageOfFile(const std::string& path);

// The one engine of the run: --engine when given, otherwise the language every file's
// extension names. False with the reason in problem when a file's extension names none or
// the files name two.
bool ChooseLanguage(const ScriptToolOptions& options, ScriptLanguage& language,
                    std::string& problem);

// "VBScript" or "JScript".
const char* LanguageName(ScriptLanguage language);
