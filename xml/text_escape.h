// Text replacement and escaping for XML output (the agent log's records).
//
// Pure functions on the caller's string; safe from any thread.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/types.h"

// Replaces every occurrence of find in text by replacement, scanning left to right; matches
// do not overlap and the replacement is never scanned again. With caseSensitive false the
// comparison ignores case as _wcsnicmp does. A null or empty find leaves text unchanged; a
// null replacement removes the matches.
void ReplaceAll(WString& text, const WCHAR* find, const WCHAR* replacement, bool caseSensitive);

// "&", ">", "<", '"' and "'" become their entities, the ampersand first.
void EscapeXmlString(WString& text);

// Makes text safe inside a CDATA section: "]]&" becomes "]]&amp;", then "]]>" becomes
// "]]&gt;". Reversible, since an existing "]]&gt;" has its ampersand escaped first.
void EscapeCDataString(WString& text);
