// The modules error descriptions are read from: the WMI and Internet message libraries of the
// system folder, and the agent's own message module "ZorAgentExt.dll".
//
// Both holders are singletons created on first use (priority 254) and read-only afterwards;
// any thread may use them.
#pragma once

#include "win/types.h"

// "wbem\wmiutils.dll" and "wininet.dll" of the system folder, loaded as data files; a module
// that did not load is null.
struct SystemMessageModulesView {
    HMODULE wmi;
    HMODULE internet;
};
SystemMessageModulesView GetSystemMessageModules();

// The agent's message module and the Win32 error met while locating it (0: usable).
struct AgentMessageModuleView {
    HMODULE module;
    DWORD error;
};
AgentMessageModuleView GetAgentMessageModule();
