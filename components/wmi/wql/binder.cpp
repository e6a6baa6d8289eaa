#include "wql/binder.h"

#include "wql/like.h"
#include "wql/system_properties.h"

namespace kvwmi::wql {

namespace {

constexpr std::u16string_view kUndeclared = u"is not a property of the class";

bool Fail(BindFault* fault, const PropertyRef& ref, std::u16string_view reason) {
    if (fault) {
        fault->property = ref.name;
        fault->reason = reason;
    }
    return false;
}

bool BindProperty(PropertyRef& ref, const ClassDecl& decl, BindFault* fault) {
    ref.index = decl.IndexOf(ref.name);
    if (ref.index < 0)
        return Fail(fault, ref, kUndeclared);
    ref.type = decl.properties[static_cast<size_t>(ref.index)].type;
    return true;
}

bool Scalar(const PropertyRef& ref, BindFault* fault) {
    return (ref.type & CIM_FLAG_ARRAY) == 0 ||
           Fail(fault, ref, u"is an array: only IS [NOT] NULL tests it");
}

bool BindCondition(Condition& condition, const ClassDecl& decl, BindFault* fault) {
    return std::visit(
        [&](auto& node) -> bool {
            using Node = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Node, Comparison>) {
                return BindProperty(node.property, decl, fault) && Scalar(node.property, fault);
            } else if constexpr (std::is_same_v<Node, LikeTest>) {
                return BindProperty(node.property, decl, fault) && Scalar(node.property, fault) &&
                       (IsValidLikePattern(node.pattern) ||
                        Fail(fault, node.property,
                             u"is matched with a LIKE pattern whose [ is "
                             u"not closed"));
            } else if constexpr (std::is_same_v<Node, NullTest>) {
                return BindProperty(node.property, decl, fault);
            } else if constexpr (std::is_same_v<Node, Negation>) {
                return BindCondition(*node.operand, decl, fault);
            } else {
                for (ConditionPtr& operand : node.operands) {
                    if (!BindCondition(*operand, decl, fault))
                        return false;
                }
                return true;
            }
        },
        condition.node);
}

}  // namespace

HRESULT Bind(Query& query, const ClassDecl& decl, BindFault* fault) {
    for (PropertyRef& ref : query.select) {
        if (!BindProperty(ref, decl, nullptr) && SystemPropertyIndex(ref.name) < 0) {
            Fail(fault, ref, kUndeclared);
            return WBEM_E_INVALID_QUERY;
        }
    }
    if (query.where && !BindCondition(*query.where, decl, fault))
        return WBEM_E_INVALID_QUERY;
    return WBEM_S_NO_ERROR;
}

}  // namespace kvwmi::wql
