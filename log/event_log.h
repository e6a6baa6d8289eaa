// EventLog: the process's side of the machine-wide agent log.
//
// One per process (SingletonT, priority 255), created by the first log call. It owns the
// log file's placement (registry "FilePath"/"FileName", else the agent's log folder under
// the common application-data folder), the configuration that follows the registry
// ("Severity", "MaxSize", "MaxFiles": re-read every 60 s, as the refresh timer and the
// clock say, or at once when another process bumps the generation counter in shared memory),
// rotation, and the machine-wide mutex "Global\AGENTLOGMUTEX" that serialises every output of every
// process. When the generation counter moves, the file's placement ("FilePath", "FileName") is read
// again as well, and the file's cached native path and folder follow at the next record.
//
// Thread safety: any thread may call WriteEvent at any time. The configuration values, the
// override word and the counters are atomics read without the mutex (and published to the
// gate, log/log_gate.h, which rejects calls without entering the object); the placement,
// the working buffers and everything written to files are used only while the mutex is
// held; the placement's accessors copy under a lock of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "kvwin/wide_string.h"
#include "log/event_record.h"
#include "log/log_file.h"
#include "log/severity.h"
#include "log/shared_memory.h"
#include "win/files.h"

class EventLog {
  public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // One log call after its message is made (null or empty records nothing). While the
    // file is being written, *activeWriters points at the writer count, which the caller
    // decrements when WriteEvent returns or throws.
    void WriteEvent(uint32_t severity, const WCHAR* source, const WCHAR* message,
                    std::atomic<uint32_t>** activeWriters);

    // Whether a call with this severity word would be recorded anywhere now; the front-ends
    // ask before they format, so a rejected call costs no formatting.
    bool WouldRecord(uint32_t severity);

    // The severity mask, with max size (KB) and max files; re-reads the registry when due
    // or forced. All three read 0 once shutdown has begun.
    uint32_t RefreshConfiguration(uint32_t& maxSizeKb, uint32_t& maxFiles, bool force);

    // For tools and tests: where this process writes (copies: a configuration change made
    // by another process may move the file while they are read).
    WString LogPath() const;
    WString Folder() const;
    bool IsLowIntegrity() const { return m_lowIntegrity; }
    // Why the last record could not be written to the file (ERROR_SUCCESS after one was;
    // ERROR_ACCESS_DENIED for an account that may not add records).
    DWORD FileError() const { return m_fileError.load(std::memory_order_relaxed); }
    uint32_t OverrideWord() const { return m_override.load(std::memory_order_relaxed); }

  private:
    class MutexLock;

    static bool Passes(const ResolvedSeverity& resolved, uint32_t mask);

    WString ChooseFolder(const WString* configuredPath) const;
    void PlaceFile();
    void PrepareServiceFolders();
    void PrepareSecurity();
    void ReadOverride();
    void PublishGate();
    // Whether the refresh timer should run now: kCallsBeforeTimer calls into the object, or
    // kSecondsBeforeTimer seconds, since it was made. Counts this call.
    bool TimerWanted();
    void WriteToFile(uint32_t level, const WCHAR* source, const WCHAR* message, uint32_t maxSizeKb,
                     uint32_t maxFiles);

    WString m_logPath;
    WString m_rotationPattern;
    WString m_folder;
    WString m_hostName;
    WString m_processName;
    WString m_moduleName;
    RecordIdentity m_identity;  // the three names above, as the records write them

    std::atomic<uint32_t> m_maxSizeKb{100};
    std::atomic<uint32_t> m_maxFiles{20};
    std::atomic<uint32_t> m_severityMask{0};
    // The seconds-clock time at or after which a call that reaches the object re-reads.
    std::atomic<int64_t> m_refreshAt{0};
    // Until the refresh timer runs: the calls that reached the object, and the seconds-clock
    // time from which the next one starts the timer (TimerWanted).
    std::atomic<uint32_t> m_callsWithoutTimer{0};
    std::atomic<int64_t> m_timerFrom{0};

    HANDLE m_mutex = nullptr;
    DWORD m_lockTimeout = 1000;
    DWORD m_lockOwner = 0;

    // Working buffers, used under the mutex only.
    WString m_message;
    WString m_source;
    std::string m_utf8;
    std::string m_header;

    std::atomic<uint32_t> m_initialised{0};
    std::atomic<uint32_t> m_activeWriters{0};
    std::atomic<uint32_t> m_override{0xFFFFFFFF};

    // Made by PrepareSecurity, once, before the first folder or file is made or opened.
    std::once_flag m_securityMade;
    SECURITY_ATTRIBUTES m_fileSecurity{};
    SECURITY_ATTRIBUTES m_folderSecurity{};
    bool m_lowIntegrity = false;
    // What the service processes set on an existing log folder besides its DACL.
    DWORD m_securityParts = 0;
    std::atomic<DWORD> m_fileError{ERROR_SUCCESS};

    Memory::SharedMemory m_sharedBlock;

    // Where the file is. Changed under the log mutex and m_placementLock together.
    mutable std::mutex m_placementLock;
    std::atomic<bool> m_hasFile{false};
    std::atomic<bool> m_placementStale{false};
    LogFile m_file;
};

// The process's log object, created on first use.
EventLog& GetEventLog();
