// Mutexes: CreateMutexW, OpenMutexW, ReleaseMutex.
#include <time.h>

#include <cerrno>

#include "futex.h"
#include "kvwin/last_error.h"
#include "sync_objects.h"
#include "win/kernel_objects.h"

namespace kvwin {

namespace {

TakeResult FromLockResult(pthread_mutex_t& mutex, int rc) {
    if (rc == 0)
        return TakeResult::Taken;
    if (rc == EOWNERDEAD) {
        ::pthread_mutex_consistent(&mutex);
        return TakeResult::Abandoned;
    }
    return TakeResult::NotSignalled;
}

}  // namespace

MutexObject::MutexObject(std::shared_ptr<SharedSegment> segment)
    : segment_(std::move(segment)), state_(static_cast<MutexState*>(segment_->payload())) {}

TakeResult MutexObject::TryTake() {
    return FromLockResult(state_->mutex, ::pthread_mutex_trylock(&state_->mutex));
}

bool MutexObject::IsSignalled() {
    const TakeResult result = TryTake();
    if (result == TakeResult::NotSignalled)
        return false;
    ::pthread_mutex_unlock(&state_->mutex);
    return true;
}

void MutexObject::Untake() {
    ::pthread_mutex_unlock(&state_->mutex);
}

TakeResult MutexObject::Take(uint32_t timeout_ms) {
    if (timeout_ms == UINT32_MAX) {
        return FromLockResult(state_->mutex, ::pthread_mutex_lock(&state_->mutex));
    }
    const timespec deadline = MonotonicDeadline(timeout_ms);
    int rc;
    do {
        rc = ::pthread_mutex_clocklock(&state_->mutex, CLOCK_MONOTONIC, &deadline);
    } while (rc == EINTR);
    return FromLockResult(state_->mutex, rc);
}

namespace {
constexpr uint32_t kSleepers = 0x80000000u;
}  // namespace

void MutexObject::AnnounceSleeper() {
    state_->wake.fetch_or(kSleepers, std::memory_order_seq_cst);
}

bool MutexObject::Release() {
    if (::pthread_mutex_unlock(&state_->mutex) != 0)
        return false;
    // Move the word and take the mark: a sleeper that marks it after this sees the mutex free
    // (or sleeps on the new value, which the next release moves and wakes).
    uint32_t old = state_->wake.load(std::memory_order_relaxed);
    while (
        !state_->wake.compare_exchange_weak(old, (old + 1) & ~kSleepers, std::memory_order_seq_cst))
        ;
    if (old & kSleepers)
        WakeAll(state_->wake, segment_->shared());
    return true;
}

namespace {

struct MutexInit {
    bool take_ownership;
    bool named;  // an unnamed mutex is this process's own
};

// Runs on the creating thread while creation is still serialised, so initial ownership is
// given before any other process can see the mutex.
void InitMutex(void* payload, const void* context) {
    const auto* init = static_cast<const MutexInit*>(context);
    auto* state = static_cast<MutexState*>(payload);
    pthread_mutexattr_t attributes;
    ::pthread_mutexattr_init(&attributes);
    ::pthread_mutexattr_setpshared(&attributes,
                                   init->named ? PTHREAD_PROCESS_SHARED : PTHREAD_PROCESS_PRIVATE);
    ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    ::pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    ::pthread_mutex_init(&state->mutex, &attributes);
    ::pthread_mutexattr_destroy(&attributes);
    new (&state->wake) std::atomic<uint32_t>(0);
    if (init->take_ownership)
        ::pthread_mutex_lock(&state->mutex);
}

HANDLE MutexHandle(SegmentResult result) {
    if (!result.segment) {
        SetLastError(result.error);
        return nullptr;
    }
    auto mutex = std::make_shared<MutexObject>(std::move(result.segment));
    HANDLE handle = InsertHandle(mutex);
    if (handle)
        SetLastError(result.created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner,
                    LPCWSTR lpName) {
    // Windows gives initial ownership only to the creator of a new mutex.
    const MutexInit init{bInitialOwner != FALSE, lpName && *lpName};
    return MutexHandle(OpenSegment(lpName, SegmentKind::Mutex, sizeof(MutexState),
                                   SegmentOpen::CreateOrOpen, InitMutex, &init));
}

HANDLE OpenMutexW(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCWSTR lpName) {
    HANDLE handle = MutexHandle(OpenSegment(lpName, SegmentKind::Mutex, sizeof(MutexState),
                                            SegmentOpen::OpenOnly, nullptr, nullptr));
    if (handle)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    auto mutex = LookupHandleAs<MutexObject>(hMutex, HandleKind::Mutex);
    if (!mutex)
        return FALSE;
    return mutex->Release() ? TRUE : FailWith(ERROR_NOT_OWNER);
}

}  // extern "C"
