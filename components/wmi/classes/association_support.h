// What the association classes share. An association's instances are computed from the
// instances of the classes it links: each is a pair of references, object paths in the form
// WMI gives them (\\SERVER\root\cimv2:Win32_DiskDrive.DeviceID="/dev/sda"), made from the
// endpoint's keys. Pure functions over the registered classes; safe from any thread.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "provider/class_decl.h"

namespace kvwmi {

// The instances of another class of root\cimv2 with at least `properties` computed (besides
// the keys); `decl` is set to the class, or null (and nothing returned) when it is not
// registered in this program.
std::vector<Instance> EndpointInstances(std::u16string_view class_name,
                                        std::initializer_list<std::u16string_view> properties,
                                        const ClassDecl*& decl);

// A property's value in an instance of `decl`, or null when the class lacks it.
const CimValue& ValueOf(const ClassDecl& decl, const Instance& instance,
                        std::u16string_view property);

// The reference to an instance of `decl`: its path with every key, strings in double quotes
// (`"` and `\` escaped), numbers in decimal. Null when a key is null.
CimValue ReferenceTo(const ClassDecl& decl, const Instance& instance);

// The reference to an instance of a root\cimv2 class from its keys, given in the class's key
// order, each a string or a number.
CimValue ReferenceTo(std::u16string_view class_name,
                     std::initializer_list<std::pair<std::u16string_view, CimValue>> keys);

}  // namespace kvwmi
