// Smart pointers for the event component's interfaces.
#pragma once

#include "hubevent/hub_event.h"
#include "win/comdef.h"

_COM_SMARTPTR_TYPEDEF(IZorHubEvent, __uuidof(IZorHubEvent));
_COM_SMARTPTR_TYPEDEF(IHubDataBlock, __uuidof(IHubDataBlock));
_COM_SMARTPTR_TYPEDEF(IHubColumnList, __uuidof(IHubColumnList));
_COM_SMARTPTR_TYPEDEF(IHubDataRow, __uuidof(IHubDataRow));
