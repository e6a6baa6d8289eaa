#include "wmi/proxy_blanket.h"

HRESULT SetQueryProxyBlanket(IWbemServices* services) {
    // No server principal and no identity: the process's own credentials are used.
    return ::CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE);
}
