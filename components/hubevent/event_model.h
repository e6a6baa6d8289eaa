// The content of one event and its XML form, apart from COM. Not thread safe by itself:
// the COM objects guard one model with the model's lock.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kvwin/held_memory.h"

namespace kvhub {

struct HubRow {
    std::map<uint32_t, std::u16string> values;  // by column index
};

struct HubBlock {
    std::u16string data_class;
    std::u16string resource_name;
    std::map<uint32_t, long> column_options;  // by column index
    std::vector<HubRow> rows;
};

// What the model keeps counts against the process-wide bound on memory objects hold for
// scripts: a fixed cost for each block, row and value (or column option), and two bytes a
// character of its texts. A call that would pass the bound fails with E_OUTOFMEMORY.
inline constexpr size_t kHubBlockBytes = 128;
inline constexpr size_t kHubEntryBytes = 64;  // a row, a value or a column option

struct HubEventModel {
    std::mutex lock;
    kvwin::HeldMemory held;  // charged for the blocks, rows and values
    std::u16string guid;
    long option = 0;
    std::vector<HubBlock> blocks;
};

// Option bit of a column: the column is part of the block's table.
inline constexpr long kColumnInTable = 1;

// The event as XML text (UTF-16, no declaration):
//
//   <event guid="G" option="0">
//   <resource name="R" dataclass="C">
//   <row><value column="0">text</value><value column="2"/></row>
//   </resource>
//   </event>
//
// One resource element per data block, its rows the last thing in it, so a block's rows
// stand together before the block's "</resource>". A row lists its values in column order
// and, for every column in the table (option 1), an empty element where it has no value.
// Text is escaped; characters XML cannot carry become U+FFFD; tab, line feed and carriage
// return are written as character references so they survive a parser.
std::u16string EventXml(const HubEventModel& model);

// Text as XML character data or attribute value, as EventXml writes it.
std::u16string EscapeForXml(const std::u16string& text);

}  // namespace kvhub
