// Syntax tree to bytecode.
#include "compiler.h"

#include <unordered_map>

#include "builtins.h"
#include "bytecode.h"
#include "errors.h"
#include "interpreter.h"
#include "operators.h"

namespace kvvbs {
namespace {

constexpr uint32_t kMaxSlots = 30000;

[[noreturn]] void FailAt(const Node& n, int number) {
    ScriptError e;
    e.number = number;
    e.compile = true;
    e.line = n.line;
    e.column = n.column;
    throw e;
}

enum class Where { Local, Outer, Member, Constant, Builtin, Global };
struct Resolved {
    Where where;
    int index = 0;
    Value constant;
};

class ProcCompiler {
  public:
    ProcCompiler(Runtime& rt, Procedure& p, const ClassInfo* cls, bool explicit_names,
                 const std::unordered_map<std::u16string, int>* outer = nullptr)
        : rt_(rt), p_(p), cls_(cls), explicit_(explicit_names), outer_(outer) {}

    // Global code: every statement except procedures and classes.
    void CompileGlobal(Node& block) {
        global_ = true;
        for (auto& s : block.kids) {
            if (s->kind != NodeKind::Proc && s->kind != NodeKind::Class)
                Statement(*s);
        }
        Emit(Op::Return);
        Finish();
    }

    void CompileProc(Node& proc) {
        own_kind_ = ProcKind(proc.op);
        if (own_kind_ == ProcKind::Function || own_kind_ == ProcKind::PropertyGet)
            locals_[proc.name] = 0;
        p_.local_names.assign(1, proc.display);
        for (const auto& param : proc.params) {
            locals_[param.name] = int(p_.locals++);
            p_.local_names.push_back(param.name);
            p_.by_val.push_back(param.by_val);
        }
        p_.params = uint32_t(proc.params.size());
        CollectLocals(*proc.kids[0]);
        Block(*proc.kids[0]);
        Emit(Op::Return);
        Finish();
    }

  private:
    // ---- emitting ----------------------------------------------------------------------
    size_t Emit(Op op, int32_t a = 0, int32_t b = 0) {
        p_.code.push_back(Instr{op, a, b});
        p_.columns.push_back(column_);
        return p_.code.size() - 1;
    }
    int32_t Here() const { return int32_t(p_.code.size()); }
    void Patch(size_t at, int32_t target) { p_.code[at].a = target; }
    void PatchB(size_t at, int32_t target) { p_.code[at].b = target; }
    int32_t Constant(Value v) {
        p_.constants.push_back(std::move(v));
        return int32_t(p_.constants.size() - 1);
    }
    int32_t Name(const Node& n) { return Constant(Value::String(n.display)); }
    int NewSlot(std::u16string name) {
        if (p_.locals >= kMaxSlots)
            Throw(kErrOutOfStack);
        p_.local_names.push_back(std::move(name));
        return int(p_.locals++);
    }
    void Finish() {
        if (p_.local_names.size() < p_.locals)
            p_.local_names.resize(p_.locals);
    }

    // ---- names ---------------------------------------------------------------------------
    Resolved Resolve(const std::u16string& name) {
        auto it = locals_.find(name);
        if (it != locals_.end())
            return {Where::Local, it->second, {}};
        if (outer_) {
            auto o = outer_->find(name);
            if (o != outer_->end())
                return {Where::Outer, o->second, {}};
        }
        if (cls_) {
            if (cls_->Find(name))
                return {Where::Member, 0, {}};
        }
        int g = rt_.FindGlobal(name);
        if (g >= 0 && rt_.GlobalAt(g).known)
            return {Where::Global, g, {}};
        Value c;
        if (FindConstant(name, &c))
            return {Where::Constant, 0, c};
        int b = FindBuiltin(name);
        if (b >= 0)
            return {Where::Builtin, b, {}};
        return {Where::Global, rt_.GlobalSlot(name), {}};
    }

    // Dim'd names and implicit assignments of a procedure become its locals.
    void CollectLocals(Node& n) {
        for (auto& k : n.kids) {
            if (!k)
                continue;
            switch (k->kind) {
                case NodeKind::Dim:
                case NodeKind::Const:
                    for (auto& d : k->kids) {
                        if (locals_.count(d->name))
                            FailAt(*d, kErrNameRedefined);
                        locals_[d->name] = NewSlot(d->name);
                    }
                    break;
                default:
                    break;
            }
            if (k->kind >= NodeKind::Block)
                CollectLocals(*k);
        }
        if (n.kind == NodeKind::Block)
            CollectImplicit(n);
    }
    void CollectImplicit(Node& block) {
        for (auto& s : block.kids) {
            Node* target = nullptr;
            if (s->kind == NodeKind::Assign || s->kind == NodeKind::Set ||
                s->kind == NodeKind::For || s->kind == NodeKind::ForEach)
                target = s->Kid(0);
            else if (s->kind == NodeKind::ReDim)
                for (auto& d : s->kids)
                    Implicit(d->name, true);  // ReDim declares, Option Explicit or not
            if (target && target->kind == NodeKind::Name)
                Implicit(target->name);
        }
    }
    void Implicit(const std::u16string& name, bool declares = false) {
        if (locals_.count(name) || (cls_ && cls_->Find(name)))
            return;
        int g = rt_.FindGlobal(name);
        if (g >= 0 && rt_.GlobalAt(g).known)
            return;
        Value c;
        if (FindConstant(name, &c))
            return;
        if (explicit_ && !declares)
            return;  // an undeclared name is an error at run time
        if (!declares && rt_.IsGlobalMember(name))
            return;  // a property of a global-members item, assigned through it
        locals_[name] = NewSlot(name);
    }

    // ---- statements ----------------------------------------------------------------------
    void Block(Node& block) {
        for (auto& s : block.kids)
            Statement(*s);
    }

    void Statement(Node& s) {
        column_ = s.column;
        size_t stmt = Emit(Op::Stmt, 0, int32_t(s.line));
        switch (s.kind) {
            case NodeKind::Block:
                Block(s);
                break;
            case NodeKind::Assign:
            case NodeKind::Set:
                Assign(*s.kids[0], *s.kids[1], s.kind == NodeKind::Set);
                break;
            case NodeKind::CallStmt:
                CallStatement(s);
                break;
            case NodeKind::Dim:
                for (auto& d : s.kids)
                    DimOne(*d);
                break;
            case NodeKind::ReDim:
                for (auto& d : s.kids) {
                    Ref(d->name, *d, /*declares=*/true);
                    for (auto& b : d->kids)
                        Expr(*b);
                    Emit(Op::ReDim, int32_t(d->kids.size()), s.flag ? 1 : 0);
                }
                break;
            case NodeKind::Erase:
                for (auto& t : s.kids) {
                    if (t->kind != NodeKind::Name)
                        FailAt(*t, 1002);
                    Ref(t->name, *t);
                    Emit(Op::Erase);
                }
                break;
            case NodeKind::Const:
                for (auto& d : s.kids) {
                    Expr(*d->kids[0]);
                    if (global_)
                        Emit(Op::ConstGlobal, rt_.GlobalSlot(d->display));
                    else
                        Emit(Op::PutLocal, locals_.at(d->name));
                }
                break;
            case NodeKind::If: {
                std::vector<size_t> ends;
                size_t i = 0;
                const size_t n = s.kids.size();
                bool first = true;
                while (i + 1 < n) {
                    Expr(*s.kids[i]);
                    size_t skip = Emit(Op::JumpIfFalse);
                    if (first)
                        Patch(stmt, Here());  // an error in the condition enters the branch
                    first = false;
                    Block(*s.kids[i + 1]);
                    ends.push_back(Emit(Op::Jump));
                    Patch(skip, Here());
                    i += 2;
                }
                if (i < n)
                    Block(*s.kids[i]);
                for (size_t e : ends)
                    Patch(e, Here());
                if (!first)
                    return;
                break;
            }
            case NodeKind::Select: {
                int hidden = NewSlot(u"");
                Expr(*s.kids[0]);
                Emit(Op::PutLocal, hidden);
                std::vector<size_t> ends;
                for (size_t c = 1; c < s.kids.size(); ++c) {
                    Node& kase = *s.kids[c];
                    std::vector<size_t> to_body;
                    size_t to_next = SIZE_MAX;
                    if (!kase.flag) {
                        for (size_t t = 1; t < kase.kids.size(); ++t)
                            CaseTest(*kase.kids[t], hidden, to_body);
                        to_next = Emit(Op::Jump);
                    }
                    for (size_t b : to_body)
                        Patch(b, Here());
                    Block(*kase.kids[0]);
                    ends.push_back(Emit(Op::Jump));
                    if (to_next != SIZE_MAX)
                        Patch(to_next, Here());
                }
                for (size_t e : ends)
                    Patch(e, Here());
                break;
            }
            case NodeKind::For: {
                int hidden = NewSlot(u"");
                NewSlot(u"");
                NewSlot(u"");
                Ref(s.kids[0]->name, *s.kids[0]);
                Expr(*s.kids[1]);
                Expr(*s.kids[2]);
                if (s.kids[3])
                    Expr(*s.kids[3]);
                else
                    Emit(Op::PushSmall, 1);
                size_t init = Emit(Op::ForInit, hidden);
                Patch(stmt, Here());
                int32_t body = Here();
                loops_.push_back({true, {}});
                Block(*s.kids[4]);
                Emit(Op::ForNext, hidden, body);
                PatchB(init, Here());
                for (size_t e : loops_.back().exits)
                    Patch(e, Here());
                loops_.pop_back();
                return;
            }
            case NodeKind::ForEach: {
                int hidden = NewSlot(u"");
                NewSlot(u"");
                NewSlot(u"");
                Node& var = *s.kids[0];
                if (var.kind != NodeKind::Name)
                    FailAt(var, 1010);
                Ref(var.name, var);
                Expr(*s.kids[1]);
                size_t init = Emit(Op::ForEachInit, hidden);
                Patch(stmt, Here());
                int32_t body = Here();
                loops_.push_back({true, {}});
                Block(*s.kids[2]);
                Emit(Op::ForEachNext, hidden, body);
                PatchB(init, Here());
                for (size_t e : loops_.back().exits)
                    Patch(e, Here());
                loops_.pop_back();
                return;
            }
            case NodeKind::Do: {
                DoForm form = DoForm(s.op);
                int32_t top = Here();
                size_t exit_jump = SIZE_MAX;
                loops_.push_back({false, {}});
                if (form == DoForm::PreWhile || form == DoForm::PreUntil) {
                    Expr(*s.kids[0]);
                    exit_jump = Emit(form == DoForm::PreWhile ? Op::JumpIfFalse : Op::JumpIfTrue);
                    Patch(stmt, Here());
                    Block(*s.kids[1]);
                } else {
                    Patch(stmt, Here());
                    Block(*s.kids[1]);
                    if (form != DoForm::Forever) {
                        Expr(*s.kids[0]);
                        exit_jump =
                            Emit(form == DoForm::PostWhile ? Op::JumpIfFalse : Op::JumpIfTrue);
                    }
                }
                Emit(Op::Loop, top);
                if (exit_jump != SIZE_MAX)
                    Patch(exit_jump, Here());
                for (size_t e : loops_.back().exits)
                    Patch(e, Here());
                loops_.pop_back();
                return;
            }
            case NodeKind::Exit: {
                ExitKind k = ExitKind(s.op);
                if (k == ExitKind::Do || k == ExitKind::For) {
                    bool found = false;
                    for (size_t i = loops_.size(); i-- > 0;) {
                        if (loops_[i].is_for == (k == ExitKind::For)) {
                            loops_[i].exits.push_back(Emit(Op::Jump));
                            found = true;
                            break;
                        }
                    }
                    if (!found)
                        FailAt(s, k == ExitKind::Do ? 1035 : 1036);  // Exit outside its loop
                } else {
                    if (global_)
                        FailAt(s, 1024);
                    Emit(Op::Return);
                }
                break;
            }
            case NodeKind::With: {
                int hidden = NewSlot(u"");
                Expr(*s.kids[0]);
                Emit(Op::PutLocal, hidden);
                with_.push_back(hidden);
                Block(*s.kids[1]);
                with_.pop_back();
                Emit(Op::PushEmpty);
                Emit(Op::PutLocal, hidden);
                break;
            }
            case NodeKind::OnError:
                Emit(s.flag ? Op::OnErrorResume : Op::OnErrorGoto0);
                break;
            case NodeKind::Option:
                break;
            case NodeKind::Proc:
            case NodeKind::Class:
                FailAt(s, 1024);
            default:
                FailAt(s, 1024);
        }
        Patch(stmt, Here());
    }

    void CaseTest(Node& t, int hidden, std::vector<size_t>& to_body) {
        if (t.kind == NodeKind::CaseTo) {
            Emit(Op::LoadLocal, hidden);
            Expr(*t.kids[0]);
            Emit(Op::Binary, int32_t(BinOp::Ge), Literals(nullptr, t.kids[0].get()));
            size_t skip = Emit(Op::JumpIfFalse);
            Emit(Op::LoadLocal, hidden);
            Expr(*t.kids[1]);
            Emit(Op::Binary, int32_t(BinOp::Le), Literals(nullptr, t.kids[1].get()));
            to_body.push_back(Emit(Op::JumpIfTrue));
            Patch(skip, Here());
            return;
        }
        Node& e = t.kind == NodeKind::CaseIs ? *t.kids[0] : t;
        Emit(Op::LoadLocal, hidden);
        Expr(e);
        BinOp op = t.kind == NodeKind::CaseIs ? BinOp(t.op) : BinOp::Eq;
        Emit(Op::Binary, int32_t(op), Literals(nullptr, &e));
        to_body.push_back(Emit(Op::JumpIfTrue));
    }

    void DimOne(Node& d) {
        if (global_) {
            int slot = rt_.GlobalSlot(d.display);
            if (!d.flag) {
                Emit(Op::DeclareGlobal, slot);
                return;
            }
            Emit(Op::RefGlobal, slot, 0);
        } else {
            if (!d.flag)
                return;
            Emit(Op::RefLocal, locals_.at(d.name));
        }
        for (auto& b : d.kids)
            Expr(*b);
        Emit(Op::DimArray, int32_t(d.kids.size()));
    }

    // Pushes a reference to a named variable.
    void Ref(const std::u16string& name, const Node& at, bool declares = false) {
        Resolved r = Resolve(name);
        switch (r.where) {
            case Where::Local:
                Emit(Op::RefLocal, r.index);
                return;
            case Where::Outer:
                Emit(Op::RefOuter, r.index);
                return;
            case Where::Global:
                Emit(Op::RefGlobal, r.index, explicit_ && !declares ? 1 : 0);
                return;
            default:
                FailAt(at, kErrInvalidAssign);
        }
    }

    void Assign(Node& target, Node& value, bool set) {
        switch (target.kind) {
            case NodeKind::Name: {
                Resolved r = Resolve(target.name);
                if (r.where == Where::Member) {
                    Emit(Op::PushMe);
                    Expr(value);
                    Emit(set ? Op::SetMember : Op::StoreMember, Name(target), 0);
                    return;
                }
                Expr(value);
                if (r.where == Where::Local)
                    Emit(set ? Op::SetLocal : Op::StoreLocal, r.index);
                else if (r.where == Where::Outer)
                    Emit(set ? Op::SetOuter : Op::StoreOuter, r.index);
                else if (r.where == Where::Global)
                    Emit(set ? Op::SetGlobal : Op::StoreGlobal, r.index, explicit_ ? 1 : 0);
                else
                    FailAt(target, kErrInvalidAssign);
                return;
            }
            case NodeKind::Member:
                Object(target);
                Expr(value);
                Emit(set ? Op::SetMember : Op::StoreMember, Name(target), 0);
                return;
            case NodeKind::Call: {
                Node& callee = *target.kids[0];
                uint32_t argc = uint32_t(target.kids.size() - 1);
                if (callee.kind == NodeKind::Member) {
                    Object(callee);
                    Args(target, false);
                    Expr(value);
                    Emit(set ? Op::SetMember : Op::StoreMember, Name(callee), int32_t(argc));
                    return;
                }
                if (callee.kind == NodeKind::Name) {
                    Resolved r = Resolve(callee.name);
                    if (r.where == Where::Builtin && callee.name == u"mid" && !set) {
                        MidStatement(target, value);
                        return;
                    }
                    if (r.where == Where::Member) {
                        Emit(Op::PushMe);
                        Args(target, false);
                        Expr(value);
                        Emit(set ? Op::SetMember : Op::StoreMember, Name(callee), int32_t(argc));
                        return;
                    }
                    if (r.where == Where::Local || r.where == Where::Outer ||
                        r.where == Where::Global) {
                        Ref(callee.name, callee);
                        Args(target, false);
                        Expr(value);
                        Emit(set ? Op::SetIndex : Op::StoreIndex, 0, int32_t(argc));
                        return;
                    }
                }
                Expr(callee);
                Args(target, false);
                Expr(value);
                Emit(set ? Op::SetIndex : Op::StoreIndex, 0, int32_t(argc));
                return;
            }
            default:
                FailAt(target, kErrInvalidAssign);
        }
    }

    // `Mid(var, start[, length]) = text`: replaces characters of a variable in place.
    void MidStatement(Node& target, Node& value) {
        const size_t argc = target.kids.size() - 1;
        Node* var = target.Kid(1);
        if (argc < 2 || argc > 3 || !var || var->kind != NodeKind::Name || !target.Kid(2))
            FailAt(target, kErrWrongArgCount);
        Ref(var->name, *var);
        Expr(*target.kids[2]);
        if (argc == 3 && target.kids[3])
            Expr(*target.kids[3]);
        else
            Emit(Op::PushMissing);
        Expr(value);
        Emit(Op::CallBuiltin, FindBuiltin(u"mid statement"), 4);
        Emit(Op::Pop);
    }

    void CallStatement(Node& s) {
        Node& target = *s.kids[0];
        if (target.kind == NodeKind::Call) {
            // `f(x)` without Call: the parentheses make x an expression, passed by value.
            const bool by_value = !s.flag && !target.flag && target.kids.size() == 2;
            Call(target, by_value);
        } else if (target.kind == NodeKind::Name || target.kind == NodeKind::Member) {
            CallNamed(target, nullptr, false);
        } else {
            FailAt(target, kErrExpectedStatement);
        }
        Emit(Op::Pop);
    }

    // ---- expressions ---------------------------------------------------------------------
    static int32_t Literals(const Node* l, const Node* r) {
        auto literal = [](const Node* n) {
            return n && (n->kind == NodeKind::Literal ||
                         (n->kind == NodeKind::Unary && n->op == 0 && n->Kid(0) &&
                          n->Kid(0)->kind == NodeKind::Literal));
        };
        return (literal(l) ? kLeftLiteral : 0) | (literal(r) ? kRightLiteral : 0);
    }

    void Expr(Node& n) {
        column_ = n.column;
        switch (n.kind) {
            case NodeKind::Literal:
                if (n.literal.Is(Kind::Integer))
                    Emit(Op::PushSmall, n.literal.AsInt());
                else if (n.literal.Is(Kind::Long))
                    Emit(Op::PushInt, n.literal.AsInt());
                else if (n.literal.IsEmpty())
                    Emit(Op::PushEmpty);
                else
                    Emit(Op::PushConst, Constant(n.literal));
                return;
            case NodeKind::Name:
            case NodeKind::Member:
                CallNamed(n, nullptr, false);
                return;
            case NodeKind::Call:
                Call(n, false);
                return;
            case NodeKind::Me:
                if (!cls_)
                    FailAt(n, 1037);  // Me outside a class
                Emit(Op::PushMe);
                return;
            case NodeKind::Nothing:
                Emit(Op::PushNothing);
                return;
            case NodeKind::New:
                // RegExp is the engine's own class unless the script defines one.
                if (n.name == u"regexp" && rt_.FindClass(n.name) < 0)
                    Emit(Op::CallBuiltin, FindBuiltin(u"new regexp"), 0);
                else
                    Emit(Op::NewObject, Constant(Value::String(n.name)));
                return;
            case NodeKind::Unary:
                Expr(*n.kids[0]);
                Emit(n.op == 0 ? Op::Negate : Op::Not);
                return;
            case NodeKind::Binary:
                Expr(*n.kids[0]);
                Expr(*n.kids[1]);
                Emit(Op::Binary, n.op, Literals(n.Kid(0), n.Kid(1)));
                return;
            case NodeKind::Is:
                Expr(*n.kids[0]);
                Expr(*n.kids[1]);
                Emit(Op::Is);
                return;
            case NodeKind::Paren:
                Expr(*n.kids[0]);
                return;
            default:
                FailAt(n, kErrExpectedExpr);
        }
    }

    // The object of a member access: the With object for `.name`.
    void Object(Node& member) {
        if (!member.kids[0]) {
            if (with_.empty())
                FailAt(member, 1002);
            Emit(Op::LoadLocal, with_.back());
        } else {
            Expr(*member.kids[0]);
        }
    }

    // A name or member used as a value or as a call without arguments (call: the Call node
    // whose arguments to pass, or null).
    void CallNamed(Node& n, Node* call, bool by_value) {
        uint32_t argc = call ? uint32_t(call->kids.size() - 1) : 0;
        if (n.kind == NodeKind::Member) {
            Object(n);
            if (call)
                Args(*call, by_value);
            Emit(Op::CallMember, Name(n), int32_t(argc));
            return;
        }
        Resolved r = Resolve(n.name);
        if (call && r.where == Where::Local && r.index == 0 && !global_) {
            // The function's own name with arguments calls it again.
            r = cls_ && cls_->Find(n.name) ? Resolved{Where::Member, 0, {}}
                                           : Resolved{Where::Global, rt_.GlobalSlot(n.name), {}};
        }
        switch (r.where) {
            case Where::Local:
            case Where::Outer:
                Emit(r.where == Where::Local ? Op::LoadLocal : Op::LoadOuter, r.index);
                if (call) {
                    Args(*call, true);
                    Emit(Op::Index, 0, int32_t(argc));
                }
                return;
            case Where::Member:
                Emit(Op::PushMe);
                if (call)
                    Args(*call, by_value);
                Emit(Op::CallMember, Name(n), int32_t(argc));
                return;
            case Where::Constant:
                Emit(Op::PushConst, Constant(r.constant));
                if (call)
                    FailAt(n, kErrTypeMismatch);
                return;
            case Where::Builtin: {
                const Builtin& b = BuiltinAt(r.index);
                if (argc < b.min_args || argc > b.max_args)
                    FailAt(n, kErrWrongArgCount);
                if (call)
                    Args(*call, true);
                Emit(Op::CallBuiltin, r.index, int32_t(argc));
                return;
            }
            case Where::Global:
                if (call) {
                    Args(*call, by_value);
                    Emit(Op::CallGlobal, r.index, int32_t(argc));
                } else {
                    Emit(Op::LoadGlobal, r.index, explicit_ ? 1 : 0);
                }
                return;
        }
    }

    void Call(Node& n, bool by_value) {
        Node& callee = *n.kids[0];
        if (callee.kind == NodeKind::Name || callee.kind == NodeKind::Member) {
            CallNamed(callee, &n, by_value);
            return;
        }
        Expr(callee);
        Args(n, true);
        Emit(Op::Index, 0, int32_t(n.kids.size() - 1));
    }

    // The arguments of a call: variables and array elements by reference unless by_value.
    void Args(Node& call, bool by_value) {
        for (size_t i = 1; i < call.kids.size(); ++i) {
            Node* a = call.kids[i].get();
            if (!a) {
                Emit(Op::PushMissing);
                continue;
            }
            if (!by_value && a->kind == NodeKind::Name) {
                Resolved r = Resolve(a->name);
                if (r.where == Where::Local || r.where == Where::Outer ||
                    r.where == Where::Global) {
                    Ref(a->name, *a);
                    continue;
                }
            }
            if (!by_value && a->kind == NodeKind::Call && a->kids[0]->kind == NodeKind::Name) {
                // An array element goes by reference; a call of a procedure gives its result.
                Resolved r = Resolve(a->kids[0]->name);
                const bool procedure =
                    r.where == Where::Global && rt_.GlobalAt(r.index).value.Is(Kind::Proc);
                if (!procedure && (r.where == Where::Local || r.where == Where::Outer ||
                                   r.where == Where::Global)) {
                    Ref(a->kids[0]->name, *a->kids[0]);
                    Args(*a, true);
                    Emit(Op::RefIndex, 0, int32_t(a->kids.size() - 1));
                    continue;
                }
            }
            Expr(*a);
        }
    }

    struct Loop {
        bool is_for;
        std::vector<size_t> exits;
    };

    Runtime& rt_;
    Procedure& p_;
    const ClassInfo* cls_;
    bool explicit_;
    const std::unordered_map<std::u16string, int>* outer_;
    bool global_ = false;
    ProcKind own_kind_ = ProcKind::Sub;
    std::unordered_map<std::u16string, int> locals_;
    std::vector<int> with_;
    std::vector<Loop> loops_;
    uint32_t column_ = 0;
};

std::unique_ptr<Procedure> NewProc(const Node& n, size_t block_index) {
    auto p = std::make_unique<Procedure>();
    p->name = n.display;
    p->kind = n.op;
    p->is_private = n.is_private;
    p->is_default = n.is_default;
    p->block = block_index;
    return p;
}

void CompileClass(Runtime& rt, Node& c, size_t block_index, bool explicit_names) {
    ClassInfo info;
    info.name = c.display;
    auto member = [&](const Node& n) -> ClassInfo::Member& {
        for (auto& m : info.members) {
            if (m.name == n.name)
                return m;
        }
        info.members.push_back({n.name, n.display, n.is_private});
        return info.members.back();
    };
    for (auto& k : c.kids) {
        if (k->kind == NodeKind::Dim) {
            for (auto& d : k->kids) {
                auto& m = member(*d);
                if (m.field >= 0 || m.method >= 0)
                    FailAt(*d, kErrNameRedefined);
                m.is_private = k->is_private;
                m.field = int(info.field_count++);
            }
        }
    }
    // Procedures get their indexes before any is compiled, so members find each other.
    std::vector<std::pair<Node*, int>> bodies;
    for (auto& k : c.kids) {
        if (k->kind != NodeKind::Proc)
            continue;
        auto& m = member(*k);
        int index = rt.AddProcedure(NewProc(*k, block_index));
        switch (ProcKind(k->op)) {
            case ProcKind::PropertyGet:
                m.get = index;
                break;
            case ProcKind::PropertyLet:
                m.let = index;
                break;
            case ProcKind::PropertySet:
                m.set = index;
                break;
            default:
                if (m.method >= 0 || m.field >= 0)
                    FailAt(*k, kErrNameRedefined);
                m.method = index;
                break;
        }
        m.is_private = k->is_private;
        if (k->is_default)
            info.default_member = int(&m - info.members.data());
        if (k->name == u"class_initialize")
            info.initialize = index;
        if (k->name == u"class_terminate")
            info.terminate = index;
        bodies.push_back({k.get(), index});
    }
    int class_index = rt.AddClass(std::move(info));
    for (auto& [node, index] : bodies) {
        Procedure& p = rt.ProcAt(index);
        p.class_index = class_index;
        ProcCompiler(rt, p, &rt.ClassAt(class_index), explicit_names).CompileProc(*node);
    }
}

}  // namespace

int CompileBlock(Runtime& rt, Node& block, size_t block_index,
                 const std::unordered_map<std::u16string, int>* outer) {
    bool explicit_names = false;
    // Declarations first: procedures, classes and Dim'd globals are known to all code.
    std::vector<std::pair<Node*, int>> procs;
    for (auto& s : block.kids) {
        switch (s->kind) {
            case NodeKind::Option:
                explicit_names = true;
                break;
            case NodeKind::Proc: {
                int index = rt.AddProcedure(NewProc(*s, block_index));
                int slot = rt.GlobalSlot(s->display);
                Global& g = rt.GlobalAt(slot);
                g.declared = g.known = true;
                g.value = Value::Proc(index);
                procs.push_back({s.get(), index});
                break;
            }
            case NodeKind::Dim:
            case NodeKind::Const:
            case NodeKind::ReDim:
                for (auto& d : s->kids) {
                    Global& g = rt.GlobalAt(rt.GlobalSlot(d->display));
                    g.known = true;
                    if (s->kind != NodeKind::Const)
                        g.declared = true;  // Dim and ReDim declare
                }
                break;
            case NodeKind::Assign:
            case NodeKind::Set:
            case NodeKind::For:
            case NodeKind::ForEach:
                if (s->kids[0]->kind == NodeKind::Name &&
                    !(outer && outer->count(s->kids[0]->name)))
                    rt.GlobalAt(rt.GlobalSlot(s->kids[0]->display)).known = true;
                break;
            default:
                break;
        }
    }
    for (auto& s : block.kids) {
        if (s->kind == NodeKind::Class)
            CompileClass(rt, *s, block_index, explicit_names);
    }
    for (auto& [node, index] : procs)
        ProcCompiler(rt, rt.ProcAt(index), nullptr, explicit_names).CompileProc(*node);
    auto global = std::make_unique<Procedure>();
    global->kind = 255;
    global->block = block_index;
    int index = rt.AddProcedure(std::move(global));
    ProcCompiler(rt, rt.ProcAt(index), nullptr, explicit_names, outer).CompileGlobal(block);
    return index;
}

}  // namespace kvvbs
