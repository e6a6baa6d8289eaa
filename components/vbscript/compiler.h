// The compiler: a block's syntax tree to procedures with numbered slots. Names resolve at
// compile time: a procedure's parameters, Dim'd and implicit locals to local slots, names
// of the class being compiled to its members, known constants to literals, built-in
// functions to their table entries, everything else to global slots (which a later block,
// a named item or the GLOBALMEMBERS items may fill). The engine's thread only; throws a
// compile ScriptError.
#pragma once

#include "ast.h"

namespace kvvbs {

class Runtime;

// Compiles a parsed block into the runtime; returns the procedure of its global code.
int CompileBlock(Runtime& rt, Node& block, size_t block_index);

}  // namespace kvvbs
