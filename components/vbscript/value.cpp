// Value's counted parts.
#include "value.h"

namespace kvvbs {

Value Value::String(std::u16string_view text) {
    return String(std::u16string(text));
}

Value Value::String(std::u16string&& text) {
    Value v;
    v.kind_ = Kind::String;
    v.len_ = uint32_t(text.size());
    v.str_ = new StrRep{1, std::move(text)};
    return v;
}

void Value::AppendString(std::u16string_view text) {
    if (kind_ == Kind::String && str_ && str_->text.size() == len_ &&
        (text.data() < str_->text.data() || text.data() > str_->text.data() + len_)) {
        // Every other value sharing the buffer reads at most len_ units: safe to grow.
        str_->text.append(text);
        len_ = uint32_t(str_->text.size());
        return;
    }
    std::u16string joined;
    joined.reserve(StringLength() + text.size());
    joined.append(kind_ == Kind::String ? AsString() : std::u16string_view());
    joined.append(text);
    *this = String(std::move(joined));
}

ArrayRep* Value::MutableArray() {
    if (arr_->refs > 1) {
        auto* copy = new ArrayRep{1, false, arr_->upper, arr_->items};
        copy->fixed = arr_->fixed;
        ReleaseArray(arr_);
        arr_ = copy;
    }
    return arr_;
}

void ReleaseArray(ArrayRep* rep) {
    if (--rep->refs != 0)
        return;
    // Arrays nested in arrays are freed from a list, not by recursion: a script can nest
    // them as deep as it likes.
    std::vector<ArrayRep*> doomed{rep};
    while (!doomed.empty()) {
        ArrayRep* r = doomed.back();
        doomed.pop_back();
        for (Value& item : r->items) {
            if (ArrayRep* child = item.TakeArray()) {
                if (--child->refs == 0)
                    doomed.push_back(child);
            }
        }
        delete r;
    }
}

void Value::ReleaseSlow() {
    switch (kind_) {
        case Kind::String:
            if (str_ && --str_->refs == 0)
                delete str_;
            break;
        case Kind::Object:
            if (obj_)
                obj_->Release();
            break;
        case Kind::Array:
            ReleaseArray(arr_);
            break;
        case Kind::Ref:
            if (len_ != UINT32_MAX)
                ReleaseArray(arr_);
            break;
        default:
            break;
    }
    kind_ = Kind::Empty;
}

}  // namespace kvvbs
