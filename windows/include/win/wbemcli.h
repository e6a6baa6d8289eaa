// WMI client interfaces.
#pragma once

#include "win/types.h"

#include <wbemidl.h>
