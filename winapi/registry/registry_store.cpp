// The SQLite store behind every hive.
//
// Schema: `keys` holds one row per key (id, parent id, name as stored UTF-16LE, folded
// name as UTF-16BE so byte order is code-unit order, last write time); `vals` holds one
// row per value (key id, name, folded name, type, data bytes). The root of a hive is key 1.
// Key ids are never reused (AUTOINCREMENT), so a handle to a deleted key never sees a new
// key that happens to get the same id.
#include "kvwin/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "kvwin/environment_lock.h"
#include "kvwin/registry_seed.h"
#include "kvwin/state_root.h"
#include "sqlite_library.h"
#include "win/handles.h"

namespace kvwin::registry {

namespace {

// The library, once a store is open (Store::Open fails without it).
const SqliteLibrary& Sql() {
    return *Sqlite();
}

// How long a transaction waits for a busy store before it gives up, unless
// KAVREL_REGISTRY_BUSY_TIMEOUT_MS says otherwise.
constexpr std::chrono::milliseconds kDefaultBusyTimeout(30000);

// Our tables. A file that has any of them with other columns is not a registry store.
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value INTEGER);"
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
    " written INTEGER NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE TABLE IF NOT EXISTS seeded(entry INTEGER PRIMARY KEY);"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold, written) VALUES(1, 0, x'', x'', 0);";

struct TableShape {
    const char* name;
    const char* probe;  // selects every column the registry uses
};
const TableShape kTables[] = {
    {"meta", "SELECT name, value FROM meta LIMIT 0"},
    {"keys", "SELECT id, parent, name, fold, written FROM keys LIMIT 0"},
    {"vals", "SELECT seq, key, name, fold, type, data FROM vals LIMIT 0"},
    {"seeded", "SELECT entry FROM seeded LIMIT 0"},
};

// What tells the hive's files apart from any other state of them: device, inode, size and
// modification time of the file and its write-ahead log ("-" for a log that is not there),
// and the file's change time. (Not the log's: SQLite, run as root, gives the log its
// database's owner again at every open, which touches its change time.) Empty when a file
// cannot be looked at.
std::string HiveIdentity(const std::string& path) {
    std::string identity;
    for (const bool log : {false, true}) {
        struct stat st {};
        if (::stat(log ? (path + "-wal").c_str() : path.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return {};
            identity += "-\n";
            continue;
        }
        char text[200];
        std::snprintf(text, sizeof text, "%llu:%llu:%lld:%lld.%09ld:%lld.%09ld\n",
                      static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino),
                      static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
                      st.st_mtim.tv_nsec, log ? 0LL : static_cast<long long>(st.st_ctim.tv_sec),
                      log ? 0L : st.st_ctim.tv_nsec);
        identity += text;
    }
    return identity;
}

// The identity recorded beside the hive when its pages were last found sound.
std::string VerifiedFile(const std::string& path) {
    return path + "-verified";
}

std::string ReadVerified(const std::string& path) {
    char text[512];
    const int fd = ::open(VerifiedFile(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

// Written whole under a name of its own, then renamed into place, so that a reader sees one
// record or the other. A folder this process may not write keeps the check on every open.
void WriteVerified(const std::string& path, const std::string& identity) {
    // Created exclusively: a name left over (by a process that died, or planted) is removed
    // and the file made anew, never opened and truncated.
    const std::string temp = VerifiedFile(path) + "." + std::to_string(::getpid());
    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(temp.c_str(), kCreate, 0644);
    if (fd < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0)
        fd = ::open(temp.c_str(), kCreate, 0644);
    if (fd < 0)
        return;
    const bool written =
        ::write(fd, identity.data(), identity.size()) == static_cast<ssize_t>(identity.size());
    ::close(fd);
    if (!written || ::rename(temp.c_str(), VerifiedFile(path).c_str()) != 0)
        ::unlink(temp.c_str());
}

std::chrono::milliseconds BusyTimeout() {
    if (auto text = GetEnvUtf8("KAVREL_REGISTRY_BUSY_TIMEOUT_MS")) {
        char* end = nullptr;
        long long ms = std::strtoll(text->c_str(), &end, 10);
        if (end != text->c_str() && *end == 0 && ms >= 0)
            return std::chrono::milliseconds(ms);
    }
    return kDefaultBusyTimeout;
}

uint64_t NowFileTime() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    constexpr uint64_t kEpochDelta = 116444736000000000ull;  // 1601 -> 1970
    return kEpochDelta + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

std::string NameBytes(std::u16string_view name) {
    std::string bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t c : name) {
        bytes.push_back(static_cast<char>(c & 0xff));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::string FoldBytes(std::u16string_view name) {
    std::string bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t c : name) {
        char16_t f = FoldUnit(c);
        bytes.push_back(static_cast<char>(f >> 8));
        bytes.push_back(static_cast<char>(f & 0xff));
    }
    return bytes;
}

std::u16string NameFromColumn(sqlite3_stmt* stmt, int column) {
    const auto* bytes = static_cast<const unsigned char*>(Sql().column_blob(stmt, column));
    int size = Sql().column_bytes(stmt, column);
    std::u16string name;
    if (!bytes)
        return name;
    name.reserve(static_cast<size_t>(size) / 2);
    for (int i = 0; i + 1 < size; i += 2) {
        name.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return name;
}

std::vector<BYTE> DataFromColumn(sqlite3_stmt* stmt, int column) {
    const auto* bytes = static_cast<const BYTE*>(Sql().column_blob(stmt, column));
    int size = Sql().column_bytes(stmt, column);
    if (!bytes || size <= 0)
        return {};
    return std::vector<BYTE>(bytes, bytes + size);
}

// A value from a row whose first three columns are name, type and data.
ValueRecord ValueFromRow(sqlite3_stmt* stmt) {
    ValueRecord record;
    record.name = NameFromColumn(stmt, 0);
    record.type = static_cast<DWORD>(Sql().column_int64(stmt, 1));
    record.data = DataFromColumn(stmt, 2);
    return record;
}

// Binds a blob; an empty one is bound as x'' rather than NULL.
int BindBytes(sqlite3_stmt* stmt, int index, const void* data, size_t size) {
    static const char kEmpty = 0;
    return Sql().bind_blob64(stmt, index, size ? data : &kEmpty, size, SQLITE_TRANSIENT);
}

int BindText(sqlite3_stmt* stmt, int index, const std::string& bytes) {
    return BindBytes(stmt, index, bytes.data(), bytes.size());
}

// Resets a statement when the scope ends, so the next use starts clean.
class StatementUse {
  public:
    explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~StatementUse() {
        Sql().reset(stmt_);
        Sql().clear_bindings(stmt_);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_;
};

void Check(int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw StoreError{-rc};
}

// Steps a statement; true for a row, false when done. Store errors are thrown with the
// negated SQLite code so Run can tell them from Win32 codes and retry when busy.
bool Step(sqlite3_stmt* stmt) {
    int rc = Sql().step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw StoreError{-(rc & 0xff)};
}

bool IsBusy(int sqlite_rc) {
    int primary = sqlite_rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace

char16_t FoldUnit(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x137)
        return static_cast<char16_t>(c & ~1u);
    if (c >= 0x139 && c <= 0x148)
        return (c & 1) ? c : static_cast<char16_t>(c - 1);
    if (c >= 0x14A && c <= 0x177)
        return static_cast<char16_t>(c & ~1u);
    if (c >= 0x179 && c <= 0x17E)
        return (c & 1) ? c : static_cast<char16_t>(c - 1);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    return c;
}

std::u16string Fold(std::u16string_view name) {
    std::u16string folded(name);
    for (auto& c : folded)
        c = FoldUnit(c);
    return folded;
}

LONG Win32FromSqlite(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_NOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        // Damaged pages, a file that is no database, and a database that is not ours are
        // one failure to the caller: the hive's file cannot be used as a registry store.
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_ERROR:  // our statements fail only on a database that is not ours
        case SQLITE_SCHEMA:
            return ERROR_BADDB;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ERROR_BUSY;
        case SQLITE_CANTOPEN:
            return ERROR_CANTOPEN;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        case SQLITE_FULL:
            return ERROR_DISK_FULL;
        case SQLITE_TOOBIG:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

// ---- Session ------------------------------------------------------------------------------

sqlite3_stmt* Session::Prepare(const char* sql) {
    for (auto& [text, stmt] : store_.statements_) {
        if (text == sql)
            return stmt;
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = Sql().prepare_v3(store_.db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK)
        throw StoreError{-(rc & 0xff)};
    store_.statements_.emplace_back(sql, stmt);
    return stmt;
}

bool Session::KeyExists(KeyId key) {
    StatementUse s(Prepare("SELECT 1 FROM keys WHERE id = ?"));
    Check(Sql().bind_int64(s.get(), 1, key));
    return Step(s.get());
}

std::optional<KeyId> Session::FindChild(KeyId parent, std::u16string_view name) {
    StatementUse s(Prepare("SELECT id FROM keys WHERE parent = ? AND fold = ?"));
    Check(Sql().bind_int64(s.get(), 1, parent));
    Check(BindText(s.get(), 2, FoldBytes(name)));
    if (!Step(s.get()))
        return std::nullopt;
    return Sql().column_int64(s.get(), 0);
}

KeyId Session::CreateChild(KeyId parent, std::u16string_view name) {
    {
        StatementUse s(Prepare("INSERT INTO keys(parent, name, fold, written) VALUES(?, ?, ?, ?)"));
        Check(Sql().bind_int64(s.get(), 1, parent));
        Check(BindText(s.get(), 2, NameBytes(name)));
        Check(BindText(s.get(), 3, FoldBytes(name)));
        Check(Sql().bind_int64(s.get(), 4, static_cast<sqlite3_int64>(NowFileTime())));
        Step(s.get());
    }
    KeyId id = Sql().last_insert_rowid(store_.db_);
    Touch(parent);
    return id;
}

std::optional<ValueRecord> Session::GetValue(KeyId key, std::u16string_view name) {
    StatementUse s(Prepare("SELECT name, type, data FROM vals WHERE key = ? AND fold = ?"));
    Check(Sql().bind_int64(s.get(), 1, key));
    Check(BindText(s.get(), 2, FoldBytes(name)));
    if (!Step(s.get()))
        return std::nullopt;
    return ValueFromRow(s.get());
}

void Session::SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data,
                       size_t size) {
    {
        StatementUse s(Prepare(
            "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
            "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data"));
        Check(Sql().bind_int64(s.get(), 1, key));
        Check(BindText(s.get(), 2, NameBytes(name)));
        Check(BindText(s.get(), 3, FoldBytes(name)));
        Check(Sql().bind_int64(s.get(), 4, type));
        Check(BindBytes(s.get(), 5, data, size));
        Step(s.get());
    }
    Touch(key);
}

bool Session::DeleteValue(KeyId key, std::u16string_view name) {
    {
        StatementUse s(Prepare("DELETE FROM vals WHERE key = ? AND fold = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        Check(BindText(s.get(), 2, FoldBytes(name)));
        Step(s.get());
    }
    if (Sql().changes(store_.db_) == 0)
        return false;
    Touch(key);
    return true;
}

bool Session::HasChildren(KeyId key) {
    StatementUse s(Prepare("SELECT 1 FROM keys WHERE parent = ? LIMIT 1"));
    Check(Sql().bind_int64(s.get(), 1, key));
    return Step(s.get());
}

void Session::DeleteKey(KeyId key) {
    KeyId parent = 0;
    {
        StatementUse s(Prepare("SELECT parent FROM keys WHERE id = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        if (Step(s.get()))
            parent = Sql().column_int64(s.get(), 0);
    }
    {
        StatementUse s(Prepare("DELETE FROM vals WHERE key = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        Step(s.get());
    }
    {
        StatementUse s(Prepare("DELETE FROM keys WHERE id = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        Step(s.get());
    }
    if (parent)
        Touch(parent);
}

void Session::DeleteTree(KeyId key, bool keep_self) {
    {
        StatementUse s(Prepare(
            "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON "
            "k.parent = t.id) DELETE FROM vals WHERE key IN (SELECT id FROM t)"));
        Check(Sql().bind_int64(s.get(), 1, key));
        Step(s.get());
    }
    {
        StatementUse s(Prepare(
            "WITH RECURSIVE t(id) AS (SELECT id FROM keys WHERE parent = ?1 UNION ALL SELECT "
            "k.id FROM keys k JOIN t ON k.parent = t.id) DELETE FROM keys WHERE id IN "
            "(SELECT id FROM t)"));
        Check(Sql().bind_int64(s.get(), 1, key));
        Step(s.get());
    }
    // The key itself, emptied: kept (and marked written) or deleted too.
    if (keep_self)
        Touch(key);
    else
        DeleteKey(key);
}

std::optional<std::u16string> Session::ChildNameAt(KeyId key, DWORD index, uint64_t* written) {
    StatementUse s(
        Prepare("SELECT name, written FROM keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?"));
    Check(Sql().bind_int64(s.get(), 1, key));
    Check(Sql().bind_int64(s.get(), 2, index));
    if (!Step(s.get()))
        return std::nullopt;
    if (written)
        *written = static_cast<uint64_t>(Sql().column_int64(s.get(), 1));
    return NameFromColumn(s.get(), 0);
}

std::optional<ValueRecord> Session::ValueAt(KeyId key, DWORD index) {
    StatementUse s(
        Prepare("SELECT name, type, data FROM vals WHERE key = ? ORDER BY seq LIMIT 1 OFFSET ?"));
    Check(Sql().bind_int64(s.get(), 1, key));
    Check(Sql().bind_int64(s.get(), 2, index));
    if (!Step(s.get()))
        return std::nullopt;
    return ValueFromRow(s.get());
}

std::vector<std::u16string> Session::ChildNames(KeyId key) {
    StatementUse s(Prepare("SELECT name FROM keys WHERE parent = ? ORDER BY fold"));
    Check(Sql().bind_int64(s.get(), 1, key));
    std::vector<std::u16string> names;
    while (Step(s.get()))
        names.push_back(NameFromColumn(s.get(), 0));
    return names;
}

std::vector<ValueRecord> Session::Values(KeyId key) {
    StatementUse s(Prepare("SELECT name, type, data FROM vals WHERE key = ? ORDER BY seq"));
    Check(Sql().bind_int64(s.get(), 1, key));
    std::vector<ValueRecord> values;
    while (Step(s.get()))
        values.push_back(ValueFromRow(s.get()));
    return values;
}

KeyInfo Session::Info(KeyId key) {
    KeyInfo info;
    {
        StatementUse s(
            Prepare("SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        if (Step(s.get())) {
            info.subkeys = static_cast<DWORD>(Sql().column_int64(s.get(), 0));
            info.max_subkey_len = static_cast<DWORD>(Sql().column_int64(s.get(), 1) / 2);
        }
    }
    {
        StatementUse s(Prepare(
            "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) "
            "FROM vals WHERE key = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        if (Step(s.get())) {
            info.values = static_cast<DWORD>(Sql().column_int64(s.get(), 0));
            info.max_value_name_len = static_cast<DWORD>(Sql().column_int64(s.get(), 1) / 2);
            info.max_value_len = static_cast<DWORD>(Sql().column_int64(s.get(), 2));
        }
    }
    {
        StatementUse s(Prepare("SELECT written FROM keys WHERE id = ?"));
        Check(Sql().bind_int64(s.get(), 1, key));
        if (Step(s.get()))
            info.written = static_cast<uint64_t>(Sql().column_int64(s.get(), 0));
    }
    return info;
}

std::optional<KeyId> Session::Walk(KeyId from, const std::vector<std::u16string>& path) {
    KeyId key = from;
    for (const auto& name : path) {
        auto child = FindChild(key, name);
        if (!child)
            return std::nullopt;
        key = *child;
    }
    return key;
}

KeyId Session::WalkCreate(KeyId from, const std::vector<std::u16string>& path, bool* created) {
    KeyId key = from;
    bool made = false;
    for (const auto& name : path) {
        auto child = FindChild(key, name);
        if (child) {
            key = *child;
            made = false;
        } else {
            key = CreateChild(key, name);
            made = true;
        }
    }
    if (created)
        *created = made;
    return key;
}

void Session::Exec(const char* sql) {
    int rc = Sql().exec(store_.db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw StoreError{-(rc & 0xff)};
}

bool Session::WasSeeded(int64_t entry) {
    StatementUse s(Prepare("SELECT 1 FROM seeded WHERE entry = ?"));
    Check(Sql().bind_int64(s.get(), 1, entry));
    return Step(s.get());
}

void Session::MarkSeeded(int64_t entry) {
    StatementUse s(Prepare("INSERT OR IGNORE INTO seeded(entry) VALUES(?)"));
    Check(Sql().bind_int64(s.get(), 1, entry));
    Step(s.get());
}

void Session::Touch(KeyId key) {
    StatementUse s(Prepare("UPDATE keys SET written = ? WHERE id = ?"));
    Check(Sql().bind_int64(s.get(), 1, static_cast<sqlite3_int64>(NowFileTime())));
    Check(Sql().bind_int64(s.get(), 2, key));
    Step(s.get());
}

// ---- Store --------------------------------------------------------------------------------

namespace {
std::atomic<uint64_t> g_connections{0};
}  // namespace

Store::Store(std::string path) : path_(std::move(path)), serial_(++g_connections) {}

Store::~Store() {
    for (auto& entry : statements_)
        Sql().finalize(entry.second);
    if (db_)
        Sql().close_v2(db_);
}

int Store::OnBusy(void* arg, int attempts) {
    auto* store = static_cast<Store*>(arg);
    if (std::chrono::steady_clock::now() >= store->deadline_)
        return 0;
    // Short naps at first (a writer usually finishes within milliseconds), longer later.
    std::this_thread::sleep_for(std::chrono::milliseconds(attempts < 10 ? 1 : 10));
    return 1;
}

LONG Store::Open(bool create, bool check_always) {
    if (!Sqlite())
        return ERROR_CANTOPEN;
    busy_timeout_ = BusyTimeout();
    int rc = Sql().open_v2(
        path_.c_str(), &db_,
        SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return Win32FromSqlite(rc);
    Sql().extended_result_codes(db_, 0);
    Sql().busy_handler(db_, &Store::OnBusy, this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + busy_timeout_;
        for (;;) {
            // The first pragma answers with the mode the file is in now: a file system that
            // cannot share memory keeps the rollback journal.
            rc = Sql().exec(
                db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;",
                [](void* store, int columns, char** values, char**) {
                    if (columns == 1 && values[0])
                        static_cast<Store*>(store)->wal_ = std::strcmp(values[0], "wal") == 0;
                    return 0;
                },
                this, nullptr);
            if (rc == SQLITE_OK)
                break;
            // Some busy answers (a log being recovered) do not go through the handler.
            if (!IsBusy(rc) || std::chrono::steady_clock::now() >= deadline_)
                return Win32FromSqlite(rc);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    LONG result = PrepareSchema();
    if (result != ERROR_SUCCESS || create)
        return result;
    // The page check reads every page: it runs when the files are not exactly as they were
    // when it last passed (written since, damaged, cut off, replaced, or never checked).
    const std::string identity = HiveIdentity(path_);
    if (!check_always && !identity.empty() && ReadVerified(path_) == identity)
        return ERROR_SUCCESS;
    result = QuickCheck();
    // Recorded only when nothing changed the files while they were checked.
    if (result == ERROR_SUCCESS && !identity.empty() && HiveIdentity(path_) == identity)
        WriteVerified(path_, identity);
    return result;
}

LONG Store::QuickCheck() {
    // Pages that a read never reaches (a value's overflow chain, a cut-off end of the file)
    // would otherwise read as missing keys and values; the check walks every page once.
    return Run(false, [&](Session& session) {
        StatementUse s(session.Prepare("PRAGMA quick_check(1)"));
        if (!Step(s.get()))
            throw StoreError{ERROR_BADDB};
        const auto* verdict = Sql().column_text(s.get(), 0);
        if (verdict == nullptr || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0)
            throw StoreError{ERROR_BADDB};
    });
}

LONG Store::PrepareSchema() {
    // A reading look first: a store that has its tables needs no write lock to be opened.
    bool complete = false;
    LONG rc = Run(false, [&](Session& session) {
        size_t present = 0;
        size_t original = 0;  // of the three tables every store has had from the start
        for (const auto& table : kTables) {
            StatementUse s(
                session.Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
            Check(Sql().bind_text(s.get(), 1, table.name, -1, SQLITE_STATIC));
            if (!Step(s.get()))
                continue;
            ++present;
            if (&table - kTables < 3)
                ++original;
            sqlite3_stmt* probe = nullptr;
            int prc = Sql().prepare_v2(db_, table.probe, -1, &probe, nullptr);
            Sql().finalize(probe);
            if (prc != SQLITE_OK)
                throw StoreError{IsBusy(prc) ? -prc : static_cast<LONG>(ERROR_BADDB)};
        }
        // Some of our tables but not the three every store has had from the start: the file
        // is something else. A store without the newer `seeded` table is completed below.
        if (present != 0 && original < 3)
            throw StoreError{ERROR_BADDB};
        if (present != 0 && !session.KeyExists(kRootKey))
            throw StoreError{ERROR_BADDB};
        complete = present == std::size(kTables);
    });
    if (rc != ERROR_SUCCESS || complete)
        return rc;
    return Run(true, [](Session& session) { session.Exec(kSchema); });
}

LONG Store::RunOnce(bool write, const std::function<void(Session&)>& body, bool& busy) {
    busy = false;
    int rc = Execute(write ? "BEGIN IMMEDIATE" : "BEGIN");
    if (rc != SQLITE_OK) {
        busy = IsBusy(rc);
        return Win32FromSqlite(rc);
    }
    LONG result = ERROR_SUCCESS;
    try {
        Session session(*this);
        body(session);
        rc = Execute("COMMIT");
        if (rc != SQLITE_OK) {
            busy = IsBusy(rc);
            result = Win32FromSqlite(rc);
        }
    } catch (const StoreError& e) {
        if (e.code < 0) {
            busy = IsBusy(-e.code);
            result = Win32FromSqlite(-e.code);
        } else {
            result = e.code;
        }
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        result = ERROR_REGISTRY_IO_FAILED;
    }
    if (result != ERROR_SUCCESS && !Sql().get_autocommit(db_)) {
        Execute("ROLLBACK");
    }
    return result;
}

int Store::Execute(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    for (const auto& [text, prepared] : statements_) {
        if (text == sql) {
            statement = prepared;
            break;
        }
    }
    if (!statement) {
        const int rc =
            Sql().prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK)
            return rc;
        statements_.emplace_back(sql, statement);
    }
    const int rc = Sql().step(statement);
    Sql().reset(statement);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

LONG Store::Run(bool write, const std::function<void(Session&)>& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    deadline_ = std::chrono::steady_clock::now() + busy_timeout_;
    for (;;) {
        bool busy = false;
        LONG result = RunOnce(write, body, busy);
        if (!busy)
            return result;
        if (std::chrono::steady_clock::now() >= deadline_)
            return ERROR_BUSY;
        // Not every busy answer goes through the handler (a snapshot that went stale, a log
        // being recovered): back off a little before starting the transaction over.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

namespace {

// The header at the start of a write-ahead log's shared index, as every connection of every
// process that uses the file sees it: 48 bytes, written twice, the second copy first, by each
// commit (and by each restart of the log and each recovery). Within one generation of the
// log the number of frames in it grows with every commit; a restart changes the salts.
constexpr size_t kLogHeaderSize = 48;
constexpr int kLogIndexPageSize = 32768;

enum class LogHeader { Read, Moving, Unavailable };

// Copies the header when both copies agree, as a reader of the log does without a lock.
// Moving: a writer is between the copies. Unavailable: the file has no shared index here.
// `file` is the connection's main file, found on the first call and kept by the caller.
LogHeader ReadLogHeader(sqlite3* db, sqlite3_file*& file,
                        std::array<unsigned char, kLogHeaderSize>& header) {
    if (!file && Sql().file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK)
        file = nullptr;
    if (!file || !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
        return LogHeader::Unavailable;
    void volatile* region = nullptr;
    if (file->pMethods->xShmMap(file, 0, kLogIndexPageSize, 0, &region) != SQLITE_OK || !region)
        return LogHeader::Unavailable;
    const auto* copies = static_cast<const volatile unsigned char*>(region);
    std::array<unsigned char, kLogHeaderSize> second{};
    for (size_t i = 0; i < kLogHeaderSize; ++i)
        header[i] = copies[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kLogHeaderSize; ++i)
        second[i] = copies[kLogHeaderSize + i];
    constexpr size_t kIsInit = 12;
    return header == second && header[kIsInit] != 0 ? LogHeader::Read : LogHeader::Moving;
}

}  // namespace

LONG Store::ChangeStamp(uint64_t& stamp) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Any commit rewrites the index's header, so an unchanged header means an unchanged file.
    // The stamps counted here and the data versions below never meet: the top bit tells them
    // apart, the connection's serial number sits above either count.
    std::array<unsigned char, kLogHeaderSize> header{};
    const LogHeader got = wal_ ? ReadLogHeader(db_, main_file_, header) : LogHeader::Unavailable;
    if (got != LogHeader::Unavailable) {
        if (got == LogHeader::Moving || !log_header_valid_ || header != log_header_)
            ++log_stamp_;
        log_header_ = header;
        log_header_valid_ = got == LogHeader::Read;
        stamp = serial_ << 32 | (log_stamp_ & 0xffffffffu);
        return ERROR_SUCCESS;
    }
    deadline_ = std::chrono::steady_clock::now() + busy_timeout_;
    // Stepping the pragma opens and closes a read transaction of its own, which is when SQLite
    // learns of commits made through other connections; the file's data version counts this
    // connection's own commits as well (the pragma's answer leaves them out).
    const int rc = Execute("PRAGMA data_version");
    if (rc != SQLITE_OK)
        return Win32FromSqlite(rc);
    unsigned int version = 0;
    if (Sql().file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
        return ERROR_REGISTRY_IO_FAILED;
    stamp = uint64_t{1} << 63 | serial_ << 32 | version;
    return ERROR_SUCCESS;
}

LONG Store::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    int rc = Sql().wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc == SQLITE_OK || IsBusy(rc))
        return ERROR_SUCCESS;
    return Win32FromSqlite(rc);
}

// ---- Hives --------------------------------------------------------------------------------

std::string HiveFile(Hive hive) {
    std::string dir = RegistryDirectory();
    switch (hive) {
        case Hive::Machine:
            return dir + "/machine.db";
        case Hive::Users:
            return dir + "/users.db";
        case Hive::User:
            break;
    }
    return dir + "/user-" + std::to_string(::geteuid()) + ".db";
}

namespace {

bool MakeDirectories(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string part = path.substr(0, pos);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

struct OpenStores {
    std::mutex mutex;
    pid_t pid = 0;
    std::map<std::string, std::shared_ptr<Store>> stores;
    std::map<std::string, uint64_t> seeded;  // seed generation applied, per store
    // The machine hive's store as the last call found it, and what its file was named from:
    // every activation asks for the hive's change stamp, and naming the file takes the
    // environment, a few strings and two look-ups. Kept only where the name depends on
    // nothing else: the state root variable's value (nullopt: unset, as root, whose folder is
    // fixed). Forgotten with the stores.
    std::shared_ptr<Store> machine;
    std::optional<std::string> machine_root;
    uint64_t machine_seeded = 0;  // the seed generation it was seeded with
};

// The state root variable as the machine hive's file would be named from it, or false when
// the name depends on more (no variable, not root).
bool MachineRootKey(std::optional<std::string>& key) {
    key = GetEnvUtf8("KAVREL_ROOT");
    if (key && key->empty())
        key.reset();
    return key || ::geteuid() == 0;
}

// Whether the state root variable is still `key` (MachineRootKey's), without copying it.
bool MachineRootIs(const std::optional<std::string>& key) {
    {
        std::lock_guard guard(EnvironmentLock());
        const char* root = ::getenv("KAVREL_ROOT");
        if (root && *root)
            return key && *key == root;
    }
    return !key && ::geteuid() == 0;
}

OpenStores& Stores() {
    static auto* stores = new OpenStores();  // lives until exit; stores close with the process
    return *stores;
}

// A hash of one seed entry: an entry is applied to a store once, and again only when it
// changes, so a value the user deleted stays deleted. Processes with different sets of
// entries (a tool without the components, the library with them) do not undo each other.
int64_t EntryHash(const RegistrySeed& entry) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash ^= bytes[i];
            hash *= 1099511628211ull;
        }
    };
    std::u16string key = Fold(entry.key);
    std::u16string name = Fold(entry.name);
    size_t sizes[] = {key.size(), name.size(), entry.data.size()};
    mix(sizes, sizeof sizes);
    mix(key.data(), key.size() * 2);
    mix(name.data(), name.size() * 2);
    mix(&entry.type, sizeof entry.type);
    mix(entry.data.data(), entry.data.size());
    return static_cast<int64_t>(hash & 0x7fffffffffffffffull);
}

std::vector<std::u16string> SplitSeedPath(std::u16string_view key) {
    std::vector<std::u16string> path;
    std::u16string part;
    for (char16_t c : key) {
        if (c == u'\\') {
            if (!part.empty())
                path.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty())
        path.push_back(part);
    return path;
}

LONG ApplySeed(Store& store, const std::vector<RegistrySeed>& entries) {
    std::vector<int64_t> hashes;
    hashes.reserve(entries.size());
    for (const auto& entry : entries)
        hashes.push_back(EntryHash(entry));
    // A reading look first: a store that has every entry needs no write lock, so a process
    // that only reads is not held up by a writer in another process.
    bool needed = false;
    LONG rc = store.Run(false, [&](Session& session) {
        needed = false;
        for (int64_t hash : hashes) {
            if (!session.WasSeeded(hash)) {
                needed = true;
                return;
            }
        }
    });
    if (rc != ERROR_SUCCESS || !needed)
        return rc;
    rc = store.Run(true, [&](Session& session) {
        // The write lock is held: another process seeding at once waits here, then finds
        // the entries recorded and does nothing.
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto& entry = entries[i];
            if (session.WasSeeded(hashes[i]))
                continue;
            KeyId key = session.WalkCreate(kRootKey, SplitSeedPath(entry.key), nullptr);
            if (!(entry.type == REG_NONE && entry.data.empty() && entry.name.empty())) {
                auto present = session.GetValue(key, entry.name);
                const bool former = present && !entry.replaces.empty() &&
                                    present->type == entry.type && present->data == entry.replaces;
                if (!present || former)
                    session.SetValue(key, entry.name, entry.type, entry.data.data(),
                                     entry.data.size());
            }
            session.MarkSeeded(hashes[i]);
        }
    });
    // A store this process may read but not write (another user's) is used as it is.
    return rc == ERROR_ACCESS_DENIED ? ERROR_SUCCESS : rc;
}

}  // namespace

// Makes a new store at `path` whole or not at all: its tables are written to a file of this
// process's own, which is then linked into place. So a store file is never seen empty while
// it is being made, and an empty or cut-off file at a store's place is damage, never a new
// store that a reader would take for one with no keys. Another process that links its new
// store first wins; ours is dropped.
LONG CreateStoreFile(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    auto remove = [&] {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((temp + suffix).c_str());
    };
    remove();
    LONG rc = ERROR_SUCCESS;
    {
        std::shared_ptr<Store> fresh(new Store(temp));
        rc = fresh->Open(true);
    }  // the last connection closes: the log is folded in and removed
    if (rc == ERROR_SUCCESS && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST)
        rc = errno == ENOSPC ? ERROR_DISK_FULL : ERROR_CANTOPEN;
    remove();
    return rc;
}

LONG OpenStore(const std::string& path, std::shared_ptr<Store>& out, bool check_always) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTOPEN;
        LONG rc = CreateStoreFile(path);
        if (rc != ERROR_SUCCESS)
            return rc;
    } else if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        return ERROR_BADDB;
    }
    std::shared_ptr<Store> store(new Store(path));
    LONG rc = store->Open(false, check_always);
    if (rc != ERROR_SUCCESS)
        return rc;
    out = std::move(store);
    return ERROR_SUCCESS;
}

LONG CheckStoreFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_CANTOPEN;
    std::shared_ptr<Store> store;
    return OpenStore(path, store, true);
}

LONG MoveStoreAside(const std::string& path, std::string& moved_to) {
    const time_t now = ::time(nullptr);
    struct tm utc {};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    std::string suffix = std::string(".corrupt-") + stamp;
    for (int again = 2; ::access((path + suffix).c_str(), F_OK) == 0; ++again)
        suffix = std::string(".corrupt-") + stamp + "-" + std::to_string(again);
    moved_to = path + suffix;
    if (::rename(path.c_str(), moved_to.c_str()) != 0)
        return errno == ENOENT                     ? ERROR_FILE_NOT_FOUND
               : errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED
                                                   : ERROR_REGISTRY_IO_FAILED;
    // The log belongs with its store: what it holds may be all that can be recovered.
    const std::string log = path + "-wal";
    if (::rename(log.c_str(), (log + suffix).c_str()) != 0 && errno != ENOENT)
        return ERROR_REGISTRY_IO_FAILED;
    ::unlink((path + "-shm").c_str());
    return ERROR_SUCCESS;
}

LONG HiveChangeStamp(Hive hive, uint64_t& stamp) {
    std::shared_ptr<Store> store;
    const LONG rc = StoreFor(hive, store);
    return rc == ERROR_SUCCESS ? store->ChangeStamp(stamp) : rc;
}

std::optional<KeyId> Session::ParentOf(KeyId key) {
    StatementUse s(Prepare("SELECT parent FROM keys WHERE id = ?"));
    Check(Sql().bind_int64(s.get(), 1, key));
    if (!Step(s.get()))
        return std::nullopt;
    return Sql().column_int64(s.get(), 0);
}

std::optional<int64_t> Session::Meta(const std::string& name) {
    StatementUse s(Prepare("SELECT value FROM meta WHERE name = ?"));
    Check(
        Sql().bind_text(s.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT));
    if (!Step(s.get()))
        return std::nullopt;
    return Sql().column_int64(s.get(), 0);
}

void Session::SetMeta(const std::string& name, int64_t value) {
    StatementUse s(Prepare("INSERT OR REPLACE INTO meta(name, value) VALUES(?, ?)"));
    Check(
        Sql().bind_text(s.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT));
    Check(Sql().bind_int64(s.get(), 2, value));
    Step(s.get());
}

LONG StoreFor(Hive hive, std::shared_ptr<Store>& out) {
    OpenStores& stores = Stores();
    if (hive == Hive::Machine) {
        std::lock_guard<std::mutex> lock(stores.mutex);
        if (stores.machine && stores.pid == static_cast<pid_t>(GetCurrentProcessId()) &&
            stores.machine_seeded == SeedGeneration() && MachineRootIs(stores.machine_root)) {
            out = stores.machine;
            return ERROR_SUCCESS;
        }
    }
    std::optional<std::string> root_key;
    const bool keyed = hive == Hive::Machine && MachineRootKey(root_key);
    std::string path = HiveFile(hive);
    std::lock_guard<std::mutex> lock(stores.mutex);
    if (stores.pid != static_cast<pid_t>(GetCurrentProcessId())) {
        // A forked child must not use its parent's connections, and must not keep them
        // either: SQLite shares the lock state of one file among all connections of a
        // process, so a new connection beside an inherited one would believe it holds the
        // locks the parent holds and take none of its own. Another program closing the
        // store would then see no user left, fold the log in and remove it, and the child's
        // next writes would go to a removed log. Closing them here releases nothing of the
        // parent's (locks belong to the process that took them) and leaves the child with
        // connections that take their own locks.
        stores.stores.clear();
        stores.seeded.clear();
        stores.machine.reset();
        stores.pid = static_cast<pid_t>(GetCurrentProcessId());
    }
    auto found = stores.stores.find(path);
    std::shared_ptr<Store> store;
    if (found != stores.stores.end()) {
        store = found->second;
    } else {
        if (!MakeDirectories(RegistryDirectory()))
            return ERROR_CANTOPEN;
        LONG rc = OpenStore(path, store, false);
        if (rc != ERROR_SUCCESS)
            return rc;
        stores.stores[path] = store;
    }
    // The entries are copied only when some were added since this store was last seeded.
    if (hive == Hive::Machine && stores.seeded[path] != SeedGeneration()) {
        uint64_t generation = 0;
        std::vector<RegistrySeed> entries = SeedEntries(&generation);
        if (stores.seeded[path] != generation) {
            LONG rc = ApplySeed(*store, entries);
            if (rc != ERROR_SUCCESS)
                return rc;
            stores.seeded[path] = generation;
        }
    }
    // The user hive's few keys never change: seeded once per file and process.
    if (hive == Hive::User && stores.seeded[path] == 0) {
        LONG rc = ApplySeed(*store, UserSeedEntries());
        if (rc != ERROR_SUCCESS)
            return rc;
        stores.seeded[path] = 1;
    }
    // Kept when the variable read before naming the file is the one still set after.
    if (hive == Hive::Machine) {
        stores.machine.reset();
        if (keyed && MachineRootIs(root_key)) {
            stores.machine = store;
            stores.machine_root = std::move(root_key);
            stores.machine_seeded = stores.seeded[path];
        }
    }
    out = std::move(store);
    return ERROR_SUCCESS;
}

}  // namespace kvwin::registry
