// The rows a WMI query yields: one row map per WMI object, in the order the objects arrived.
//
// A row map holds, for each property name of the query's select list, the property's value
// as text. Names are compared code unit by code unit (case-sensitive), so "Name" and "name"
// are two entries. A property that could not be read, or whose value was null, has no entry;
// a row map may be empty.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "kvwin/wide_string.h"

using WMIRowMap = std::map<WString, WString>;
using WMIRows = std::vector<WMIRowMap>;
