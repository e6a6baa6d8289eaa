// The predefined VBScript functions that every VBScript text of a script query is given.
//
// Two blocks of VBScript go at the end of the script text, each unless the text already
// carries the block's marker line (with its line feed):
//   "'Predefined functions": NrvInv_ReplaceIllegalCharacters(value) and
//       NrvInv_GetDataclassResults(resultSet), the form in which a script returns rows;
//   "'Mockable predefined functions": NrvInv_RunWmiQuery(query), the constant
//       HKEY_LOCAL_MACHINE and NrvInv_GetRegProvider(), the parts that reach WMI, which a
//       script may replace with its own versions.
// JScript texts are never given them. Pure functions; safe on any thread.
#pragma once

#include <string>
#include <string_view>

#include "kvwin/wide_string.h"
#include "win/types.h"

// The blocks as appended, each starting with a line feed.
WStringView PredefinedFunctionsBlock();
WStringView MockablePredefinedFunctionsBlock();

// Appends the first block and then the second to script, each unless its marker is present.
void AppendPredefinedFunctions(WString& script);
