// Decides whether an instance satisfies a bound WHERE condition (wql/binder.h).
//
//   - A null property satisfies only IS NULL (and `= NULL`); every other comparison with it
//     is false, and NOT turns that into true (two-valued logic).
//   - Strings and date-times compare case-insensitively (wql/case_fold.h); a number
//     literal compared with a string property compares as the text it was written as.
//   - Numbers compare by value, exactly between integers of any width and sign; a string
//     literal compared with a number property is read as a number (no match when it is
//     not one).
//   - Booleans compare with TRUE/FALSE, with numbers (non-zero is TRUE) and with the texts
//     "TRUE"/"FALSE"; only = and <> are meaningful for them.
//   - LIKE matches the property's text (numbers in decimal).
// Pure function, thread safe.
#pragma once

#include "provider/class_decl.h"
#include "wql/ast.h"

namespace kvwmi::wql {

bool Matches(const Condition& condition, const Instance& values);

}  // namespace kvwmi::wql
