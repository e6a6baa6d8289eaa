// The interpreter loop and the runtime around it.
#include "interpreter.h"

#include <cmath>
#include <new>

#include "builtins.h"
#include "class_object.h"
#include "com_calls.h"
#include "compiler.h"
#include "convert.h"
#include "lexer.h"
#include "operators.h"
#include "parser.h"

namespace kvvbs {
namespace {

constexpr int kMaxCallDepth = 3000;
constexpr ptrdiff_t kMaxNativeStack = 512 * 1024;  // bytes of C++ stack a run may use
constexpr size_t kMaxArrayItems = size_t(1) << 26;

struct Frame {
    Procedure* proc;
    Value* locals;
    size_t operand_base;
    IDispatch* me;
    Value* outer;  // the locals Execute'd code sees, or null
    bool resume = false;
    uint32_t pc = 0;
    uint32_t stmt = 0;
};

bool Truthy(const Value& v) {
    const Value& d = v.Deref();
    if (d.Is(Kind::Boolean))
        return d.AsBool();
    if (d.IsNull())
        return false;
    return ToBool(Primitive(d));
}

// A plain (Let) assignment's value: an object gives its default value.
Value LetValue(Value v) {
    if (v.IsObject())
        return Primitive(v);
    return v;
}

Value SetValue(Value v) {
    if (!v.IsObject())
        Throw(kErrObjectRequired);
    return v;
}

// New bounds from values; error 9 for a negative count, 7 for too many elements.
std::vector<int32_t> Bounds(const Value* args, uint32_t argc, size_t* total) {
    std::vector<int32_t> upper(argc);
    *total = 1;
    for (uint32_t d = 0; d < argc; ++d) {
        int32_t u = ToLong(args[d]);
        if (u < -1)
            Throw(kErrSubscript);
        upper[d] = u;
        *total *= size_t(u) + 1;  // -1 gives 0
        if (*total > kMaxArrayItems)
            Throw(kErrOutOfMemory);
    }
    return upper;
}

}  // namespace

uint32_t ElementIndex(const ArrayRep& a, const Value* args, uint32_t argc) {
    if (argc != a.upper.size())
        Throw(kErrSubscript);
    size_t index = 0, stride = 1;
    for (uint32_t d = 0; d < argc; ++d) {
        int32_t i = ToLong(args[d]);
        if (i < 0 || i > a.upper[d])
            Throw(kErrSubscript);
        index += size_t(i) * stride;
        stride *= size_t(a.upper[d]) + 1;
    }
    return uint32_t(index);
}

class Interpreter {
  public:
    Interpreter(Runtime& rt, Frame& f) : rt_(rt), f_(f), s_(rt.Stack()) {}

    void Run() {
        for (;;) {
            try {
                Loop();
                return;
            } catch (ScriptError& e) {
                Locate(e);
                if (!f_.resume || e.interrupted)
                    throw;
                rt_.SetErr(e);
            } catch (const std::bad_alloc&) {
                ScriptError e;
                e.number = kErrOutOfMemory;
                Locate(e);
                if (!f_.resume)
                    throw e;
                rt_.SetErr(e);
            }
            // On Error Resume Next: on with the next statement.
            PopTo(f_.operand_base);
            f_.pc = uint32_t(f_.proc->code[f_.stmt].a);
        }
    }

  private:
    void Locate(ScriptError& e) {
        if (e.block >= 0)
            return;
        const Procedure& p = *f_.proc;
        e.block = int(p.block);
        e.line = uint32_t(p.code[f_.stmt].b);
        e.column = p.columns[f_.stmt];  // the statement's start
    }

    void Push(Value v) {
        size_t& sp = rt_.StackTop();
        if (sp >= Runtime::kStackSize)
            Throw(kErrOutOfStack);
        s_[sp++] = std::move(v);
    }
    Value Pop() {
        size_t& sp = rt_.StackTop();
        return std::move(s_[--sp]);
    }
    Value& Top(size_t below = 0) { return s_[rt_.StackTop() - 1 - below]; }
    void PopN(size_t n) {
        size_t& sp = rt_.StackTop();
        for (size_t i = 0; i < n; ++i)
            s_[--sp] = Value();
    }
    void PopTo(size_t base) {
        size_t& sp = rt_.StackTop();
        while (sp > base)
            s_[--sp] = Value();
    }
    Value* Args(uint32_t argc) { return &s_[rt_.StackTop() - argc]; }

    std::u16string_view NameAt(int32_t index) {
        return f_.proc->constants[size_t(index)].AsString();
    }

    Global& GlobalFor(int32_t slot) {
        Global& g = rt_.GlobalAt(slot);
        if (g.item && !g.item_fetched)
            rt_.FetchItem(g);
        return g;
    }

    [[noreturn]] void Undefined(const Global& g) {
        Throw(kErrUndefined, ErrorText(kErrUndefined) + u": '" + g.name + u"'");
    }

    Value LoadGlobal(int32_t slot, bool explicit_names) {
        Global& g = GlobalFor(slot);
        if (g.declared) {
            if (g.value.Is(Kind::Proc))
                return rt_.Call(g.value.AsProc(), nullptr, 0, nullptr);
            return g.value;
        }
        Value result;
        if (rt_.TryGlobalMember(g.name, nullptr, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                                &result))
            return result;
        if (explicit_names)
            Undefined(g);
        return Value();
    }

    // Assigns a global; a name the script has not declared that a global-members item
    // knows is a property put on that item.
    void StoreGlobal(int32_t slot, bool explicit_names, Value v, bool put_ref) {
        Global& g = GlobalFor(slot);
        if (!g.declared && rt_.TryPutGlobalMember(g.name, v, put_ref))
            return;
        StoreTarget(slot, explicit_names) = std::move(v);
    }

    Value& StoreTarget(int32_t slot, bool explicit_names) {
        Global& g = GlobalFor(slot);
        if (g.is_const || g.value.Is(Kind::Proc))
            Throw(kErrInvalidAssign, u"Illegal assignment: '" + g.name + u"'");
        if (!g.declared) {
            if (explicit_names)
                Undefined(g);
            g.declared = true;
        }
        return g.value;
    }

    // a(args) on a value: an array element or an object's default member.
    Value IndexValue(const Value& target, Value* args, uint32_t argc) {
        const Value& t = target.Deref();
        if (t.Is(Kind::Array)) {
            if (argc == 0)
                return t;
            const ArrayRep& a = *t.AsArray();
            return a.items[ElementIndex(a, args, argc)];
        }
        if (t.IsObject()) {
            if (!t.AsObject())
                Throw(kErrNotSet);
            if (ClassObject* instance = ClassObject::From(t.AsObject()))
                return instance->Member(rt_, u"", args, argc);
            return InvokeDispid(rt_, t.AsObject(), DISPID_VALUE, args, argc,
                                DISPATCH_METHOD | DISPATCH_PROPERTYGET);
        }
        if (argc == 0)
            return t;
        Throw(kErrTypeMismatch);
    }

    void StoreIndexed(Value& target, Value* args, uint32_t argc, Value value, bool set) {
        Value& t = target.Deref();
        if (t.Is(Kind::Array)) {
            ArrayRep* a = t.MutableArray();
            a->items[ElementIndex(*a, args, argc)] =
                set ? SetValue(std::move(value)) : LetValue(std::move(value));
            return;
        }
        if (t.IsObject()) {
            if (!t.AsObject())
                Throw(kErrNotSet);
            IDispatch* object = t.AsObject();
            object->AddRef();
            Value hold = Value::AttachObject(object);
            PutMember(rt_, object, u"", args, argc, set ? value : LetValue(value), set);
            return;
        }
        Throw(kErrTypeMismatch);
    }

    void ForAssign(Value& ref, Value v) { ref.Deref() = std::move(v); }

    void Loop() {
        Procedure& p = *f_.proc;
        const Instr* code = p.code.data();
        Value* locals = f_.locals;
        // The position lives in a register; errors need only the statement (f_.stmt).
        uint32_t pc = f_.pc;
        for (;;) {
            const Instr& in = code[pc++];
            switch (in.op) {
                case Op::PushConst:
                    Push(p.constants[size_t(in.a)]);
                    break;
                case Op::PushInt:
                    Push(Value::Long(in.a));
                    break;
                case Op::PushSmall:
                    Push(Value::Integer(in.a));
                    break;
                case Op::PushEmpty:
                    Push(Value());
                    break;
                case Op::PushNothing:
                    Push(Value::Nothing());
                    break;
                case Op::PushMissing:
                    Push(Value::Missing());
                    break;
                case Op::PushMe:
                    Push(Value::Object(f_.me));
                    break;
                case Op::Pop:
                    PopN(1);
                    break;
                case Op::LoadLocal:
                    Push(locals[in.a].Deref());
                    break;
                case Op::StoreLocal: {
                    Value v = LetValue(Pop());
                    locals[in.a].Deref() = std::move(v);
                    break;
                }
                case Op::SetLocal: {
                    Value v = SetValue(Pop());
                    locals[in.a].Deref() = std::move(v);
                    break;
                }
                case Op::PutLocal:
                    locals[in.a] = Pop();
                    break;
                case Op::RefLocal: {
                    Value& slot = locals[in.a];
                    Push(slot.Is(Kind::Ref) ? slot : Value::RefTo(&slot));
                    break;
                }
                case Op::LoadOuter:
                    Push(f_.outer[in.a].Deref());
                    break;
                case Op::StoreOuter: {
                    Value v = LetValue(Pop());
                    f_.outer[in.a].Deref() = std::move(v);
                    break;
                }
                case Op::SetOuter: {
                    Value v = SetValue(Pop());
                    f_.outer[in.a].Deref() = std::move(v);
                    break;
                }
                case Op::RefOuter: {
                    Value& slot = f_.outer[in.a];
                    Push(slot.Is(Kind::Ref) ? slot : Value::RefTo(&slot));
                    break;
                }
                case Op::LoadGlobal:
                    Push(LoadGlobal(in.a, in.b != 0));
                    break;
                case Op::StoreGlobal:
                    StoreGlobal(in.a, in.b != 0, LetValue(Pop()), false);
                    break;
                case Op::SetGlobal:
                    StoreGlobal(in.a, in.b != 0, SetValue(Pop()), true);
                    break;
                case Op::RefGlobal: {
                    Global& g = GlobalFor(in.a);
                    if (g.declared && g.value.Is(Kind::Proc)) {
                        Push(rt_.Call(g.value.AsProc(), nullptr, 0, nullptr));
                        break;
                    }
                    if (!g.declared) {
                        Value member;
                        if (rt_.TryGlobalMember(g.name, nullptr, 0,
                                                DISPATCH_PROPERTYGET | DISPATCH_METHOD, &member)) {
                            Push(std::move(member));
                            break;
                        }
                        if (in.b)
                            Undefined(g);
                        g.declared = true;
                    }
                    Push(Value::RefTo(&g.value));
                    break;
                }
                case Op::PutGlobal: {
                    Global& g = rt_.GlobalAt(in.a);
                    g.value = Pop();
                    g.declared = true;
                    break;
                }
                case Op::DeclareGlobal:
                    rt_.GlobalAt(in.a).declared = true;
                    break;
                case Op::ConstGlobal: {
                    Global& g = rt_.GlobalAt(in.a);
                    g.value = Pop();
                    g.declared = g.known = g.is_const = true;
                    break;
                }
                case Op::Binary: {
                    Value& a = Top(1);
                    Value& b = Top(0);
                    BinOp op = BinOp(in.a);
                    if ((a.Is(Kind::Integer) || a.Is(Kind::Long)) &&
                        (b.Is(Kind::Integer) || b.Is(Kind::Long)) && op <= BinOp::Mul) {
                        const int64_t l = a.AsInt(), r = b.AsInt();
                        const int64_t v = op == BinOp::Add   ? l + r
                                          : op == BinOp::Sub ? l - r
                                                             : l * r;
                        if (a.Is(Kind::Integer) && b.Is(Kind::Integer) && v >= -32768 &&
                            v <= 32767) {
                            PopN(1);
                            Top() = Value::Integer(int32_t(v));
                            break;
                        }
                        if (v >= INT32_MIN && v <= INT32_MAX) {
                            PopN(1);
                            Top() = Value::Long(int32_t(v));
                            break;
                        }
                    }
                    if ((a.Is(Kind::Long) || a.Is(Kind::Integer)) &&
                        (b.Is(Kind::Long) || b.Is(Kind::Integer)) && op >= BinOp::Eq) {
                        int32_t l = a.AsInt(), r = b.AsInt();
                        bool v = op == BinOp::Eq   ? l == r
                                 : op == BinOp::Ne ? l != r
                                 : op == BinOp::Lt ? l < r
                                 : op == BinOp::Le ? l <= r
                                 : op == BinOp::Gt ? l > r
                                                   : l >= r;
                        PopN(1);
                        Top() = Value::Bool(v);
                        break;
                    }
                    if (op == BinOp::Concat && a.IsString() && !b.IsNull() && !b.IsObject()) {
                        // `s = s & x` grows s's buffer in place (see value.h).
                        Value r = std::move(a);
                        if (b.IsString())
                            r.AppendText(b);
                        else
                            r.AppendString(ToText(b));
                        PopN(2);
                        Push(std::move(r));
                        break;
                    }
                    Value r = Binary(op, a, b, uint8_t(in.b));
                    PopN(2);
                    Push(std::move(r));
                    break;
                }
                case Op::Negate:
                    Top() = Negate(Top());
                    break;
                case Op::Not:
                    Top() = Not(Top());
                    break;
                case Op::Is: {
                    bool same = SameObject(Top(1), Top(0));
                    PopN(2);
                    Push(Value::Bool(same));
                    break;
                }
                case Op::Jump:
                    pc = uint32_t(in.a);
                    break;
                case Op::Loop:
                    rt_.CheckInterrupt();
                    pc = uint32_t(in.a);
                    break;
                case Op::JumpIfFalse:
                case Op::JumpIfTrue: {
                    bool t = Truthy(Top());
                    PopN(1);
                    if (t == (in.op == Op::JumpIfTrue))
                        pc = uint32_t(in.a);
                    break;
                }
                case Op::Stmt:
                    f_.stmt = pc - 1;
                    break;
                case Op::CallGlobal: {
                    uint32_t argc = uint32_t(in.b);
                    Value* args = Args(argc);
                    Global& g = GlobalFor(in.a);
                    Value r;
                    if (g.declared && g.value.Is(Kind::Proc)) {
                        r = rt_.Call(g.value.AsProc(), args, argc, nullptr);
                    } else if (g.declared) {
                        r = IndexValue(g.value, args, argc);
                    } else if (!rt_.TryGlobalMember(g.name, args, argc,
                                                    DISPATCH_METHOD | DISPATCH_PROPERTYGET, &r)) {
                        Throw(kErrTypeMismatch,
                              ErrorText(kErrTypeMismatch) + u": '" + g.name + u"'");
                    }
                    PopN(argc);
                    Push(std::move(r));
                    break;
                }
                case Op::CallBuiltin: {
                    uint32_t argc = uint32_t(in.b);
                    Value r = BuiltinAt(in.a).fn(rt_, Args(argc), argc);
                    PopN(argc);
                    Push(std::move(r));
                    break;
                }
                case Op::CallMember: {
                    uint32_t argc = uint32_t(in.b);
                    const Value& object = Top(argc).Deref();
                    if (!object.IsObject())
                        Throw(kErrObjectRequired);
                    if (!object.AsObject())
                        Throw(kErrNotSet);
                    Value r = InvokeMember(rt_, object.AsObject(), NameAt(in.a), Args(argc), argc);
                    PopN(argc + 1);
                    Push(std::move(r));
                    break;
                }
                case Op::Index: {
                    uint32_t argc = uint32_t(in.b);
                    Value r = IndexValue(Top(argc), Args(argc), argc);
                    PopN(argc + 1);
                    Push(std::move(r));
                    break;
                }
                case Op::RefIndex: {
                    uint32_t argc = uint32_t(in.b);
                    Value& ref = Top(argc);
                    Value& t = ref.Deref();
                    Value r;
                    if (t.Is(Kind::Array) && argc > 0) {
                        ArrayRep* a = t.MutableArray();
                        r = Value::RefToElement(a, ElementIndex(*a, Args(argc), argc));
                    } else if (t.Is(Kind::Proc)) {
                        r = rt_.Call(t.AsProc(), Args(argc), argc, nullptr);
                    } else {
                        r = IndexValue(t, Args(argc), argc);
                    }
                    PopN(argc + 1);
                    Push(std::move(r));
                    break;
                }
                case Op::StoreIndex:
                case Op::SetIndex: {
                    uint32_t argc = uint32_t(in.b);
                    Value v = Pop();
                    Value& target = Top(argc);
                    StoreIndexed(target, Args(argc), argc, std::move(v), in.op == Op::SetIndex);
                    PopN(argc + 1);
                    break;
                }
                case Op::StoreMember:
                case Op::SetMember: {
                    uint32_t argc = uint32_t(in.b);
                    const bool set = in.op == Op::SetMember;
                    Value v = set ? SetValue(Pop()) : LetValue(Pop());
                    const Value& object = Top(argc).Deref();
                    if (!object.IsObject())
                        Throw(kErrObjectRequired);
                    if (!object.AsObject())
                        Throw(kErrNotSet);
                    PutMember(rt_, object.AsObject(), NameAt(in.a), Args(argc), argc, v, set);
                    PopN(argc + 1);
                    break;
                }
                case Op::NewObject: {
                    std::u16string_view name = NameAt(in.a);
                    int index = rt_.FindClass(name);
                    if (index < 0)
                        Throw(506, u"Class not defined: '" + std::u16string(name) + u"'");
                    Push(ClassObject::Create(rt_, index));
                    break;
                }
                case Op::ReDim: {
                    uint32_t dims = uint32_t(in.a);
                    size_t total = 0;
                    std::vector<int32_t> upper = Bounds(Args(dims), dims, &total);
                    Value& t = Top(dims).Deref();
                    if (t.Is(Kind::Array) && t.AsArray()->fixed)
                        Throw(kErrFixedArray);
                    auto* rep = new ArrayRep();
                    Value fresh = Value::AttachArray(rep);
                    rep->upper = upper;
                    rep->items.resize(total);
                    rep->Account();
                    if (in.b && t.Is(Kind::Array) && !t.AsArray()->upper.empty()) {
                        const ArrayRep& old = *t.AsArray();
                        if (old.upper.size() != dims)
                            Throw(kErrSubscript);
                        for (uint32_t d = 0; d + 1 < dims; ++d) {
                            if (old.upper[d] != upper[d])
                                Throw(kErrSubscript);
                        }
                        size_t keep = std::min(old.items.size(), total);
                        for (size_t i = 0; i < keep; ++i)
                            rep->items[i] = old.items[i];
                    }
                    t = std::move(fresh);
                    PopN(dims + 1);
                    break;
                }
                case Op::DimArray: {
                    uint32_t dims = uint32_t(in.a);
                    size_t total = 0;
                    std::vector<int32_t> upper = Bounds(Args(dims), dims, &total);
                    auto* rep = new ArrayRep();
                    Value fresh = Value::AttachArray(rep);
                    rep->upper = upper;
                    rep->fixed = dims > 0;
                    rep->items.resize(dims > 0 ? total : 0);
                    rep->Account();
                    Top(dims).Deref() = std::move(fresh);
                    PopN(dims + 1);
                    break;
                }
                case Op::Erase: {
                    Value& t = Top().Deref();
                    if (!t.Is(Kind::Array))
                        Throw(kErrTypeMismatch);
                    if (t.AsArray()->fixed) {
                        ArrayRep* a = t.MutableArray();
                        for (auto& item : a->items)
                            item = Value();
                    } else {
                        t = Value::AttachArray(new ArrayRep());
                    }
                    PopN(1);
                    break;
                }
                case Op::ForInit: {
                    Value step = ToNumeric(Primitive(Pop()));
                    Value to = ToNumeric(Primitive(Pop()));
                    Value from = ToNumeric(Primitive(Pop()));
                    Value ref = Pop();
                    ForAssign(ref, from);
                    locals[in.a] = std::move(ref);
                    locals[in.a + 1] = std::move(to);
                    locals[in.a + 2] = std::move(step);
                    if (!ForContinues(locals + in.a))
                        pc = uint32_t(in.b);
                    break;
                }
                case Op::ForNext: {
                    rt_.CheckInterrupt();
                    Value* h = locals + in.a;
                    Value& var = h[0].Deref();
                    const Value& to = h[1];
                    const Value& step = h[2];
                    if ((var.Is(Kind::Integer) || var.Is(Kind::Long)) && step.IsSmallInt() &&
                        to.IsSmallInt()) {
                        int64_t v = int64_t(var.AsInt()) + step.AsInt();
                        if (v >= INT32_MIN && v <= INT32_MAX) {
                            var = var.Is(Kind::Integer) && v >= -32768 && v <= 32767
                                      ? Value::Integer(int32_t(v))
                                      : Value::Long(int32_t(v));
                            if (step.AsInt() >= 0 ? v <= to.AsInt() : v >= to.AsInt())
                                pc = uint32_t(in.b);
                            break;
                        }
                    }
                    var = Binary(BinOp::Add, var, step);
                    if (ForContinues(h))
                        pc = uint32_t(in.b);
                    break;
                }
                case Op::ForEachInit: {
                    Value& source = Top().Deref();
                    Value items;
                    if (source.Is(Kind::Array)) {
                        items = source;
                    } else if (source.IsObject()) {
                        items = StartEnumeration(source.AsObject());
                    } else {
                        Throw(451, u"Object not a collection");
                    }
                    PopN(1);
                    Value ref = Pop();
                    locals[in.a] = std::move(ref);
                    locals[in.a + 1] = std::move(items);
                    locals[in.a + 2] = Value::Long(0);
                    if (!ForEachStep(locals + in.a))
                        pc = uint32_t(in.b);
                    break;
                }
                case Op::ForEachNext:
                    rt_.CheckInterrupt();
                    if (ForEachStep(locals + in.a))
                        pc = uint32_t(in.b);
                    break;
                case Op::OnErrorResume:
                    f_.resume = true;
                    rt_.ClearErr();
                    break;
                case Op::OnErrorGoto0:
                    f_.resume = false;
                    rt_.ClearErr();
                    break;
                case Op::Return:
                    return;
            }
        }
    }

    static bool ForContinues(Value* h) {
        const Value& var = h[0].Deref();
        double v = ToDouble(var), to = ToDouble(h[1]), step = ToDouble(h[2]);
        return step >= 0 ? v <= to : v >= to;
    }

    // The loop's hidden slots: the variable (a reference), what is walked (an array, or a
    // collection's enumeration), the next array position.
    static bool ForEachStep(Value* h) {
        if (!h[1].Is(Kind::Array) && !h[1].IsObject())
            return false;  // the start failed and On Error Resume Next went on into the body
        if (h[1].IsObject()) {
            Value item;
            if (!NextItem(h[1], &item)) {
                h[1] = Value();  // lets go of the enumerator as the loop ends
                return false;
            }
            h[0].Deref() = std::move(item);
            return true;
        }
        const ArrayRep& items = *h[1].AsArray();
        int32_t next = h[2].AsInt();
        if (size_t(next) >= items.items.size()) {
            h[1] = Value();
            return false;
        }
        h[0].Deref() = items.items[size_t(next)];
        h[2] = Value::Long(next + 1);
        return true;
    }

    Runtime& rt_;
    Frame& f_;
    Value* s_;
};

// ---- Runtime ---------------------------------------------------------------------------

Runtime::Runtime(RuntimeHost* host, std::shared_ptr<InterruptSignal> signal)
    : host_(host), signal_(std::move(signal)) {}

Runtime::~Runtime() {
    Shutdown();
}

void Runtime::Shutdown() {
    if (shut_down_)
        return;
    shut_down_ = true;
    // Values may run script (Class_Terminate) while they go: take them out first.
    err_object = Value();
    std::deque<Global> globals;
    globals.swap(globals_);
    for (auto& g : globals)
        g.value = Value();
    globals.clear();
    global_index_.clear();
    if (stack_) {
        for (size_t i = 0; i < sp_; ++i)
            stack_[i] = Value();
    }
    stack_.reset();
    sp_ = 0;
}

int Runtime::FindGlobal(std::u16string_view lower) const {
    auto it = global_index_.find(std::u16string(lower));
    return it == global_index_.end() ? -1 : it->second;
}

int Runtime::GlobalSlot(std::u16string_view name) {
    std::u16string lower = LowerName(name);
    auto it = global_index_.find(lower);
    if (it != global_index_.end())
        return it->second;
    if (globals_.size() >= 1000000)
        Throw(kErrOutOfMemory);
    globals_.emplace_back();
    globals_.back().name = std::u16string(name);
    int slot = int(globals_.size() - 1);
    global_index_.emplace(std::move(lower), slot);
    return slot;
}

void Runtime::AddNamedItem(std::u16string_view name, bool global_members) {
    Global& g = globals_[size_t(GlobalSlot(name))];
    g.item = true;
    g.declared = g.known = true;
    g.item_fetched = false;
    if (global_members)
        global_member_items_.push_back(std::u16string(name));
}

void Runtime::FetchItem(Global& g) {
    g.item_fetched = true;
    IDispatch* object = nullptr;
    if (host_ && SUCCEEDED(host_->NamedItemObject(g.name, &object)) && object) {
        g.value = Value::AttachObject(object);
        return;
    }
    // The host has no object for it (the library's site answers none): an ordinary name.
    g.item = false;
    g.declared = false;
    g.known = false;
}

IDispatch* Runtime::GlobalMemberOwner(std::u16string_view name, DISPID* id) {
    for (const auto& item : global_member_items_) {
        int slot = FindGlobal(LowerName(item));
        if (slot < 0)
            continue;
        Global& g = globals_[size_t(slot)];
        if (!g.item_fetched)
            FetchItem(g);
        if (!g.value.IsObject() || !g.value.AsObject())
            continue;
        if (FindMember(g.value.AsObject(), name, id))
            return g.value.AsObject();
    }
    return nullptr;
}

bool Runtime::TryGlobalMember(std::u16string_view name, Value* args, uint32_t argc, WORD flags,
                              Value* result) {
    DISPID id;
    IDispatch* owner = GlobalMemberOwner(name, &id);
    if (!owner)
        return false;
    owner->AddRef();  // the call may run script that replaces the item's value
    Value hold = Value::AttachObject(owner);
    *result = InvokeDispid(*this, owner, id, args, argc, flags);
    return true;
}

bool Runtime::TryPutGlobalMember(std::u16string_view name, const Value& value, bool put_ref) {
    DISPID id;
    IDispatch* owner = GlobalMemberOwner(name, &id);
    if (!owner)
        return false;
    owner->AddRef();
    Value hold = Value::AttachObject(owner);
    PutDispid(*this, owner, id, nullptr, 0, value, put_ref);
    return true;
}

bool Runtime::IsGlobalMember(std::u16string_view name) {
    if (global_member_items_.empty())
        return false;
    DISPID id;
    return GlobalMemberOwner(name, &id) != nullptr;
}

int Runtime::AddProcedure(std::unique_ptr<Procedure> proc) {
    procs_.push_back(std::move(proc));
    return int(procs_.size() - 1);
}

int Runtime::AddClass(ClassInfo info) {
    std::u16string lower = LowerName(info.name);
    for (size_t i = 0; i < classes_.size(); ++i) {
        if (LowerName(classes_[i].name) == lower) {
            classes_[i] = std::move(info);
            return int(i);
        }
    }
    classes_.push_back(std::move(info));
    return int(classes_.size() - 1);
}

int Runtime::FindClass(std::u16string_view lower) const {
    std::u16string key = LowerName(lower);
    for (size_t i = 0; i < classes_.size(); ++i) {
        if (LowerName(classes_[i].name) == key)
            return int(i);
    }
    return -1;
}

void CheckDepth(Runtime& rt) {
    char here = 0;
    char* base = rt.StackBase();
    if (rt.CallDepth() >= kMaxCallDepth || (base && base - &here > kMaxNativeStack))
        Throw(kErrOutOfStack);
}

Value Runtime::Call(int index, Value* args, uint32_t argc, IDispatch* me, Value* outer) {
    if (shut_down_)
        Throw(kErrIllegalCall);
    CheckInterrupt();
    CheckDepth(*this);
    Procedure& p = *procs_[size_t(index)];
    if (p.kind != 255 && argc != p.params)
        Throw(kErrWrongArgCount, ErrorText(kErrWrongArgCount) + u": '" + p.name + u"'");
    if (!stack_)
        stack_.reset(new Value[kStackSize]);
    const size_t base = sp_;
    if (base + p.locals + 16 >= kStackSize)
        Throw(kErrOutOfStack);
    Value* locals = &stack_[base];
    sp_ = base + p.locals;
    for (uint32_t i = 0; i < argc && i < p.params; ++i) {
        Value& a = args[i];
        if (p.by_val[i] || !a.Is(Kind::Ref))
            locals[1 + i] = a.Deref();
        else
            locals[1 + i] = a;
    }
    struct Unwind {
        Runtime& rt;
        size_t base;
        int active_class;
        Procedure* active_proc;
        Value* active_locals;
        ~Unwind() {
            rt.active_class = active_class;
            rt.active_proc = active_proc;
            rt.active_locals = active_locals;
            size_t& sp = rt.sp_;
            while (sp > base)
                rt.stack_[--sp] = Value();
            --rt.call_depth_;
        }
    } unwind{*this, base, active_class, active_proc, active_locals};
    ++call_depth_;
    if (!outer) {  // Execute'd code keeps the scope (and class) it runs in
        active_class = p.class_index;
        active_proc = p.kind == 255 ? nullptr : &p;
        active_locals = p.kind == 255 ? nullptr : locals;
    }
    Frame frame{&p, locals, base + p.locals, me, outer};
    Interpreter(*this, frame).Run();
    Value result = std::move(locals[0].Deref());
    return result;
}

void Runtime::RunGlobalCode(int proc) {
    Call(proc, nullptr, 0, nullptr);
}

void Runtime::ExecuteInScope(std::u16string_view text) {
    Procedure* scope = active_proc;
    Value* locals = active_locals;
    // The same text in the same scope reuses its code.
    std::u16string key = u"X" + std::u16string(text);
    if (scope) {
        std::string id = std::to_string(reinterpret_cast<uintptr_t>(scope));
        key += u"@" + std::u16string(id.begin(), id.end());
    }
    int proc = -1;
    auto it = dynamic_code.find(key);
    if (it != dynamic_code.end()) {
        proc = it->second;
    } else {
        std::unordered_map<std::u16string, int> outer;
        if (scope) {
            for (size_t i = 1; i < scope->local_names.size(); ++i) {
                if (!scope->local_names[i].empty())
                    outer.emplace(LowerName(scope->local_names[i]), int(i));
            }
            // A function's result by the function's own name.
            if (scope->kind == uint8_t(ProcKind::Function) ||
                scope->kind == uint8_t(ProcKind::PropertyGet))
                outer.emplace(LowerName(scope->name), 0);
        }
        proc = Compile(text, 0, 0, scope ? &outer : nullptr);
        if (dynamic_code.size() < 4096)
            dynamic_code.emplace(std::move(key), proc);
    }
    Call(proc, nullptr, 0, nullptr, scope ? locals : nullptr);
}

int Runtime::Compile(std::u16string_view text, DWORDLONG cookie, ULONG start_line,
                     const std::unordered_map<std::u16string, int>* outer) {
    blocks_.push_back(Block{std::u16string(text), cookie, start_line});
    size_t block = blocks_.size() - 1;
    const size_t first_proc = procs_.size();
    try {
        NodePtr tree = Parse(text);
        return CompileBlock(*this, *tree, block, outer);
    } catch (ScriptError& e) {
        // A block that does not compile leaves no procedure behind: names it declared
        // become undefined again, and procedures classes still point at only return.
        for (size_t i = first_proc; i < procs_.size(); ++i) {
            procs_[i]->code.assign(1, Instr{Op::Return});
            procs_[i]->columns.assign(1, 0);
            procs_[i]->constants.clear();
        }
        for (auto& g : globals_) {
            if (g.value.Is(Kind::Proc) && size_t(g.value.AsProc()) >= first_proc) {
                g.value = Value();
                g.declared = g.known = false;
            }
        }
        e.compile = true;
        if (e.block < 0)
            e.block = int(block);
        throw;
    }
}

Value Runtime::Evaluate(std::u16string_view text, DWORDLONG cookie, ULONG start_line) {
    // An expression is compiled as the global code `<result> = (text)`.
    std::u16string code = u"kv_vbs_eval_result_ = (";
    code.append(text);
    code += u")";
    int proc;
    auto it = dynamic_code.find(code);
    if (it != dynamic_code.end()) {
        proc = it->second;
    } else {
        proc = Compile(code, cookie, start_line);
        // The result is kept as it is: an object stays an object.
        const int result_slot = FindGlobal(u"kv_vbs_eval_result_");
        for (auto& in : procs_[size_t(proc)]->code) {
            if (in.op == Op::StoreGlobal && in.a == result_slot)
                in.op = Op::PutGlobal;
        }
        if (dynamic_code.size() < 4096)
            dynamic_code.emplace(code, proc);
    }
    RunGlobalCode(proc);
    int slot = FindGlobal(u"kv_vbs_eval_result_");
    Value out = slot >= 0 ? std::move(globals_[size_t(slot)].value) : Value();
    return out;
}

void Runtime::SetErr(const ScriptError& e) {
    err_.number = e.number;
    err_.description = e.description.empty() ? ErrorText(e.number) : e.description;
    err_.source = e.source.empty() ? u"VBScript runtime error" : e.source;
}

void Runtime::ThrowInterrupt() {
    ScriptError e;
    e.interrupted = true;
    e.interrupt_code = signal_->code.load();
    e.number = int(e.interrupt_code);
    throw e;
}

ScriptFailure Runtime::Describe(const ScriptError& e) const {
    ScriptFailure f;
    f.interrupted = e.interrupted;
    f.code = e.interrupted             ? e.interrupt_code
             : (e.number & 0xFFFF0000) ? HRESULT(e.number)
                                       : ErrorHresult(e.number);
    f.description = e.description.empty() ? ErrorText(e.number) : e.description;
    f.source = !e.source.empty() ? e.source
               : e.compile       ? u"VBScript compilation error"
                                 : u"VBScript runtime error";
    if (e.block >= 0 && size_t(e.block) < blocks_.size()) {
        const Block& b = blocks_[size_t(e.block)];
        f.cookie = b.cookie;
        f.line = b.start_line + e.line;
        f.column = LONG(e.column);
        // The text of the line.
        size_t start = 0;
        for (unsigned l = 0; l < e.line && start != std::u16string::npos; ++l) {
            start = b.text.find(u'\n', start);
            if (start != std::u16string::npos)
                ++start;
        }
        if (start != std::u16string::npos) {
            size_t end = b.text.find_first_of(u"\r\n", start);
            f.line_text = b.text.substr(start, end == std::u16string::npos ? end : end - start);
        }
    }
    return f;
}

namespace {
thread_local const std::atomic<bool>* t_running_stop = nullptr;
thread_local Runtime* t_running = nullptr;
}  // namespace

const std::atomic<bool>* Runtime::RunningStopFlag() {
    return t_running_stop;
}

Runtime* Runtime::Running() {
    return t_running;
}

HRESULT Runtime::Enter(const std::function<void()>& body) {
    if (shut_down_)
        return E_UNEXPECTED;
    const bool outermost = entry_depth_ == 0;
    if (outermost && signal_->requested.load())
        return signal_->code.load();
    struct RunningStop {
        const std::atomic<bool>* outer = t_running_stop;
        Runtime* outer_runtime = t_running;
        RunningStop(const std::atomic<bool>* mine, Runtime* me) {
            t_running_stop = mine;
            t_running = me;
        }
        ~RunningStop() {
            t_running_stop = outer;
            t_running = outer_runtime;
        }
    } running_stop(&signal_->requested, this);
    char here = 0;
    if (outermost) {
        stack_base_ = &here;
        if (host_)
            host_->EnterScript();
    }
    ++entry_depth_;
    HRESULT hr = S_OK;
    try {
        body();
    } catch (const ScriptError& e) {
        last_failure_ = Describe(e);
        if (e.interrupted)
            hr = e.interrupt_code;
        else if (outermost && host_) {
            host_->ReportError(last_failure_);
            hr = SCRIPT_E_REPORTED;
        } else {
            hr = DISP_E_EXCEPTION;
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    --entry_depth_;
    if (outermost) {
        stack_base_ = nullptr;
        if (host_)
            host_->LeaveScript();
    }
    return hr;
}

Value Runtime::CallGlobalByName(int slot, Value* args, uint32_t argc, WORD flags, bool* found) {
    Global& g = globals_[size_t(slot)];
    *found = true;
    if (g.item && !g.item_fetched)
        FetchItem(g);
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (argc < 1 || g.is_const || g.value.Is(Kind::Proc))
            Throw(kErrInvalidAssign);
        g.value = args[argc - 1].Deref();
        g.declared = g.known = true;
        return Value();
    }
    if (g.value.Is(Kind::Proc))
        return Call(g.value.AsProc(), args, argc, nullptr);
    if (argc == 0)
        return g.value;
    if (g.value.Is(Kind::Array)) {
        const ArrayRep& a = *g.value.AsArray();
        return a.items[ElementIndex(a, args, argc)];
    }
    *found = false;
    return Value();
}

}  // namespace kvvbs
