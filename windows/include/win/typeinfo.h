// ITypeInfo and IProvideClassInfo.
#pragma once

#include "win/types.h"

#include <oaidl.h>
#include <ocidl.h>
