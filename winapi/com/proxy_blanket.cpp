// Call security of proxies. Every object of this runtime lives in the caller's process and
// is called directly, so a blanket has nothing to apply to; callers written for Windows set
// one on the services they connect to and only check that the call succeeded.
#include "win/com.h"

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                          RPC_AUTH_IDENTITY_HANDLE, DWORD) {
    return pProxy ? S_OK : E_INVALIDARG;
}
