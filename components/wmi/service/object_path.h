// Object paths as GetObject takes them:
//
//   [\\server\namespace:]Class                       the class
//   [\\server\namespace:]Class=@                     the instance of a class without keys
//   [\\server\namespace:]Class.Key="text",Id=5       an instance by its keys
//   [\\server\namespace:]Class="text"                an instance by its single key
//
// Values are strings in double or single quotes (a backslash takes the next character as
// it is), numbers, TRUE or FALSE. The namespace part ends at the last `:` before the first
// `=` or quote, so a key value may hold colons (DeviceID="C:"). Pure functions, thread safe.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "provider/class_decl.h"
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

// A key of an instance path matched to its property: the index into the class's
// properties and the value as written.
struct PathKey {
    int property = -1;
    wql::Literal value;
};

// The keys of an instance path of `decl`'s class, in the class's declaration order. False
// when the path is a class path, or does not give every key of the class exactly once and
// nothing else (`Class=@` only for a class without keys; `Class="x"` only with one key).
bool MatchPathKeys(const ObjectPath& path, const ClassDecl& decl, std::vector<PathKey>& keys);

// A key value as text, for comparing paths: a string's value, an integer in decimal,
// TRUE or FALSE.
std::u16string KeyText(const wql::Literal& value);

// Whether two instance paths of `decl`'s class name the same instance: every key equal,
// strings compared case-insensitively as WQL compares them, references as SameReference
// compares them. The machine and namespace parts are the caller's to compare.
bool SameInstance(const ObjectPath& a, const ObjectPath& b, const ClassDecl& decl);

// Whether two references (the values of an association's reference properties) name the
// same instance, however each was written: the class name and the key names compared
// case-insensitively, the keys in any order (the single-key form Class="x" matches one key
// of any name), values as KeyText gives them, strings case-insensitively, in either quote
// style. The namespace counts when both give one; the machine part does not (a reference
// held by an instance of this machine names this machine). False when either is not an
// instance path.
bool SameReference(std::u16string_view a, std::u16string_view b);

}  // namespace kvwmi
