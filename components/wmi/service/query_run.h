// A query made ready to run (parsed and checked against its class), and running it: the
// provider is asked for the class's instances, the WHERE condition picks the matching ones
// and each becomes a class object (partial when the query has a select list).
//
// Errors a query gives before it runs:
//   WBEM_E_INVALID_QUERY_TYPE   a language other than "WQL" (any case)
//   WBEM_E_INVALID_QUERY        malformed text, a property the class lacks, see wql/binder.h
//   WBEM_E_INVALID_CLASS        a class the namespace does not hold
//   WBEM_E_INVALID_PARAMETER    a null query text
// Thread safety: a PreparedQuery is immutable and may be run from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/namespace_source.h"
#include "win/comdef.h"
#include "wql/ast.h"

_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));

namespace kvwmi {

struct PreparedQuery {
    std::shared_ptr<const NamespaceSource> source;
    const ClassDecl* decl = nullptr;
    std::shared_ptr<const wql::Query> query;
    std::u16string text;  // for status objects
};

HRESULT PrepareQuery(const BSTR language, const BSTR text,
                     const std::shared_ptr<const NamespaceSource>& source, PreparedQuery& out);
// SELECT * FROM <class name>, for CreateInstanceEnum.
HRESULT PrepareClassQuery(const BSTR class_name,
                          const std::shared_ptr<const NamespaceSource>& source, PreparedQuery& out);

struct QueryResult {
    std::vector<IWbemClassObjectPtr> objects;
    DeliveryPlan plan;
    FinalStatus status;
};

// Runs the query now, on the calling thread. A provider that throws gives a result without
// objects whose status is WBEM_E_PROVIDER_FAILURE, with the exception's text as the status
// object's Description.
QueryResult RunQuery(const PreparedQuery& prepared);

// The status object's fields for a failure the service itself reports.
StatusFields ServiceStatus(HRESULT result, const std::u16string& description,
                           const PreparedQuery& prepared);

}  // namespace kvwmi
