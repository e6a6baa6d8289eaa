// The log's gate: whether a call is certainly rejected, answered without a call into the log
// object.
//
// Most log calls ask for a level the configured mask leaves out. The log object publishes,
// after every configuration read, the levels that may pass and the configuration generation
// it last saw; a call whose level is outside that set, while the generation has not moved,
// is rejected here with a few loads and no clock read. The timed re-read is the refresh
// timer's (log/refresh_timer.h): when a period is up it marks the re-read due and opens the
// gate (all levels pass), so the next call goes to the log object, which reads the registry
// and publishes the set again. Everything else (a mode bit, a level the mask takes, an
// override with a mode, a moved generation, a due re-read, no log object or no timer thread
// in this process, a log object being torn down) goes to the log object, which decides as it
// always has.
//
// Thread safety: the gate's words are atomics; the log object and the refresh timer write
// them, any thread reads them. The gate is static storage without a destructor, so a call
// after the log object is gone still reads valid memory (and is sent on to the log object,
// which handles that case).
#pragma once

#include <atomic>
#include <cstdint>

namespace log_detail {

struct LogGate {
    // The levels a call without a mode may pass with; all bits while there is no log object
    // to ask or no refresh timer in this process, while a re-read is due, or while the
    // override sets a mode for every call.
    std::atomic<uint32_t> acceptLevels{0xFFFFFFFF};
    // The configuration generation word in shared memory, and the value last read from it.
    std::atomic<uint32_t*> generation{nullptr};
    std::atomic<uint32_t> seenGeneration{0};
    // Set by the refresh timer when a period is up; cleared by the re-read it asks for.
    std::atomic<bool> refreshDue{false};
};

extern constinit LogGate g_logGate;

// True when the log would certainly record nothing for this severity word now.
inline bool CertainlyRejected(uint32_t severity) noexcept {
    const uint32_t accept = g_logGate.acceptLevels.load(std::memory_order_acquire);
    const uint32_t level = severity & 0xFF;
    // Bits 20-23 are the call's mode; levels 0 and above 32 are clamped by the log object.
    if ((severity & 0x00F00000) != 0 || level - 1 >= 32 || (level & accept) != 0)
        return false;
    uint32_t* word = g_logGate.generation.load(std::memory_order_relaxed);
    return !word || std::atomic_ref<uint32_t>(*word).load(std::memory_order_relaxed) ==
                        g_logGate.seenGeneration.load(std::memory_order_relaxed);
}

}  // namespace log_detail
