// A class and three instances for the fuzz targets that run WQL text: every kind of
// property the binder and the evaluator handle, nulls and arrays included.
#pragma once

#include <string>
#include <vector>

#include "provider/class_decl.h"
#include "wql/binder.h"
#include "wql/evaluator.h"
#include "wql/parser.h"

namespace kvwmi::fuzz {

inline const ClassDecl& FixtureClass() {
    static const ClassDecl decl{u"root\\cimv2",
                                u"Kv_FuzzTypes",
                                {{u"Name", CIM_STRING, true},
                                 {u"Flag", CIM_BOOLEAN},
                                 {u"S32", CIM_SINT32},
                                 {u"U64", CIM_UINT64},
                                 {u"R64", CIM_REAL64},
                                 {u"When", CIM_DATETIME},
                                 {u"Tags", CIM_STRING | CIM_FLAG_ARRAY},
                                 {u"Sizes", CIM_SINT64 | CIM_FLAG_ARRAY}},
                                nullptr};
    return decl;
}

inline const std::vector<Instance>& FixtureInstances() {
    static const std::vector<Instance> instances = {
        {std::u16string(u"alpha"), true, std::int64_t{-5}, std::uint64_t{18446744073709551615ull},
         2.25, std::u16string(u"20240131235959.000000+060"),
         std::vector<std::u16string>{u"a", u"b"}, std::vector<std::int64_t>{1, 2}},
        {std::u16string(u"Beta"), false, std::int64_t{10}, std::uint64_t{10}, -0.5,
         std::u16string(u"19990101000000.000000+000"), std::monostate{}, std::monostate{}},
        {std::u16string(u"gamma [1]"), std::monostate{}, std::monostate{}, std::monostate{},
         std::monostate{}, std::monostate{}, std::vector<std::u16string>{},
         std::vector<std::int64_t>{}},
    };
    return instances;
}

// Parses, binds and evaluates the text the way the service runs a query: the number of
// fixture instances it picks, or -1 when the text is refused.
inline int RunWql(std::u16string_view text) {
    wql::Query query;
    wql::ParseError error;
    if (!wql::Parse(text, query, error))
        return -1;
    if (FAILED(wql::Bind(query, FixtureClass())))
        return -1;
    int picked = 0;
    for (const Instance& instance : FixtureInstances())
        picked += !query.where || wql::Matches(*query.where, instance) ? 1 : 0;
    return picked;
}

}  // namespace kvwmi::fuzz
