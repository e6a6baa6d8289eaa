// The query language: what parses, what each error is, LIKE patterns, and which instances
// a WHERE condition picks (run against the test program's Kv_TestTypes instances "alpha",
// "Beta" and "gamma [1]").
#include <algorithm>

#include "kvtest/small_stack.h"
#include "test_sink.h"
#include "wmi_test_support.h"
#include "wql/like.h"
#include "wql/parser.h"

namespace kvwmitest {
int CostlyComputations();
}  // namespace kvwmitest

namespace {

using kvwmitest::CostlyComputations;

using namespace wmitest;

TEST(WmiWql, GrammarAcceptsAndRefuses) {
    struct Case {
        const char16_t* text;
        bool ok;
    };
    const Case cases[] = {
        {u"SELECT * FROM Win32_Foo", true},
        {u"select * from win32_foo", true},
        {u"  SeLeCt\tName ,Size\nFROM X  ", true},
        {u"SELECT Name FROM X WHERE Name = 'a' AND (Size > 5 OR NOT Size < 2)", true},
        {u"SELECT * FROM X WHERE Name = \"double\"", true},
        {u"SELECT * FROM X WHERE Name = 'it\\'s'", true},
        {u"SELECT * FROM X WHERE 5 < Size", true},
        {u"SELECT * FROM X WHERE Size <> -5 AND Size != 1.5e3 AND Size >= +2 AND Size <= .5", true},
        {u"SELECT * FROM X WHERE Flag = TRUE OR Flag = false", true},
        {u"SELECT * FROM X WHERE Name IS NULL OR Name IS NOT NULL OR Name = NULL", true},
        {u"SELECT * FROM X WHERE Name LIKE '%a_[b-c][^d]' OR Name NOT LIKE 'x'", true},
        {u"SELECT __RELPATH, __CLASS FROM X", true},
        {u"", false},
        {u"SELECT", false},
        {u"SELECT * X", false},
        {u"SELECT FROM X", false},
        {u"SELECT *, Name FROM X", false},
        {u"SELECT Name, FROM X", false},
        {u"SELECT * FROM", false},
        {u"SELECT * FROM X, Y", false},
        {u"SELECT * FROM X WHERE", false},
        {u"SELECT * FROM X WHERE Name", false},
        {u"SELECT * FROM X WHERE Name = ", false},
        {u"SELECT * FROM X WHERE Name = 'open", false},
        {u"SELECT * FROM X WHERE (Name = 'a'", false},
        {u"SELECT * FROM X WHERE Name = 'a')", false},
        {u"SELECT * FROM X WHERE Name = Other", false},
        {u"SELECT * FROM X WHERE 1 = 2", false},
        {u"SELECT * FROM X WHERE Name LIKE 5", false},
        {u"SELECT * FROM X WHERE Name IS 5", false},
        {u"SELECT * FROM X WHERE Name == 'a'", false},
        {u"SELECT * FROM X WHERE Name ! 'a'", false},
        {u"SELECT * FROM X WHERE Name = 'a' AND", false},
        {u"SELECT * FROM X;", false},
        {u"SELECT * FROM X WHERE Name = 'a' #", false},
        {u"SELECT Select FROM X", false},
        {u"SELECT * FROM Where", false},
    };
    for (const Case& c : cases) {
        kvwmi::wql::Query query;
        kvwmi::wql::ParseError error;
        EXPECT_EQ(kvwmi::wql::Parse(c.text, query, error), c.ok) << Narrow(c.text);
    }
}

TEST(WmiWql, ParsedShape) {
    kvwmi::wql::Query query;
    kvwmi::wql::ParseError error;
    ASSERT_TRUE(kvwmi::wql::Parse(u"select a,b,a from K where 3 <= a", query, error));
    EXPECT_FALSE(query.select_all);
    ASSERT_EQ(query.select.size(), 3u);
    EXPECT_EQ(query.select[1].name, u"b");
    EXPECT_EQ(query.class_name, u"K");
    // The literal moved to the right and the operator turned round.
    auto* comparison = std::get_if<kvwmi::wql::Comparison>(&query.where->node);
    ASSERT_NE(comparison, nullptr);
    EXPECT_EQ(comparison->property.name, u"a");
    EXPECT_EQ(comparison->op, kvwmi::wql::CompareOp::GreaterOrEqual);
    EXPECT_EQ(comparison->value.magnitude, 3u);

    EXPECT_FALSE(kvwmi::wql::Parse(u"SELECT * FROM K WHERE a = 'x' OR", query, error));
    EXPECT_EQ(error.offset, 32u);  // at the end, where a condition was expected
}

TEST(WmiWql, LikePatterns) {
    struct Case {
        const char16_t* text;
        const char16_t* pattern;
        bool match;
    };
    const Case cases[] = {
        {u"abc", u"abc", true},
        {u"ABC", u"abc", true},
        {u"abc", u"ab", false},
        {u"abc", u"%", true},
        {u"", u"%", true},
        {u"", u"_", false},
        {u"abc", u"a%", true},
        {u"abc", u"%c", true},
        {u"abc", u"%b%", true},
        {u"abc", u"%d%", false},
        {u"abc", u"a_c", true},
        {u"ac", u"a_c", false},
        {u"aXbXc", u"a%b%c", true},
        {u"abcbc", u"%bc", true},
        {u"mississippi", u"%sip%i", true},
        {u"mississippi", u"m%ss%ss%ss%", false},
        {u"mississippi", u"m%ss%ss%", true},
        {u"b", u"[abc]", true},
        {u"B", u"[abc]", true},
        {u"d", u"[abc]", false},
        {u"q", u"[a-z]", true},
        {u"Q", u"[a-z]", true},
        {u"5", u"[a-z]", false},
        {u"5", u"[^a-z]", true},
        {u"q", u"[^a-z]", false},
        {u"-", u"[a-]", true},
        {u"]", u"[]]", true},
        {u"x", u"[^]]", true},
        {u"50%", u"50[%]", true},
        {u"50x", u"50[%]", false},
        {u"a_b", u"a[_]b", true},
        {u"gamma [1]", u"%[[]1]", true},
        {u"ÄBC", u"äbc", true},
        {u"Привет", u"пРИВЕТ", true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(kvwmi::wql::IsValidLikePattern(c.pattern)) << Narrow(c.pattern);
        EXPECT_EQ(kvwmi::wql::LikeMatch(c.text, c.pattern), c.match)
            << Narrow(c.text) << " LIKE " << Narrow(c.pattern);
    }
    EXPECT_FALSE(kvwmi::wql::IsValidLikePattern(u"abc[de"));
    EXPECT_FALSE(kvwmi::wql::IsValidLikePattern(u"[^"));
}

TEST(WmiWql, ErrorCodesOfExecQuery) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    struct Case {
        const char16_t* text;
        HRESULT expected;
    };
    const Case cases[] = {
        {u"SELECT * FROM Kv_TestTypes", S_OK},
        {u"SELECT NAME, u32 FROM KV_TESTTYPES WHERE flag = true", S_OK},
        {u"SELECT * FROM Kv_Missing", WBEM_E_INVALID_CLASS},
        {u"SELECT * FROM Kv_Other", WBEM_E_INVALID_CLASS},  // another namespace's class
        {u"SELECT Nope FROM Kv_TestTypes", WBEM_E_INVALID_QUERY},
        {u"SELECT * FROM Kv_TestTypes WHERE Nope = 1", WBEM_E_INVALID_QUERY},
        {u"SELECT * FROM Kv_TestTypes WHERE __CLASS = 'x'", WBEM_E_INVALID_QUERY},
        {u"SELECT * FROM Kv_TestTypes WHERE Tags = 'a'", WBEM_E_INVALID_QUERY},
        {u"SELECT * FROM Kv_TestTypes WHERE Tags IS NULL", S_OK},
        {u"SELECT * FROM Kv_TestTypes WHERE Name LIKE '[a'", WBEM_E_INVALID_QUERY},
        {u"SELECT * FROM", WBEM_E_INVALID_QUERY},
        {u"SELECT __PATH, __RELPATH FROM Kv_TestTypes", S_OK},
    };
    for (const Case& c : cases) {
        std::vector<IWbemClassObjectPtr> objects;
        EXPECT_EQ(Query(services, c.text, objects), c.expected) << Narrow(c.text);
    }
    IEnumWbemClassObject* enumerator = reinterpret_cast<IEnumWbemClassObject*>(0x1);
    EXPECT_EQ(services->ExecQuery(Bstr(u"SQL"), Bstr(u"SELECT * FROM Kv_TestTypes"), 0, nullptr,
                                  &enumerator),
              WBEM_E_INVALID_QUERY_TYPE);
    EXPECT_EQ(enumerator, nullptr);
    EXPECT_EQ(services->ExecQuery(Bstr(u"wql"), nullptr, 0, nullptr, &enumerator),
              WBEM_E_INVALID_PARAMETER);
}

// The names of the instances a condition picks, sorted.
std::string Picked(IWbemServices* services, const std::u16string& where) {
    std::vector<IWbemClassObjectPtr> objects;
    HRESULT hr = Query(services, u"SELECT Name FROM Kv_TestTypes WHERE " + where, objects);
    if (FAILED(hr))
        return "failed";
    std::vector<std::string> names;
    for (auto& object : objects)
        names.push_back(GetText(object, u"Name").substr(5));
    std::sort(names.begin(), names.end());
    std::string joined;
    for (auto& name : names)
        joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

TEST(WmiWql, ConditionsPickInstances) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    struct Case {
        const char16_t* where;
        const char* picked;
    };
    const Case cases[] = {
        {u"Name = 'ALPHA'", "alpha"},
        {u"Name <> 'alpha'", "Beta,gamma [1]"},
        {u"Name != 'alpha'", "Beta,gamma [1]"},
        {u"Name > 'b'", "Beta,gamma [1]"},  // case-insensitive ordering
        {u"Name <= 'beta'", "Beta,alpha"},
        {u"Name LIKE '%A'", "Beta,alpha"},
        {u"Name LIKE 'g%[[]1]'", "gamma [1]"},
        {u"NOT Name LIKE '[ab]%'", "gamma [1]"},
        {u"Name NOT LIKE '[ab]%'", "gamma [1]"},
        // uint32 compares by value across the signed range it is delivered in.
        {u"U32 > 2147483647", "alpha,gamma [1]"},
        {u"U32 = 4294967295", "alpha"},
        {u"U32 < 100", "Beta"},
        {u"U32 = '10'", "Beta"},
        {u"U32 = 'ten'", ""},
        {u"S32 < 0", "alpha,gamma [1]"},
        {u"S32 >= -1", "Beta,gamma [1]"},
        {u"U64 = 18446744073709551615", "alpha"},
        {u"U64 > 9", "Beta,alpha"},
        {u"U64 < 9.5", "gamma [1]"},
        {u"S64 < -8999999999", "alpha"},
        {u"R64 > 2.2 OR R64 < 0", "Beta,alpha"},
        {u"R64 = 2.25", "alpha"},
        {u"Flag = TRUE", "alpha"},
        {u"Flag = FALSE", "Beta"},
        {u"Flag <> TRUE", "Beta"},  // a null never compares
        {u"NOT Flag = TRUE", "Beta,gamma [1]"},
        {u"Flag = 1", "alpha"},
        {u"Flag = 'false'", "Beta"},
        {u"Flag IS NULL", "gamma [1]"},
        {u"Flag = NULL", "gamma [1]"},
        {u"Flag <> NULL", "Beta,alpha"},
        {u"Flag IS NOT NULL AND U32 > 5", "Beta,alpha"},
        {u"When = '20240131235959.000000+060'", "alpha"},
        {u"When > '2023'", "alpha"},
        {u"Name = 'alpha' OR Name = 'beta' AND Flag = TRUE", "alpha"},  // AND binds tighter
        {u"(Name = 'alpha' OR Name = 'beta') AND Flag = FALSE", "Beta"},
        {u"NOT (Name = 'alpha' OR Name = 'beta')", "gamma [1]"},
        {u"10 = U32", "Beta"},
        {u"2147483648 < U32", "alpha,gamma [1]"},
        {u"S8 = -5 AND U8 = 200 AND S16 = -300 AND U16 = 65535", "alpha"},
        {u"U16 LIKE '65%'", "alpha"},
        {u"Tags IS NOT NULL", "Beta,alpha"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Picked(services, c.where), c.picked) << Narrow(c.where);
}

// Hostile nesting is refused as an invalid query, never by running out of stack: every case
// runs on a 256 KB stack, where 30,000 parentheses or 100,000 NOTs would overflow any
// unbounded recursion. Long runs of AND/OR cost no depth and still work.
TEST(WmiWql, DeepNestingIsRefusedOnASmallStack) {
    auto repeat = [](std::u16string_view piece, size_t count) {
        std::u16string text;
        text.reserve(piece.size() * count);
        for (size_t i = 0; i < count; ++i)
            text += piece;
        return text;
    };
    const std::u16string select = u"SELECT Name FROM Kv_TestTypes WHERE ";
    auto nested = [&](size_t depth) {
        return select + repeat(u"(", depth) + u"Name = 'alpha'" + repeat(u")", depth);
    };
    const std::u16string too_deep[] = {
        nested(30000),
        nested(kvwmi::wql::kMaxNesting + 1),
        select + repeat(u"NOT ", 100000) + u"Name = 'alpha'",
        select + repeat(u"(Name = 'a' AND (Name = 'b' OR ", 20000),
        select + repeat(u"(", 100000),  // never closed
    };
    ASSERT_TRUE(kvtest::RunOnSmallStack([&] {
        ScopedApartment apartment;
        IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
        for (const std::u16string& text : too_deep) {
            std::vector<IWbemClassObjectPtr> objects;
            EXPECT_EQ(Query(services, text, objects), WBEM_E_INVALID_QUERY) << text.size();
            TestSink sink;
            EXPECT_EQ(services->ExecQueryAsync(Bstr(u"WQL"), Bstr(text), 0, nullptr, &sink),
                      WBEM_E_INVALID_QUERY);
            EXPECT_EQ(sink.refs(), 1u);
        }
        std::vector<IWbemClassObjectPtr> objects;
        EXPECT_EQ(Query(services, nested(kvwmi::wql::kMaxNesting), objects), S_OK);
        EXPECT_EQ(objects.size(), 1u);
        EXPECT_EQ(Query(services, select + repeat(u"Name = 'x' OR ", 100000) + u"Name = 'alpha'",
                        objects),
                  S_OK);
        EXPECT_EQ(objects.size(), 1u);
        EXPECT_EQ(
            Query(services,
                  select + repeat(u"NOT NOT ", kvwmi::wql::kMaxNesting / 2) +
                      u"Name = 'Beta' AND " + repeat(u"Name <> 'x' AND ", 100000) + u"U32 = 10",
                  objects),
            S_OK);
        EXPECT_EQ(objects.size(), 1u);
    }));
}

// The provider computes a costly property only for a query that needs it: one that
// selects it, tests it in WHERE, or selects everything.
TEST(WmiWql, ASelectiveProviderComputesOnlyWhatTheQueryNeeds) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    std::vector<IWbemClassObjectPtr> objects;
    struct Case {
        const char16_t* query;
        size_t rows;
        bool computes;
    };
    const Case cases[] = {
        {u"SELECT Cheap FROM Kv_TestSelective", 2, false},
        {u"SELECT Id, Other FROM Kv_TestSelective WHERE Cheap = 'cheap'", 2, false},
        {u"SELECT Cheap FROM Kv_TestSelective WHERE Costly = 41", 1, true},
        {u"SELECT Cheap FROM Kv_TestSelective WHERE NOT (Id = 1 OR Costly IS NULL)", 1, true},
        {u"SELECT costly FROM Kv_TestSelective", 2, true},
        {u"SELECT * FROM Kv_TestSelective", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.query));
        const int before = CostlyComputations();
        ASSERT_EQ(Query(services, c.query, objects), S_OK);
        EXPECT_EQ(objects.size(), c.rows);
        EXPECT_EQ(CostlyComputations() > before, c.computes);
    }
    ASSERT_EQ(Query(services, u"SELECT Costly FROM Kv_TestSelective WHERE Id = 2", objects), S_OK);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(GetText(objects[0], u"Costly"), "i4:42");
    // The key is computed whatever is selected: the object has its path.
    EXPECT_EQ(GetText(objects[0], u"__RELPATH"), "bstr:Kv_TestSelective.Id=2");
}

}  // namespace
