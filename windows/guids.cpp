// Identifiers that MinGW-w64's headers declare but its import libraries do not define.
//
// Its msxml2.h spells CLSID_DOMDocument as CLSID_DOMDocument2, which stands here for the
// class the SDK names CLSID_DOMDocument ("Microsoft.XMLDOM").
#include "win/types.h"

#include <initguid.h>

DEFINE_GUID(CLSID_DOMDocument2, 0x2933BF90, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98,
            0x3E, 0x60);
DEFINE_GUID(IID_IActiveScriptParse64, 0xC7EF7658, 0xE1EE, 0x480E, 0x97, 0xEA, 0xD5, 0x2C, 0xB4,
            0xD7, 0x6D, 0x17);
