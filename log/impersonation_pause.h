// Sets the calling thread's impersonation aside for a scope, so the log files are written
// with the process's own identity, and puts it back on every path out.
#pragma once

#include "win/types.h"

class ImpersonationPause {
  public:
    ImpersonationPause();
    ~ImpersonationPause();
    ImpersonationPause(const ImpersonationPause&) = delete;
    ImpersonationPause& operator=(const ImpersonationPause&) = delete;

  private:
    HANDLE m_token = nullptr;
};
