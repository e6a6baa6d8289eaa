// Marks a thread that is preparing the install log, so a warning raised meanwhile does not
// route itself back into the install log it is preparing.
#pragma once

class InstallLogReentryGuard {
  public:
    InstallLogReentryGuard() { ++Depth(); }
    ~InstallLogReentryGuard() { --Depth(); }
    InstallLogReentryGuard(const InstallLogReentryGuard&) = delete;
    InstallLogReentryGuard& operator=(const InstallLogReentryGuard&) = delete;

    static bool Active() { return Depth() > 0; }

  private:
    static int& Depth() {
        thread_local int depth = 0;
        return depth;
    }
};
