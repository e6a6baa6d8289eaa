// The store under load and under damage: many processes writing at once, a store another
// process holds locked, and store files that are not what they should be.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/registry_handles.h"
#include "kvwin/registry_seed.h"
#include "kvwin/registry_store.h"
#include "kvwin/state_root.h"
#include "win/registry.h"

namespace {

// A child's verdict: exits 0 when `check` returns an empty text, else prints it and exits 1.
void Verdict(const std::string& failure) {
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::fflush(stderr);
        ::_exit(1);
    }
    ::_exit(0);
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string MachineStore() {
    return kvwin::RegistryDirectory() + "/machine.db";
}

LSTATUS CreateKey(HKEY root, const char16_t* path, HKEY* out) {
    return RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, out, nullptr);
}

// Writes `count` values named "<prefix><i>" holding i, each in its own call.
std::string WriteMany(HKEY key, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        const std::u16string name = Wide(prefix + std::to_string(i));
        DWORD data = static_cast<DWORD>(i);
        LSTATUS rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&data), sizeof data);
        if (rc != ERROR_SUCCESS)
            return "RegSetValueExW " + prefix + std::to_string(i) + ": " + std::to_string(rc);
    }
    return {};
}

// Counts the values of a key and checks each "<prefix><i>" holds i.
std::string CheckMany(HKEY key, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        const std::u16string name = Wide(prefix + std::to_string(i));
        DWORD data = 0xffffffffu;
        DWORD size = sizeof data;
        LSTATUS rc = RegQueryValueExW(key, name.c_str(), nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&data), &size);
        if (rc != ERROR_SUCCESS || data != static_cast<DWORD>(i))
            return prefix + std::to_string(i) + ": " + std::to_string(rc);
    }
    return {};
}

DWORD ValueCount(HKEY key) {
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    return values;
}

constexpr int kWriters = 4;
constexpr int kValuesEach = 300;

// Every child creates the same key and writes into it and into a key of its own; the store
// does not exist before they start, so they also race to create and seed it.
TEST(RegistryStore, ChildrenWritingAtOnceLoseNothing) {
    auto results = kvtest::RunInChildren(kWriters, [](int index) {
        HKEY shared = nullptr;
        HKEY own = nullptr;
        LSTATUS rc = CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Shared", &shared);
        if (rc != ERROR_SUCCESS)
            Verdict("create shared: " + std::to_string(rc));
        const std::u16string own_path = Wide("Software\\Kavrel\\Own" + std::to_string(index));
        rc = CreateKey(HKEY_LOCAL_MACHINE, own_path.c_str(), &own);
        if (rc != ERROR_SUCCESS)
            Verdict("create own: " + std::to_string(rc));
        const std::string prefix = "w" + std::to_string(index) + "-";
        std::string failure = WriteMany(shared, prefix, kValuesEach);
        if (failure.empty())
            failure = WriteMany(own, "v", kValuesEach);
        if (failure.empty())
            failure = CheckMany(shared, prefix, kValuesEach);
        Verdict(failure);
    });
    for (int i = 0; i < kWriters; ++i) {
        EXPECT_TRUE(results[i].exited) << "writer " << i << " died: signal " << results[i].signal;
        EXPECT_EQ(results[i].exit_code, 0) << "writer " << i << ": " << results[i].output;
    }

    HKEY shared = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Shared", 0, KEY_READ, &shared),
              ERROR_SUCCESS);
    EXPECT_EQ(ValueCount(shared), static_cast<DWORD>(kWriters * kValuesEach));
    for (int i = 0; i < kWriters; ++i)
        EXPECT_EQ(CheckMany(shared, "w" + std::to_string(i) + "-", kValuesEach), "");
    RegCloseKey(shared);
    for (int i = 0; i < kWriters; ++i) {
        HKEY own = nullptr;
        const std::u16string path = Wide("Software\\Kavrel\\Own" + std::to_string(i));
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &own),
                  ERROR_SUCCESS);
        EXPECT_EQ(ValueCount(own), static_cast<DWORD>(kValuesEach));
        RegCloseKey(own);
    }
    // The seeded identity went in once, however many processes seeded at the same moment.
    DWORD size = 0;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           u"CurrentBuildNumber", RRF_RT_REG_SZ, nullptr, nullptr, &size),
              ERROR_SUCCESS);
}

// The parent has the store open when it forks: the children must not lean on the parent's
// connection, and the parent must see all their writes afterwards.
TEST(RegistryStore, ChildrenOfAProcessWithTheStoreOpen) {
    HKEY key = nullptr;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Forked", &key), ERROR_SUCCESS);
    ASSERT_EQ(WriteMany(key, "parent", 10), "");
    auto results = kvtest::RunInChildren(kWriters, [key](int index) {
        // The inherited handle still names the key in the child, as after a fork of a
        // process on a system that shares its handles.
        std::string failure = WriteMany(key, "c" + std::to_string(index) + "-", kValuesEach);
        if (failure.empty())
            failure = CheckMany(key, "parent", 10);
        Verdict(failure);
    });
    for (int i = 0; i < kWriters; ++i)
        EXPECT_EQ(results[i].exit_code, 0) << "writer " << i << ": " << results[i].output;
    EXPECT_EQ(ValueCount(key), static_cast<DWORD>(10 + kWriters * kValuesEach));
    for (int i = 0; i < kWriters; ++i)
        EXPECT_EQ(CheckMany(key, "c" + std::to_string(i) + "-", kValuesEach), "");
    RegCloseKey(key);
}

// One byte through a pipe, in either direction: how the lock holder and the test take turns.
class Baton {
  public:
    Baton() { EXPECT_EQ(::pipe(fds_), 0); }
    ~Baton() {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    void Pass() { EXPECT_EQ(::write(fds_[1], "x", 1), 1); }
    bool Take() {
        char c;
        return ::read(fds_[0], &c, 1) == 1;
    }

  private:
    int fds_[2] = {-1, -1};
};

// A process forked from one that had the store open, outliving it, while some other
// program opens and closes the store: the closer must see the child as a user of the store
// and leave its log alone, or the child's later writes go to a log no one else reads.
TEST(RegistryStore, AForkedChildThatOutlivesItsParentKeepsItsWrites) {
    Baton ready, go, done;
    auto parent = kvtest::RunInChild([&] {
        HKEY key = nullptr;
        if (CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Orphan", &key) != ERROR_SUCCESS)
            Verdict("parent: could not create the key");
        if (::fork() != 0)
            Verdict("");  // the parent ends at once; the child carries on alone
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::string failure = WriteMany(key, "early", 50);
        ready.Pass();
        go.Take();
        if (failure.empty())
            failure = WriteMany(key, "late", 50);
        if (failure.empty())
            done.Pass();
        ::_exit(0);
    });
    ASSERT_EQ(parent.exit_code, 0) << parent.output;
    ASSERT_TRUE(ready.Take());
    {
        // Another program reads the store and closes it.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(MachineStore().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "SELECT count(*) FROM vals", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    go.Pass();
    ASSERT_TRUE(done.Take()) << "the child failed to write";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Orphan", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(CheckMany(key, "early", 50), "");
    EXPECT_EQ(CheckMany(key, "late", 50), "");
    RegCloseKey(key);
}

// ---- A store another process holds ---------------------------------------------------------

constexpr const char* kShortBusy = "1500";

TEST(RegistryStore, AWriterHoldingTheStoreMakesWritesTimeOutButNotReads) {
    ::setenv("KAVREL_REGISTRY_BUSY_TIMEOUT_MS", kShortBusy, 1);
    HKEY key = nullptr;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Held", &key), ERROR_SUCCESS);
    DWORD one = 1;
    ASSERT_EQ(RegSetValueExW(key, u"before", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_SUCCESS);

    Baton holding, release;
    const std::string path = MachineStore();
    kvtest::ChildResult holder;
    std::thread runner([&] {
        holder = kvtest::RunInChild([&] {
            // Another program with the store open in a long write transaction.
            sqlite3* db = nullptr;
            if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
                sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT OR REPLACE INTO meta VALUES('held', 1);",
                             nullptr, nullptr, nullptr) != SQLITE_OK) {
                Verdict(std::string("holder: ") + sqlite3_errmsg(db));
            }
            holding.Pass();
            release.Take();
            Verdict(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK
                        ? ""
                        : "holder: commit failed");
        });
    });
    ASSERT_TRUE(holding.Take());

    const auto start = std::chrono::steady_clock::now();
    DWORD two = 2;
    EXPECT_EQ(RegSetValueExW(key, u"during", 0, REG_DWORD, reinterpret_cast<BYTE*>(&two), 4),
              ERROR_BUSY);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000))
        << "the write waited for the holder before it gave up";
    HKEY other = nullptr;
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Other", &other), ERROR_BUSY);
    EXPECT_EQ(other, nullptr);
    DWORD got = 0, size = 4;
    EXPECT_EQ(
        RegQueryValueExW(key, u"before", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size),
        ERROR_SUCCESS)
        << "readers do not wait for a writer";
    EXPECT_EQ(got, 1u);
    auto reader = kvtest::RunInChild([] {
        // A process new to the store only reads: it must not need the write lock to start.
        DWORD value = 0, bytes = 4;
        Verdict(RegGetValueW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Held", u"before",
                             RRF_RT_REG_DWORD, nullptr, &value, &bytes) == ERROR_SUCCESS &&
                        value == 1
                    ? ""
                    : "a new reader was held up by the writer");
    });
    EXPECT_EQ(reader.exit_code, 0) << reader.output;

    release.Pass();
    runner.join();
    EXPECT_EQ(holder.exit_code, 0) << holder.output;
    EXPECT_EQ(RegSetValueExW(key, u"after", 0, REG_DWORD, reinterpret_cast<BYTE*>(&two), 4),
              ERROR_SUCCESS);
    size = 4;
    EXPECT_EQ(
        RegQueryValueExW(key, u"during", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size),
        ERROR_FILE_NOT_FOUND)
        << "the write that timed out left nothing behind";
    RegCloseKey(key);
}

// Another program takes a write lock on the whole store file and keeps it until release is
// passed; holding is passed once the lock is taken. The child's result lands in holder when
// the returned thread is joined.
std::thread LockStoreFileInAChild(const std::string& path, Baton& holding, Baton& release,
                                  kvtest::ChildResult& holder) {
    return std::thread([&path, &holding, &release, &holder] {
        holder = kvtest::RunInChild([&] {
            int fd = ::open(path.c_str(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            if (fd < 0 || ::fcntl(fd, F_SETLK, &lock) != 0)
                Verdict("holder: could not lock the store");
            holding.Pass();
            release.Take();
            Verdict("");
        });
    });
}

TEST(RegistryStore, AStoreFileLockedByAnotherProcessGivesBusyThenRecovers) {
    // The store exists (made by another process), then a program locks the whole file.
    auto made = kvtest::RunInChild([] {
        HKEY key = nullptr;
        Verdict(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Locked", &key) == ERROR_SUCCESS
                    ? ""
                    : "could not create the store");
    });
    ASSERT_EQ(made.exit_code, 0) << made.output;
    ::setenv("KAVREL_REGISTRY_BUSY_TIMEOUT_MS", kShortBusy, 1);

    Baton holding, release;
    const std::string path = MachineStore();
    kvtest::ChildResult holder;
    std::thread runner = LockStoreFileInAChild(path, holding, release, holder);
    ASSERT_TRUE(holding.Take());

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Locked", 0, KEY_READ, &key),
              ERROR_BUSY);
    EXPECT_EQ(key, nullptr);
    DWORD size = 0;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           u"CurrentBuildNumber", RRF_RT_REG_SZ, nullptr, nullptr, &size),
              ERROR_BUSY);
    HKEY user = nullptr;
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Kavrel", &user), ERROR_SUCCESS)
        << "another hive is not held up";
    RegCloseKey(user);

    release.Pass();
    runner.join();
    EXPECT_EQ(holder.exit_code, 0) << holder.output;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Locked", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// A write that meets a locked store waits for the lock to go, then lands: nothing is lost
// and another process reads it. (The lock is released as soon as the writer has started, so
// the write usually meets it; when it does not, the result must be the same.)
TEST(RegistryStore, AWriteThatMeetsALockedStoreLandsOnceTheLockGoes) {
    auto made = kvtest::RunInChild([] {
        HKEY key = nullptr;
        Verdict(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Waiting", &key) == ERROR_SUCCESS
                    ? ""
                    : "could not create the store");
    });
    ASSERT_EQ(made.exit_code, 0) << made.output;
    ::setenv("KAVREL_REGISTRY_BUSY_TIMEOUT_MS", "120000", 1);

    Baton holding, release;
    const std::string path = MachineStore();
    kvtest::ChildResult holder;
    std::thread runner = LockStoreFileInAChild(path, holding, release, holder);
    ASSERT_TRUE(holding.Take());

    Baton started;
    LSTATUS written = ERROR_GEN_FAILURE;
    std::thread writer([&] {
        started.Pass();
        // Two calls: opening the key and writing to it both meet the lock.
        HKEY key = nullptr;
        written =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Waiting", 0, KEY_SET_VALUE, &key);
        if (written != ERROR_SUCCESS)
            return;
        const char16_t text[] = u"landed";
        written = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 sizeof text);
        DWORD data = 0x5eed;
        if (written == ERROR_SUCCESS) {
            written = RegSetValueExW(key, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                     sizeof data);
        }
        RegCloseKey(key);
    });
    ASSERT_TRUE(started.Take());
    release.Pass();
    writer.join();
    runner.join();
    EXPECT_EQ(holder.exit_code, 0) << holder.output;
    EXPECT_EQ(written, ERROR_SUCCESS);

    auto reader = kvtest::RunInChild([] {
        WCHAR text[16] = {};
        DWORD bytes = sizeof text;
        DWORD number = 0;
        DWORD size = sizeof number;
        Verdict(RegGetValueW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Waiting", nullptr,
                             RRF_RT_REG_SZ, nullptr, text, &bytes) == ERROR_SUCCESS &&
                        std::u16string(text) == u"landed" &&
                        RegGetValueW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Waiting", u"n",
                                     RRF_RT_REG_DWORD, nullptr, &number, &size) == ERROR_SUCCESS &&
                        number == 0x5eed
                    ? ""
                    : "the writes that waited are not in the store");
    });
    EXPECT_EQ(reader.exit_code, 0) << reader.output;
}

// ---- Damaged store files ------------------------------------------------------------------

void WriteFile(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
    std::ofstream out(path, std::ios::binary | mode);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Garbage(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<char>(seed >> 16);
    }
    return bytes;
}

bool IsCorruptCode(LSTATUS rc) {
    return rc == ERROR_BADDB;
}

// A machine store of 2000 values that a child wrote and flushed into the main file, its log
// removed: the file alone holds everything. Returns the file's size; 0, the test failed,
// when it could not be made.
off_t FlushedStoreWithoutLog() {
    auto made = kvtest::RunInChild([] {
        HKEY key = nullptr;
        if (CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Many", &key) != ERROR_SUCCESS)
            Verdict("could not create the store");
        std::string failure = WriteMany(key, "value-with-a-longer-name-", 2000);
        if (failure.empty() && RegFlushKey(key) != ERROR_SUCCESS)
            failure = "flush failed";
        Verdict(failure);
    });
    EXPECT_EQ(made.exit_code, 0) << made.output;
    ::unlink((MachineStore() + "-wal").c_str());
    ::unlink((MachineStore() + "-shm").c_str());
    struct stat st {};
    if (made.exit_code != 0 || ::stat(MachineStore().c_str(), &st) != 0)
        return 0;
    return st.st_size;
}

// Every kind of call on the damaged machine hive fails with a corruption code, again and
// again; the user hive, a file of its own, is untouched.
void ExpectCorruptMachineHive() {
    HKEY key = nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key);
        EXPECT_TRUE(IsCorruptCode(rc)) << rc;
        EXPECT_EQ(key, nullptr);
        rc = CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\New", &key);
        EXPECT_TRUE(IsCorruptCode(rc)) << rc;
        DWORD one = 1;
        rc = RegSetValueExW(HKEY_LOCAL_MACHINE, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one),
                            4);
        EXPECT_TRUE(IsCorruptCode(rc)) << rc;
        WCHAR name[256];
        DWORD length = 256;
        rc =
            RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        EXPECT_TRUE(IsCorruptCode(rc)) << rc;
        rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID");
        EXPECT_TRUE(IsCorruptCode(rc)) << rc;
    }
    HKEY user = nullptr;
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Kavrel", &user), ERROR_SUCCESS);
    RegCloseKey(user);
}

TEST(RegistryStore, AStoreFileOfGarbageIsCorruptNotACrash) {
    kvtest::ScopedStateRoot root;
    ASSERT_EQ(::mkdir(kvwin::RegistryDirectory().c_str(), 0755), 0);
    WriteFile(MachineStore(), Garbage(16384, 7), std::ios::trunc);
    ExpectCorruptMachineHive();
}

TEST(RegistryStore, DamagedPagesBehindAGoodHeaderAreCorruptNotACrash) {
    kvtest::ScopedStateRoot root;
    const off_t size = FlushedStoreWithoutLog();
    // Every page after the first is overwritten.
    ASSERT_GT(size, 8192);
    {
        std::fstream file(MachineStore(), std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(4096);
        const std::string garbage = Garbage(static_cast<size_t>(size) - 4096, 11);
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    ExpectCorruptMachineHive();
}

// A process that opens an unchanged hive skips the page check its predecessor passed; the
// record of that check never hides damage done after it, and the tool's check ignores it.
TEST(RegistryStore, ARecordOfAPassedCheckNeverHidesLaterDamage) {
    kvtest::ScopedStateRoot root;
    for (int round = 0; round < 2; ++round) {  // made, then opened and checked
        auto opened = kvtest::RunInChild([] {
            HKEY key = nullptr;
            if (CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Many", &key) != ERROR_SUCCESS)
                Verdict("could not open the store");
            std::string failure = WriteMany(key, "value-with-a-longer-name-", 500);
            if (failure.empty() && RegFlushKey(key) != ERROR_SUCCESS)
                failure = "flush failed";
            Verdict(failure);
        });
        ASSERT_EQ(opened.exit_code, 0) << opened.output;
    }
    ::unlink((MachineStore() + "-wal").c_str());
    ::unlink((MachineStore() + "-shm").c_str());
    // Checked by a process that changed nothing: the record stands for these very files,
    // and the next process to open them trusts it instead of checking again (a passed check
    // replaces the record, a new file).
    auto open_sound = [] {
        auto reader = kvtest::RunInChild([] {
            HKEY key = nullptr;
            Verdict(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key) ==
                            ERROR_SUCCESS
                        ? ""
                        : "the sound store did not open");
        });
        EXPECT_EQ(reader.exit_code, 0) << reader.output;
    };
    const std::string record = MachineStore() + "-verified";
    open_sound();
    struct stat first {};
    ASSERT_EQ(::stat(record.c_str(), &first), 0);
    open_sound();
    struct stat second {};
    ASSERT_EQ(::stat(record.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);

    struct stat st {};
    ASSERT_EQ(::stat(MachineStore().c_str(), &st), 0);
    {
        std::fstream file(MachineStore(), std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(4096);
        const std::string garbage = Garbage(static_cast<size_t>(st.st_size) - 4096, 5);
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    EXPECT_EQ(kvwin::registry::CheckStoreFile(MachineStore()), ERROR_BADDB);
    ExpectCorruptMachineHive();
    ASSERT_EQ(::stat(record.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);  // a failed check records nothing
}

// The record of a passed check is made under a new name of its own: a file already at that
// name (here a second link to another file) is replaced, never written through.
TEST(RegistryStore, TheCheckRecordNeverWritesThroughANamePlacedBeforeIt) {
    kvtest::ScopedStateRoot root;
    auto made = kvtest::RunInChild([] {
        HKEY key = nullptr;
        Verdict(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Placed", &key) == ERROR_SUCCESS
                    ? ""
                    : "could not make the store");
    });
    ASSERT_EQ(made.exit_code, 0) << made.output;
    const std::string record = MachineStore() + "-verified";
    ::unlink(record.c_str());
    const std::string victim = kvtest::TestStateRoot() + "/victim";
    { std::ofstream(victim) << "keep"; }
    auto checked = kvtest::RunInChild([&] {
        const std::string placed = record + "." + std::to_string(::getpid());
        if (::link(victim.c_str(), placed.c_str()) != 0)
            Verdict("could not place the link");
        HKEY key = nullptr;
        Verdict(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key) == ERROR_SUCCESS
                    ? ""
                    : "the store did not open");
    });
    ASSERT_EQ(checked.exit_code, 0) << checked.output;
    std::ifstream in(victim);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "keep");
    struct stat st {};
    EXPECT_EQ(::stat(record.c_str(), &st), 0) << "the check was recorded all the same";
}

TEST(RegistryStore, ADatabaseOfSomethingElseIsCorruptNotACrash) {
    kvtest::ScopedStateRoot root;
    ASSERT_EQ(::mkdir(kvwin::RegistryDirectory().c_str(), 0755), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(MachineStore().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE keys(title TEXT); CREATE TABLE vals(x, y);"
                           "INSERT INTO keys VALUES('not a registry');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ExpectCorruptMachineHive();
}

// A store cut short, to nothing or in the middle, is damage, never a store with fewer keys:
// the reads that would have found nothing fail.
TEST(RegistryStore, ACutOffStoreIsReportedNotReadAsEmpty) {
    for (const bool to_nothing : {true, false}) {
        kvtest::ScopedStateRoot root;
        const off_t written = FlushedStoreWithoutLog();
        ASSERT_GT(written, 0);
        ASSERT_EQ(::truncate(MachineStore().c_str(), to_nothing ? 0 : written / 2), 0);

        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key), ERROR_BADDB)
            << to_nothing;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"x", nullptr, nullptr, nullptr, &size),
                  ERROR_BADDB);
        EXPECT_EQ(
            RegGetValueW(HKEY_LOCAL_MACHINE, u"Software\\Kavrel\\Many",
                         u"value-with-a-longer-name-1999", RRF_RT_ANY, nullptr, nullptr, &size),
            ERROR_BADDB);
        // Nothing was put in its place.
        struct stat st {};
        ASSERT_EQ(::stat(MachineStore().c_str(), &st), 0);
        if (to_nothing) {
            EXPECT_EQ(st.st_size, 0);
        }
    }
}

// ---- Seeding ------------------------------------------------------------------------------

const char16_t kIdentityKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

LSTATUS SeededValue(const char16_t* key, const char16_t* name) {
    DWORD size = 0;
    return RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY, nullptr, nullptr, &size);
}

// Processes that know different defaults (a tool without the components, the library with
// them) share one store: none of them brings back a default value the user deleted, and
// each adds the defaults only it knows.
TEST(RegistryStore, ADeletedDefaultStaysDeletedWhateverProcessComesNext) {
    auto with_extra = [] {
        kvwin::AddRegistrySeed({kvwin::SeedDword(u"SOFTWARE\\Kavrel\\Extra", u"Flag", 1)});
        Verdict(SeededValue(u"SOFTWARE\\Kavrel\\Extra", u"Flag") == ERROR_SUCCESS
                    ? ""
                    : "the added default is missing");
    };
    auto plain = [] {
        Verdict(SeededValue(kIdentityKey, u"CurrentBuildNumber") == ERROR_SUCCESS
                    ? ""
                    : "the built-in default is missing");
    };
    ASSERT_EQ(kvtest::RunInChild(with_extra).exit_code, 0);
    ASSERT_EQ(kvtest::RunInChild(plain).exit_code, 0);
    auto remove = kvtest::RunInChild([] {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIdentityKey, 0, KEY_ALL_ACCESS, &key) !=
            ERROR_SUCCESS)
            Verdict("open failed");
        Verdict(RegDeleteValueW(key, u"ReleaseId") == ERROR_SUCCESS ? "" : "delete failed");
    });
    ASSERT_EQ(remove.exit_code, 0) << remove.output;
    ASSERT_EQ(kvtest::RunInChild(with_extra).exit_code, 0);
    ASSERT_EQ(kvtest::RunInChild(plain).exit_code, 0);
    EXPECT_EQ(SeededValue(kIdentityKey, u"ReleaseId"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SeededValue(kIdentityKey, u"CurrentBuildNumber"), ERROR_SUCCESS);
}

// A default added while the process already uses the store is applied by the next call.
TEST(RegistryStore, ADefaultAddedAfterFirstUseIsAppliedByTheNextCall) {
    EXPECT_EQ(SeededValue(kIdentityKey, u"CurrentBuildNumber"), ERROR_SUCCESS);
    EXPECT_EQ(SeededValue(u"SOFTWARE\\Kavrel\\Late", u"Flag"), ERROR_FILE_NOT_FOUND);
    kvwin::AddRegistrySeed({kvwin::SeedDword(u"SOFTWARE\\Kavrel\\Late", u"Flag", 1)});
    EXPECT_EQ(SeededValue(u"SOFTWARE\\Kavrel\\Late", u"Flag"), ERROR_SUCCESS);
    kvwin::AddRegistrySeed({kvwin::SeedDword(u"SOFTWARE\\Kavrel\\Later", u"Flag", 2)});
    EXPECT_EQ(SeededValue(u"SOFTWARE\\Kavrel\\Later", u"Flag"), ERROR_SUCCESS);
}

// ---- The change stamp ----------------------------------------------------------------------

// Caches of registry answers rest on the stamp: it must move with every commit, whoever makes
// it (here a program writing to the file without the layer), including commits that follow a
// checkpoint which emptied the log, and stay put while the store is only read.
TEST(RegistryStore, TheChangeStampMovesWithAnyWritersCommitAndOnlyThen) {
    using kvwin::registry::Hive;
    using kvwin::registry::HiveChangeStamp;
    uint64_t before = 0, stamp = 0;
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, before), ERROR_SUCCESS);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(MachineStore().c_str(), &db), SQLITE_OK);
    auto exec = [&](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    ASSERT_EQ(exec("SELECT count(*) FROM keys"), SQLITE_OK);
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, stamp), ERROR_SUCCESS);
    EXPECT_EQ(stamp, before) << "a read changes nothing";

    std::vector<uint64_t> seen{before};
    for (int round = 0; round < 4; ++round) {
        // Each commit here follows a checkpoint that emptied the log, so the log holds as many
        // frames after it as after the one before.
        ASSERT_EQ(exec("PRAGMA wal_checkpoint(TRUNCATE)"), SQLITE_OK);
        ASSERT_EQ(
            exec("UPDATE keys SET written = written + 1 WHERE id = (SELECT min(id) FROM keys)"),
            SQLITE_OK);
        ASSERT_EQ(HiveChangeStamp(Hive::Machine, stamp), ERROR_SUCCESS);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), stamp), seen.end()) << "round " << round;
        seen.push_back(stamp);
        uint64_t again = 0;
        ASSERT_EQ(HiveChangeStamp(Hive::Machine, again), ERROR_SUCCESS);
        EXPECT_EQ(again, stamp) << "round " << round;
    }
    sqlite3_close(db);

    // The layer's own writes move it as well.
    HKEY key = nullptr;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kavrel\\Stamp", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, stamp), ERROR_SUCCESS);
    EXPECT_EQ(std::find(seen.begin(), seen.end(), stamp), seen.end());
}

// The machine hive is the file under the state root of the moment: a process that points the
// root elsewhere and back finds each time that root's keys, and that file's change stamp.
TEST(RegistryStore, TheMachineHiveIsTheOneUnderTheStateRootOfTheMoment) {
    using kvwin::registry::Hive;
    using kvwin::registry::HiveChangeStamp;
    auto has = [](const char16_t* path) {
        HKEY key = nullptr;
        const LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    };
    HKEY key = nullptr;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kavrel\\First", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    uint64_t first = 0, other = 0, again = 0;
    ASSERT_EQ(HiveChangeStamp(Hive::Machine, first), ERROR_SUCCESS);
    for (int round = 0; round < 2; ++round) {
        {
            kvtest::ScopedStateRoot elsewhere;
            EXPECT_FALSE(has(u"SOFTWARE\\Kavrel\\First"));
            ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kavrel\\Second", &key),
                      ERROR_SUCCESS);
            RegCloseKey(key);
            EXPECT_TRUE(has(u"SOFTWARE\\Kavrel\\Second"));
            ASSERT_EQ(HiveChangeStamp(Hive::Machine, other), ERROR_SUCCESS);
            EXPECT_NE(other, first);
            struct stat info {};
            EXPECT_EQ(::stat((elsewhere.path() + "/registry/machine.db").c_str(), &info), 0);
        }
        EXPECT_TRUE(has(u"SOFTWARE\\Kavrel\\First")) << "round " << round;
        EXPECT_FALSE(has(u"SOFTWARE\\Kavrel\\Second")) << "round " << round;
        ASSERT_EQ(HiveChangeStamp(Hive::Machine, again), ERROR_SUCCESS);
        EXPECT_EQ(again, first) << "round " << round;
    }
}

}  // namespace
