// Automation: BSTR, VARIANT, SAFEARRAY.
#pragma once

#include "win/types.h"

#include <oleauto.h>
