// Object paths as GetObject takes them:
//
//   [\\server\namespace:]Class                       the class
//   [\\server\namespace:]Class=@                     the instance of a class without keys
//   [\\server\namespace:]Class.Key="text",Id=5       an instance by its keys
//   [\\server\namespace:]Class="text"                an instance by its single key
//
// Values are strings in double or single quotes (a backslash takes the next character as
// it is), numbers, TRUE or FALSE. Pure functions, thread safe.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "wql/ast.h"

namespace kvwmi {

struct ObjectPath {
    std::u16string server;  // empty without a machine part
    std::u16string ns;      // empty without a namespace part
    std::u16string class_name;
    bool is_class = true;    // no `=` part at all
    bool singleton = false;  // Class=@
    // Key name (empty for the single-key form) and value.
    std::vector<std::pair<std::u16string, wql::Literal>> keys;
};

// False for text that is not an object path.
bool ParseObjectPath(std::u16string_view text, ObjectPath& path);

}  // namespace kvwmi
