// The memory COM objects hold for the scripts that fill them: a Dictionary's entries, the
// rows a script writes into a collector, the nodes a script creates. A script fills them from
// untrusted input, so what they hold together is bounded: one count for the process, in bytes,
// charged before an object keeps more and refunded when it lets go. An object refused a charge
// fails the call with E_OUTOFMEMORY (error 7 in VBScript) and keeps what it held before.
// The objects themselves count too: every COM object made with `new` (kvwin::ComObject and a
// script class's instances, through HeldAllocation) is charged its size, so a script that
// keeps millions of empty objects meets the same bound as one that fills a few.
//
// The bound is 1 GB, apart from the bounds the script engines keep on their own values.
//
// Thread safety: every function here may be called from any thread at any time; the count is
// one atomic. A HeldMemory belongs to the one object that holds it and is guarded as that
// object's other state is.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

#include "win/oleauto.h"
#include "win/types.h"

namespace kvwin {

inline constexpr size_t kHeldMemoryBound = size_t(1) << 30;

// A count of bytes against a bound: a charge that would pass the bound is refused whole. The
// held-memory functions below keep one for the objects scripts fill; a script engine keeps its
// own for its values. Any thread may call any member at any time.
class MemoryBudget {
  public:
    explicit constexpr MemoryBudget(size_t bound) : bound_(bound) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // Adds `bytes`; false, and nothing charged, when the count would pass the bound.
    bool TryCharge(size_t bytes) noexcept {
        const size_t bound = bound_.load(std::memory_order_relaxed);
        size_t held = held_.load(std::memory_order_relaxed);
        do {
            if (bytes > bound || held > bound - bytes)
                return false;
        } while (!held_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
        return true;
    }
    void Refund(size_t bytes) noexcept { held_.fetch_sub(bytes, std::memory_order_relaxed); }
    size_t InUse() const noexcept { return held_.load(std::memory_order_relaxed); }
    // Sets the bound and returns the one before.
    size_t SetBound(size_t bound) noexcept {
        return bound_.exchange(bound, std::memory_order_relaxed);
    }

  private:
    std::atomic<size_t> held_{0};
    std::atomic<size_t> bound_;
};

// Adds `bytes` to the count; false, and nothing charged, when the count would pass the bound.
KVWIN_API bool ChargeHeldMemory(size_t bytes) noexcept;
KVWIN_API void RefundHeldMemory(size_t bytes) noexcept;

// What is charged now, across the process.
KVWIN_API size_t HeldMemoryInUse() noexcept;

// Test hook: sets the bound (0 restores kHeldMemoryBound) and returns the one before, so a
// test reaches it with little memory. Not for production callers.
KVWIN_API size_t SetHeldMemoryBoundForTesting(size_t bound) noexcept;

// About what a copy of `value` keeps in memory beyond the VARIANT itself: the text of a BSTR,
// the elements of an array (and their texts). Objects count nothing: each bounds its own.
KVWIN_API size_t VariantHeldBytes(const VARIANT& value) noexcept;

// What the allocator keeps beside each block it hands out, charged with every object.
inline constexpr size_t kHeldBlockOverhead = 16;

// The allocation of one object, charged for the block the allocator gives it (at least `size`)
// and kHeldBlockOverhead. The first form throws std::bad_alloc when the charge is refused or
// memory is short, the second returns null. FreeHeldObject gives a block back and refunds its
// charge, which it reads off the block itself, so it needs no size.
KVWIN_API void* AllocateHeldObject(size_t size);
KVWIN_API void* AllocateHeldObject(size_t size, const std::nothrow_t&) noexcept;
KVWIN_API void FreeHeldObject(void* block) noexcept;
// What a block of AllocateHeldObject is charged, for tests.
KVWIN_API size_t HeldObjectCharge(void* block) noexcept;

// A base that gives a class the charged allocation functions: `new T` charges the object's
// block and throws std::bad_alloc past the bound, `new (std::nothrow) T` gives null there, and
// deleting the object, or a constructor that throws, refunds it. Only `new` of this class
// charges: an object of such a class must not be made with global `::new`, placement new or
// std::make_shared and then deleted, nor be deleted when it lives elsewhere. Blocks have the
// allocator's alignment (that of max_align_t); no such class asks for more.
class HeldAllocation {
  public:
    static void* operator new(size_t size) { return AllocateHeldObject(size); }
    static void* operator new(size_t size, const std::nothrow_t& tag) noexcept {
        return AllocateHeldObject(size, tag);
    }
    static void operator delete(void* block) noexcept { FreeHeldObject(block); }
    static void operator delete(void* block, const std::nothrow_t&) noexcept {
        FreeHeldObject(block);
    }
};

// The charge of one holder, refunded when it goes.
class HeldMemory {
  public:
    HeldMemory() = default;
    HeldMemory(const HeldMemory&) = delete;
    HeldMemory& operator=(const HeldMemory&) = delete;
    ~HeldMemory() { RefundHeldMemory(bytes_); }

    // Adds `bytes` to this holder's charge; false (nothing changed) past the bound.
    bool Charge(size_t bytes) noexcept {
        if (!ChargeHeldMemory(bytes))
            return false;
        bytes_ += bytes;
        return true;
    }
    void Refund(size_t bytes) noexcept {
        bytes = bytes < bytes_ ? bytes : bytes_;
        RefundHeldMemory(bytes);
        bytes_ -= bytes;
    }
    // One part of the charge goes from `from` to `to` bytes; false (nothing changed) when
    // the growth would pass the bound. A part that shrinks always succeeds.
    bool Change(size_t from, size_t to) noexcept {
        if (to > from)
            return Charge(to - from);
        Refund(from - to);
        return true;
    }
    void RefundAll() noexcept { Refund(bytes_); }
    size_t bytes() const noexcept { return bytes_; }

  private:
    size_t bytes_ = 0;
};

}  // namespace kvwin
