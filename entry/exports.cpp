// The exported functions. Exceptions stop here: none crosses the C boundary.
#include "kavrel/kavrel.h"

// TODO: the query driver and the launcher path fill these in. Until then both report
// E_NOTIMPL and, as on every failure, leave *result as the caller set it.
HRESULT GetInventoryInformation(const WCHAR* queryDocument, BSTR* result) {
    try {
        (void)queryDocument;
        (void)result;
        return E_NOTIMPL;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT GetInventoryInformationInternal(const WCHAR* queryDocument, BSTR* result) {
    try {
        (void)queryDocument;
        (void)result;
        return E_NOTIMPL;
    } catch (...) {
        return E_FAIL;
    }
}
