// Checks a parsed query against its class and fills in every property reference's index
// and CIM type. Pure function, thread safe.
//
// WBEM_E_INVALID_QUERY when
//   - the select list names a property the class does not declare (system properties such
//     as __RELPATH may be selected; their index stays -1),
//   - the WHERE condition names an undeclared or a system property,
//   - an array property is compared or matched with LIKE (only IS [NOT] NULL applies),
//   - a LIKE pattern has an unclosed `[`.
// The caller has already found the class (WBEM_E_INVALID_CLASS otherwise).
#pragma once

#include "provider/class_decl.h"
#include "wql/ast.h"

namespace kvwmi::wql {

// Why a query did not bind: the property at fault, as written, and what is wrong with it.
struct BindFault {
    std::u16string property;
    std::u16string reason;  // "is not a property of the class", ...
};

HRESULT Bind(Query& query, const ClassDecl& decl, BindFault* fault = nullptr);

}  // namespace kvwmi::wql
