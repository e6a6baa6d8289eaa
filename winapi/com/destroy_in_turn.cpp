// The deletions a COM object's final Release sets off, run one after the other.
#include <vector>

#include "kvwin/com_object.h"

namespace kvwin::com_detail {
namespace {

struct Doomed {
    void* object;
    void (*destroy)(void*);
};

// The deletions waiting on this thread while an outer one runs; null when none runs. It lives
// in the layer, not in each module that includes the header, so no module loaded later gives
// a thread storage of its own for it.
thread_local std::vector<Doomed>* pending = nullptr;

}  // namespace

void DestroyInTurn(void* object, void (*destroy)(void*)) noexcept {
    if (pending) {
        try {
            pending->push_back({object, destroy});
            return;
        } catch (...) {
            // No room to defer it: deleted at once, as without the list.
        }
        destroy(object);
        return;
    }
    std::vector<Doomed> list;
    pending = &list;
    destroy(object);
    while (!list.empty()) {
        const Doomed next = list.back();
        list.pop_back();
        next.destroy(next.object);
    }
    pending = nullptr;
}

}  // namespace kvwin::com_detail
