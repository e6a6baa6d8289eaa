// Message texts: FormatMessageW over the system's message table, a module's message table
// or a caller's text, with inserts (%1 .. %99, printf-style "!fmt!" specs) and escapes.
//
// The system table holds texts, in our own words, for the Win32 codes and HRESULTs the
// layer and the library produce; HRESULTs of the form 0x8007xxxx find the text of Win32
// code xxxx. Modules come from LoadLibraryExW (win/modules.h); "wmiutils.dll" and
// "wininet.dll" are built in there. Every function here is safe from any thread.
#pragma once

#include <cstdarg>

#include "win/types.h"

extern "C" {

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

#ifndef MAKELANGID
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#endif
#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_FRENCH 0x0c
#define LANG_GERMAN 0x07
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#endif

// Formats a message into lpBuffer (nSize characters with the terminator) or, with
// FORMAT_MESSAGE_ALLOCATE_BUFFER, into a LocalAlloc'd buffer of at least nSize characters
// whose address is stored at lpBuffer (free it with LocalFree). Returns the length without
// the terminator, 0 on failure with the last error.
//
// Sources: FROM_STRING (lpSource is the text), FROM_HMODULE (lpSource is a module; null is
// the executable), FROM_SYSTEM, or FROM_HMODULE | FROM_SYSTEM (the module, then the
// system). Languages: a specific id must be present (else ERROR_RESOURCE_LANG_NOT_FOUND);
// 0 searches neutral, the user's language (from LC_ALL / LC_MESSAGES / LANG), the system's
// (US English), US English, then any; an id no table knows gives ERROR_MR_MID_NOT_FOUND;
// a module without messages ERROR_RESOURCE_TYPE_NOT_FOUND.
//
// Inserts: %1..%99, optionally followed by !fmt! (printf conversions d i u x X o c s p e f
// g with flags, width, precision and the h l ll I I32 I64 z w modifiers; '*' takes the
// next argument). Default !s!. Arguments come from a va_list, or with ARGUMENT_ARRAY from
// an array of DWORD_PTR (Arguments cast to va_list*); inserts without Arguments fail with
// ERROR_INVALID_PARAMETER unless IGNORE_INSERTS, which copies them unchanged.
// Escapes: %0 ends the text (no final line break), %n a line break (CR LF), %% %. %! and
// "% " the character itself, %r a bare CR, %t a tab.
// Width (the low byte of dwFlags): 0 keeps the text's line breaks; 1..254 turns them into
// spaces and breaks lines at that width (at a space where possible); 255 turns them into
// spaces and keeps only %n breaks.
// A buffer too small gives ERROR_INSUFFICIENT_BUFFER; an allocated text over 128 KiB gives
// ERROR_MORE_DATA.
KVWIN_API DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                               DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                               va_list* Arguments);

// The same in the ANSI code page (CP_ACP): the source text, narrow inserts (%s, %hs) and
// the result are in that page; %ls and %ws inserts are wide. nSize counts bytes.
KVWIN_API DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                               DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

}  // extern "C"
