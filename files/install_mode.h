// Whether the library runs inside the agent's installer. Stateless; any thread.
#pragma once

// True when the installer's variable "Zor_{407B8F95-9674-45e8-B441-969669DBEB56}" is
// exactly "OK" or exactly "Silent".
bool IsInstallMode();
