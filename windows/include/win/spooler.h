// The print spooler.
#pragma once

#include <winspool.h>
#include "win/types.h"
