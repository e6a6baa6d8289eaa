// How the driver makes the query object for a query element's kind. The real kinds are the
// defaults; a test may put a kind of its own in their place for the life of a scope.
// Not thread safe against running queries: tests replace kinds before they run any.
#pragma once

#include <functional>
#include <memory>

#include "entry/query.h"

enum class QueryKind { Script, Wmi };

using QueryMaker = std::function<std::shared_ptr<CQuery>()>;

// A new query of the kind; throws what the query's construction throws.
std::shared_ptr<CQuery> MakeQuery(QueryKind kind);
// Whether MakeQuery makes the library's own query of that kind (no maker replaces it).
bool MakesOwnQuery(QueryKind kind);

class ScopedQueryMaker {
  public:
    ScopedQueryMaker(QueryKind kind, QueryMaker maker);
    ~ScopedQueryMaker();
    ScopedQueryMaker(const ScopedQueryMaker&) = delete;
    ScopedQueryMaker& operator=(const ScopedQueryMaker&) = delete;

  private:
    QueryKind kind_;
    QueryMaker previous_;
};
