#include "wmi/query/wmi_query.h"

// TODO: the definition and the engine.
HRESULT CWMIQuery::Initialize(IXMLDOMElementPtr& query) {
    (void)query;
    return E_NOTIMPL;
}

HRESULT CWMIQuery::Execute(std::u16string& output) {
    (void)output;
    return E_NOTIMPL;
}
