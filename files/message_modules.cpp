#include "files/message_modules.h"

#include <string>

#include "entry/singleton/singleton.h"
#include "files/install_mode.h"
#include "files/module_paths.h"
#include "files/path_text.h"
#include "files/registry_text.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/modules.h"
#include "win/registry.h"
#include "win/text.h"

namespace {

HMODULE LoadAsData(const WString& path) {
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

class SystemMessageModules {
  public:
    SystemMessageModules() {
        WCHAR system[520] = {};
        const UINT length = GetSystemDirectoryW(system, 520);
        if (!length || length >= 520)
            return;
        m_view.wmi = LoadAsData(CombinePath(system, TEXT("wbem\\wmiutils.dll")));
        m_view.internet = LoadAsData(CombinePath(system, TEXT("wininet.dll")));
    }
    ~SystemMessageModules() {
        if (m_view.wmi)
            FreeLibrary(m_view.wmi);
        if (m_view.internet)
            FreeLibrary(m_view.internet);
    }
    SystemMessageModulesView View() const { return m_view; }

  private:
    SystemMessageModulesView m_view{};
};

class AgentMessageModule {
  public:
    AgentMessageModule() {
        if (_wcsicmp(GetFileNamePart(GetModuleFilePath(nullptr)).c_str(), TEXT("httpd.exe")) == 0) {
            m_view.error = ERROR_FILE_NOT_FOUND;
            return;
        }
        if (IsInstallMode()) {
            m_view.module =
                LoadAsData(GetModuleFolder(nullptr) + TEXT("\\x86\\CoreAgentDll\\ZorAgentExt.dll"));
            if (m_view.module) {
                m_owned = true;
            } else {
                m_view.module = GetModuleHandleW(nullptr);  // the installer's own table
            }
            m_view.error = m_view.module ? 0 : GetLastError();
            return;
        }
        WString folder;
        if (!ReadRegistryText(HKEY_LOCAL_MACHINE, TEXT("Software\\Quillon\\Quillon Agent"),
                              TEXT("InstallDir"), KEY_READ, folder)) {
            m_view.error = GetLastError();
            if (!m_view.error)
                m_view.error = ERROR_FILE_NOT_FOUND;
            return;
        }
        RemoveTrailingSeparator(folder);
        m_view.module = LoadAsData(folder + TEXT("\\ZorAgentExt.dll"));
        m_owned = m_view.module != nullptr;
        m_view.error = m_view.module ? 0 : GetLastError();
    }
    ~AgentMessageModule() {
        if (m_owned && m_view.module)
            FreeLibrary(m_view.module);
    }
    AgentMessageModuleView View() const { return m_view; }

  private:
    AgentMessageModuleView m_view{};
    bool m_owned = false;
};

}  // namespace

SystemMessageModulesView GetSystemMessageModules() {
    return Utility::SingletonT<SystemMessageModules, 254>::Instance().View();
}

AgentMessageModuleView GetAgentMessageModule() {
    return Utility::SingletonT<AgentMessageModule, 254>::Instance().View();
}
