#include "wql/binder.h"

#include "wql/like.h"
#include "wql/system_properties.h"

namespace kvwmi::wql {

namespace {

bool BindProperty(PropertyRef& ref, const ClassDecl& decl) {
    ref.index = decl.IndexOf(ref.name);
    if (ref.index < 0)
        return false;
    ref.type = decl.properties[static_cast<size_t>(ref.index)].type;
    return true;
}

bool IsArray(const PropertyRef& ref) {
    return (ref.type & CIM_FLAG_ARRAY) != 0;
}

bool BindCondition(Condition& condition, const ClassDecl& decl) {
    return std::visit(
        [&](auto& node) -> bool {
            using Node = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Node, Comparison>) {
                return BindProperty(node.property, decl) && !IsArray(node.property);
            } else if constexpr (std::is_same_v<Node, LikeTest>) {
                return BindProperty(node.property, decl) && !IsArray(node.property) &&
                       IsValidLikePattern(node.pattern);
            } else if constexpr (std::is_same_v<Node, NullTest>) {
                return BindProperty(node.property, decl);
            } else if constexpr (std::is_same_v<Node, Negation>) {
                return BindCondition(*node.operand, decl);
            } else {
                for (ConditionPtr& operand : node.operands) {
                    if (!BindCondition(*operand, decl))
                        return false;
                }
                return true;
            }
        },
        condition.node);
}

}  // namespace

HRESULT Bind(Query& query, const ClassDecl& decl) {
    for (PropertyRef& ref : query.select) {
        if (!BindProperty(ref, decl) && SystemPropertyIndex(ref.name) < 0)
            return WBEM_E_INVALID_QUERY;
    }
    if (query.where && !BindCondition(*query.where, decl))
        return WBEM_E_INVALID_QUERY;
    return WBEM_S_NO_ERROR;
}

}  // namespace kvwmi::wql
