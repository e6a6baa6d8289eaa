// The library's Windows headers on Windows: the system's own.
//
// The library includes the platform layer's headers by area ("win/files.h"); on Windows each
// of those names includes the SDK headers that declare the same functions. Wide text is
// wchar_t here, TEXT("...") is L"...".
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif

#include <windows.h>

// The portable helpers are linked into the library itself on Windows.
#ifndef KVWIN_API
#define KVWIN_API
#endif
