// Memory behind kernel objects: named segments in the state root's object namespace,
// anonymous shared mappings for unnamed file mappings, and plain process-private blocks for
// unnamed events and mutexes (no other process can ever name them, so they need neither a
// mapping nor process-shared futexes).
//
// A named segment is a file under <root>/objects/<namespace>/. Every process that holds the
// object open keeps a shared flock() on the file; a creator that can take the lock
// exclusively knows nobody else holds the object and starts it afresh. Creation and opening
// are serialised per namespace by an exclusive flock() on the namespace's ".guard" file, so
// the exclusive check and the downgrade to a shared lock cannot interleave with another
// process's. A process that dies drops its locks with its descriptors.
//
// Who may do what (docs/platform/security.md): <root>/objects is sticky and open to all;
// Global/ belongs to the objects folder's owner (root for the machine's state root), who
// alone creates objects there; every user's Local\ objects live in a session folder of its
// own (Session-<id>, with ".u<uid>" for users other than that owner), mode 0700. The guard
// is mode 0600, so only processes that may create objects in a namespace can hold it, and
// they take it with a bounded wait. Everyone else opens existing Global\ objects without
// the guard. Nothing is opened through a link (kvwin/safe_open.h).
//
// The guard, and an object another process is still making, are waited for at most the
// caller's time-out, and never longer than kGuardWaitMs: a call without a time-out of its
// own (every creation and opening call: Windows' never wait on another process) and a
// call with INFINITE both get that bound, then fail with ERROR_TIMEOUT.
//
// The first page of a segment is its header (kind and payload size); the payload follows at
// one page, so a file mapping's view can be mapped at page offsets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "win/types.h"

namespace kvwin {

// The longest wait for a namespace's guard. A legitimate holder holds it for a few system
// calls; only processes that may create objects in the namespace can hold it at all.
constexpr uint32_t kGuardWaitMs = 1000;

enum class SegmentKind : uint32_t { Event = 1, Mutex = 2, FileMapping = 3 };

constexpr size_t kSegmentHeaderSize = 4096;

// Thread safety: immutable after creation; the payload is memory whose users synchronise
// themselves.
class SharedSegment {
  public:
    // A mapping of `mapped_size` bytes at `base` (of `fd`, or anonymous when it is -1), the
    // payload one header page in.
    SharedSegment(int fd, void* base, size_t mapped_size, size_t payload_size);
    // A zero-filled block of this process's own heap; null when there is no memory.
    static std::shared_ptr<SharedSegment> MakePrivate(size_t payload_size);
    ~SharedSegment();
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;

    void* payload() const {
        return static_cast<char*>(base_) + (private_ ? 0 : kSegmentHeaderSize);
    }
    size_t payload_size() const { return payload_size_; }
    int fd() const { return fd_; }  // -1 for an anonymous or private segment
    // Whether other processes may map the payload: their futex waits must then be shared.
    bool shared() const { return !private_; }

  private:
    struct PrivateTag {};
    SharedSegment(PrivateTag, void* base, size_t payload_size);

    int fd_;
    void* base_;
    size_t mapped_size_;
    size_t payload_size_;
    bool private_ = false;
};

enum class SegmentOpen { CreateOrOpen, OpenOnly };

struct SegmentResult {
    std::shared_ptr<SharedSegment> segment;
    bool created = false;  // a fresh segment whose payload the caller must initialise
    DWORD error = 0;       // Win32 code when segment is null
};

// Opens or creates the segment for `name`. Null or empty makes a new unnamed one: a
// process-private block for an event or a mutex, an anonymous shared mapping for a file
// mapping (its views are the mapping's own memory). A fresh
// payload is zero-filled; `init` runs on it while creation is still serialised, so no other
// process sees it half made. An existing segment of another kind gives ERROR_INVALID_HANDLE;
// opening a missing one ERROR_FILE_NOT_FOUND; a name with a '\' other than its namespace
// prefix ERROR_PATH_NOT_FOUND, as a missing object folder does on Windows. The guard is
// waited for at most wait_ms (capped at kGuardWaitMs), then ERROR_TIMEOUT.
SegmentResult OpenSegment(LPCWSTR name, SegmentKind kind, size_t payload_size, SegmentOpen mode,
                          void (*init)(void* payload, const void* context), const void* context,
                          uint32_t wait_ms = kGuardWaitMs);

// The folder of one namespace, for the tools' --where output and tests.
std::string NamespaceFolder(bool global);

}  // namespace kvwin
