// A WMI query's definition: the namespace, the WQL statement and the property bindings,
// as read from the query element.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kvwin/wide_string.h"

// One property of the select list and the column it fills.
struct WMIPropertyInfo {
    WString name;        // the property name, as written in the select list
    int32_t mapsTo = 0;  // the column of the data block
    WString function;    // the conversion applied to its values; empty for none
    WString param;       // the conversion's parameter
};

struct WMIQueryInfo {
    WString namespace_;                       // "root\cimv2", without the machine part
    WString query;                            // the complete WQL statement
    std::vector<WMIPropertyInfo> properties;  // in document order
};
