#include "log/event_log.h"

#include <ctime>
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
#include "log/log_gate.h"
#include "log/log_rotation.h"
#include "log/refresh_timer.h"
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

#ifdef _WIN32
constexpr const WCHAR* kFolderSddl =
    TEXT("D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;BU)");
constexpr const WCHAR* kFileSddl = TEXT("D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1201bf;;;BU)");
#else
// Linux cannot let Users append without letting them truncate, nor add files to the folder
// without letting them plant the log's name while it is free (after each rotation): Users
// read; who else writes is the writers group's (below).
constexpr const WCHAR* kFolderSddl =
    TEXT("D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
constexpr const WCHAR* kFileSddl = TEXT("D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x120089;;;BU)");
#endif
constexpr const WCHAR* kLowFolderSddl =
    TEXT("D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201ff;;;BU)S:(ML;;NW;;;LW)");
constexpr const WCHAR* kLowFileSddl =
    TEXT("D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1201ff;;;BU)S:(ML;;NW;;;LW)");

// The local group whose members, besides the administrators, may add records: a system
// group the agent's package creates (scripts/setup.sh). Where it exists, the folder and the
// file belong to it and let it write; everybody else may read. Where it does not, only the
// administrators write (no file is writable by everyone: docs/platform/security.md).
constexpr const WCHAR* kLogWritersGroup = TEXT("kavrel-log");

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

// The SID text of the log's writers group, empty where there is no such group.
WString LogWritersSid() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    WCHAR domain[256];
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (!LookupAccountNameW(nullptr, kLogWritersGroup, sid, &sidSize, domain, &domainSize, &use) ||
        (use != SidTypeAlias && use != SidTypeGroup))
        return {};
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    WString result(text);
    LocalFree(text);
    return result;
}

// The folder's and the file's descriptors with the writers group: it owns both and may add
// records (no delete: it cannot remove or replace another's file); Users read.
WString WritersFolderSddl(const WString& writers) {
    return TEXT("G:") + writers + TEXT("D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;") +
           writers + TEXT(")(A;OICI;0x1200a9;;;BU)");
}

WString WritersFileSddl(const WString& writers) {
    return TEXT("G:") + writers + TEXT("D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x12019f;;;") +
           writers + TEXT(")(A;ID;0x120089;;;BU)");
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

// The clock rule of the timed re-read, kept beside the refresh timer for the calls that reach
// the log object (and for a process where no timer thread could be made): whole seconds; a
// clock set back makes the re-read due at once rather than never.
constexpr int64_t kRefreshSeconds = 60;

int64_t NextRefreshTime() {
    return static_cast<int64_t>(std::time(nullptr)) + kRefreshSeconds;
}

bool RefreshDueByClock(int64_t refreshAt) {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    return now >= refreshAt || now + kRefreshSeconds < refreshAt;
}

// The refresh timer is a thread: a process that ends soon after its first calls (a
// launcher's worker) is spared it. Until it runs, every call reaches the object and the clock
// rule decides the re-read; it starts at the call that finds this many calls made, or this
// many seconds gone, since the log object was made.
constexpr uint32_t kCallsBeforeTimer = 256;
constexpr int64_t kSecondsBeforeTimer = 2;

uint32_t* GenerationWord(const Memory::SharedMemory& block) {
    return static_cast<uint32_t*>(block.Data());
}

}  // namespace

namespace log_detail {
constinit LogGate g_logGate;
}  // namespace log_detail

using log_detail::g_logGate;

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
    m_refreshAt.store(NextRefreshTime());
    m_timerFrom.store(static_cast<int64_t>(std::time(nullptr)) + kSecondsBeforeTimer);

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

    m_message.reserve(8192);
    m_source.reserve(256);
    m_utf8.reserve(8192);

    kvwin::RegistryKey key(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
    m_initialised.store(1);

    m_processName = ProcessFileName(nullptr);
    m_moduleName = ProcessFileName(ThisModule());
    m_hostName = HostName();
    m_identity = EncodeRecordIdentity({m_hostName, m_moduleName, m_processName});

    const LogLimits limits = key ? ReadLogLimits(key) : LogLimits{};
    m_severityMask.store(limits.severityMask);
    m_maxSizeKb.store(limits.maxSizeKb);
    m_maxFiles.store(limits.maxFiles);

    key.Close();
    PlaceFile();

    ReadOverride();

    const uint32_t zero = 0;
    if (m_sharedBlock.Create(kSharedBlockName, sizeof zero, &zero,
                             GetSharedObjectSecurityAttributes(), false) == ERROR_SUCCESS) {
        g_logGate.seenGeneration.store(
            std::atomic_ref<uint32_t>(*GenerationWord(m_sharedBlock)).load());
        g_logGate.generation.store(GenerationWord(m_sharedBlock));
    }
    PublishGate();
}

// The descriptors that a folder or file made for the log gets. Looking the writers group up
// reads the account database (and loads its modules), which a process whose records the
// filter rejects, or that only appends to an existing file, never needs: they are made when
// first asked for.
void EventLog::PrepareSecurity() {
    std::call_once(m_securityMade, [this] {
        const WString writers = m_lowIntegrity ? WString() : LogWritersSid();
        if (!writers.empty()) {
            MakeSecurityAttributes(m_folderSecurity, WritersFolderSddl(writers).c_str());
            MakeSecurityAttributes(m_fileSecurity, WritersFileSddl(writers).c_str());
            m_securityParts |= GROUP_SECURITY_INFORMATION;
        } else {
            MakeSecurityAttributes(m_folderSecurity, m_lowIntegrity ? kLowFolderSddl : kFolderSddl);
            MakeSecurityAttributes(m_fileSecurity, m_lowIntegrity ? kLowFileSddl : kFileSddl);
        }
    });
}

EventLog::~EventLog() {
    // Every call goes to the object again, which from now on records nothing.
    g_logGate.acceptLevels.store(0xFFFFFFFF, std::memory_order_release);
    g_logGate.generation.store(nullptr);
    m_initialised.store(0);
    log_detail::StopRefreshTimer();
    const DWORD start = GetTickCount();
    while (m_activeWriters.load() > 0 && GetTickCount() - start < kShutdownWaitMs)
        Sleep(50);
    FreeSecurityAttributes(m_fileSecurity);
    FreeSecurityAttributes(m_folderSecurity);
    m_sharedBlock.Close();
    if (m_mutex)
        CloseHandle(m_mutex);
}

// Reads "FilePath" and "FileName" and places the file: the folder, the path, the rotation
// pattern. Runs in the constructor, and under the log mutex after the generation moved.
void EventLog::PlaceFile() {
    kvwin::RegistryKey key(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
    const auto configuredPath = key.Text(TEXT("FilePath"), 1040);
    WString folder = ChooseFolder(configuredPath ? &*configuredPath : nullptr);
    const WString fileName = key.Text(TEXT("FileName"), 520).value_or(TEXT("Agent.log"));
    key.Close();

    WString logPath = folder + TEXT("\\") + fileName;
    const size_t dot = fileName.rfind(TEXT('.'));
    const WString stem = dot == WString::npos ? fileName : fileName.substr(0, dot);
    const WString extension = dot == WString::npos ? TEXT("") : fileName.substr(dot);
    WString rotationPattern = folder + TEXT("\\") + stem + TEXT("*") + extension;
    if (logPath.size() > kMaxLogPath || rotationPattern.size() > kMaxRotationPattern) {
        // Too long for the agent's other processes to share: no file records here.
        logPath.clear();
        folder.clear();
    }
    {
        const std::lock_guard<std::mutex> lock(m_placementLock);
        m_folder = std::move(folder);
        m_logPath = std::move(logPath);
        m_rotationPattern = std::move(rotationPattern);
    }
    m_file.Place(m_folder, m_logPath);
    m_hasFile.store(!m_folder.empty());
    PrepareServiceFolders();
}

WString EventLog::LogPath() const {
    const std::lock_guard<std::mutex> lock(m_placementLock);
    return m_logPath;
}

WString EventLog::Folder() const {
    const std::lock_guard<std::mutex> lock(m_placementLock);
    return m_folder;
}

WString EventLog::ChooseFolder(const WString* configuredPath) const {
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
    return folder;
}

void EventLog::PrepareServiceFolders() {
    // Only the agent's own services, running as LocalSystem, set up the shared folders.
    if (m_folder.empty() || (_wcsicmp(m_processName.c_str(), TEXT("zorhubagent.exe")) != 0 &&
                             _wcsicmp(m_processName.c_str(), TEXT("velagent.exe")) != 0))
        return;
    HandleHolder token;
    if (!OpenCurrentProcessToken(token, TOKEN_QUERY) || !IsLocalSystemToken(token.Get()))
        return;
    PrepareSecurity();

    if (FolderExists(m_folder))
        SetFileSecurityW(m_folder.c_str(), DACL_SECURITY_INFORMATION | m_securityParts,
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
    // Read, not swapped: the word is written only when the generation has moved.
    if (uint32_t* word = GenerationWord(m_sharedBlock)) {
        const uint32_t generation =
            std::atomic_ref<uint32_t>(*word).load(std::memory_order_acquire);
        if (generation != g_logGate.seenGeneration.load(std::memory_order_relaxed) &&
            g_logGate.seenGeneration.exchange(generation) != generation) {
            force = true;
            m_placementStale.store(true);
        }
    }
    // The timer starts once the process has used the log for a while (a forked child's
    // count and start time are its parent's); the gate stays open until then.
    if (!log_detail::RefreshTimerRunning() && TimerWanted() && log_detail::EnsureRefreshTimer())
        force = true;
    if (g_logGate.refreshDue.load(std::memory_order_relaxed) &&
        g_logGate.refreshDue.exchange(false))
        force = true;
    if (force || RefreshDueByClock(m_refreshAt.load(std::memory_order_relaxed))) {
        kvwin::RegistryKey key(HKEY_LOCAL_MACHINE, kLogConfigurationKey);
        if (key) {
            const LogLimits limits = ReadLogLimits(key);
            m_severityMask.store(limits.severityMask);
            m_maxSizeKb.store(limits.maxSizeKb);
            m_maxFiles.store(limits.maxFiles);
        }
        m_refreshAt.store(NextRefreshTime(), std::memory_order_relaxed);
        PublishGate();
    }
    maxSizeKb = m_maxSizeKb.load();
    maxFiles = m_maxFiles.load();
    return m_severityMask.load();
}

bool EventLog::TimerWanted() {
    if (m_callsWithoutTimer.load(std::memory_order_relaxed) >= kCallsBeforeTimer ||
        m_callsWithoutTimer.fetch_add(1, std::memory_order_relaxed) + 1 >= kCallsBeforeTimer)
        return true;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    const int64_t from = m_timerFrom.load(std::memory_order_relaxed);
    // A clock set back by more than the wait starts it at once, as for the re-read.
    return now >= from || now + kSecondsBeforeTimer < from;
}

void EventLog::PublishGate() {
    // With an override that sets a mode for every call, levels are changed before they are
    // filtered: the gate then rejects nothing.
    const uint32_t overrideWord = m_override.load();
    uint32_t accept = m_severityMask.load();
    if (overrideWord != kNoLogOverride)
        accept = (overrideWord & LogModeMask) ? 0xFFFFFFFF : accept | (overrideWord & 0xFF);
    // Without a timer thread the gate cannot know when the re-read is due: every call comes
    // here, where the clock decides.
    if (!m_initialised.load() || !log_detail::RefreshTimerRunning())
        accept = 0xFFFFFFFF;
    g_logGate.acceptLevels.store(accept, std::memory_order_seq_cst);
    // A period that ended while this re-read ran asks for another: the gate stays open.
    if (g_logGate.refreshDue.load(std::memory_order_seq_cst))
        g_logGate.acceptLevels.store(0xFFFFFFFF, std::memory_order_seq_cst);
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
    if (!source || maxSizeKb == 0 || maxFiles == 0 ||
        (!m_hasFile.load() && !m_placementStale.load()))
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

    if (m_placementStale.exchange(false))
        PlaceFile();
    PrepareSecurity();
    if (!m_file.Open(&m_fileSecurity, &m_folderSecurity)) {
        m_fileError.store(GetLastError());
        return;
    }
    m_fileError.store(ERROR_SUCCESS);
    if (m_file.Size() > static_cast<uint64_t>(maxSizeKb) * 1024) {
        m_file.Close();
        if (!RotateLogFile(m_folder, m_logPath, m_rotationPattern, maxFiles) &&
            GetLastError() != ERROR_ACCESS_DENIED)
            return;
        // Rotated, or this process may not rotate another's file: it appends, and the next
        // writer that may rotates.
        if (!m_file.Open(&m_fileSecurity, &m_folderSecurity))
            return;
    }
    struct Closer {
        LogFile& file;
        ~Closer() { file.Close(); }
    } closer{m_file};

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const LONG bias = CurrentUtcBias();
    const LogDateText date(now, bias);
    const RecordOrigin origin{m_hostName,           m_moduleName,
                              m_processName,        GetCurrentProcessId(),
                              GetCurrentThreadId(), GetTickCount() & 0x7FFFFFFF};
    ComposeEventRecord(m_utf8, date.View(), level, origin, m_identity, source, message, m_source,
                       m_message);

    // The file stays a sequence of whole records: what a full disk cut short is cut off again.
    if (m_file.Size() == 0) {
        const WString headerText = ReadLogFileHeader();
        if (!headerText.empty() &&
            ComposeHeaderRecord(m_header, FormatLogDate(now, bias), origin, headerText) &&
            !m_file.Append(m_header))
            return;
    }
    m_file.Append(m_utf8);
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
