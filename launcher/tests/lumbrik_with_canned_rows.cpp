// Built into a test copy of the launcher beside its real main: WMI-kind documents become
// canned-rows queries there for the whole life of the process, so the launcher road can be
// run end to end with a query that succeeds.
#include "canned_rows_kind.h"
#include "entry/query_factory.h"

namespace {

const ScopedQueryMaker g_cannedRows{QueryKind::Wmi, MakeCannedRowsQuery};

}  // namespace
