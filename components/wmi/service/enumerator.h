// IEnumWbemClassObject over a finished result (ExecQuery, CreateInstanceEnum,
// CreateClassEnum). The query has run to its end before the enumerator exists, whatever
// the flags asked, so Next never waits and its time-out only has to be valid
// (WBEM_INFINITE or not negative).
//
//   Next        up to the count asked; WBEM_S_NO_ERROR when all were there, WBEM_S_FALSE
//               when fewer were; once the objects are used up a query that ended in a
//               failure (a fixture's final status) answers that failure instead.
//   Skip        the same counting, without the objects.
//   Reset, Clone   a fresh or copied position; WBEM_E_INVALID_OPERATION for an enumerator
//               made with WBEM_FLAG_FORWARD_ONLY.
//   NextAsync   WBEM_E_NOT_SUPPORTED.
//
// Thread safe: the position is guarded by a lock; the objects are shared with clones.
#pragma once

#include <memory>
#include <vector>

#include "service/query_run.h"

namespace kvwmi {

IEnumWbemClassObject* CreateEnumerator(std::vector<IWbemClassObjectPtr> objects,
                                       HRESULT final_result, bool forward_only);

}  // namespace kvwmi
