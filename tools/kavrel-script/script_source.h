// A script file as the engine gets it.
//
// Nothing here keeps state; any thread.
#pragma once

#include <string>
#include <string_view>

// The file's name as WScript.ScriptName gives it (the last part of the path) and its full
// path (WScript.ScriptFullName), with the text.
struct ScriptSource {
    std::string path;      // as given on the command line; names the file in messages
    std::string fullPath;  // absolute
    std::string name;      // the last part of the path
    std::u16string text;
};

// The text of a script file's bytes: UTF-16 (little or big endian) with its byte order mark,
// otherwise UTF-8 with or without its mark (malformed bytes become U+FFFD).
std::u16string DecodeScriptText(std::string_view bytes);

// Reads a script file. False with the reason in problem when it cannot be read or holds an
// encoded script (which this host does not decode).
bool ReadScriptSource(const std::string& path, ScriptSource& source, std::string& problem);
