// The process-wide count of memory script-filled objects hold.
#include "kvwin/held_memory.h"

#include <malloc.h>

#include <cstdlib>

namespace kvwin {
namespace {

MemoryBudget g_held{kHeldMemoryBound};

// Arrays of variants may hold arrays; below this depth an element counts its own size only.
constexpr int kNestedArrayDepth = 8;

// What the allocator gave a block of AllocateHeldObject, which malloc made.
size_t BlockSize(void* block) noexcept {
#ifdef _WIN32
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}

size_t Saturate(size_t a, size_t b) {
    return a + b < a ? SIZE_MAX : a + b;
}

size_t BytesOf(const VARIANT& value, int depth) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT))
        v = v->pvarVal;
    if (!v)
        return 0;
    const bool byref = (v->vt & VT_BYREF) != 0;
    if ((v->vt & ~VT_BYREF) == VT_BSTR) {
        BSTR text = byref ? (v->pbstrVal ? *v->pbstrVal : nullptr) : v->bstrVal;
        return text ? SysStringByteLen(text) + sizeof(char16_t) + sizeof(UINT) : 0;
    }
    if (!(v->vt & VT_ARRAY))
        return 0;
    SAFEARRAY* array = byref ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    if (!array || !array->pvData)
        return 0;
    size_t count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) {
        const size_t n = array->rgsabound[d].cElements;
        count = n && count > SIZE_MAX / n ? SIZE_MAX : count * n;
    }
    const size_t element = array->cbElements;
    size_t bytes = element && count > SIZE_MAX / element ? SIZE_MAX : count * element;
    const VARTYPE type = VARTYPE(v->vt & VT_TYPEMASK);
    if (type == VT_BSTR) {
        auto* texts = static_cast<BSTR*>(array->pvData);
        for (size_t i = 0; i < count && bytes != SIZE_MAX; ++i) {
            if (texts[i])
                bytes = Saturate(bytes, SysStringByteLen(texts[i]) + sizeof(char16_t));
        }
    } else if (type == VT_VARIANT && depth < kNestedArrayDepth) {
        auto* items = static_cast<VARIANT*>(array->pvData);
        for (size_t i = 0; i < count && bytes != SIZE_MAX; ++i)
            bytes = Saturate(bytes, BytesOf(items[i], depth + 1));
    }
    return bytes;
}

}  // namespace

bool ChargeHeldMemory(size_t bytes) noexcept {
    return g_held.TryCharge(bytes);
}

void RefundHeldMemory(size_t bytes) noexcept {
    g_held.Refund(bytes);
}

void* AllocateHeldObject(size_t size, const std::nothrow_t&) noexcept {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        return nullptr;
    if (!g_held.TryCharge(HeldObjectCharge(block))) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void* AllocateHeldObject(size_t size) {
    void* block = AllocateHeldObject(size, std::nothrow);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void FreeHeldObject(void* block) noexcept {
    if (!block)
        return;
    g_held.Refund(HeldObjectCharge(block));
    std::free(block);
}

size_t HeldObjectCharge(void* block) noexcept {
    return BlockSize(block) + kHeldBlockOverhead;
}

size_t HeldMemoryInUse() noexcept {
    return g_held.InUse();
}

size_t SetHeldMemoryBoundForTesting(size_t bound) noexcept {
    return g_held.SetBound(bound ? bound : kHeldMemoryBound);
}

size_t VariantHeldBytes(const VARIANT& value) noexcept {
    return BytesOf(value, 0);
}

}  // namespace kvwin
