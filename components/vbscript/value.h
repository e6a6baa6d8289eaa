// The interpreter's value: a 16-byte tagged union with fast paths for the numeric types and
// strings, converted to and from VARIANT only at COM boundaries (variant_conversion.h).
//
//   Empty, Null, Boolean, Integer (16-bit), Long, Byte, Double, Currency (64-bit, 1/10000),
//   Date (days since 30 Dec 1899), String, Object (an IDispatch reference, null = Nothing),
//   Array (a counted, copy-on-write ArrayRep: assignment copies as the language says),
//   Error (an scode; DISP_E_PARAMNOTFOUND is an omitted argument), and two internal kinds
//   that never reach a script: Ref (a by-reference argument: a variable, or an element of
//   an array it keeps alive) and Proc (a script procedure in a global slot).
//
// Strings share a growable buffer: a value is (buffer, length), and `s & x` appends in
// place when s's length is the buffer's whole length, so building a text by repeated
// concatenation is amortised linear. Buffers are never shortened or changed below any
// value's length, so every value sharing one keeps seeing its own text.
//
// A string is UTF-16 code units, stored little-endian as far as the byte functions (LenB,
// MidB, ChrB, ...) see it, and its length in bytes may be odd: then the value also carries
// its last byte (tail_), which the character functions do not see (Len counts whole units).
//
// Thread safety: none. Values belong to one engine and are used on its thread only (the
// counts of StrRep and ArrayRep are plain integers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/oleauto.h"

namespace kvvbs {

enum class Kind : uint8_t {
    Empty,
    Null,
    Boolean,
    Integer,
    Long,
    Byte,
    Double,
    Currency,
    Date,
    String,
    Object,
    Array,
    Error,
    Ref,
    Proc,
};

// The memory the texts and arrays of all scripts in the process hold, against one bound
// (1 GB). Charge adds to it, or throws std::bad_alloc (error 7 in the script) when that
// would pass the bound; Refund gives back what was charged. A script that keeps what it
// makes thus ends in an error, not by taking the host's memory. Safe from any thread.
void ChargeMemory(size_t bytes);
void RefundMemory(size_t bytes) noexcept;

struct StrRep {
    uint32_t refs = 1;
    std::u16string text;
    size_t charged = 0;  // what the text's buffer was charged
};

class Value;

// An array of any rank, lower bounds 0, stored with the first index varying fastest (as
// SAFEARRAY does), so ReDim Preserve of the last dimension keeps every element in place.
struct ArrayRep {
    uint32_t refs = 1;
    bool fixed = false;          // declared with bounds by Dim: cannot be ReDim'd
    std::vector<int32_t> upper;  // upper bound of each dimension (-1: empty)
    std::vector<Value> items;
    size_t charged = 0;  // what Account last charged for the items

    ~ArrayRep();  // refunds what was charged
    // Charges the items as they are now; called once they are made or resized.
    void Account();
};

class Value {
  public:
    Value() : kind_(Kind::Empty), tail_(0), len_(0), bits_(0) {}
    ~Value() { Release(); }
    Value(const Value& other)
        : kind_(other.kind_), tail_(other.tail_), len_(other.len_), bits_(other.bits_) {
        AddRef();
    }
    Value(Value&& other) noexcept
        : kind_(other.kind_), tail_(other.tail_), len_(other.len_), bits_(other.bits_) {
        other.kind_ = Kind::Empty;
        other.tail_ = 0;
    }
    Value& operator=(const Value& other) {
        if (this != &other) {
            Value copy(other);
            Swap(copy);
        }
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            Release();
            kind_ = other.kind_;
            tail_ = other.tail_;
            len_ = other.len_;
            bits_ = other.bits_;
            other.kind_ = Kind::Empty;
            other.tail_ = 0;
        }
        return *this;
    }
    void Swap(Value& other) noexcept {
        std::swap(kind_, other.kind_);
        std::swap(tail_, other.tail_);
        std::swap(len_, other.len_);
        std::swap(bits_, other.bits_);
    }

    static Value Null() { return Make(Kind::Null, 0); }
    static Value Bool(bool b) { return Make(Kind::Boolean, b ? -1 : 0); }
    static Value Integer(int32_t i) { return Make(Kind::Integer, int16_t(i)); }
    static Value Long(int32_t i) { return Make(Kind::Long, i); }
    static Value Byte(int32_t i) { return Make(Kind::Byte, uint8_t(i)); }
    static Value Double(double d) {
        Value v;
        v.kind_ = Kind::Double;
        v.d_ = d;
        return v;
    }
    // A Single is a Double marked as one: it keeps its kind through assignments and calls,
    // and arithmetic on it gives plain Doubles.
    static Value Single(float f) {
        Value v = Double(f);
        v.len_ = 1;
        return v;
    }
    static Value Date(double d) {
        Value v = Double(d);
        v.kind_ = Kind::Date;
        return v;
    }
    static Value Currency(int64_t scaled) {
        Value v;
        v.kind_ = Kind::Currency;
        v.i64_ = scaled;
        return v;
    }
    static Value Error(HRESULT scode) { return Make(Kind::Error, scode); }
    static Value Missing() { return Error(DISP_E_PARAMNOTFOUND); }
    static Value Proc(int32_t index) { return Make(Kind::Proc, index); }
    static Value String(std::u16string_view text);
    static Value String(std::u16string&& text);
    static Value String(const char16_t* text) { return String(std::u16string_view(text)); }
    // A string of these bytes (an odd count allowed), read as little-endian code units.
    static Value Bytes(std::string_view bytes);
    // Takes over one reference of the object (null is Nothing).
    static Value AttachObject(IDispatch* object) {
        Value v;
        v.kind_ = Kind::Object;
        v.obj_ = object;
        return v;
    }
    // Adds a reference of its own.
    static Value Object(IDispatch* object) {
        if (object)
            object->AddRef();
        return AttachObject(object);
    }
    static Value Nothing() { return AttachObject(nullptr); }
    static Value AttachArray(ArrayRep* rep) {
        Value v;
        v.kind_ = Kind::Array;
        v.arr_ = rep;
        return v;
    }
    static Value RefTo(Value* target) {
        Value v;
        v.kind_ = Kind::Ref;
        v.ref_ = target;
        v.len_ = UINT32_MAX;
        return v;
    }
    // A reference to element `index` of an array (keeps the array alive).
    static Value RefToElement(ArrayRep* rep, uint32_t index) {
        ++rep->refs;
        Value v;
        v.kind_ = Kind::Ref;
        v.arr_ = rep;
        v.len_ = index;
        return v;
    }

    Kind kind() const { return kind_; }
    bool Is(Kind k) const { return kind_ == k; }
    bool IsEmpty() const { return kind_ == Kind::Empty; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsObject() const { return kind_ == Kind::Object; }
    bool IsMissing() const { return kind_ == Kind::Error && i32_ == int32_t(DISP_E_PARAMNOTFOUND); }
    // Integer, Long, Byte, Boolean: the value as a 32-bit integer.
    bool IsSmallInt() const {
        return kind_ == Kind::Long || kind_ == Kind::Integer || kind_ == Kind::Byte ||
               kind_ == Kind::Boolean;
    }
    bool IsSingle() const { return kind_ == Kind::Double && len_ == 1; }
    bool IsNumeric() const {
        return IsSmallInt() || kind_ == Kind::Double || kind_ == Kind::Currency ||
               kind_ == Kind::Date;
    }

    int32_t AsInt() const { return i32_; }
    double AsDouble() const { return d_; }
    int64_t AsCurrency() const { return i64_; }
    bool AsBool() const { return i32_ != 0; }
    HRESULT AsError() const { return HRESULT(i32_); }
    int32_t AsProc() const { return i32_; }
    IDispatch* AsObject() const { return obj_; }
    ArrayRep* AsArray() const { return arr_; }
    std::u16string_view AsString() const {
        return str_ ? std::u16string_view(str_->text.data(), len_) : std::u16string_view();
    }
    uint32_t StringLength() const { return len_; }
    // A string whose byte length is odd: its last byte is OddByte().
    bool HasOddByte() const { return kind_ == Kind::String && tail_ != 0; }
    uint8_t OddByte() const { return uint8_t(tail_); }
    // A string's bytes (little-endian units, then the odd byte if there is one).
    std::string StringBytes() const;

    // Ref: the value referred to.
    Value* RefTarget() const { return len_ == UINT32_MAX ? ref_ : &arr_->items[len_]; }
    // The value itself, or the one a Ref refers to.
    const Value& Deref() const { return kind_ == Kind::Ref ? *RefTarget() : *this; }
    Value& Deref() { return kind_ == Kind::Ref ? *RefTarget() : *this; }

    // An array value's rep, with this value's count handed to the caller (this becomes
    // Empty); null for any other kind.
    ArrayRep* TakeArray() {
        if (kind_ != Kind::Array)
            return nullptr;
        kind_ = Kind::Empty;
        return arr_;
    }

    // this = this & text, in place when this string owns its buffer's end; byte by byte
    // when this text's byte length is odd.
    void AppendString(std::u16string_view text);
    // The same with a String value, whose odd last byte (if any) comes along.
    void AppendText(const Value& text);
    // Writable items of an array value, copied first when shared.
    ArrayRep* MutableArray();

  private:
    static Value Make(Kind k, int32_t i) {
        Value v;
        v.kind_ = k;
        v.i32_ = i;
        return v;
    }
    void AddRef() const {
        switch (kind_) {
            case Kind::String:
                if (str_)
                    ++str_->refs;
                break;
            case Kind::Object:
                if (obj_)
                    obj_->AddRef();
                break;
            case Kind::Array:
                ++arr_->refs;
                break;
            case Kind::Ref:
                if (len_ != UINT32_MAX)
                    ++arr_->refs;
                break;
            default:
                break;
        }
    }
    void Release() {
        if (kind_ < Kind::String)
            return;
        ReleaseSlow();
    }
    void ReleaseSlow();
    void AppendShifted(std::u16string_view units, uint16_t tail);

    Kind kind_;
    // String: 0, or 0x100 | the last byte of a text whose byte length is odd.
    uint16_t tail_;
    // String: length; Ref: element index, or UINT32_MAX for a variable; Double: 1 for a Single.
    uint32_t len_;
    union {
        int64_t bits_;
        int32_t i32_;
        int64_t i64_;
        double d_;
        StrRep* str_;
        IDispatch* obj_;
        ArrayRep* arr_;
        Value* ref_;
    };
};

void ReleaseArray(ArrayRep* rep);

}  // namespace kvvbs
