// Automation: BSTR, VARIANT, SAFEARRAY.
#pragma once

#include <oleauto.h>
#include "win/types.h"
