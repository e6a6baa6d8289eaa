// The CUPS client library, loaded when the spooler first needs it rather than with the layer:
// only printer calls talk to a print server, and the client library brings some thirty
// libraries of its own (Kerberos, TLS, D-Bus, Avahi) that every other process would map for
// nothing.
#pragma once

#include <cups/cups.h>

namespace kvwin {

// The client functions the spooler calls, resolved from libcups.so.2. Immutable once
// loaded, so shared freely between threads.
struct CupsClient {
    decltype(&::cupsSetPasswordCB2) setPasswordCB2;
    decltype(&::cupsEncryption) encryption;
    decltype(&::cupsSetServer) setServer;
    decltype(&::cupsServer) server;
    decltype(&::cupsUser) user;
    decltype(&::cupsDoRequest) doRequest;
    decltype(&::cupsLastError) lastError;
    decltype(&::cupsGetFd) getFd;
    decltype(&::httpConnect2) connect2;
    decltype(&::httpClose) close;
    decltype(&::httpAssembleURIf) assembleURIf;
    decltype(&::httpGetDateTime) getDateTime;
    decltype(&::httpGetField) getField;
    decltype(&::ippPort) port;
    decltype(&::ippNewRequest) newRequest;
    decltype(&::ippAddString) addString;
    decltype(&::ippAddStrings) addStrings;
    decltype(&::ippDelete) deleteMessage;
    decltype(&::ippGetStatusCode) getStatusCode;
    decltype(&::ippFindAttribute) findAttribute;
    decltype(&::ippGetString) getString;
    decltype(&::cupsGetDests2) getDests2;
    decltype(&::cupsFreeDests) freeDests;
};

// The client, loaded on the first call from any thread; null when the library or one of its
// functions is missing (then no print server can be reached, as when none answers). The
// library stays loaded until the process ends: it keeps per-thread state whose destructors
// must outlive every thread that used it.
const CupsClient* Cups();

}  // namespace kvwin
