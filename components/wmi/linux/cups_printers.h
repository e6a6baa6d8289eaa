// The print queues a CUPS server offers, through the CUPS client library loaded with
// dlopen on first use (libcups.so.2; the library is never linked, so a machine without it
// runs the rest unchanged).
//
// Safe from any thread: the library is loaded once, and the CUPS client keeps its
// settings per thread. The server is asked through a connection with a time-out, so a
// server that does not answer costs at most that time; SIGPIPE is held off in the calling
// thread while the connection is used.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kvlinux {

struct PrinterQueue {
    std::string name;
    bool is_default = false;
    std::map<std::string, std::string> options;  // "printer-info", "device-uri", ...
};

// The queues of the CUPS server the environment names (CUPS_SERVER, client.conf, else the
// local scheduler). Empty when the library is missing or no server answers.
std::vector<PrinterQueue> ReadPrinterQueues();

// Whether the CUPS client library could be loaded.
bool CupsClientAvailable();

}  // namespace kvlinux
