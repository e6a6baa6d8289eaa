// A private CUPS scheduler for tests: cupsd with its own configuration, spool and state
// under a folder of the test, answering on 127.0.0.1 at a port of its own, with the queues
// the test asks for. The listening socket is made here and handed to cupsd the way a
// service manager would (socket activation), so the server answers from the moment Start
// returns and no test waits for it to come up. Not thread-safe; one per test.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kvtest {

struct TestQueue {
    std::string name;
    std::string ppd;  // the PPD text; empty for a raw queue (no driver)
};

class CupsTestServer {
  public:
    CupsTestServer() = default;
    ~CupsTestServer();
    CupsTestServer(const CupsTestServer&) = delete;
    CupsTestServer& operator=(const CupsTestServer&) = delete;

    // Whether a cupsd program is installed (cupsdPath may be empty).
    static bool Installed(const std::string& cupsdPath);

    // Writes the configuration under folder and starts cupsdPath. False with a reason.
    bool Start(const std::string& cupsdPath, const std::string& folder,
               const std::vector<TestQueue>& queues, std::string& why);

    // "127.0.0.1:<port>", for CUPS_SERVER.
    std::string Address() const;
    int Port() const { return port_; }

    // Stops the scheduler (also done by the destructor).
    void Stop();

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// A PPD with the given *FileVersion line (none when empty).
std::string TestPpd(const std::string& fileVersion);

}  // namespace kvtest
