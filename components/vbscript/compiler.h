// The compiler: a block's syntax tree to procedures with numbered slots. Names resolve at
// compile time: a procedure's parameters, Dim'd and implicit locals to local slots, names
// of the class being compiled to its members, known constants to literals, built-in
// functions to their table entries, everything else to global slots (which a later block,
// a named item or the GLOBALMEMBERS items may fill). The engine's thread only; throws a
// compile ScriptError.
#pragma once

#include <string>
#include <unordered_map>

#include "ast.h"

namespace kvvbs {

class Runtime;

// Compiles a parsed block into the runtime; returns the procedure of its global code.
// outer: the local slots, by lower-case name, of the procedure an Execute'd text runs in.
int CompileBlock(Runtime& rt, Node& block, size_t block_index,
                 const std::unordered_map<std::u16string, int>* outer = nullptr);

}  // namespace kvvbs
