// How a command line reaches a child that this layer started.
//
// Linux hands a program an argv, not a text. So that the child reads back exactly the text
// its parent passed to CreateProcessW (quotes, trailing backslashes and all, which no argv
// can carry faithfully), the parent also puts it in the child's environment under
// kCommandLineVariable. The layer takes it out of the environment when it is loaded, and
// GetCommandLineW uses it only while it still matches the argv the process really got: a
// stale copy, passed on by a program that does not use this layer, is ignored.
#pragma once

namespace kvwin {

inline constexpr const char* kCommandLineVariable = "KAVREL_COMMAND_LINE";

}  // namespace kvwin
