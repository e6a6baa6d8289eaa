// The agent's event component's interfaces, as the MIDL compiler would write them for the
// Windows build. The Linux build's header (components/hubevent/include/hubevent/hub_event.h)
// documents each method; the two must keep the same methods in the same order and the same
// identifiers.
#pragma once

#include "win/com.h"
#include "win/oleauto.h"

MIDL_INTERFACE("E72C8BC2-E6E9-4CEE-8B80-351A12AB06FD")
IHubDataRow : public IUnknown {
  public:
    STDMETHOD(SetValue)(VARIANT column, VARIANT value) = 0;
};
__CRT_UUID_DECL(IHubDataRow, 0xE72C8BC2, 0xE6E9, 0x4CEE, 0x8B, 0x80, 0x35, 0x1A, 0x12, 0xAB, 0x06,
                0xFD)

MIDL_INTERFACE("50F100F5-9BF3-4419-AE1C-B3AB0A0BF48C")
IHubColumnList : public IUnknown {
  public:
    STDMETHOD(SetColumnOption)(ULONG column, LONG option) = 0;
};
__CRT_UUID_DECL(IHubColumnList, 0x50F100F5, 0x9BF3, 0x4419, 0xAE, 0x1C, 0xB3, 0xAB, 0x0A, 0x0B,
                0xF4, 0x8C)

MIDL_INTERFACE("E2E88522-20A6-427E-8167-1D7303118167")
IHubDataBlock : public IUnknown {
  public:
    STDMETHOD(AddRow)(VARIANT reserved, IHubDataRow * *row) = 0;
    STDMETHOD(GetColumns)(IHubColumnList * *columns) = 0;
};
__CRT_UUID_DECL(IHubDataBlock, 0xE2E88522, 0x20A6, 0x427E, 0x81, 0x67, 0x1D, 0x73, 0x03, 0x11, 0x81,
                0x67)

MIDL_INTERFACE("058E026E-D647-4C7F-A67B-316617B0B9F2")
IZorHubEvent : public IUnknown {
  public:
    STDMETHOD(SetEventGuid)(BSTR id) = 0;
    STDMETHOD(GetDefaultResource)(IDispatch * *resource) = 0;
    STDMETHOD(AddDataBlock)(VARIANT name, VARIANT resource, IHubDataBlock * *block) = 0;
    STDMETHOD(GetXml)(BSTR * xml) = 0;
    STDMETHOD(SetEventOption)(LONG option) = 0;
};
__CRT_UUID_DECL(IZorHubEvent, 0x058E026E, 0xD647, 0x4C7F, 0xA6, 0x7B, 0x31, 0x66, 0x17, 0xB0, 0xB9,
                0xF2)

// The event class, "ZorHub.Event".
class DECLSPEC_UUID("D415FA5B-7A37-466E-8E1D-E4FC28E44D10") ZorHubEvent;
__CRT_UUID_DECL(ZorHubEvent, 0xD415FA5B, 0x7A37, 0x466E, 0x8E, 0x1D, 0xE4, 0xFC, 0x28, 0xE4, 0x4D,
                0x10)
inline constexpr CLSID CLSID_ZorHubEvent = {
    0xD415FA5B, 0x7A37, 0x466E, {0x8E, 0x1D, 0xE4, 0xFC, 0x28, 0xE4, 0x4D, 0x10}};
