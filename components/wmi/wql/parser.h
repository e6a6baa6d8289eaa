// Parses a WQL data query into a Query (wql/ast.h). Recursive descent over the tokens of
// wql/lexer.h:
//
//   query      := SELECT select FROM identifier [WHERE or] end
//   select     := '*' | identifier {',' identifier}
//   or         := and {OR and}
//   and        := unary {AND unary}
//   unary      := NOT unary | '(' or ')' | predicate
//   predicate  := identifier op literal | literal op identifier
//               | identifier [NOT] LIKE string | identifier IS [NOT] NULL
//   literal    := string | number | TRUE | FALSE | NULL
//
//   assoc      := (ASSOCIATORS | REFERENCES) OF '{' path '}' [WHERE {keyword}] end
//   keyword    := ClassDefsOnly | KeysOnly | name '=' (identifier | string)
//
// The names of an ASSOCIATORS OF query are AssocClass, ResultClass, ResultRole, Role,
// RequiredQualifier and RequiredAssocQualifier; REFERENCES OF takes ResultClass, Role and
// RequiredQualifier. The keywords are not separated by commas or AND; each may stand once,
// and ClassDefsOnly excludes ResultClass and KeysOnly. Inside the braces a quoted string
// (with its backslash escapes) may hold any character, `}` included; the path itself is
// checked by the service (service/object_path.h).
//
// A run of ANDs or of ORs becomes one Junction. Parentheses and NOTs may nest kMaxNesting
// deep (together); deeper text is refused, so the parse and every walk over the tree stay
// within a small thread stack whatever the text.
// Keywords are case-insensitive and reserved. A comparison needs exactly one property and
// one literal. Any other query (a trailing token, say) is malformed. Pure function, thread safe.
#pragma once

#include <string>
#include <string_view>

#include "wql/ast.h"

namespace kvwmi::wql {

inline constexpr int kMaxNesting = 100;

struct ParseError {
    size_t offset = 0;
    std::string message;
};

// True with `query` filled, or false with `error` saying where and why.
bool Parse(std::u16string_view text, Query& query, ParseError& error);

}  // namespace kvwmi::wql
