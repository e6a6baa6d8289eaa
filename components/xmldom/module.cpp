// The module's entry points: class objects for the document classes, and whether the
// module may be unloaded.
#include "objects.h"

namespace kvxmldom {

HRESULT ReturnText(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

bool IsDocumentClass(REFCLSID clsid) {
    return clsid == CLSID_DOMDocument || clsid == CLSID_DOMDocument2x ||
           clsid == CLSID_DOMDocument30 || clsid == CLSID_DOMDocument60;
}

}  // namespace

}  // namespace kvxmldom

extern "C" KVWIN_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return kvwin::GetModuleClassObject(
        kvxmldom::IsDocumentClass(rclsid) ? kvxmldom::CreateDocument : nullptr, riid, ppv);
}

extern "C" KVWIN_API HRESULT DllCanUnloadNow() {
    return kvwin::ModuleCanUnloadNow();
}
