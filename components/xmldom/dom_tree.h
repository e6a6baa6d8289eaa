// The parsed tree behind a document and the references its node objects hold.
//
// A tree never changes once parsed; loading new text into a document makes a new tree, so
// node objects taken from the old one stay valid. A Tree is shared by reference count
// (std::shared_ptr) and may be read by several threads at once.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>

#include "kvwin/held_memory.h"
#include "win/msxml.h"

namespace kvxmldom {

// Elements nested deeper than this are refused with XMLDOM_E_TOO_DEEP, so nothing that
// walks a document (ours or a caller's) meets unbounded nesting.
inline constexpr size_t kMaxElementDepth = 10000;

struct Tree {
    pugi::xml_document doc;
    bool preserve_white_space = false;
    kvwin::HeldMemory held;  // what doc keeps, charged to the process-wide bound
};
using TreePtr = std::shared_ptr<Tree>;

// A node of a tree: an attribute (attr set, node its element) or any other node.
struct NodeRef {
    TreePtr tree;
    pugi::xml_node node;
    pugi::xml_attribute attr;

    bool IsAttribute() const { return bool(attr); }
    DOMNodeType Type() const;
};

// The outcome of a parse, as the parse error object reports it.
struct ParseOutcome {
    LONG code = 0;  // zero on success, else an XMLDOM_E_* code
    std::u16string reason;
    std::u16string source_line;
    LONG line = 0;
    LONG linepos = 0;
    LONG filepos = 0;
};

// Parses UTF-16 text into a new tree. On failure the tree is empty and the outcome says
// what is wrong and where. Throws std::bad_alloc, also when the parsed tree would pass the
// bound on memory objects hold for scripts (kvwin/held_memory.h).
TreePtr ParseText(std::u16string_view text, bool preserve_white_space, ParseOutcome& outcome);

// The text of a node and all its descendants in document order.
std::u16string NodeText(const NodeRef& ref);
// The node as XML text.
std::u16string NodeXml(const NodeRef& ref);
// nodeName as the DOM gives it ("#text", "#document", the element's qualified name...).
std::u16string NodeName(const NodeRef& ref);

// Calls visit(node) for every node below top in document order, without recursion, so a
// deep tree costs no stack.
template <class Visit>
void ForEachDescendant(pugi::xml_node top, Visit visit) {
    pugi::xml_node cur = top.first_child();
    while (cur) {
        visit(cur);
        if (cur.first_child()) {
            cur = cur.first_child();
            continue;
        }
        while (cur && cur != top && !cur.next_sibling())
            cur = cur.parent();
        if (!cur || cur == top)
            break;
        cur = cur.next_sibling();
    }
}

}  // namespace kvxmldom
