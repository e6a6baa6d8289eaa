// The syntax tree the parser builds and the compiler walks: one node type, its children
// laid out per kind as listed below. Owned by the parse of one block; the engine's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "value.h"

namespace kvvbs {

enum class NodeKind : uint8_t {
    // Expressions
    Literal,  // literal
    Name,     // name
    Member,   // kids[0].name  (kids[0] null: `.name` inside With)
    Call,     // kids[0](kids[1..]) — a call or an index; a null argument is omitted
    Me,
    Nothing,
    New,     // New name
    Unary,   // op: 0 negate, 1 Not; kids[0]
    Binary,  // op: BinOp; kids[0], kids[1]
    Is,      // kids[0] Is kids[1]
    Paren,   // (kids[0]): always by value
    // Statements
    Block,     // kids: statements
    Assign,    // kids[0] = kids[1]
    Set,       // Set kids[0] = kids[1]
    CallStmt,  // kids[0]: a Name, Member or Call used as a statement
    Dim,       // kids: Decl
    Decl,      // name; kids: bounds (flag: written with parentheses)
    ReDim,     // flag: Preserve; kids: Decl (kids[0] of each: the target, then bounds)
    Erase,     // kids: targets
    Const,     // kids: Decl with kids[0] the value
    If,        // kids: cond, block, cond, block, ..., [else block] (flag: has else)
    Select,    // kids[0]: the value; then Case
    Case,      // kids[0]: block; then tests (CaseIs, CaseTo, or an expression); flag: Else
    CaseIs,    // op: BinOp; kids[0]
    CaseTo,    // kids[0] To kids[1]
    For,       // kids: variable, from, to, step (may be null), block
    ForEach,   // kids: variable, collection, block
    Do,        // op: DoForm; kids[0]: condition (may be null), kids[1]: block
    Exit,      // op: ExitKind
    With,      // kids[0]: object, kids[1]: block
    OnError,   // flag: Resume Next (else GoTo 0)
    Option,    // Option Explicit
    Proc,      // name; op: ProcKind; flag: Public; isDefault; params; kids[0]: block
    Class,     // name; kids: Dim (fields) and Proc
    Erroneous,
};

enum class DoForm : uint8_t { Forever, PreWhile, PreUntil, PostWhile, PostUntil };
enum class ExitKind : uint8_t { Do, For, Function, Sub, Property };
enum class ProcKind : uint8_t { Sub, Function, PropertyGet, PropertyLet, PropertySet };

struct Param {
    std::u16string name;  // lower case
    bool by_val = false;
    bool array = false;
};

struct Node {
    NodeKind kind;
    uint8_t op = 0;
    bool flag = false;
    bool is_private = false;
    bool is_default = false;
    unsigned line = 0;
    unsigned column = 0;
    std::u16string name;     // lower case
    std::u16string display;  // as written
    Value literal;
    std::vector<std::unique_ptr<Node>> kids;
    std::vector<Param> params;

    Node(NodeKind k, unsigned l, unsigned c) : kind(k), line(l), column(c) {}
    Node* Kid(size_t i) const { return i < kids.size() ? kids[i].get() : nullptr; }
};

using NodePtr = std::unique_ptr<Node>;

}  // namespace kvvbs
