// The COM C++ support: _com_error, _bstr_t, _variant_t, smart pointers.
#pragma once

#include "win/types.h"

#include <comdef.h>

// The SDK's comdefsp.h declares the standard interfaces' smart pointers only for compilers
// with native __uuidof; MinGW-w64's is empty under GCC, so the ones the library uses are
// declared here.
_COM_SMARTPTR_TYPEDEF(IUnknown, __uuidof(IUnknown));
_COM_SMARTPTR_TYPEDEF(IDispatch, __uuidof(IDispatch));
_COM_SMARTPTR_TYPEDEF(IErrorInfo, __uuidof(IErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICreateErrorInfo, __uuidof(ICreateErrorInfo));
_COM_SMARTPTR_TYPEDEF(ISupportErrorInfo, __uuidof(ISupportErrorInfo));
