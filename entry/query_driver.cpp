#include "entry/query_driver.h"

#include "win/errors.h"

// TODO: the driver.
HRESULT RunQueryDocument(const WCHAR* queryDocument, BSTR* result) noexcept {
    (void)queryDocument;
    (void)result;
    return E_NOTIMPL;
}
