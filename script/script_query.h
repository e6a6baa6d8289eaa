// A script query: a VBScript or JScript text and the function in it whose value is the
// query's output.
#pragma once

#include "entry/query.h"

class CScriptQuery : public CQuery {
  public:
    CScriptQuery() = default;
    ~CScriptQuery() override = default;
    HRESULT Initialize(IXMLDOMElementPtr& query) override;
    HRESULT Execute(std::u16string& output) override;
};
