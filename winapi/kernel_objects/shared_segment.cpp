#include "shared_segment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kvwin/file_lock.h"
#include "kvwin/last_error.h"
#include "kvwin/os_release.h"
#include "kvwin/safe_open.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"

namespace kvwin {

namespace {

constexpr uint32_t kMagic = 0x4B564F42;  // "KVOB"

struct SegmentHeader {
    uint32_t magic;
    uint32_t kind;
    uint64_t payload_size;
};

// The logon session: the kernel's audit session when the process has one, else the user.
std::string SessionName() {
    const std::string text = ReadSmallFile("/proc/self/sessionid", 32).value_or(std::string());
    char* end = nullptr;
    const unsigned long long id = std::strtoull(text.c_str(), &end, 10);
    if (end != text.c_str() && id != 0xFFFFFFFFull)
        return "Session-" + std::to_string(id);
    return "Session-u" + std::to_string(::geteuid());
}

// Object names may hold any character but '\'; the file name escapes what a file name cannot
// hold, and long names are shortened with a hash so that each stays unique.
std::string EscapeName(std::u16string_view name) {
    const std::string utf8 = ToUtf8(name);
    std::string out;
    for (unsigned char c : utf8) {
        if (c == '/' || c == '%' || c < 0x20 || (out.empty() && c == '.')) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    if (out.size() > 200) {
        uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : utf8)
            hash = (hash ^ c) * 1099511628211ull;
        char tail[24];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        out = out.substr(0, 180) + tail;
    }
    return out;
}

// The namespace guard, waited for at most the caller's bound and never past kGuardWaitMs.
class GuardLock : public ExclusiveFlock {
  public:
    GuardLock(int fd, uint32_t wait_ms) : ExclusiveFlock(fd, std::min(wait_ms, kGuardWaitMs)) {}
};

DWORD ErrorOf(int error) {
    return error == ETIMEDOUT ? ERROR_TIMEOUT : Win32ErrorFromErrno(error);
}

size_t PageRound(size_t n) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return (n + page - 1) / page * page;
}

SegmentResult Fail(DWORD error) {
    SegmentResult result;
    result.error = error;
    return result;
}

SegmentResult Private(size_t payload_size, void (*init)(void*, const void*), const void* context) {
    SegmentResult result;
    result.segment = SharedSegment::MakePrivate(payload_size);
    if (!result.segment)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    result.created = true;
    if (init)
        init(result.segment->payload(), context);
    return result;
}

SegmentResult Anonymous(size_t payload_size, void (*init)(void*, const void*),
                        const void* context) {
    const size_t mapped = kSegmentHeaderSize + PageRound(payload_size ? payload_size : 1);
    void* base = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    SegmentResult result;
    result.segment = std::make_shared<SharedSegment>(-1, base, mapped, payload_size);
    result.created = true;
    if (init)
        init(result.segment->payload(), context);
    return result;
}

}  // namespace

SharedSegment::SharedSegment(int fd, void* base, size_t mapped_size, size_t payload_size)
    : fd_(fd), base_(base), mapped_size_(mapped_size), payload_size_(payload_size) {}

namespace {
// A cache line, so that two objects' atomic words never share one.
constexpr std::align_val_t kPrivateAlignment{64};
}  // namespace

SharedSegment::SharedSegment(PrivateTag, void* base, size_t payload_size)
    : fd_(-1), base_(base), mapped_size_(0), payload_size_(payload_size), private_(true) {}

std::shared_ptr<SharedSegment> SharedSegment::MakePrivate(size_t payload_size) {
    const size_t size = payload_size ? payload_size : 1;
    void* base = ::operator new(size, kPrivateAlignment, std::nothrow);
    if (!base)
        return nullptr;
    std::memset(base, 0, size);
    try {
        return std::shared_ptr<SharedSegment>(new SharedSegment(PrivateTag{}, base, payload_size));
    } catch (...) {
        ::operator delete(base, kPrivateAlignment);
        return nullptr;
    }
}

SharedSegment::~SharedSegment() {
    if (private_) {
        ::operator delete(base_, kPrivateAlignment);
        return;
    }
    ::munmap(base_, mapped_size_);
    if (fd_ >= 0)
        ::close(fd_);  // drops this holder's shared lock
}

namespace {

// A state root from before this layout had a private objects folder and namespaces open to
// all: their owner brings them to the modes described below (and the checks refuse or replace
// anything another user put in them).
void BringToMode(int fd, struct stat& st, mode_t mode) {
    if (st.st_uid == FileSystemUser() && (st.st_mode & 07777) != mode &&
        ChangeModeThrough(fd, mode))
        ::fstat(fd, &st);
}

// The objects folder of the state root: everyone may add a folder for their own session
// (sticky, so no one can remove or replace another's), and its owner, who alone may create
// machine-wide objects, makes Global/ inside it before anyone else can.
UniqueFd OpenObjectsFolder(struct stat& st) {
    std::string leaf;
    const UniqueFd root = OpenParentSafely(NamedObjectDirectory(), leaf);
    if (!root.valid())
        return UniqueFd();
    bool created = false;
    UniqueFd objects = MakeFolderAt(root.get(), leaf, 0700, true, &created);
    if (!objects.valid())
        return objects;
    if (created) {
        const UniqueFd global = MakeFolderAt(objects.get(), "Global", 0755, true);
        if (!global.valid() || ::fchmod(objects.get(), 01777) != 0)
            return UniqueFd();
    }
    if (::fstat(objects.get(), &st) != 0)
        return UniqueFd();
    BringToMode(objects.get(), st, 01777);
    if (!created && st.st_uid == FileSystemUser() &&
        !MakeFolderAt(objects.get(), "Global", 0755, true).valid())
        return UniqueFd();
    const bool writable_by_others = st.st_mode & (S_IWGRP | S_IWOTH);
    if (!S_ISDIR(st.st_mode) || (writable_by_others && !(st.st_mode & S_ISVTX))) {
        errno = EACCES;
        return UniqueFd();
    }
    return objects;
}

// The folder of one namespace, and whether the caller may create objects in it. Global/
// belongs to the objects folder's owner; each user has a session folder of their own,
// which only they can write. A folder that belongs to anyone else is refused.
UniqueFd OpenNamespace(bool global, std::string* name, bool& may_create) {
    struct stat objects_st {};
    const UniqueFd objects = OpenObjectsFolder(objects_st);
    if (!objects.valid())
        return UniqueFd();
    const uid_t me = FileSystemUser();
    std::string folder = global ? std::string("Global") : SessionName();
    if (!global && me != objects_st.st_uid)
        folder += ".u" + std::to_string(me);
    if (name)
        *name = folder;
    const uid_t owner = global ? objects_st.st_uid : me;
    UniqueFd space = global ? UniqueFd(::openat(objects.get(), "Global",
                                                O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
                            : MakeFolderAt(objects.get(), folder, 0700, true);
    if (!space.valid())
        return space;
    struct stat st {};
    if (::fstat(space.get(), &st) == 0)
        BringToMode(space.get(), st, global ? 0755 : 0700);
    if (::fstat(space.get(), &st) != 0 || st.st_uid != owner ||
        (st.st_mode & (S_IWGRP | S_IWOTH))) {
        errno = EACCES;
        return UniqueFd();
    }
    may_create = me == owner || me == 0;
    return space;
}

// The guard of a namespace: a file only the namespace's owner can open, so no one else can
// hold up the processes that create objects there.
UniqueFd OpenGuard(int space) {
    struct stat folder {};
    if (::fstat(space, &folder) != 0)
        return UniqueFd();
    // The guard belongs to the namespace's owner, readable by no one else. One that anyone
    // else could have opened (left by an older layout, or put there while the folder was
    // open to all), or that the owner cannot open, is replaced: its holders then lock a
    // file no one uses.
    for (int round = 0; round < 2; ++round) {
        bool created = false;
        UniqueFd guard = OpenFileAt(space, ".guard", O_RDWR | O_CREAT, 0600, &created);
        if (guard.valid() && created && folder.st_uid != FileSystemUser())
            ::fchown(guard.get(), folder.st_uid, static_cast<gid_t>(-1));  // root, for the owner
        struct stat st {};
        if (guard.valid() && ::fstat(guard.get(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == folder.st_uid && !(st.st_mode & (S_IRWXG | S_IRWXO)))
            return guard;
        if (!guard.valid() && errno != ELOOP && errno != EACCES)
            return guard;
        ::unlinkat(space, ".guard", 0);
    }
    errno = EACCES;
    return UniqueFd();
}

// Whether an object's file belongs to the namespace's owner (or root, who may make objects
// anywhere): one that anyone else made is no object of this namespace.
bool OwnedByNamespace(int space, int file) {
    struct stat folder {
    }, st{};
    return ::fstat(space, &folder) == 0 && ::fstat(file, &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_uid == folder.st_uid || st.st_uid == 0);
}

bool ValidHeader(int fd, SegmentKind kind, SegmentHeader& header, DWORD& error) {
    if (::pread(fd, &header, sizeof header, 0) != sizeof header || header.magic != kMagic ||
        header.kind != static_cast<uint32_t>(kind)) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

// A file left by holders that are all gone, already of the size the new object maps, is
// zeroed where it lies: its blocks stay allocated (so no page can fault for want of room),
// and none is freed and allocated again, which on a file system that discards freed blocks
// costs a device round trip per object made. False when the file is of another size or the
// file system cannot zero a range; the caller then truncates and allocates.
bool ResetInPlace(int fd, size_t mapped) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(mapped))
        return false;
    return ::fallocate(fd, FALLOC_FL_ZERO_RANGE, 0, static_cast<off_t>(mapped)) == 0;
}

SegmentResult Map(UniqueFd fd, size_t size, bool fresh, SegmentKind kind,
                  void (*init)(void*, const void*), const void* context) {
    const size_t mapped = kSegmentHeaderSize + PageRound(size ? size : 1);
    void* base = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (base == MAP_FAILED)
        return Fail(Win32ErrorFromErrno(errno));
    SegmentResult result;
    result.segment = std::make_shared<SharedSegment>(fd.release(), base, mapped, size);
    result.created = fresh;
    if (fresh) {
        if (init)
            init(result.segment->payload(), context);
        auto* head = static_cast<SegmentHeader*>(base);
        head->kind = static_cast<uint32_t>(kind);
        head->payload_size = size;
        std::atomic_thread_fence(std::memory_order_release);
        head->magic = kMagic;
    }
    return result;
}

// Opening an object in a namespace the caller cannot create in (another user's Global/):
// without the guard. An object whose file nobody holds is gone; one being made is held
// exclusively by its maker until it is whole.
SegmentResult OpenExisting(int space, const std::string& file, SegmentKind kind, uint32_t wait_ms) {
    UniqueFd fd = OpenFileAt(space, file, O_RDWR, 0);
    if (!fd.valid())
        return Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno));
    if (!OwnedByNamespace(space, fd.get()))
        return Fail(ERROR_ACCESS_DENIED);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
        return Fail(ERROR_FILE_NOT_FOUND);  // closing the descriptor drops the lock
    if (!FlockWithin(fd.get(), LOCK_SH, std::min(wait_ms, kGuardWaitMs)))
        return Fail(ErrorOf(errno));
    SegmentHeader header{};
    DWORD error = 0;
    if (!ValidHeader(fd.get(), kind, header, error))
        return Fail(error);
    return Map(std::move(fd), static_cast<size_t>(header.payload_size), false, kind, nullptr,
               nullptr);
}

}  // namespace

std::string NamespaceFolder(bool global) {
    std::string name;
    bool may_create = false;
    OpenNamespace(global, &name, may_create);
    return NamedObjectDirectory() + "/" +
           (name.empty() ? std::string(global ? "Global" : "") : name);
}

SegmentResult OpenSegment(LPCWSTR name, SegmentKind kind, size_t payload_size, SegmentOpen mode,
                          void (*init)(void*, const void*), const void* context, uint32_t wait_ms) {
    if (!name || !*name) {
        if (mode == SegmentOpen::OpenOnly)
            return Fail(ERROR_INVALID_PARAMETER);
        return kind == SegmentKind::FileMapping ? Anonymous(payload_size, init, context)
                                                : Private(payload_size, init, context);
    }
    std::u16string_view rest = WideView(name);
    bool global = false;
    if (rest.starts_with(u"Global\\")) {
        global = true;
        rest.remove_prefix(7);
    } else if (rest.starts_with(u"Local\\")) {
        rest.remove_prefix(6);
    }
    if (rest.empty() || rest.find(u'\\') != std::u16string_view::npos) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }

    bool may_create = false;
    const UniqueFd space = OpenNamespace(global, nullptr, may_create);
    if (!space.valid())
        return Fail(Win32ErrorFromErrno(errno));
    const std::string file = EscapeName(rest);
    if (!may_create) {
        SegmentResult result = OpenExisting(space.get(), file, kind, wait_ms);
        if (result.error == ERROR_FILE_NOT_FOUND && mode == SegmentOpen::CreateOrOpen)
            result.error = ERROR_ACCESS_DENIED;  // only the namespace's owner makes objects
        return result;
    }

    const UniqueFd guard_fd = OpenGuard(space.get());
    if (!guard_fd.valid())
        return Fail(Win32ErrorFromErrno(errno));
    GuardLock guard(guard_fd.get(), wait_ms);
    if (!guard.ok())
        return Fail(ErrorOf(errno));

    const int flags = O_RDWR | (mode == SegmentOpen::CreateOrOpen ? O_CREAT : 0);
    bool made = false;
    UniqueFd fd = OpenFileAt(space.get(), file, flags, 0666, &made);
    if ((fd.valid() && !OwnedByNamespace(space.get(), fd.get())) ||
        (!fd.valid() && errno == ELOOP)) {
        // Put there by someone else while the folder was open to all: no object of ours.
        ::unlinkat(space.get(), file.c_str(), 0);
        fd = OpenFileAt(space.get(), file, flags, 0666, &made);
    }
    if (!fd.valid()) {
        return Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno));
    }
    if (!OwnedByNamespace(space.get(), fd.get()))
        return Fail(ERROR_ACCESS_DENIED);
    // Others who may use the object must be able to map it; the folder keeps them from
    // removing, replacing or linking it.
    if (made)
        ::fchmod(fd.get(), 0666);

    const bool alone = ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
    SegmentHeader header{};
    const bool fresh = alone;
    if (!alone) {
        DWORD error = 0;
        if (!ValidHeader(fd.get(), kind, header, error))
            return Fail(error);
    } else if (mode == SegmentOpen::OpenOnly) {
        // Left behind by holders that are all gone: the object no longer exists. The file
        // stays for the next maker of that name, who resets it where it lies.
        return Fail(ERROR_FILE_NOT_FOUND);
    }

    const size_t size = fresh ? payload_size : static_cast<size_t>(header.payload_size);
    const size_t mapped = kSegmentHeaderSize + PageRound(size ? size : 1);
    if (fresh && !ResetInPlace(fd.get(), mapped)) {
        // Every page gets its blocks now: a sparse file would fault (SIGBUS) on the first
        // write to a page the file system has no room for.
        if (::ftruncate(fd.get(), 0) != 0)
            return Fail(Win32ErrorFromErrno(errno));
        const int error = ::posix_fallocate(fd.get(), 0, static_cast<off_t>(mapped));
        if (error != 0) {
            ::ftruncate(fd.get(), 0);
            return Fail(Win32ErrorFromErrno(error));
        }
    }
    SegmentResult result = Map(std::move(fd), size, fresh, kind, init, context);
    // Now one holder among others; the namespace guard keeps anyone from seeing the gap.
    if (result.segment)
        ::flock(result.segment->fd(), LOCK_SH);
    return result;
}

}  // namespace kvwin
