#include "script/script_query.h"

// TODO: the script host; until it exists a script query cannot be initialised.
HRESULT CScriptQuery::Initialize(IXMLDOMElementPtr& query) {
    (void)query;
    return E_NOTIMPL;
}

HRESULT CScriptQuery::Execute(std::u16string& output) {
    (void)output;
    return E_NOTIMPL;
}
