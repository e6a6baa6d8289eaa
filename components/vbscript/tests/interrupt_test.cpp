// Interruption and deep recursion.
#include "vbs_test_support.h"
