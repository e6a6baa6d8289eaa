// Value's counted parts.
#include "value.h"

#include <new>

#include "errors.h"
#include "kvwin/held_memory.h"

namespace kvvbs {
namespace {

// What the texts and arrays of all scripts hold together.
kvwin::MemoryBudget g_values{size_t(1) << 30};

size_t TextBytes(const std::u16string& text) {
    return sizeof(StrRep) + text.capacity() * sizeof(char16_t);
}

}  // namespace

void ChargeMemory(size_t bytes) {
    if (!g_values.TryCharge(bytes))
        throw std::bad_alloc();
}

void RefundMemory(size_t bytes) noexcept {
    g_values.Refund(bytes);
}

ArrayRep::~ArrayRep() {
    RefundMemory(charged);
}

void ArrayRep::Account() {
    const size_t now = items.capacity() * sizeof(Value) + sizeof(ArrayRep);
    if (now > charged)
        ChargeMemory(now - charged);
    else
        RefundMemory(charged - now);
    charged = now;
}

Value Value::String(std::u16string_view text) {
    return String(std::u16string(text));
}

Value Value::String(std::u16string&& text) {
    Value v;
    v.kind_ = Kind::String;
    const uint32_t length = uint32_t(text.size());
    auto* rep = new StrRep{1, std::move(text)};
    try {
        ChargeMemory(TextBytes(rep->text));
    } catch (...) {
        delete rep;
        throw;
    }
    rep->charged = TextBytes(rep->text);
    v.len_ = length;
    v.str_ = rep;
    return v;
}

Value Value::Bytes(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    Value v = String(std::move(units));
    if (bytes.size() % 2)
        v.tail_ = uint16_t(0x100 | uint8_t(bytes.back()));
    return v;
}

std::string Value::StringBytes() const {
    std::u16string_view units = AsString();
    std::string bytes;
    bytes.reserve(units.size() * 2 + 1);
    for (char16_t c : units) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    if (HasOddByte())
        bytes.push_back(char(OddByte()));
    return bytes;
}

void Value::AppendShifted(std::u16string_view units, uint16_t tail) {
    // This text ends in an odd byte: every byte that follows moves up by one, so each new
    // unit is the byte carried over and the next one.
    std::u16string shifted;
    shifted.reserve(units.size() + 1);
    uint8_t carry = OddByte();
    for (char16_t c : units) {
        shifted.push_back(char16_t(carry | (c & 0xFF) << 8));
        carry = uint8_t(c >> 8);
    }
    uint16_t rest = uint16_t(0x100 | carry);
    if (tail) {
        shifted.push_back(char16_t(carry | (tail & 0xFF) << 8));
        rest = 0;
    }
    tail_ = 0;
    AppendString(shifted);  // in place when this text owns its buffer's end
    tail_ = rest;
}

void Value::AppendText(const Value& text) {
    if (HasOddByte()) {
        AppendShifted(text.AsString(), text.tail_);
        return;
    }
    const uint16_t tail = text.HasOddByte() ? text.tail_ : 0;
    AppendString(text.AsString());
    tail_ = tail;
}

void Value::AppendString(std::u16string_view text) {
    if (HasOddByte()) {
        AppendShifted(text, 0);
        return;
    }
    CheckTextLength(size_t(StringLength()) + text.size());
    if (kind_ == Kind::String && str_ && str_->text.size() == len_ &&
        (text.data() < str_->text.data() || text.data() > str_->text.data() + len_)) {
        // Every other value sharing the buffer reads at most len_ units: safe to grow.
        str_->text.append(text);
        const size_t bytes = TextBytes(str_->text);
        if (bytes > str_->charged) {
            try {
                ChargeMemory(bytes - str_->charged);
            } catch (...) {
                str_->text.resize(len_);  // as it was (its larger buffer goes uncharged)
                throw;
            }
            str_->charged = bytes;
        }
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
        try {
            copy->Account();
        } catch (...) {
            delete copy;
            throw;
        }
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
            if (str_ && --str_->refs == 0) {
                RefundMemory(str_->charged);
                delete str_;
            }
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
