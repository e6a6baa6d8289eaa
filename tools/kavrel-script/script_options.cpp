// kavrel-script's command line.
#include "script_options.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "kvwin/ascii_case.h"

namespace {

bool ParseTimeout(const std::string& text, DWORD& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || number == 0 || number >= 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(number);
    return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           kvwin::EqualsAsciiNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

bool ParseScriptToolOptions(const std::vector<std::string>& arguments, ScriptToolOptions& options,
                            std::string& problem) {
    options = ScriptToolOptions{};
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            options.arguments.assign(arguments.begin() + long(i) + 1, arguments.end());
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
            continue;
        }
        // "--name value" or "--name=value" for the options that take a value.
        std::string name = argument;
        std::optional<std::string> value;
        if (const size_t equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const bool takesValue = name == "--engine" || name == "--timeout";
        if (takesValue && !value) {
            if (i + 1 == arguments.size()) {
                problem = name + " needs a value";
                return false;
            }
            value = arguments[++i];
        } else if (!takesValue && value) {
            problem = "unknown option '" + argument + "'";
            return false;
        }
        if (name == "--engine") {
            if (kvwin::EqualsAsciiNoCase(*value, "vbscript")) {
                options.engine = ScriptLanguage::VBScript;
            } else if (kvwin::EqualsAsciiNoCase(*value, "jscript")) {
                options.engine = ScriptLanguage::JScript;
            } else {
                problem = "unknown engine '" + *value + "' (vbscript or jscript)";
                return false;
            }
        } else if (name == "--timeout") {
            if (!ParseTimeout(*value, options.timeoutMs)) {
                problem = "bad time-out '" + *value + "' (milliseconds, 1 or more)";
                return false;
            }
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            problem = "unknown option '" + argument + "'";
            return false;
        }
    }
    if (options.files.empty() && !options.help && !options.version) {
        problem = "no script file given";
        return false;
    }
    return true;
}

std::optional<ScriptLanguage> LanguageOfFile(const std::string& path) {
    if (EndsWithNoCase(path, ".vbs") || EndsWithNoCase(path, ".vbe"))
        return ScriptLanguage::VBScript;
    if (EndsWithNoCase(path, ".js") || EndsWithNoCase(path, ".jse"))
        return ScriptLanguage::JScript;
    return std::nullopt;
}

bool ChooseLanguage(const ScriptToolOptions& options, ScriptLanguage& language,
                    std::string& problem) {
    if (options.engine) {
        language = *options.engine;
        return true;
    }
    std::optional<ScriptLanguage> chosen;
    std::string chosenBy;
    for (const std::string& file : options.files) {
        const std::optional<ScriptLanguage> named = LanguageOfFile(file);
        if (!named) {
            problem =
                file + ": the extension names no engine (.vbs, .vbe, .js, .jse); use --engine";
            return false;
        }
        if (chosen && *chosen != *named) {
            problem = "one engine per run: " + chosenBy + " is " + LanguageName(*chosen) + " and " +
                      file + " is " + LanguageName(*named);
            return false;
        }
        chosen = named;
        chosenBy = file;
    }
    if (!chosen) {
        problem = "no script file given";
        return false;
    }
    language = *chosen;
    return true;
}

const char* LanguageName(ScriptLanguage language) {
    return language == ScriptLanguage::VBScript ? "VBScript" : "JScript";
}
