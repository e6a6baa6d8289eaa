// kavrel-query's WMI face: a WQL statement, the classes of a namespace and one class's
// properties, read from the WMI service itself (IWbemServices), and the table, CSV, JSON
// and XML texts they are printed as.
//
// The calling thread must be in a COM apartment. Nothing here keeps state between calls;
// any thread.
#pragma once

#include <string>
#include <vector>

#include "win/errors.h"
#include "win/types.h"

// One value as WMI typed it; arrays keep their elements.
struct WqlValue {
    enum class Kind { Null, Boolean, Number, Text, Array };
    Kind kind = Kind::Null;
    std::string text;  // Boolean: "true"/"false"; Number: decimal; Text: UTF-8
    std::vector<WqlValue> items;
};

// Named columns and rows of values: a statement's result, a class list, a description.
struct WqlTable {
    std::vector<std::string> columns;
    std::vector<std::vector<WqlValue>> rows;
};

enum class OutputFormat { Table, Csv, Json, Xml };

// "table", "csv", "json", "xml"; false for anything else.
bool ParseOutputFormat(const std::string& name, OutputFormat& format);

// Runs a WQL statement in a namespace. The columns are the statement's select list as
// written (for "*", the class's own properties in declaration order).
HRESULT RunWql(const std::string& ns, const std::string& statement, WqlTable& table);

// The classes of a namespace: one column "Class", one row each, sorted by name.
HRESULT ListClasses(const std::string& ns, WqlTable& table);

// One row per property of a class: Property, CimType ("string", "uint32[]"), Key
// (boolean) and Source (the Linux source the class page documents; null when it names
// none).
HRESULT DescribeClass(const std::string& ns, const std::string& className, WqlTable& table);

// The text of a table in a format, ending with a line break (JSON: an array of objects
// keyed by column, typed values, arrays as arrays; XML: <rows><row><Name>...</Name>...).
std::string FormatTable(const WqlTable& table, OutputFormat format);

// "string", "uint64", "datetime", "sint32[]": WMI's name for a CIM type.
std::string CimTypeName(long type);

// The Linux source of a property as the class page (docs/wmi-classes.md, built into the
// tool) documents it, or empty. Names compare ASCII case-insensitively.
std::string DocumentedSource(const std::string& className, const std::string& property);
