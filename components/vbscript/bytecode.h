// The compiled form: one list of opcodes (an X-macro, so names and the interpreter's table
// come from one place), instructions of 12 bytes, and procedures with numbered slots.
//
// Slots: every procedure frame has numbered locals (0: the function's result, then the
// parameters, the declared and implicit locals, then hidden ones for loops and With).
// Globals are numbered in the engine's global table; only late-bound COM members are found
// by name at run time. Immutable once built; shared by the engine's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "value.h"

namespace kvvbs {

// a, b: the operands each opcode reads (see interpreter.cpp).
#define KVVBS_OPCODES(X)                                                                   \
    X(PushConst) /* a: constant index */                                                   \
    X(PushInt)   /* a: value (a Long) */                                                   \
    X(PushSmall) /* a: value (an Integer) */                                               \
    X(PushEmpty)                                                                           \
    X(PushNothing)                                                                         \
    X(PushMissing)                                                                         \
    X(PushMe)                                                                              \
    X(Pop)                                                                                 \
    X(LoadLocal)     /* a: slot */                                                         \
    X(StoreLocal)    /* a: slot; pops the value (objects give their default value) */      \
    X(SetLocal)      /* a: slot; pops an object reference */                               \
    X(RefLocal)      /* a: slot; pushes a reference to it */                               \
    X(PutLocal)      /* a: slot; pops any value into it as it is (hidden slots, Const) */  \
    X(LoadOuter)     /* a: slot of the procedure that called Execute */                    \
    X(StoreOuter)    /* a: that slot; pops the value */                                    \
    X(SetOuter)      /* a: that slot; pops an object reference */                          \
    X(RefOuter)      /* a: that slot; pushes a reference to it */                          \
    X(LoadGlobal)    /* a: slot; b: 1 when Option Explicit */                              \
    X(StoreGlobal)   /* a: slot; b: 1 when Option Explicit */                              \
    X(SetGlobal)     /* a: slot; b: 1 when Option Explicit */                              \
    X(RefGlobal)     /* a: slot; b: 1 when Option Explicit */                              \
    X(DeclareGlobal) /* a: slot (Dim at the top level) */                                  \
    X(PutGlobal)     /* a: slot; pops any value into it as it is (an expression result) */ \
    X(ConstGlobal)   /* a: slot; pops the value */                                         \
    X(Binary)        /* a: BinOp; b: literal flags */                                      \
    X(Negate)                                                                              \
    X(Not)                                                                                 \
    X(Is)                                                                                  \
    X(Jump)        /* a: target */                                                         \
    X(JumpIfFalse) /* a: target; pops the condition */                                     \
    X(JumpIfTrue)  /* a: target; pops the condition */                                     \
    X(Loop)        /* a: target; a backward jump (checks the interrupt signal) */          \
    X(Stmt)        /* a: where On Error Resume Next continues; b: line */                  \
    X(CallGlobal)  /* a: slot; b: argument count */                                        \
    X(CallBuiltin) /* a: builtin; b: argument count */                                     \
    X(CallMember)  /* a: name constant; b: argument count; object below the arguments */   \
    X(Index)       /* b: argument count; the indexed value below the arguments */          \
    X(RefIndex)    /* b: argument count; a reference below them: an element reference */   \
    X(StoreIndex)  /* b: argument count; reference, arguments, value */                    \
    X(SetIndex)                                                                            \
    X(StoreMember) /* a: name constant; b: argument count; object, arguments, value */     \
    X(SetMember)                                                                           \
    X(NewObject)   /* a: class name constant */                                            \
    X(ReDim)       /* a: dimension count; b: 1 Preserve; reference, bounds */              \
    X(DimArray)    /* a: dimension count; reference, bounds: a fixed array */              \
    X(Erase)       /* pops a reference */                                                  \
    X(ForInit)     /* a: hidden slots; b: exit target; reference, from, to, step */        \
    X(ForNext)     /* a: hidden slots; b: body target */                                   \
    X(ForEachInit) /* a: hidden slots; b: exit target; reference, collection */            \
    X(ForEachNext) /* a: hidden slots; b: body target */                                   \
    X(OnErrorResume)                                                                       \
    X(OnErrorGoto0)                                                                        \
    X(Return)

enum class Op : uint8_t {
#define KVVBS_ENUM(name) name,
    KVVBS_OPCODES(KVVBS_ENUM)
#undef KVVBS_ENUM
};

struct Instr {
    Op op;
    int32_t a = 0;
    int32_t b = 0;
};

struct ClassInfo;

struct Procedure {
    std::u16string name;  // as written ("" for a block's global code)
    uint8_t kind = 0;     // ProcKind; 255 for global code
    bool is_private = false;
    bool is_default = false;
    uint32_t params = 0;       // parameter count (slots 1..params)
    uint32_t locals = 1;       // slot count, result and hidden slots included
    std::vector<bool> by_val;  // per parameter
    std::vector<Instr> code;
    std::vector<uint32_t> columns;  // per instruction: column of the statement
    std::vector<Value> constants;
    std::vector<std::u16string> local_names;  // per slot, for diagnostics
    size_t block = 0;                         // the script block it came from (for error positions)
    int class_index = -1;                     // the class it belongs to
};

// A class: its fields and members, by lower-case name.
struct ClassInfo {
    std::u16string name;  // as written
    struct Member {
        std::u16string name;  // lower case
        std::u16string display;
        bool is_private = false;
        int field = -1;                                 // index into the instance's fields
        int get = -1, let = -1, set = -1, method = -1;  // procedure indexes
    };
    std::vector<Member> members;
    uint32_t field_count = 0;
    int default_member = -1;
    int initialize = -1, terminate = -1;
    const Member* Find(std::u16string_view lower) const {
        for (const auto& m : members) {
            if (m.name == lower)
                return &m;
        }
        return nullptr;
    }
};

}  // namespace kvvbs
