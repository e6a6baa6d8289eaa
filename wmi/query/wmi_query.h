// A WMI query: a namespace, a class, the properties to read with the columns they fill,
// conversion functions, and a filter clause.
#pragma once

#include "entry/query.h"

class CWMIQuery : public CQuery {
  public:
    CWMIQuery() = default;
    ~CWMIQuery() override = default;
    HRESULT Initialize(IXMLDOMElementPtr& query) override;
    HRESULT Execute(std::u16string& output) override;
};
