// The library's two exported functions.
//
// A host hands either one a query document, the XML text of one query (NUL-terminated
// UTF-16, not a file name; must not be null), and receives the result document as a BSTR
// that the caller frees with SysFreeString. *result is written on success only.
//
// GetInventoryInformation is the normal entry: it gathers in the calling process when the
// host is the inventory solution process and through the out-of-process launcher
// otherwise. GetInventoryInformationInternal always gathers in the calling process.
// Neither initialises COM: the calling thread must already be in a COM apartment.
// Both may be called from several threads at once. No exception leaves either.
#pragma once

#include "win/errors.h"
#include "win/types.h"

#if defined(_WIN32) && defined(KAVREL_BUILDING_DLL)
#define KAVREL_EXPORT extern "C" __declspec(dllexport)
#elif defined(_WIN32)
#define KAVREL_EXPORT extern "C" __declspec(dllimport)
#else
#define KAVREL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

KAVREL_EXPORT HRESULT GetInventoryInformation(const WCHAR* queryDocument, BSTR* result);
KAVREL_EXPORT HRESULT GetInventoryInformationInternal(const WCHAR* queryDocument, BSTR* result);
