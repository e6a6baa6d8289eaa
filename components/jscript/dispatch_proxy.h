// COM objects inside scripts: a Proxy whose traps turn property reads, writes and calls
// into IDispatch calls.
//
//   obj.name          DISPATCH_PROPERTYGET; a member that does not answer a plain get (a
//                     method, or a property that needs arguments) reads as a method
//                     reference instead, which the call then invokes
//   obj.name(a, b)    one DISPATCH_METHOD | DISPATCH_PROPERTYGET invoke with the arguments
//                     (no property read first: sh.Environment("PROCESS") calls Environment
//                     with its argument); the interpreter marks such a lookup, and the
//                     proxy answers it with a method reference made once per name
//   obj.name = v      DISPATCH_PROPERTYPUT (DISPATCH_PROPERTYPUTREF when the object refuses
//                     a put of an object)
//   obj(a)            the default member (DISPID_VALUE)
//   "name" in obj     whether GetIDsOfNames knows the name
// Unknown names read as undefined. A failed call throws an Error whose `number` is the
// HRESULT (or the EXCEPINFO's scode) and whose message is the object's description.
// The proxy holds one reference to the object, released by a finalizer when the script
// lets go of it or the heap is destroyed. Everything here runs on the engine's thread.
#pragma once

#include "duktape.h"
#include "win/com.h"

namespace kvjs {

// Pushes a proxy for the object (null pushes null).
void PushDispatch(duk_context* ctx, IDispatch* object);
// The object behind a proxy at idx (no reference added), or null for any other value.
IDispatch* ProxiedDispatch(duk_context* ctx, duk_idx_t idx);
// Throws a script error for a failed COM call.
[[noreturn]] void ThrowComError(duk_context* ctx, HRESULT hr, EXCEPINFO* excep);
// Installs the proxy handler into the heap (once, at heap creation).
void InstallDispatchProxy(duk_context* ctx);

}  // namespace kvjs
