// The abstract query: one query element of a query document, initialised from the element
// and executed once. Every query carries a result collector (its base).
#pragma once

#include <string>

#include "entry/inv_collector.h"
#include "kvwin/wide_string.h"
#include "xml/dom_pointers.h"

// The collector's defaults for every query kind.
inline constexpr const WCHAR* kQueryDataClass = TEXT("Dummy Dataclass");
inline constexpr const WCHAR* kQueryEventId = TEXT("50FBF1F5-17C5-47f1-92A8-D800B2515535");

class CQuery : public InvCollector {
  public:
    ~CQuery() override = default;

    // Reads the query element. Negative means the query cannot run.
    virtual HRESULT Initialize(IXMLDOMElementPtr& query) = 0;
    // Runs the query and stores its output text. Negative means it failed.
    virtual HRESULT Execute(WString& output) = 0;

  protected:
    // Builds the collector with the defaults; throws what the event component raises.
    CQuery() : InvCollector(kQueryDataClass, nullptr, kQueryEventId) {}
};
