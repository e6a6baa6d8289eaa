// A query made ready to run (parsed and checked against its class), and running it: the
// provider is asked for the class's instances, the WHERE condition picks the matching ones
// and each becomes a class object (partial when the query has a select list).
//
// When the WHERE condition requires `property = literal` (alone or within a top-level AND),
// those equalities go to the source first (NamespaceSource::Lookup), so a class that can
// find an instance by its key answers without listing the others; the whole condition is
// still tested on what it gives. A source that cannot look up is enumerated instead.
//
// ASSOCIATORS OF {path} and REFERENCES OF {path} run over the namespace's association
// classes (those with reference properties): an association instance refers to the source
// object when one of its references names it (same class and keys; strings compared
// case-insensitively; a namespace, when the reference has one, the source's). The results
// are the objects its other references name, looked up by key (ASSOCIATORS OF, once per
// association), or the association instances themselves (REFERENCES OF). AssocClass,
// ResultClass, Role and ResultRole filter by name; ClassDefsOnly gives each result class's
// definition once; KeysOnly gives objects with only their keys (and system properties).
// RequiredQualifier and RequiredAssocQualifier are accepted and ignored: no class here has
// qualifiers to require. A class path as the source gives no results. A source instance
// that does not exist ends the query with WBEM_E_NOT_FOUND.
//
// Errors a query gives before it runs:
//   WBEM_E_INVALID_QUERY_TYPE   a language other than "WQL" (any case)
//   WBEM_E_INVALID_QUERY        malformed text, a property the class lacks, see wql/binder.h;
//                               an ASSOCIATORS OF path that is not an object path
//   WBEM_E_NOT_FOUND            an ASSOCIATORS OF path whose class the namespace lacks
//   WBEM_E_INVALID_CLASS        a class the namespace does not hold
//   WBEM_E_INVALID_PARAMETER    a null query text
// Thread safety: a PreparedQuery is immutable and may be run from any thread.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "service/namespace_source.h"
#include "win/comdef.h"
#include "wql/ast.h"

_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));

namespace kvwmi {

struct ObjectPath;

struct PreparedQuery {
    std::shared_ptr<const NamespaceSource> source;
    const ClassDecl* decl = nullptr;  // for ASSOCIATORS OF: the source object's class
    std::shared_ptr<const wql::Query> query;
    std::u16string text;  // for status objects
    // An instance path's reference keys (property index, the reference as written), which
    // match by what they name rather than as text (SameReference); a row must match them
    // besides the condition.
    std::vector<std::pair<int, std::u16string>> references;
};

// Whether a row satisfies the prepared query's condition and reference keys.
bool RowMatches(const PreparedQuery& prepared, const Instance& values);

HRESULT PrepareQuery(const BSTR language, const BSTR text,
                     const std::shared_ptr<const NamespaceSource>& source, PreparedQuery& out);
// SELECT * FROM <class name>, for CreateInstanceEnum.
HRESULT PrepareClassQuery(const BSTR class_name,
                          const std::shared_ptr<const NamespaceSource>& source, PreparedQuery& out);

// The instance an object path names, as a query of its keys (`keys_only`: a partial object
// with just its keys). WBEM_E_INVALID_OBJECT_PATH when the path's keys are not the class's.
HRESULT PreparePathQuery(const ObjectPath& path,
                         const std::shared_ptr<const NamespaceSource>& source,
                         const ClassDecl& decl, bool keys_only, PreparedQuery& out);

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
