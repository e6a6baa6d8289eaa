// The log's gate: whether a call is certainly rejected, answered without a call into the log
// object.
//
// Most log calls ask for a level the configured mask leaves out. The log object publishes,
// after every configuration read, the levels that may pass, the configuration generation it
// last saw and when the next timed re-read is due; a call whose level is outside that set,
// while the generation has not moved and the re-read is not due, is rejected here with a few
// loads and one read of the seconds clock. Everything else (a mode bit, a level the mask
// takes, an override with a mode, a moved generation, a due re-read, no log object yet, a
// log object being torn down) goes to the log object, which decides as it always has.
//
// Thread safety: the gate's words are atomics; the log object writes them, any thread reads
// them. The gate is static storage without a destructor, so a call after the log object is
// gone still reads valid memory (and is sent on to the log object, which handles that case).
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

namespace log_detail {

struct LogGate {
    // The levels a call without a mode may pass with; all bits while there is no log object
    // to ask, or while its override sets a mode for every call.
    std::atomic<uint32_t> acceptLevels{0xFFFFFFFF};
    // The configuration generation word in shared memory, and the value last read from it.
    std::atomic<uint32_t*> generation{nullptr};
    std::atomic<uint32_t> seenGeneration{0};
    // The seconds-clock time at or after which the configuration is read again.
    std::atomic<int64_t> refreshAt{0};
};

extern constinit LogGate g_logGate;

// A timed re-read comes every this many seconds.
inline constexpr int64_t kLogRefreshSeconds = 60;

// The clock of the timed re-read: whole seconds, as cheap as a clock read gets. A clock set
// back makes the re-read due at once rather than never.
inline bool LogRefreshDue(int64_t refreshAt) noexcept {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    return now >= refreshAt || now + kLogRefreshSeconds < refreshAt;
}

// True when the log would certainly record nothing for this severity word now.
inline bool CertainlyRejected(uint32_t severity) noexcept {
    const uint32_t accept = g_logGate.acceptLevels.load(std::memory_order_acquire);
    const uint32_t level = severity & 0xFF;
    // Bits 20-23 are the call's mode; levels 0 and above 32 are clamped by the log object.
    if ((severity & 0x00F00000) != 0 || level - 1 >= 32 || (level & accept) != 0)
        return false;
    if (uint32_t* word = g_logGate.generation.load(std::memory_order_relaxed);
        word && std::atomic_ref<uint32_t>(*word).load(std::memory_order_relaxed) !=
                    g_logGate.seenGeneration.load(std::memory_order_relaxed))
        return false;
    return !LogRefreshDue(g_logGate.refreshAt.load(std::memory_order_relaxed));
}

}  // namespace log_detail
