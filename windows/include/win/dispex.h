// IDispatchEx.
#pragma once

#include "win/types.h"

#include <dispex.h>
