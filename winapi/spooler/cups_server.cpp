// The spooler's conversation with a CUPS server: IPP Get-Printer-Attributes for a queue,
// HTTP GET of /printers/<queue>.ppd for its driver.
#include "cups_server.h"

#include <signal.h>

#include <ctime>
#include <memory>

#include "cups_client.h"
#include "kvwin/sigpipe_block.h"
#include "win/errors.h"

namespace kvwin {

namespace {

// Long enough for a loaded server, short enough that a dead address does not hang a query.
constexpr int kConnectTimeoutMs = 15000;

struct HttpCloser {
    void operator()(http_t* http) const { Cups()->close(http); }
};
using Connection = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter {
    void operator()(ipp_t* ipp) const { Cups()->deleteMessage(ipp); }
};
using IppMessage = std::unique_ptr<ipp_t, IppDeleter>;

// A server that asks for a password gets none: the default would prompt on the terminal,
// which a library must never do. The setting is per thread in the client library.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

// A connection to the server; none when it does not answer or there is no client library.
Connection Connect(const CupsServer& server) {
    const CupsClient* cups = Cups();
    if (!cups)
        return Connection();
    cups->setPasswordCB2(&NoPassword, nullptr);
    return Connection(cups->connect2(server.host.c_str(), server.port, nullptr, AF_UNSPEC,
                                     cups->encryption(), 1, kConnectTimeoutMs, nullptr));
}

// CUPS queue names are printable ASCII without blanks, slashes, '#', quotes or '\'.
bool IsQueueName(const std::string& name) {
    if (name.empty() || name.size() > 127)
        return false;
    for (const unsigned char c : name) {
        if (c <= ' ' || c >= 0x7F || c == '/' || c == '\\' || c == '#' || c == '?' || c == '\'' ||
            c == '"')
            return false;
    }
    return true;
}

}  // namespace

CupsServer CurrentCupsServer() {
    // The client library keeps its settings per thread; forgetting them makes it read the
    // environment and client.conf again, so a changed CUPS_SERVER is seen.
    const CupsClient* cups = Cups();
    if (!cups)
        return {};
    cups->setServer(nullptr);
    return {cups->server(), cups->port()};
}

DWORD PingCupsServer(const CupsServer& server) {
    const kvwin::SigpipeBlock quiet;
    return Connect(server) ? 0 : RPC_S_SERVER_UNAVAILABLE;
}

DWORD ListCupsQueues(const CupsServer& server, std::vector<CupsQueueFacts>& queues) {
    queues.clear();
    const kvwin::SigpipeBlock quiet;
    const Connection http = Connect(server);
    if (!http)
        return RPC_S_SERVER_UNAVAILABLE;
    const CupsClient& cups = *Cups();  // a connection means the client is loaded
    struct Dests {
        const CupsClient& cups;
        cups_dest_t* list = nullptr;
        int count = 0;
        ~Dests() {
            if (list)
                cups.freeDests(count, list);
        }
    } dests{cups};
    dests.count = cups.getDests2(http.get(), &dests.list);
    if (dests.count == 0 && cups.lastError() > IPP_STATUS_OK_EVENTS_COMPLETE &&
        cups.lastError() != IPP_STATUS_ERROR_NOT_FOUND)
        return RPC_S_SERVER_UNAVAILABLE;
    for (int i = 0; i < dests.count; ++i) {
        const cups_dest_t& dest = dests.list[i];
        if (!dest.name || dest.instance)
            continue;
        CupsQueueFacts queue;
        queue.name = dest.name;
        queue.isDefault = dest.is_default != 0;
        for (int j = 0; j < dest.num_options; ++j) {
            if (dest.options[j].name && dest.options[j].value)
                queue.options.emplace(dest.options[j].name, dest.options[j].value);
        }
        queues.push_back(std::move(queue));
    }
    return 0;
}

DWORD FindCupsQueue(const CupsServer& server, const std::string& name, CupsQueue& queue) {
    const kvwin::SigpipeBlock quiet;
    const Connection http = Connect(server);
    if (!http)
        return RPC_S_SERVER_UNAVAILABLE;
    if (!IsQueueName(name))
        return ERROR_INVALID_PRINTER_NAME;
    const CupsClient& cups = *Cups();  // a connection means the client is loaded
    char uri[HTTP_MAX_URI];
    cups.assembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                      "/printers/%s", name.c_str());
    ipp_t* request = cups.newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    cups.addString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    cups.addString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                   cups.user());
    static const char* const kWanted[] = {"printer-name", "printer-make-and-model"};
    cups.addStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                    kWanted);
    const IppMessage response(cups.doRequest(http.get(), request, "/"));  // frees the request
    if (!response)
        return cups.lastError() == IPP_STATUS_ERROR_NOT_FOUND ? ERROR_INVALID_PRINTER_NAME
                                                              : RPC_S_SERVER_UNAVAILABLE;
    const ipp_status_t status = cups.getStatusCode(response.get());
    if (status == IPP_STATUS_ERROR_NOT_FOUND || status == IPP_STATUS_ERROR_BAD_REQUEST)
        return ERROR_INVALID_PRINTER_NAME;
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE)
        return ERROR_ACCESS_DENIED;
    ipp_attribute_t* found = cups.findAttribute(response.get(), "printer-name", IPP_TAG_NAME);
    queue.name = found ? cups.getString(found, 0, nullptr) : name;
    found = cups.findAttribute(response.get(), "printer-make-and-model", IPP_TAG_TEXT);
    queue.makeAndModel = found ? cups.getString(found, 0, nullptr) : std::string();
    return 0;
}

DWORD DownloadCupsPpd(const CupsServer& server, const std::string& queue, int fd,
                      time_t& lastModified) {
    lastModified = 0;
    const kvwin::SigpipeBlock quiet;
    const Connection http = Connect(server);
    if (!http)
        return RPC_S_SERVER_UNAVAILABLE;
    if (!IsQueueName(queue))
        return ERROR_INVALID_PRINTER_NAME;
    const CupsClient& cups = *Cups();  // a connection means the client is loaded
    const std::string resource = "/printers/" + queue + ".ppd";
    switch (cups.getFd(http.get(), resource.c_str(), fd)) {
        case HTTP_STATUS_OK:
            lastModified = cups.getDateTime(cups.getField(http.get(), HTTP_FIELD_LAST_MODIFIED));
            return 0;
        case HTTP_STATUS_NOT_FOUND:
            return ERROR_UNKNOWN_PRINTER_DRIVER;
        case HTTP_STATUS_ERROR:
            return RPC_S_SERVER_UNAVAILABLE;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

}  // namespace kvwin
