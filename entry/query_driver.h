// The in-process road of one query document: load, classify, initialise, execute, wrap.
#pragma once

#include "win/types.h"

// Runs queryDocument (UTF-16 XML text, not null) in the calling thread and, on S_OK only,
// stores the result document "<result>\n" + output + "</result>" in *result. Returns S_OK,
// E_FAIL (no root element, unknown query type, initialisation failed) or 0x80041000
// (execution failed, empty output, any exception). Never throws.
HRESULT RunQueryDocument(const WCHAR* queryDocument, BSTR* result) noexcept;
