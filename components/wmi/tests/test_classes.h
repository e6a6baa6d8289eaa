// Classes registered in the test program (KAVREL_WMI_CLASS), with fixed instances:
//
//   root\cimv2   Kv_TestTypes   one property of every CIM type, three instances
//   root\cimv2   Kv_TestFails   a fill function that throws
//   root\kavrel\test  Kv_Other  an empty class in a namespace of its own
#pragma once

namespace wmitest {

inline constexpr int kTestTypesCount = 3;

}  // namespace wmitest
