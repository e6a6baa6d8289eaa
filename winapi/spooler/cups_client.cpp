// Loading the CUPS client library on first use.
#include "cups_client.h"

#include <dlfcn.h>

namespace kvwin {

namespace {

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

const CupsClient* LoadClient() {
    void* library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static CupsClient client{};
    const bool complete = Resolve(library, "cupsSetPasswordCB2", client.setPasswordCB2) &&
                          Resolve(library, "cupsEncryption", client.encryption) &&
                          Resolve(library, "cupsSetServer", client.setServer) &&
                          Resolve(library, "cupsServer", client.server) &&
                          Resolve(library, "cupsUser", client.user) &&
                          Resolve(library, "cupsDoRequest", client.doRequest) &&
                          Resolve(library, "cupsLastError", client.lastError) &&
                          Resolve(library, "cupsGetFd", client.getFd) &&
                          Resolve(library, "httpConnect2", client.connect2) &&
                          Resolve(library, "httpClose", client.close) &&
                          Resolve(library, "httpAssembleURIf", client.assembleURIf) &&
                          Resolve(library, "httpGetDateTime", client.getDateTime) &&
                          Resolve(library, "httpGetField", client.getField) &&
                          Resolve(library, "ippPort", client.port) &&
                          Resolve(library, "ippNewRequest", client.newRequest) &&
                          Resolve(library, "ippAddString", client.addString) &&
                          Resolve(library, "ippAddStrings", client.addStrings) &&
                          Resolve(library, "ippDelete", client.deleteMessage) &&
                          Resolve(library, "ippGetStatusCode", client.getStatusCode) &&
                          Resolve(library, "ippFindAttribute", client.findAttribute) &&
                          Resolve(library, "ippGetString", client.getString) &&
                          Resolve(library, "cupsGetDests2", client.getDests2) &&
                          Resolve(library, "cupsFreeDests", client.freeDests);
    if (!complete) {
        ::dlclose(library);
        return nullptr;
    }
    return &client;
}

}  // namespace

const CupsClient* Cups() {
    // A function-local static: the first caller loads, concurrent callers wait for it.
    static const CupsClient* const client = LoadClient();
    return client;
}

}  // namespace kvwin
