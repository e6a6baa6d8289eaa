#include "shared_segment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "kvwin/last_error.h"
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
    std::ifstream in("/proc/self/sessionid");
    unsigned long long id = 0;
    if (in >> id && id != 0xFFFFFFFFull)
        return "Session-" + std::to_string(id);
    return "Session-u" + std::to_string(::geteuid());
}

bool MakeFolder(const std::string& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) == 0) {
        ::chmod(path.c_str(), mode);  // not narrowed by the umask: other users share it
        return true;
    }
    return errno == EEXIST;
}

bool MakeFolders(const std::string& path, mode_t mode) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return MakeFolder(path, mode);
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

class FlockGuard {
  public:
    explicit FlockGuard(int fd) : fd_(fd) {
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        ok_ = rc == 0;
    }
    ~FlockGuard() {
        if (ok_)
            ::flock(fd_, LOCK_UN);
    }
    FlockGuard(const FlockGuard&) = delete;
    FlockGuard& operator=(const FlockGuard&) = delete;
    bool ok() const { return ok_; }

  private:
    int fd_;
    bool ok_;
};

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

size_t PageRound(size_t n) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return (n + page - 1) / page * page;
}

SegmentResult Fail(DWORD error) {
    SegmentResult result;
    result.error = error;
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

SharedSegment::~SharedSegment() {
    ::munmap(base_, mapped_size_);
    if (fd_ >= 0)
        ::close(fd_);  // drops this holder's shared lock
}

std::string NamespaceFolder(bool global) {
    return NamedObjectDirectory() + "/" + (global ? std::string("Global") : SessionName());
}

SegmentResult OpenSegment(LPCWSTR name, SegmentKind kind, size_t payload_size, SegmentOpen mode,
                          void (*init)(void*, const void*), const void* context) {
    if (!name || !*name) {
        if (mode == SegmentOpen::OpenOnly)
            return Fail(ERROR_INVALID_PARAMETER);
        return Anonymous(payload_size, init, context);
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

    const std::string folder = NamespaceFolder(global);
    if (!MakeFolders(folder, 01777))
        return Fail(Win32ErrorFromErrno(errno));
    Descriptor guard_fd(::open((folder + "/.guard").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (guard_fd.get() < 0)
        return Fail(Win32ErrorFromErrno(errno));
    FlockGuard guard(guard_fd.get());
    if (!guard.ok())
        return Fail(Win32ErrorFromErrno(errno));

    const std::string path = folder + "/" + EscapeName(rest);
    const int flags = O_RDWR | O_CLOEXEC | (mode == SegmentOpen::CreateOrOpen ? O_CREAT : 0);
    Descriptor fd(::open(path.c_str(), flags, 0666));
    if (fd.get() < 0) {
        return Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno));
    }
    ::fchmod(fd.get(), 0666);

    const bool alone = ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
    SegmentHeader header{};
    bool fresh = alone;
    if (!alone) {
        if (::pread(fd.get(), &header, sizeof header, 0) != sizeof header ||
            header.magic != kMagic) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        if (header.kind != static_cast<uint32_t>(kind))
            return Fail(ERROR_INVALID_HANDLE);
    } else if (mode == SegmentOpen::OpenOnly) {
        // Left behind by holders that are all gone: the object no longer exists.
        ::unlink(path.c_str());
        return Fail(ERROR_FILE_NOT_FOUND);
    }

    size_t size = fresh ? payload_size : static_cast<size_t>(header.payload_size);
    const size_t mapped = kSegmentHeaderSize + PageRound(size ? size : 1);
    if (fresh) {
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
    // Now one holder among others; the namespace guard keeps anyone from seeing the gap.
    ::flock(result.segment->fd(), LOCK_SH);
    return result;
}

}  // namespace kvwin
