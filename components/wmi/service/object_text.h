// The texts an object shows of itself: its system properties' values (__CLASS, __RELPATH,
// __PATH, ...) and its MOF text (GetObjectText). Pure functions, thread safe.
//
//   __RELPATH   Class.Key1="text",Key2=5 for an instance with keys (strings quoted with `\`
//               before `"` and `\`), Class=@ for one without, the class name for a class;
//               null when a key is null
//   __PATH      \\SERVER\namespace:<__RELPATH>; null for an object outside a namespace
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/class_object.h"

namespace kvwmi {

// The text of a system property that is a string (__CLASS, __SUPERCLASS, __DYNASTY,
// __RELPATH, __SERVER, __NAMESPACE, __PATH); nullopt when its value is null.
std::optional<std::u16string> SystemText(const ObjectData& data, std::u16string_view name);

// "\ninstance of Class\n{\n\tName = \"value\";\n};\n" with one line per non-null property,
// or "\nclass Class\n{\n\t[key] string Name;\n};\n" for a class.
std::u16string ObjectText(const ObjectData& data);

}  // namespace kvwmi
