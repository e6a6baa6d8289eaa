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
// Keywords are case-insensitive and reserved. A comparison needs exactly one property and
// one literal. Any other query (ASSOCIATORS OF, REFERENCES OF, a trailing token) is
// malformed. Pure function, thread safe.
#pragma once

#include <string>
#include <string_view>

#include "wql/ast.h"

namespace kvwmi::wql {

struct ParseError {
    size_t offset = 0;
    std::string message;
};

// True with `query` filled, or false with `error` saying where and why.
bool Parse(std::u16string_view text, Query& query, ParseError& error);

}  // namespace kvwmi::wql
