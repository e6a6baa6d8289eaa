// Assignment to a call: `d.Item(k) = v`, `obj.Prop(i) += 1`, `obj(i) = v`, which JScript on
// Windows allows for COM objects (a DISPATCH_PROPERTYPUT with the call's arguments plus the
// value). Duktape's parser rejects an assignment to a call, so the text is rewritten before
// it is compiled into an assignment to a member of a call of a hidden method:
//
//   A.name(args) op v     →   A[K]("name", args).value op v
//   A[expr](args) op v    →   A[K]((expr), args).value op v
//   f(args) op v          →   f[K](undefined, args).value op v
//
// where K is kCallAssignmentKey and op any assignment operator. A COM object's proxy answers
// K with a reference to the member (dispatch_proxy.h); every other value finds K on
// Object.prototype, which throws the error Windows gives for an assignment to a function
// result. The rewrite works on tokens: strings, regular expression literals, comments and
// grouping parentheses (`(a) = 1`) are left alone, and line breaks are kept, so error lines
// stay the script's. Text compiled at run time (eval, new Function) is not rewritten.
//
// Stateless; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace kvjs {

// The property name the rewrite calls (a control character no script writes by itself).
inline constexpr char kCallAssignmentKey[] = "\x01kvput";

// The text with every assignment to a call rewritten; text without one comes back as it is.
std::u16string RewriteCallAssignments(std::u16string_view text);

}  // namespace kvjs
