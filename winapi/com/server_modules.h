// In-process server modules loaded by activation.
//
// A module is loaded once per native path and stays loaded until CoFreeUnusedLibraries
// finds that no call is under way into it and its DllCanUnloadNow answers S_OK. Thread safe.
#pragma once

#include <memory>
#include <string>

#include "win/com.h"

namespace kvwin::com_detail {

struct ServerModule {
    std::string path;
    void* handle = nullptr;
    LPFNGETCLASSOBJECT get_class_object = nullptr;
    LPFNCANUNLOADNOW can_unload_now = nullptr;  // may be null: never unloaded
    ~ServerModule();
};

// The loaded module for a registered server name (a Windows-style path, a native path, or
// a bare "X.dll" / "libX.so" file name looked for beside the layer). The HRESULT tells why
// it could not be loaded.
HRESULT LoadServerModule(const std::u16string& server, std::shared_ptr<ServerModule>& module);

void FreeUnusedServerModules();
size_t ServerModuleCount();

}  // namespace kvwin::com_detail
