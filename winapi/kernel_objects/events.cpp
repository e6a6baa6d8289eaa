// Events: CreateEventW, OpenEventW, SetEvent, ResetEvent.
#include "kvwin/last_error.h"
#include "sync_objects.h"
#include "win/kernel_objects.h"

namespace kvwin {

EventObject::EventObject(std::shared_ptr<SharedSegment> segment)
    : segment_(std::move(segment)), state_(static_cast<EventState*>(segment_->payload())) {}

TakeResult EventObject::TryTake() {
    if (state_->manual_reset)
        return IsSignalled() ? TakeResult::Taken : TakeResult::NotSignalled;
    uint32_t expected = 1;
    return state_->signalled.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)
               ? TakeResult::Taken
               : TakeResult::NotSignalled;
}

bool EventObject::IsSignalled() {
    return state_->signalled.load(std::memory_order_acquire) != 0;
}

void EventObject::Untake() {
    if (!state_->manual_reset)
        Set();
}

void EventObject::Set() {
    state_->signalled.store(1, std::memory_order_release);
    state_->wake.fetch_add(1, std::memory_order_acq_rel);
    WakeAll(state_->wake, segment_->shared());
}

void EventObject::Reset() {
    state_->signalled.store(0, std::memory_order_release);
}

namespace {

struct EventInit {
    bool manual_reset;
    bool initial_state;
};

void InitEvent(void* payload, const void* context) {
    const auto* init = static_cast<const EventInit*>(context);
    auto* state = new (payload) EventState;
    state->signalled.store(init->initial_state ? 1 : 0);
    state->wake.store(0);
    state->manual_reset = init->manual_reset ? 1 : 0;
}

HANDLE EventHandle(SegmentResult result) {
    if (!result.segment) {
        SetLastError(result.error);
        return nullptr;
    }
    HANDLE handle = InsertHandle(std::make_shared<EventObject>(std::move(result.segment)));
    if (handle)
        SetLastError(result.created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
}

std::shared_ptr<EventObject> EventFromHandle(HANDLE handle) {
    return LookupHandleAs<EventObject>(handle, HandleKind::Event);
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                    BOOL bInitialState, LPCWSTR lpName) {
    const EventInit init{bManualReset != FALSE, bInitialState != FALSE};
    return EventHandle(OpenSegment(lpName, SegmentKind::Event, sizeof(EventState),
                                   SegmentOpen::CreateOrOpen, InitEvent, &init));
}

HANDLE OpenEventW(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCWSTR lpName) {
    HANDLE handle = EventHandle(OpenSegment(lpName, SegmentKind::Event, sizeof(EventState),
                                            SegmentOpen::OpenOnly, nullptr, nullptr));
    if (handle)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = EventFromHandle(hEvent);
    if (!event)
        return FALSE;
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = EventFromHandle(hEvent);
    if (!event)
        return FALSE;
    event->Reset();
    return TRUE;
}

}  // extern "C"
