// The __ExtendedStatus object a failed asynchronous call hands to SetStatus. Its
// properties: Description, Operation, ParameterInfo, ProviderName, ObjectInfo (strings),
// StatusCode and ErrorCode (uint32, read as VT_I4); a field not given reads as VT_NULL.
// Thread safe (an immutable object, see service/class_object.h).
#pragma once

#include "service/namespace_source.h"

namespace kvwmi {

IWbemClassObject* CreateStatusObject(const StatusFields& fields);

}  // namespace kvwmi
