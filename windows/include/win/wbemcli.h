// WMI client interfaces.
#pragma once

#include <wbemidl.h>
#include "win/types.h"
