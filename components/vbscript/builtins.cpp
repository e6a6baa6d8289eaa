// The table of built-ins and the named constants.
#include "builtins.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace kvvbs {
namespace {

struct Table {
    std::vector<const Builtin*> entries;
    std::unordered_map<std::u16string_view, int> by_name;
    Table() {
        for (auto part : {StringBuiltins(), ConversionBuiltins(), ArrayBuiltins(), ObjectBuiltins(),
                          EngineBuiltins(), DateBuiltins(), MathBuiltins(), FormatBuiltins()}) {
            for (const Builtin& b : part) {
                by_name.emplace(b.name, int(entries.size()));
                entries.push_back(&b);
            }
        }
    }
};

const Table& TheTable() {
    static const Table table;  // built once, thread-safe initialisation
    return table;
}

}  // namespace

int FindBuiltin(std::u16string_view lower) {
    const Table& t = TheTable();
    auto it = t.by_name.find(lower);
    return it == t.by_name.end() ? -1 : it->second;
}

const Builtin& BuiltinAt(int index) {
    return *TheTable().entries[size_t(index)];
}

bool FindConstant(std::u16string_view lower, Value* out) {
    struct Int {
        const char16_t* name;
        int32_t value;
    };
    static const Int kInts[] = {
        {u"vbempty", 0},
        {u"vbnull", 1},
        {u"vbinteger", 2},
        {u"vblong", 3},
        {u"vbsingle", 4},
        {u"vbdouble", 5},
        {u"vbcurrency", 6},
        {u"vbdate", 7},
        {u"vbstring", 8},
        {u"vbobject", 9},
        {u"vberror", 10},
        {u"vbboolean", 11},
        {u"vbvariant", 12},
        {u"vbdataobject", 13},
        {u"vbdecimal", 14},
        {u"vbbyte", 17},
        {u"vbarray", 8192},
        {u"vbbinarycompare", 0},
        {u"vbtextcompare", 1},
        {u"vbdatabasecompare", 2},
        {u"vbobjecterror", int32_t(0x80040000)},
        {u"vbusedefault", -2},
        {u"vbtrue", -1},
        {u"vbfalse", 0},
        {u"vbsunday", 1},
        {u"vbmonday", 2},
        {u"vbtuesday", 3},
        {u"vbwednesday", 4},
        {u"vbthursday", 5},
        {u"vbfriday", 6},
        {u"vbsaturday", 7},
        {u"vbusesystemdayofweek", 0},
        {u"vbusesystem", 0},
        {u"vbfirstjan1", 1},
        {u"vbfirstfourdays", 2},
        {u"vbfirstfullweek", 3},
        {u"vbgeneraldate", 0},
        {u"vblongdate", 1},
        {u"vbshortdate", 2},
        {u"vblongtime", 3},
        {u"vbshorttime", 4},
        {u"vbokonly", 0},
        {u"vbokcancel", 1},
        {u"vbabortretryignore", 2},
        {u"vbyesnocancel", 3},
        {u"vbyesno", 4},
        {u"vbretrycancel", 5},
        {u"vbcritical", 16},
        {u"vbquestion", 32},
        {u"vbexclamation", 48},
        {u"vbinformation", 64},
        {u"vbdefaultbutton1", 0},
        {u"vbdefaultbutton2", 256},
        {u"vbdefaultbutton3", 512},
        {u"vbdefaultbutton4", 768},
        {u"vbapplicationmodal", 0},
        {u"vbsystemmodal", 4096},
        {u"vbok", 1},
        {u"vbcancel", 2},
        {u"vbabort", 3},
        {u"vbretry", 4},
        {u"vbignore", 5},
        {u"vbyes", 6},
        {u"vbno", 7},
        {u"vbblack", 0},
        {u"vbwhite", 0xFFFFFF},
        {u"vbred", 0xFF},
        {u"vbgreen", 0xFF00},
        {u"vbblue", 0xFF0000},
    };
    for (const auto& c : kInts) {
        if (lower == c.name) {
            *out = c.value >= -32768 && c.value <= 32767 ? Value::Integer(c.value)
                                                         : Value::Long(c.value);
            return true;
        }
    }
    struct Text {
        const char16_t* name;
        std::u16string_view value;
    };
    static const Text kTexts[] = {
        {u"vbcr", u"\r"},          {u"vblf", u"\n"},
        {u"vbcrlf", u"\r\n"},      {u"vbnewline", u"\r\n"},
        {u"vbtab", u"\t"},         {u"vbnullchar", std::u16string_view(u"\0", 1)},
        {u"vbnullstring", u""},    {u"vbformfeed", u"\f"},
        {u"vbverticaltab", u"\v"},
    };
    for (const auto& c : kTexts) {
        if (lower == c.name) {
            *out = Value::String(c.value);
            return true;
        }
    }
    return false;
}

}  // namespace kvvbs
