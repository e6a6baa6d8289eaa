// The print spooler.
#pragma once

#include "win/types.h"

#include <winspool.h>
