// The CUPS server behind the spooler: which server, whether it answers, its queues and
// their PPDs. Each call opens its own connection, so any thread may call at any time.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "win/types.h"

namespace kvwin {

// A server as the CUPS client settings name it when asked: a host name or the path of a
// local socket, and a port.
struct CupsServer {
    std::string host;
    int port = 0;
};

// The server the client settings name now (CUPS_SERVER, client.conf, else the local
// scheduler), read afresh on every call.
CupsServer CurrentCupsServer();

// What the server says of one queue.
struct CupsQueue {
    std::string name;          // as the server spells it
    std::string makeAndModel;  // the driver's name, from the PPD's *NickName
};

// Asks the server for queue `name`. 0, or RPC_S_SERVER_UNAVAILABLE (no answer),
// ERROR_INVALID_PRINTER_NAME (no such queue, or a name no queue can have),
// ERROR_ACCESS_DENIED (the server refused).
DWORD FindCupsQueue(const CupsServer& server, const std::string& name, CupsQueue& queue);

// What the server's destination list says of one queue: whether it is the default, and its
// options as text ("printer-info", "printer-location", "printer-make-and-model",
// "device-uri", "printer-type", "printer-is-shared", "printer-state", ...).
struct CupsQueueFacts {
    std::string name;
    bool isDefault = false;
    std::map<std::string, std::string> options;
};

// Every queue of the server (instances, which are option sets over a queue, left out).
// 0 or RPC_S_SERVER_UNAVAILABLE.
DWORD ListCupsQueues(const CupsServer& server, std::vector<CupsQueueFacts>& queues);

// Checks that the server answers at all: 0 or RPC_S_SERVER_UNAVAILABLE.
DWORD PingCupsServer(const CupsServer& server);

// Writes the queue's PPD to the open file descriptor fd; lastModified gets the server's date
// of it (0 when it gives none). 0, or ERROR_UNKNOWN_PRINTER_DRIVER (the queue has no PPD),
// RPC_S_SERVER_UNAVAILABLE, ERROR_INVALID_PRINTER_NAME, ERROR_ACCESS_DENIED.
DWORD DownloadCupsPpd(const CupsServer& server, const std::string& queue, int fd,
                      time_t& lastModified);

}  // namespace kvwin
