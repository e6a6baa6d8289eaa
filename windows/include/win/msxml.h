// The XML DOM.
#pragma once

#include "win/types.h"

#include <msxml2.h>
