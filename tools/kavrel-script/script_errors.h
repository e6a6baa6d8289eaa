// The script errors the WScript object raises, with the numbers scripts know them by.
#pragma once

#include "win/types.h"

inline constexpr HRESULT kScriptInvalidCall = static_cast<HRESULT>(0x800A0005);
inline constexpr HRESULT kScriptSubscriptOutOfRange = static_cast<HRESULT>(0x800A0009);
inline constexpr HRESULT kScriptTypeMismatch = static_cast<HRESULT>(0x800A000D);
inline constexpr HRESULT kScriptInputPastEnd = static_cast<HRESULT>(0x800A003E);
