#include "entry/query_factory.h"

#include "script/script_query.h"
#include "wmi/query/wmi_query.h"

namespace {

QueryMaker& MakerFor(QueryKind kind) {
    static QueryMaker script;
    static QueryMaker wmi;
    return kind == QueryKind::Script ? script : wmi;
}

}  // namespace

std::shared_ptr<CQuery> MakeQuery(QueryKind kind) {
    if (const QueryMaker& replaced = MakerFor(kind))
        return replaced();
    if (kind == QueryKind::Script)
        return std::make_shared<CScriptQuery>();
    return std::make_shared<CWMIQuery>();
}

bool MakesOwnQuery(QueryKind kind) {
    return !MakerFor(kind);
}

ScopedQueryMaker::ScopedQueryMaker(QueryKind kind, QueryMaker maker)
    : kind_(kind), previous_(std::move(MakerFor(kind))) {
    MakerFor(kind) = std::move(maker);
}

ScopedQueryMaker::~ScopedQueryMaker() {
    MakerFor(kind_) = std::move(previous_);
}
