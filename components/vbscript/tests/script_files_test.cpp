// The behaviour scripts in scripts/*.vbs.
#include "vbs_test_support.h"
