#include "linux/cups_printers.h"

#include <cups/cups.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

#include <ctime>
#include <memory>
#include <mutex>

#include "kvwin/sigpipe_block.h"

namespace kvlinux {

namespace {

constexpr int kConnectTimeoutMs = 3000;

// The entry points used, resolved once. Null members when the library is missing.
struct CupsClient {
    void (*set_server)(const char*) = nullptr;
    const char* (*server)() = nullptr;
    int (*port)() = nullptr;
    http_encryption_t (*encryption)() = nullptr;
    http_t* (*connect)(const char*, int, http_addrlist_t*, int, http_encryption_t, int, int,
                       int*) = nullptr;
    void (*close)(http_t*) = nullptr;
    int (*get_dests)(http_t*, cups_dest_t**) = nullptr;
    void (*free_dests)(int, cups_dest_t*) = nullptr;
    bool loaded = false;
};

template <typename T>
bool Resolve(void* library, const char* name, T& out) {
    out = reinterpret_cast<T>(::dlsym(library, name));
    return out != nullptr;
}

const CupsClient& Client() {
    static CupsClient client;
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept for the life of the process: CUPS keeps per-thread state that must not
        // outlive its code.
        void* library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return;
        CupsClient c;
        c.loaded =
            Resolve(library, "cupsSetServer", c.set_server) &&
            Resolve(library, "cupsServer", c.server) && Resolve(library, "ippPort", c.port) &&
            Resolve(library, "cupsEncryption", c.encryption) &&
            Resolve(library, "httpConnect2", c.connect) && Resolve(library, "httpClose", c.close) &&
            Resolve(library, "cupsGetDests2", c.get_dests) &&
            Resolve(library, "cupsFreeDests", c.free_dests);
        if (c.loaded)
            client = c;
    });
    return client;
}

}  // namespace

bool CupsClientAvailable() {
    return Client().loaded;
}

std::vector<PrinterQueue> ReadPrinterQueues() {
    const CupsClient& cups = Client();
    if (!cups.loaded)
        return {};
    const kvwin::SigpipeBlock quiet;
    // Forget this thread's settings so CUPS_SERVER and client.conf are read afresh.
    cups.set_server(nullptr);
    const char* server = cups.server();
    if (!server)
        return {};
    const std::unique_ptr<http_t, void (*)(http_t*)> http(
        cups.connect(server, cups.port(), nullptr, AF_UNSPEC, cups.encryption(), 1,
                     kConnectTimeoutMs, nullptr),
        cups.close);
    if (!http)
        return {};  // no server answers: no printers
    struct Dests {
        const CupsClient& cups;
        cups_dest_t* list = nullptr;
        int count = 0;
        ~Dests() {
            if (list)
                cups.free_dests(count, list);
        }
    } dests{cups};
    dests.count = cups.get_dests(http.get(), &dests.list);
    std::vector<PrinterQueue> queues;
    for (int i = 0; i < dests.count; ++i) {
        const cups_dest_t& dest = dests.list[i];
        if (!dest.name || dest.instance)
            continue;  // an instance is a set of options over a queue, not a queue
        PrinterQueue queue;
        queue.name = dest.name;
        queue.is_default = dest.is_default != 0;
        for (int j = 0; j < dest.num_options; ++j) {
            if (dest.options[j].name && dest.options[j].value)
                queue.options.emplace(dest.options[j].name, dest.options[j].value);
        }
        queues.push_back(std::move(queue));
    }
    return queues;
}

}  // namespace kvlinux
