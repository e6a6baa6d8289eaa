// The parsed form of a WQL data query:
//
//   SELECT <* | property, ...> FROM <class> [WHERE <condition>]
//   ASSOCIATORS OF {<object path>} [WHERE <keyword> ...]
//   REFERENCES OF {<object path>} [WHERE <keyword> ...]
//
// made by wql/parser.h, checked against a class by wql/binder.h (which fills in each
// property reference's index and type) and run by wql/evaluator.h. A comparison always has
// the property on the left: the parser turns `5 < Size` into `Size > 5`.
// The parser bounds the tree's depth (kMaxNesting), so every walk over it, and its
// destruction, may recurse.
// Plain data: a bound query is shared read-only by the threads that run it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "win/wbemcli.h"

namespace kvwmi::wql {

enum class CompareOp { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };

struct Literal {
    enum class Kind { Null, Boolean, Integer, Real, String };
    Kind kind = Kind::Null;
    std::u16string text;    // a string's value; a number as written
    bool boolean = false;   // Boolean
    bool negative = false;  // Integer: the sign and the magnitude
    uint64_t magnitude = 0;
    double real = 0;  // Integer and Real
};

struct PropertyRef {
    std::u16string name;  // as written
    int index = -1;       // set by the binder
    CIMTYPE type = CIM_EMPTY;
};

struct Condition;
using ConditionPtr = std::unique_ptr<Condition>;

struct Comparison {
    PropertyRef property;
    CompareOp op = CompareOp::Equal;
    Literal value;
};

struct LikeTest {
    PropertyRef property;
    std::u16string pattern;
};

struct NullTest {
    PropertyRef property;
    bool is_null = true;  // IS NULL, or IS NOT NULL
};

struct Negation {
    ConditionPtr operand;
};

// A run of ANDs (or of ORs) is one node with its operands in order, so that a long list of
// alternatives costs no depth.
struct Junction {
    bool is_and = true;                  // AND, or OR
    std::vector<ConditionPtr> operands;  // two or more
};

struct Condition {
    std::variant<Comparison, LikeTest, NullTest, Negation, Junction> node;
};

enum class QueryKind { Select, Associators, References };

// The source object and the keywords of an ASSOCIATORS OF or REFERENCES OF query. An empty
// name means the keyword was not given. The path is checked by the service, not the parser.
struct AssociationClause {
    std::u16string object_path;  // the text between the braces
    size_t path_offset = 0;      // where it starts in the query text
    std::u16string assoc_class;  // AssocClass (ASSOCIATORS OF only)
    std::u16string result_class;
    std::u16string result_role;  // ResultRole (ASSOCIATORS OF only)
    std::u16string role;
    std::u16string required_qualifier;
    std::u16string required_assoc_qualifier;  // ASSOCIATORS OF only
    bool class_defs_only = false;
    bool keys_only = false;
};

struct Query {
    QueryKind kind = QueryKind::Select;
    AssociationClause association;    // Associators and References only
    bool select_all = false;          // SELECT *
    std::vector<PropertyRef> select;  // otherwise the names, in order (duplicates kept)
    std::u16string class_name;
    ConditionPtr where;  // null without WHERE
};

}  // namespace kvwmi::wql
