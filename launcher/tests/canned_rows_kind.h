// A WMI-kind query for tests of the whole road: it reads the query element's "value"
// attribute and returns one row holding it, through the real result collector and event
// component, without asking WMI anything.
#pragma once

#include <memory>

#include "entry/query.h"

std::shared_ptr<CQuery> MakeCannedRowsQuery();
