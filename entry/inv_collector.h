// The result collector every query carries: it fills one data block of the agent's event
// component row by row and cuts the row elements out of the event's XML.
//
// One collector per query object, used by one thread at a time, in the apartment of the
// thread that built it. Component failures are raised as _com_error (the failing HRESULT
// and the error information of the interface called); a call through a missing object
// raises E_POINTER.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entry/hub_pointers.h"
#include "kvwin/wide_string.h"

class InvCollector {
  public:
    // Uses `event`, or creates one with eventId when it is null; adds the default resource,
    // sets the event option 0 and adds the data block `dataClass` ("Dummy Dataclass" when
    // null or empty). Throws what the component raises.
    InvCollector(const WCHAR* dataClass, IZorHubEvent* event, const WCHAR* eventId);
    virtual ~InvCollector();
    InvCollector(const InvCollector&) = delete;
    InvCollector& operator=(const InvCollector&) = delete;

    // Creates an event object and gives it the identifier text.
    static IZorHubEventPtr CreateHubEvent(const WCHAR* eventId);

    // Reads the event's default resource; a missing one, or a failure to get it, is logged
    // and leaves the resource empty.
    void AddDefaultResourceInfo();
    void AddDataBlock(const WCHAR* dataClass);
    // Appends a row; later column values go to it.
    void AddRow();
    // Sets a column of the current row to value, with every character below U+0020
    // removed and white space trimmed at both ends.
    void SetColumnValue(uint32_t column, const WString& value);
    // The text from the first "<row" of the event's XML to the next "</resource>", trimmed;
    // empty when either is missing.
    void GetRowsXml(WString& rows);

  private:
    IZorHubEventPtr event_;
    IDispatchPtr resource_;
    IHubDataBlockPtr data_block_;
    IHubDataRowPtr current_row_;
    // The data block's column list, asked for once, and the columns already given option 1
    // through it (the option is the block's, whatever the row).
    IHubColumnListPtr columns_;
    std::vector<bool> column_set_;
};

// The value cleaning of SetColumnValue.
WString CleanColumnValue(const WString& value);
// The cut of GetRowsXml.
WString CutRows(WStringView eventXml);
