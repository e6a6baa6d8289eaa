#include "log/event_log.h"

#include <thread>

#include "entry/singleton/singleton.h"
#include "files/file_operations.h"
#include "files/path_text.h"
#include "files/program_files.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "log/console_output.h"
#include "log/event_record.h"
#include "log/held_records.h"
#include "log/impersonation_pause.h"
#include "log/install_log.h"
#include "log/log_configuration.h"
#include "log/log_rotation.h"
#include "log/severity.h"
#include "platform/os_detector.h"
#include "platform/token_security.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/kernel_objects.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/security.h"
#include "win/shell.h"
#include "win/sysinfo.h"
#include "win/systime.h"
#include "win/text.h"

namespace {

constexpr const WCHAR* kLogMutexName = TEXT("Global\\AGENTLOGMUTEX");
constexpr const WCHAR* kLowLogMutexName = TEXT("Global\\AGENTLOGMUTEX_Low");
constexpr const WCHAR* kSharedBlockName =
    TEXT("Global\\Zor_{9769A3C3-F9E1-4125-8257-033D6AF3E43B}");
constexpr const WCHAR* kOverrideVariable = TEXT("Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}");

constexpr const WCHAR* kFolderSddl =
    TEXT("D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;BU)");
constexpr const WCHAR* kLowFolderSddl =
    TEXT("D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201ff;;;BU)S:(ML;;NW;;;LW)");
constexpr const WCHAR* kFileSddl = TEXT("D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1201bf;;;BU)");
constexpr const WCHAR* kLowFileSddl =
    TEXT("D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1201ff;;;BU)S:(ML;;NW;;;LW)");

constexpr DWORD kRefreshIntervalMs = 60000;
constexpr DWORD kShutdownWaitMs = 2000;
constexpr size_t kMaxLogPath = 259;
constexpr size_t kMaxRotationPattern = 519;

bool IsVistaOrLater() {
    return OSDetector::GetOSCode() >= 20;
}

// Fills attributes with the descriptor of an SDDL text; on failure the attributes carry none.
void MakeSecurityAttributes(SECURITY_ATTRIBUTES& attributes, const WCHAR* sddl) {
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = FALSE;
    attributes.lpSecurityDescriptor = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                             nullptr))
        attributes.lpSecurityDescriptor = descriptor;
}

void FreeSecurityAttributes(SECURITY_ATTRIBUTES& attributes) {
    if (attributes.lpSecurityDescriptor) {
        LocalFree(attributes.lpSecurityDescriptor);
        attributes.lpSecurityDescriptor = nullptr;
    }
}

WString ProcessFileName(HMODULE module) {
    WCHAR path[MAX_PATH] = {};
    if (!GetModuleFileNameExW(GetCurrentProcess(), module, path, MAX_PATH))
        return {};
    return GetFileNamePart(path);
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&GetEventLog), &module);
    return module;
}

WString HostName() {
    WString name(512, TEXT('\0'));
    DWORD size = 512;
    if (!GetComputerNameExW(ComputerNamePhysicalDnsHostname, name.data(), &size) &&
        GetLastError() == ERROR_MORE_DATA) {
        name.assign(size + 1, TEXT('\0'));
        size = static_cast<DWORD>(name.size());
        if (!GetComputerNameExW(ComputerNamePhysicalDnsHostname, name.data(), &size))
            size = 0;
    }
    name.resize(std::char_traits<WCHAR>::length(name.c_str()));
    if (name.empty()) {
        WCHAR netbios[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(netbios, &length))
            name = netbios;
    }
    return name;
}

void RemoveOneTrailingSeparator(WString& path) {
    if (!path.empty() && (path.back() == TEXT('\\') || path.back() == TEXT('/')))
        path.pop_back();
}

bool FolderExists(const WString& folder) {
    return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// The log mutex for one record, with the owner noted for diagnostics.
class EventLog::MutexLock {
  public:
    explicit MutexLock(EventLog& log) : m_log(log) {
        if (!log.m_mutex)
            return;
        const DWORD result = WaitForSingleObject(log.m_mutex, log.m_lockTimeout);
        m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        if (m_held)
            log.m_lockOwner = GetCurrentThreadId();
    }
    ~MutexLock() {
        if (m_held) {
            m_log.m_lockOwner = 0;
            ReleaseMutex(m_log.m_mutex);
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool Held() const { return m_held; }

  private:
    EventLog& m_log;
    bool m_held = false;
};

EventLog::EventLog() {
    m_nextCheck.store(GetTickCount() + kRefreshIntervalMs);

    DWORD rid = 0;
    m_lowIntegrity = GetTokenIntegrityRid(rid) && rid == kLowIntegrityRid;

    const WCHAR* mutexName = m_lowIntegrity ? kLowLogMutexName : kLogMutexName;
    m_mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, mutexName);
    if (!m_mutex && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // A null DACL: every process of every user may take it.
        SECURITY_DESCRIPTOR open{};
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &open, FALSE};
        m_mutex = CreateMutexW(&attributes, FALSE, mutexName);
    }

    MakeSecurityAttributes(m_folderSecurity, m_lowIntegrity ? kLowFolderSddl : kFolderSddl);
    MakeSecurityAttributes(m_fileSecurity, m_lowIntegrity ? kLowFileSddl : kFileSddl);

    m_record.reserve(8192);
    m_message.reserve(8192);
    m_source.reserve(256);
    m_utf8.reserve(8192);

    RegistryKey key(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
    m_initialised.store(1);

    m_processName = ProcessFileName(nullptr);
    m_moduleName = ProcessFileName(ThisModule());
    m_hostName = HostName();

    const LogLimits limits = key.IsOpen() ? ReadLogLimits(key) : LogLimits{};
    m_severityMask.store(limits.severityMask);
    m_maxSizeKb.store(limits.maxSizeKb);
    m_maxFiles.store(limits.maxFiles);

    const auto configuredPath = key.Text(TEXT("FilePath"), 1040);
    ChooseFolder(configuredPath ? &*configuredPath : nullptr);
    PrepareServiceFolders();

    const WString fileName = key.Text(TEXT("FileName"), 520).value_or(TEXT("Agent.log"));
    m_logPath = m_folder + TEXT("\\") + fileName;
    const size_t dot = fileName.rfind(TEXT('.'));
    const WString stem = dot == WString::npos ? fileName : fileName.substr(0, dot);
    const WString extension = dot == WString::npos ? TEXT("") : fileName.substr(dot);
    m_rotationPattern = m_folder + TEXT("\\") + stem + TEXT("*") + extension;
    if (m_logPath.size() > kMaxLogPath || m_rotationPattern.size() > kMaxRotationPattern) {
        // Too long for the agent's other processes to share: no file records here.
        m_logPath.clear();
        m_folder.clear();
    }

    ReadOverride();

    const uint32_t zero = 0;
    if (m_sharedBlock.Create(kSharedBlockName, sizeof zero, &zero,
                             GetSharedObjectSecurityAttributes(), false) == ERROR_SUCCESS)
        m_lastGeneration.store(
            std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(m_sharedBlock.Data())).load());
}

EventLog::~EventLog() {
    m_initialised.store(0);
    const DWORD start = GetTickCount();
    while (m_activeWriters.load() > 0 && GetTickCount() - start < kShutdownWaitMs)
        Sleep(50);
    FreeSecurityAttributes(m_fileSecurity);
    FreeSecurityAttributes(m_folderSecurity);
    m_sharedBlock.Close();
    if (m_mutex)
        CloseHandle(m_mutex);
}

void EventLog::ChooseFolder(const WString* configuredPath) {
    WString folder;
    if (configuredPath) {
        folder = *configuredPath;
    } else {
        WCHAR common[MAX_PATH] = {};
        if (IsVistaOrLater() &&
            SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common)))
            folder = WString(common) + TEXT("\\Norvale\\Norvale Agent\\Logs");
        if (folder.empty()) {
            WString programFiles = GetProgramFilesFolder();
            RemoveOneTrailingSeparator(programFiles);
            folder = programFiles + TEXT("\\Quillon\\Quillon Agent\\Logs");
        }
    }
    if (folder.empty()) {
        WCHAR temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        folder = length && length <= MAX_PATH ? WString(temp, length) : TEXT("C:\\TEMP");
    }

    WCHAR expanded[520] = {};
    const DWORD length = ExpandEnvironmentStringsW(folder.c_str(), expanded, 520);
    if (length && length <= 520)
        folder = expanded;
    RemoveOneTrailingSeparator(folder);
    if (m_lowIntegrity)
        folder += TEXT("\\Low");
    m_folder = folder;
}

void EventLog::PrepareServiceFolders() {
    // Only the agent's own services, running as LocalSystem, set up the shared folders.
    if (_wcsicmp(m_processName.c_str(), TEXT("zorhubagent.exe")) != 0 &&
        _wcsicmp(m_processName.c_str(), TEXT("velagent.exe")) != 0)
        return;
    HandleHolder token;
    if (!OpenCurrentProcessToken(token, TOKEN_QUERY) || !IsLocalSystemToken(token.Get()))
        return;

    if (FolderExists(m_folder))
        SetFileSecurityW(m_folder.c_str(), DACL_SECURITY_INFORMATION,
                         m_folderSecurity.lpSecurityDescriptor);
    else
        CreateDirectoryPath(m_folder.c_str(), &m_folderSecurity, LogSuppress);

    if (!IsVistaOrLater())
        return;
    SECURITY_ATTRIBUTES low{};
    MakeSecurityAttributes(low, kLowFolderSddl);
    const WString lowFolder = m_folder + TEXT("\\Low");
    if (lowFolder.size() <= kMaxRotationPattern) {
        if (FolderExists(lowFolder))
            SetFileSecurityW(lowFolder.c_str(),
                             DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                             low.lpSecurityDescriptor);
        else
            CreateDirectoryPath(lowFolder.c_str(), &low, LogSuppress);
    }
    FreeSecurityAttributes(low);
}

void EventLog::ReadOverride() {
    WCHAR text[25] = {};
    const DWORD length = GetEnvironmentVariableW(kOverrideVariable, text, 25);
    if (!length || length >= 25)
        return;
    const uint32_t word = ParseLogOverride(text);
    if (word == kNoLogOverride)
        return;
    m_override.store(word);
    const WString canonical = kvwin::Format(TEXT("%08X"), word);
    SetEnvironmentVariableW(kOverrideVariable, canonical.c_str());
}

uint32_t EventLog::RefreshConfiguration(uint32_t& maxSizeKb, uint32_t& maxFiles, bool force) {
    if (!m_initialised.load()) {
        maxSizeKb = 0;
        maxFiles = 0;
        return 0;
    }
    if (!force && m_sharedBlock.Data()) {
        const uint32_t generation =
            std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(m_sharedBlock.Data())).load();
        if (generation != m_lastGeneration.exchange(generation))
            force = true;
    }
    const DWORD now = GetTickCount();
    if (force || now > m_nextCheck.load()) {
        RegistryKey key(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
        if (key.IsOpen()) {
            const LogLimits limits = ReadLogLimits(key);
            m_severityMask.store(limits.severityMask);
            m_maxSizeKb.store(limits.maxSizeKb);
            m_maxFiles.store(limits.maxFiles);
        }
        m_nextCheck.store(now + kRefreshIntervalMs);
    }
    maxSizeKb = m_maxSizeKb.load();
    maxFiles = m_maxFiles.load();
    return m_severityMask.load();
}

bool EventLog::Passes(const ResolvedSeverity& resolved, uint32_t mask) {
    return ((mask | resolved.extraMask) & resolved.level) != 0 && !(resolved.flags & LogSuppress);
}

bool EventLog::WouldRecord(uint32_t severity) {
    uint32_t maxSizeKb = 0;
    uint32_t maxFiles = 0;
    const uint32_t mask = RefreshConfiguration(maxSizeKb, maxFiles, false);
    return Passes(ResolveSeverity(severity, m_override.load()), mask);
}

void EventLog::WriteEvent(uint32_t severity, const WCHAR* source, const WCHAR* message,
                          std::atomic<uint32_t>** activeWriters) {
    if (!message || !*message)
        return;
    const ResolvedSeverity resolved = ResolveSeverity(severity, m_override.load());
    uint32_t maxSizeKb = 0;
    uint32_t maxFiles = 0;
    const uint32_t mask = RefreshConfiguration(maxSizeKb, maxFiles, false);
    if (!Passes(resolved, mask))
        return;

    if (resolved.flags & LogToInstallLog) {
        MutexLock lock(*this);
        if (!lock.Held())
            return;
        WriteInstallLogLine(SeverityTag(resolved.level), source, message);
    }
    if (resolved.flags & LogToConsole) {
        MutexLock lock(*this);
        if (!lock.Held())
            return;
        ConsolePrint(TEXT("%ls\t%ls\t\t%ls\r\n"), SeverityTag(resolved.level), source, message);
    }
    if (!source || m_folder.empty() || maxSizeKb == 0 || maxFiles == 0)
        return;

    MutexLock lock(*this);
    if (!lock.Held())
        return;
    m_activeWriters.fetch_add(1);
    *activeWriters = &m_activeWriters;
    WriteToFile(resolved.level, source, message, maxSizeKb, maxFiles);
}

void EventLog::WriteToFile(uint32_t level, const WCHAR* source, const WCHAR* message,
                           uint32_t maxSizeKb, uint32_t maxFiles) {
    const ImpersonationPause asProcess;

    if (!FolderExists(m_folder) &&
        !CreateDirectoryPath(m_folder.c_str(), &m_folderSecurity, LogSuppress))
        return;

    uint64_t size = 0;
    {
        WIN32_FIND_DATAW found{};
        const HANDLE find = FindFirstFileW(m_logPath.c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            FindClose(find);
        }
    }
    if (size > static_cast<uint64_t>(maxSizeKb) * 1024 &&
        !RotateLogFile(m_folder, m_logPath, m_rotationPattern, maxFiles))
        return;

    const HANDLE file =
        CreateFileW(m_logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &m_fileSecurity, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{file};

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const WString date = FormatLogDate(now, CurrentUtcBias());
    const RecordOrigin origin{m_hostName,           m_moduleName,
                              m_processName,        GetCurrentProcessId(),
                              GetCurrentThreadId(), GetTickCount() & 0x7FFFFFFF};
    m_source.assign(source);
    m_message.assign(message);
    ComposeEventRecord(m_record, date, level, origin, m_source, m_message);

    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, m_record.data(), static_cast<int>(m_record.size()), nullptr,
                            0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    m_utf8.resize(static_cast<size_t>(bytes));
    if (WideCharToMultiByte(CP_UTF8, 0, m_record.data(), static_cast<int>(m_record.size()),
                            m_utf8.data(), bytes, nullptr, nullptr) != bytes)
        return;

    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END))
        return;
    // The file stays a sequence of whole records: what a full disk cut short is cut off again
    // (the log mutex is held, so the end is still this record's start).
    const auto writeWhole = [file](const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    };
    bool whole = true;
    if (end.QuadPart == 0) {
        const WString headerText = ReadLogFileHeader();
        if (!headerText.empty() && ComposeHeaderRecord(m_header, date, origin, headerText))
            whole = writeWhole(m_header);
    }
    if (whole)
        whole = writeWhole(m_utf8);
    if (!whole && SetFilePointerEx(file, end, nullptr, FILE_BEGIN))
        SetEndOfFile(file);
}

EventLog& GetEventLog() {
    using Log = Utility::SingletonT<EventLog, 255>;
    if (Log::State() != 0)
        return Log::Instance();
    // The first use: what the construction logs is held and written once the object exists.
    log_detail::HeldRecordCollector held;
    EventLog& log = Log::Instance();
    held.WriteTo(log);
    return log;
}
