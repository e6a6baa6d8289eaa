// The scripting runtime objects: Scripting.Dictionary, Scripting.FileSystemObject,
// WScript.Shell and WScript.Network, late-bound
// (IDispatch) objects for scripts.
//
// All are apartment objects: one object is used by one thread at a time; AddRef and
// Release are safe from any thread.
#pragma once

#include "kvwin/component_module.h"

#include <atomic>

#include "win/com.h"

namespace kvscripting {

// Scripting.Dictionary {EE09B103-97E0-11CF-978F-00A02463E06F}
inline constexpr CLSID CLSID_Dictionary =
    kvwin::GuidFromLiteral("EE09B103-97E0-11CF-978F-00A02463E06F");
// WScript.Network {093FF999-1EA0-4079-9525-9614C3504B74}
inline constexpr CLSID CLSID_WshNetwork =
    kvwin::GuidFromLiteral("093FF999-1EA0-4079-9525-9614C3504B74");

// Scripting.FileSystemObject {0D43FE01-F093-11CF-8940-00A0C9054228}
inline constexpr CLSID CLSID_FileSystemObject =
    kvwin::GuidFromLiteral("0D43FE01-F093-11CF-8940-00A0C9054228");

// WScript.Shell {72C24DD5-D70A-438B-8A42-98424B88AFB8}
inline constexpr CLSID CLSID_WshShell =
    kvwin::GuidFromLiteral("72C24DD5-D70A-438B-8A42-98424B88AFB8");

HRESULT CreateShell(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateFileSystem(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateDictionary(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateNetwork(IUnknown* outer, REFIID riid, void** ppv);

// A member of every object of the module: counts it as live, for DllCanUnloadNow.
using kvwin::ModuleRef;

// The error codes the objects raise (as the script languages number them).
inline constexpr HRESULT kInvalidArgument = HRESULT(0x800A0005);  // invalid procedure call
inline constexpr HRESULT kKeyExists = HRESULT(0x800A01C9);
inline constexpr HRESULT kElementNotFound = HRESULT(0x800A802B);

// The most blank lines one WriteBlankLines call writes; more is an invalid argument.
inline constexpr long kMostBlankLines = 0x100000;

}  // namespace kvscripting
