// The agent's event component: an event holds data blocks of rows and columns and writes
// itself as XML. The inventory library fills one data block per query and cuts the row
// elements out of the event's XML (docs/components/hubevent.md gives the format).
//
//   event  = CoCreateInstance(CLSID_ZorHubEvent) as IZorHubEvent
//   event->SetEventGuid(id); event->GetDefaultResource(&resource); event->SetEventOption(0);
//   event->AddDataBlock(name, resource, &block);
//   block->AddRow(omitted, &row); row->SetValue(column, value); ...
//   event->GetXml(&xml);
//
// Objects are free-threaded: one event and everything taken from it share one lock.
#pragma once

#include "win/com.h"
#include "win/oleauto.h"

struct IHubDataRow : IUnknown {
    // Sets the value of a column (an integer index from 0) in this row. A second value for a
    // column replaces the first. VT_EMPTY or VT_NULL clears it; anything else is stored as
    // its text (VariantChangeType to VT_BSTR).
    STDMETHOD(SetValue)(VARIANT column, VARIANT value) = 0;
};
KV_DECLARE_UUID(IHubDataRow, "E72C8BC2-E6E9-4CEE-8B80-351A12AB06FD");

struct IHubColumnList : IUnknown {
    // Option 1 makes the column part of the block's table: every row is written with it,
    // an empty element where the row has no value. Other bits are kept and ignored.
    STDMETHOD(SetColumnOption)(ULONG column, LONG option) = 0;
};
KV_DECLARE_UUID(IHubColumnList, "50F100F5-9BF3-4419-AE1C-B3AB0A0BF48C");

struct IHubDataBlock : IUnknown {
    // Appends a row. The argument is optional (VT_ERROR with DISP_E_PARAMNOTFOUND, or
    // VT_EMPTY); E_INVALIDARG for anything else.
    STDMETHOD(AddRow)(VARIANT reserved, IHubDataRow** row) = 0;
    STDMETHOD(GetColumns)(IHubColumnList** columns) = 0;
};
KV_DECLARE_UUID(IHubDataBlock, "E2E88522-20A6-427E-8167-1D7303118167");

struct IZorHubEvent : IUnknown {
    STDMETHOD(SetEventGuid)(BSTR id) = 0;
    // The event's default resource, an automation object; S_OK with a resource.
    STDMETHOD(GetDefaultResource)(IDispatch** resource) = 0;
    // Adds a data block of class `name` (VT_BSTR, not empty) under `resource` (VT_DISPATCH,
    // possibly null, or omitted). DISP_E_TYPEMISMATCH for other types, E_INVALIDARG for an
    // empty name.
    STDMETHOD(AddDataBlock)(VARIANT name, VARIANT resource, IHubDataBlock** block) = 0;
    STDMETHOD(GetXml)(BSTR* xml) = 0;
    STDMETHOD(SetEventOption)(LONG option) = 0;
};
KV_DECLARE_UUID(IZorHubEvent, "058E026E-D647-4C7F-A67B-316617B0B9F2");

// The event class, "ZorHub.Event".
inline constexpr CLSID CLSID_ZorHubEvent =
    kvwin::GuidFromLiteral("D415FA5B-7A37-466E-8E1D-E4FC28E44D10");
