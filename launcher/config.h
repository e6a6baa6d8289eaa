// The out-of-process road: the query document goes to the launcher executable "Lumbrik.exe",
// which runs it as the session user and leaves the result in a file.
#pragma once

#include <string>

#include "kvwin/wide_string.h"

class CConfig {
  public:
    // Runs `input` (a query document) through the launcher and, on success, stores the
    // launcher's output text in `output`. Failures are logged and give false. May throw
    // (a temporary folder that cannot be found, an allocation); the caller stops it.
    static bool Lumbrik(const WString& input, WString& output);
};
