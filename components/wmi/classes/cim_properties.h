// The property lists Windows classes inherit unchanged from a CIM base class, for class
// declarations that share them. Each call builds a new list; pure, safe from any thread.
#pragma once

#include <initializer_list>
#include <vector>

#include "provider/class_decl.h"

namespace kvwmi {

// A controller class that adds no property of its own to those of CIM_Controller
// (Win32_IDEController, Win32_USBController): its whole list, in declaration order.
std::vector<PropertyDecl> ControllerProperties();

// The properties of CIM_EnabledLogicalElement, in declaration order, followed by `own`.
std::vector<PropertyDecl> EnabledLogicalElementProperties(std::initializer_list<PropertyDecl> own);

}  // namespace kvwmi
