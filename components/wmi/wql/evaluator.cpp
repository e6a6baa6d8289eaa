#include "wql/evaluator.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "kvwin/ascii_case.h"
#include "kvwin/utf.h"
#include "wql/case_fold.h"
#include "wql/like.h"

namespace kvwmi::wql {

namespace {

using Int128 = __int128;

// A number as compared: exact when integral, else a double.
struct Number {
    bool integral = true;
    Int128 integer = 0;
    double real = 0;
};

std::optional<Number> NumberOf(const CimValue& value) {
    if (auto* b = std::get_if<bool>(&value))
        return Number{true, *b ? 1 : 0, *b ? 1.0 : 0.0};
    if (auto* i = std::get_if<std::int64_t>(&value))
        return Number{true, *i, static_cast<double>(*i)};
    if (auto* u = std::get_if<std::uint64_t>(&value))
        return Number{true, static_cast<Int128>(*u), static_cast<double>(*u)};
    if (auto* d = std::get_if<double>(&value))
        return Number{false, 0, *d};
    return std::nullopt;
}

std::optional<Number> NumberOf(const Literal& literal) {
    switch (literal.kind) {
        case Literal::Kind::Integer: {
            Int128 magnitude = literal.magnitude;
            return Number{true, literal.negative ? -magnitude : magnitude, literal.real};
        }
        case Literal::Kind::Real:
            return Number{false, 0, literal.real};
        case Literal::Kind::Boolean:
            return Number{true, literal.boolean ? 1 : 0, literal.boolean ? 1.0 : 0.0};
        case Literal::Kind::String: {
            std::string narrow = kvwin::ToUtf8(literal.text);
            const char* begin = narrow.c_str();
            char* end = nullptr;
            errno = 0;
            if (narrow.find_first_of(".eE") == std::string::npos) {
                long long integer = std::strtoll(begin, &end, 10);
                if (end != begin && *end == '\0' && errno == 0)
                    return Number{true, integer, static_cast<double>(integer)};
                errno = 0;
                unsigned long long positive = std::strtoull(begin, &end, 10);
                if (end != begin && *end == '\0' && errno == 0 && narrow[0] != '-')
                    return Number{true, static_cast<Int128>(positive),
                                  static_cast<double>(positive)};
            }
            double real = std::strtod(begin, &end);
            if (end != begin && *end == '\0')
                return Number{false, 0, real};
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

// <0, 0, >0.
int CompareNumbers(const Number& a, const Number& b) {
    if (a.integral && b.integral)
        return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
    return a.real < b.real ? -1 : a.real > b.real ? 1 : 0;
}

bool Holds(CompareOp op, int order) {
    switch (op) {
        case CompareOp::Equal:
            return order == 0;
        case CompareOp::NotEqual:
            return order != 0;
        case CompareOp::Less:
            return order < 0;
        case CompareOp::Greater:
            return order > 0;
        case CompareOp::LessOrEqual:
            return order <= 0;
        case CompareOp::GreaterOrEqual:
            return order >= 0;
    }
    return false;
}

bool IsTextType(CIMTYPE type) {
    CIMTYPE base = type & ~CIM_FLAG_ARRAY;
    return base == CIM_STRING || base == CIM_DATETIME || base == CIM_REFERENCE;
}

std::u16string NumberText(const CimValue& value) {
    if (auto* i = std::get_if<std::int64_t>(&value))
        return kvwin::FromUtf8(std::to_string(*i));
    if (auto* u = std::get_if<std::uint64_t>(&value))
        return kvwin::FromUtf8(std::to_string(*u));
    if (auto* d = std::get_if<double>(&value))
        return kvwin::FromUtf8(std::to_string(*d));
    if (auto* b = std::get_if<bool>(&value))
        return *b ? u"TRUE" : u"FALSE";
    return {};
}

bool EvaluateComparison(const Comparison& comparison, const CimValue& value) {
    const Literal& literal = comparison.value;
    if (literal.kind == Literal::Kind::Null) {
        if (comparison.op == CompareOp::Equal)
            return IsNull(value);
        if (comparison.op == CompareOp::NotEqual)
            return !IsNull(value);
        return false;
    }
    if (IsNull(value))
        return false;
    if (auto* text = std::get_if<std::u16string>(&value)) {
        // A number written in the query compares as it was written.
        return Holds(comparison.op, CompareNoCase(*text, literal.text));
    }
    if (auto* flag = std::get_if<bool>(&value)) {
        std::optional<bool> other;
        if (literal.kind == Literal::Kind::String) {
            if (kvwin::EqualsAsciiNoCase(literal.text, u"TRUE"))
                other = true;
            else if (kvwin::EqualsAsciiNoCase(literal.text, u"FALSE"))
                other = false;
        } else if (auto number = NumberOf(literal)) {
            other = number->integral ? number->integer != 0 : number->real != 0;
        }
        if (!other)
            return false;
        return Holds(comparison.op, int(*flag) - int(*other));
    }
    std::optional<Number> left = NumberOf(value), right = NumberOf(literal);
    if (!left || !right)
        return false;
    return Holds(comparison.op, CompareNumbers(*left, *right));
}

bool Evaluate(const Condition& condition, const Instance& values) {
    return std::visit(
        [&](const auto& node) -> bool {
            using Node = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Node, Comparison>) {
                return EvaluateComparison(node, values[static_cast<size_t>(node.property.index)]);
            } else if constexpr (std::is_same_v<Node, LikeTest>) {
                const CimValue& value = values[static_cast<size_t>(node.property.index)];
                if (IsNull(value))
                    return false;
                if (auto* text = std::get_if<std::u16string>(&value))
                    return LikeMatch(*text, node.pattern);
                return !IsTextType(node.property.type) &&
                       LikeMatch(NumberText(value), node.pattern);
            } else if constexpr (std::is_same_v<Node, NullTest>) {
                return IsNull(values[static_cast<size_t>(node.property.index)]) == node.is_null;
            } else if constexpr (std::is_same_v<Node, Negation>) {
                return !Evaluate(*node.operand, values);
            } else {
                for (const ConditionPtr& operand : node.operands) {
                    if (Evaluate(*operand, values) != node.is_and)
                        return !node.is_and;
                }
                return node.is_and;
            }
        },
        condition.node);
}

}  // namespace

bool Matches(const Condition& condition, const Instance& values) {
    return Evaluate(condition, values);
}

}  // namespace kvwmi::wql
