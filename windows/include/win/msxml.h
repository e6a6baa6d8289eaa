// The XML DOM.
#pragma once

#include <msxml2.h>
#include "win/types.h"
