// The message compiler: message source text in, compiled message table out.
//
// A message source (*.mc under winapi/messages/) is UTF-8 text, line by line:
//
//   # a comment                      lines starting with '#' outside a message text
//   language 0x0409                  the language of the messages that follow (default 0x0409)
//   message 0x00000002 SYMBOLIC_NAME a message: its id (hex or decimal) and an optional name
//   The text, one or more lines.     every text line ends with CR LF in the compiled text
//   .                                a line holding only "." ends the text
//
// A text keeps its inserts (%1, %2!d!) and escapes (%n, %0) for FormatMessage to expand.
// The compiled table is described in message_table_format.h; this code is used by the
// build tool and by tests, and does not depend on the platform library (the library
// embeds its output).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvmc {

// Messages by language, then by id. Texts are UTF-16.
struct MessageSource {
    std::map<uint16_t, std::map<uint32_t, std::u16string>> languages;
    std::map<uint32_t, std::string> names;  // the symbolic names given, by id
};

// Parses source text. On failure returns false and sets `error` to "line N: reason".
bool ParseMessageSource(const std::string& text, MessageSource& out, std::string& error);

// The compiled table (see message_table_format.h) of every language in `source`.
std::vector<uint8_t> CompileMessageTable(const MessageSource& source);

// The bytes of one language as a message-table resource block (the layout a message table
// has inside a Windows image), for tests that build such images.
std::vector<uint8_t> CompileMessageResource(const std::map<uint32_t, std::u16string>& messages);

// C++ text defining `const kvwin::messages::MessageName <name>[]`, the symbolic names by
// ascending id, for the layer's code-name lookup.
std::string NameArrayText(const MessageSource& source, const std::string& name);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace kvmc
