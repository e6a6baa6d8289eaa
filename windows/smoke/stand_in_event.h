// A stand-in for the agent's event class (ZorHub.Event), registered inside the smoke test's
// process: on a machine with the agent installed its own component serves the class, under
// Wine nothing does. It keeps rows of column values and writes them as the component's XML
// (one resource element per data block, one row element per line). Objects share one lock.
#pragma once

#include <windows.h>

// Registers the class object for this process (multithreaded apartment); returns the
// registration cookie for CoRevokeClassObject, 0 on failure.
DWORD RegisterStandInEvent();
