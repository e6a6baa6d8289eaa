// The registry's storage: one SQLite database per hive, keys as rows with parent links.
//
// A Store is one process's connection to one hive file. Every operation runs inside
// Store::Run as one transaction; a store that is busy (another process is writing, or holds
// the file locked) is waited for and retried until the busy time-out, so concurrent writers
// never lose a change. Past the time-out the call fails with ERROR_BUSY and changes nothing.
// The time-out is 30 seconds, or KAVREL_REGISTRY_BUSY_TIMEOUT_MS when that is set.
//
// Thread safety: a Store serialises its transactions with its own mutex; StoreFor is safe
// from any thread. A process that forks closes, in the child, the connections it inherited
// (the parent's stay open in the parent) and opens its own on first use.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/registry.h"

struct sqlite3;
struct sqlite3_file;
struct sqlite3_stmt;

namespace kvwin::registry {

using KeyId = int64_t;
constexpr KeyId kRootKey = 1;

// Upper-cases one UTF-16 unit the way key names are compared: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic. Other units compare as they are.
char16_t FoldUnit(char16_t c);
std::u16string Fold(std::u16string_view name);

// A failure inside a transaction: the Win32 code the API returns.
struct StoreError {
    LONG code;
};

struct ValueRecord {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct KeyInfo {
    DWORD subkeys = 0;
    DWORD max_subkey_len = 0;  // characters
    DWORD values = 0;
    DWORD max_value_name_len = 0;  // characters
    DWORD max_value_len = 0;       // bytes
    uint64_t written = 0;          // FILETIME units
};

class Store;

// The operations available inside one transaction. Each throws StoreError on failure.
class Session {
  public:
    explicit Session(Store& store) : store_(store) {}

    bool KeyExists(KeyId key);
    // The child of `parent` with this name (any case), or nullopt.
    std::optional<KeyId> FindChild(KeyId parent, std::u16string_view name);
    KeyId CreateChild(KeyId parent, std::u16string_view name);
    std::optional<ValueRecord> GetValue(KeyId key, std::u16string_view name);
    void SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, size_t size);
    bool DeleteValue(KeyId key, std::u16string_view name);
    bool HasChildren(KeyId key);
    // Removes the key with its values; the caller checks it has no children.
    void DeleteKey(KeyId key);
    // Removes the key's values and every key below it; the key itself stays when
    // keep_self is true.
    void DeleteTree(KeyId key, bool keep_self);
    std::optional<std::u16string> ChildNameAt(KeyId key, DWORD index, uint64_t* written);
    std::optional<ValueRecord> ValueAt(KeyId key, DWORD index);
    std::vector<std::u16string> ChildNames(KeyId key);
    std::vector<ValueRecord> Values(KeyId key);
    KeyInfo Info(KeyId key);
    // Walks a relative path of names from `from`; nullopt when a key is missing.
    std::optional<KeyId> Walk(KeyId from, const std::vector<std::u16string>& path);
    // Walks a path, creating missing keys; `created` tells whether the last one was new.
    KeyId WalkCreate(KeyId from, const std::vector<std::u16string>& path, bool* created);
    void Touch(KeyId key);
    void Exec(const char* sql);
    // Whether a seed entry (by its hash) was applied to this store before, and recording it.
    bool WasSeeded(int64_t entry);
    void MarkSeeded(int64_t entry);
    // The key's parent (0 for the root), or nullopt when there is no such key.
    std::optional<KeyId> ParentOf(KeyId key);
    // A named number kept beside the keys (not visible through the registry functions).
    std::optional<int64_t> Meta(const std::string& name);
    void SetMeta(const std::string& name, int64_t value);

  private:
    friend class Store;
    sqlite3_stmt* Prepare(const char* sql);
    Store& store_;
};

class Store {
  public:
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Runs `body` as one transaction (write: taken with the write lock from the start).
    // A busy store starts the body over, so it must only change the store and its own
    // results. Returns ERROR_SUCCESS, the StoreError code thrown by body, or a store failure
    // code (ERROR_BUSY, ERROR_BADDB for a damaged file or one that is no registry store,
    // ERROR_REGISTRY_IO_FAILED...).
    LONG Run(bool write, const std::function<void(Session&)>& body);

    // Makes committed changes durable (checkpoints the write-ahead log).
    LONG Flush();

    // A number that differs after any change committed to the file, by this connection or
    // any other of any process, or when this is a different connection than before (it may
    // also differ when nothing changed). Read from the write-ahead log's shared index without
    // a transaction; where the index cannot be read, from SQLite's data version in a read
    // transaction of its own. ERROR_SUCCESS or the code a failed read gives.
    LONG ChangeStamp(uint64_t& stamp);

    const std::string& path() const { return path_; }

  private:
    friend class Session;
    friend LONG OpenStore(const std::string& path, std::shared_ptr<Store>& out, bool check_always);
    friend LONG CreateStoreFile(const std::string& path);
    explicit Store(std::string path);
    // Opens the file; `create` makes it (a private file that CreateStoreFile links into
    // place), otherwise it must exist and pass the page check. The check runs when the file
    // or its log is not exactly as it was when the check last passed (that state is recorded
    // in "<path>-verified"), or always with `check_always`.
    LONG Open(bool create, bool check_always = false);
    // PRAGMA quick_check: ERROR_BADDB unless every page reads as a sound tree.
    LONG QuickCheck();
    LONG RunOnce(bool write, const std::function<void(Session&)>& body, bool& busy);
    // Runs one statement whose result is not needed (BEGIN, COMMIT, ROLLBACK, a pragma),
    // prepared on its first use and kept: SQLite's result code, SQLITE_OK when it ran.
    int Execute(const char* sql);

    // Called by SQLite while the store is busy: waits a little, until the deadline.
    static int OnBusy(void* store, int attempts);
    // Checks the tables are ours; creates them in a new (empty) file.
    LONG PrepareSchema();

    std::string path_;
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    std::chrono::milliseconds busy_timeout_{30000};
    std::chrono::steady_clock::time_point deadline_;  // of the transaction in progress
    std::vector<std::pair<const char*, sqlite3_stmt*>> statements_;
    const uint64_t serial_;  // this connection among all this process opens
    bool wal_ = false;       // the file is in write-ahead log mode, with its shared index
    // The log index's header as ChangeStamp last read it, and the stamp it gave then.
    std::array<unsigned char, 48> log_header_{};
    bool log_header_valid_ = false;
    uint64_t log_stamp_ = 0;
    // The connection's main file, whose shared index ChangeStamp maps: asked of SQLite once,
    // it lives as long as the connection.
    sqlite3_file* main_file_ = nullptr;
};

// The hives and the files that hold them under the registry directory.
enum class Hive { Machine, User, Users };
KVWIN_API std::string HiveFile(Hive hive);

// This process's connection to a hive file, opened (and seeded) on first use. Fails with
// the store's Win32 code; a failed open is retried on the next call.
LONG StoreFor(Hive hive, std::shared_ptr<Store>& out);

// The change stamp (Store::ChangeStamp) of this process's connection to a hive: equal stamps
// mean nothing in the hive changed in between. Fails like StoreFor.
KVWIN_API LONG HiveChangeStamp(Hive hive, uint64_t& stamp);

// Opens the store file at `path` as this process's first open of it does, with the page
// check whatever the record of the last one says, and closes it again: ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND when there is none, or the code every call on its hive would fail with
// (ERROR_BADDB for a damaged file).
KVWIN_API LONG CheckStoreFile(const std::string& path);

// Moves the store file at `path` and its write-ahead log aside, to "<path>.corrupt-<UTC
// time>" and "<path>-wal.corrupt-<UTC time>" (a number added when that name is taken), so the next
// use starts a fresh store; nothing is deleted but the shared-memory index, which SQLite rebuilds.
// `moved_to` gets the new name of the store file. Processes that still have the old store open keep
// using the moved file until they end. Not for a store this process has opened through StoreFor.
KVWIN_API LONG MoveStoreAside(const std::string& path, std::string& moved_to);

// Maps an SQLite result code to the Win32 code the registry reports.
LONG Win32FromSqlite(int rc);

}  // namespace kvwin::registry
