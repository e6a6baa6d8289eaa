// Parsing UTF-16 text into trees, and what the node objects read from them.
#include "dom_tree.h"

#include <cstring>
#include <string_view>
#include <unordered_set>

#include "kvwin/utf.h"

namespace kvxmldom {

namespace {

bool IsXmlSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The UTF-16 index of a byte offset into the UTF-8 form of valid text.
size_t Utf16IndexOf(std::string_view utf8, size_t offset) {
    size_t units = 0;
    for (size_t i = 0; i < offset && i < utf8.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        if ((b & 0xC0) != 0x80)
            units += b >= 0xF0 ? 2 : 1;
    }
    return units;
}

struct TextPosition {
    LONG line = 1;
    LONG linepos = 1;
    size_t line_start = 0;
};

// Line and column of a UTF-16 index; "\r\n", "\r" and "\n" each end a line.
TextPosition PositionOf(std::u16string_view text, size_t index) {
    TextPosition pos;
    for (size_t i = 0; i < index && i < text.size(); ++i) {
        if (text[i] == u'\n' ||
            (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))) {
            ++pos.line;
            pos.line_start = i + 1;
        }
    }
    pos.linepos = LONG(index - pos.line_start + 1);
    return pos;
}

std::u16string LineAt(std::u16string_view text, size_t start) {
    size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
        ++end;
    return std::u16string(text.substr(start, end - start));
}

std::u16string Number(long value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// Fills the position fields and finishes the reason with where the error is.
void Locate(std::u16string_view text, size_t index, std::u16string_view what,
            ParseOutcome& outcome) {
    if (index > text.size())
        index = text.size();
    TextPosition pos = PositionOf(text, index);
    outcome.line = pos.line;
    outcome.linepos = pos.linepos;
    outcome.filepos = LONG(index);
    outcome.source_line = LineAt(text, pos.line_start);
    std::u16string reason(what);
    reason += u" (line " + Number(pos.line) + u", position " + Number(pos.linepos);
    std::u16string near;
    for (size_t i = index; i < text.size() && near.size() < 24; ++i) {
        if (text[i] == u'\r' || text[i] == u'\n')
            break;
        near.push_back(text[i]);
    }
    if (index >= text.size())
        reason += u", at the end of the text";
    else if (!near.empty())
        reason += u", near \"" + near + u"\"";
    reason += u").";
    outcome.reason = std::move(reason);
}

struct StatusText {
    LONG code;
    const char16_t* what;
};

StatusText Describe(pugi::xml_parse_status status, bool at_end) {
    switch (status) {
        case pugi::status_out_of_memory:
            return {XMLDOM_E_OUT_OF_MEMORY, u"There is not enough memory to hold the document"};
        case pugi::status_unrecognized_tag:
            return {XMLDOM_E_SYNTAX, u"A '<' does not start a valid tag"};
        case pugi::status_bad_pi:
            return {XMLDOM_E_UNCLOSED_COMMENT,
                    u"A processing instruction or the XML declaration is malformed or not "
                    u"closed"};
        case pugi::status_bad_comment:
            return {XMLDOM_E_UNCLOSED_COMMENT, u"A comment is malformed or not closed"};
        case pugi::status_bad_cdata:
            return {XMLDOM_E_UNCLOSED_COMMENT, u"A CDATA section is not closed"};
        case pugi::status_bad_doctype:
            return {XMLDOM_E_UNCLOSED_COMMENT,
                    u"The document type declaration is malformed or not closed"};
        case pugi::status_bad_pcdata:
            return {XMLDOM_E_SYNTAX, u"Character data is malformed"};
        case pugi::status_bad_start_element:
            return {XMLDOM_E_SYNTAX, u"A start tag is malformed"};
        case pugi::status_bad_attribute:
            return {XMLDOM_E_BAD_ATTRIBUTE,
                    u"An attribute is malformed: a name, the '=' or a quoted value is missing"};
        case pugi::status_bad_end_element:
            return {XMLDOM_E_SYNTAX, u"An end tag is malformed"};
        case pugi::status_end_element_mismatch:
            if (at_end)
                return {XMLDOM_E_UNCLOSED_ELEMENT, u"The text ends before every element is closed"};
            return {XMLDOM_E_TAG_MISMATCH, u"An end tag does not match the element it closes"};
        case pugi::status_no_document_element:
            return {XMLDOM_E_MISSING_ROOT, u"The document has no top-level element"};
        default:
            return {XMLDOM_E_SYNTAX, u"The text is not a well-formed XML document"};
    }
}

// The byte offset of a parsed node's markup in the parsed text.
size_t MarkupOffset(const pugi::xml_node& node) {
    ptrdiff_t offset = node.offset_debug();
    if (offset <= 0)
        return 0;
    return node.type() == pugi::node_element ? size_t(offset - 1) : size_t(offset);
}

// Whether an element names one attribute twice.
bool HasDuplicateAttribute(const pugi::xml_node& element) {
    size_t count = 0;
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
        ++count;
    if (count < 2)
        return false;
    if (count <= 16) {
        for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
                if (std::strcmp(a.name(), b.name()) == 0)
                    return true;
        return false;
    }
    std::unordered_set<std::string_view> names;
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
        if (!names.insert(a.name()).second)
            return true;
    return false;
}

struct TreeFault {
    pugi::xml_node node;
    LONG code = 0;
};

// The first element nested deeper than the limit or naming an attribute twice.
TreeFault FirstFault(const pugi::xml_document& doc) {
    pugi::xml_node cur = doc;
    size_t depth = 0;
    for (;;) {
        if (pugi::xml_node child = cur.first_child()) {
            cur = child;
            ++depth;
        } else {
            while (cur != doc && !cur.next_sibling()) {
                cur = cur.parent();
                --depth;
            }
            if (cur == doc)
                return {};
            cur = cur.next_sibling();
        }
        if (cur.type() != pugi::node_element)
            continue;
        if (depth > kMaxElementDepth)
            return {cur, XMLDOM_E_TOO_DEEP};
        if (HasDuplicateAttribute(cur))
            return {cur, XMLDOM_E_BAD_ATTRIBUTE};
    }
}

// What a well-formed document must also be: one top-level element and no text beside it.
pugi::xml_node FirstStrayTopLevel(const pugi::xml_document& doc) {
    bool seen_root = false;
    for (pugi::xml_node child : doc.children()) {
        if (child.type() == pugi::node_element) {
            if (seen_root)
                return child;
            seen_root = true;
        } else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            for (const char* p = child.value(); *p; ++p)
                if (!IsXmlSpace(char16_t(*p)))
                    return child;
        }
    }
    return {};
}

class StringWriter final : public pugi::xml_writer {
  public:
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
    std::string out;
};

void EscapeInto(std::string& out, const char* text, bool in_attribute) {
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                if (in_attribute) {
                    out += "&quot;";
                    break;
                }
                [[fallthrough]];
            default:
                out.push_back(*p);
        }
    }
}

}  // namespace

DOMNodeType NodeRef::Type() const {
    if (attr)
        return NODE_ATTRIBUTE;
    switch (node.type()) {
        case pugi::node_document:
            return NODE_DOCUMENT;
        case pugi::node_element:
            return NODE_ELEMENT;
        case pugi::node_pcdata:
            return NODE_TEXT;
        case pugi::node_cdata:
            return NODE_CDATA_SECTION;
        case pugi::node_comment:
            return NODE_COMMENT;
        case pugi::node_pi:
        case pugi::node_declaration:
            return NODE_PROCESSING_INSTRUCTION;
        case pugi::node_doctype:
            return NODE_DOCUMENT_TYPE;
        default:
            return NODE_INVALID;
    }
}

// Charges a parsed tree to the bound on what objects hold for scripts: the tree keeps its
// own copy of the UTF-8 text, and each node and attribute costs about this much beside it.
void ChargeTree(Tree& tree, size_t text_bytes) {
    constexpr size_t kNodeBytes = 64;
    constexpr size_t kAttributeBytes = 48;
    size_t bytes = text_bytes;
    ForEachDescendant(tree.doc, [&](pugi::xml_node node) {
        bytes += kNodeBytes;
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
            bytes += kAttributeBytes;
    });
    if (!tree.held.Charge(bytes))
        throw std::bad_alloc();
}

TreePtr ParseText(std::u16string_view text, bool preserve_white_space, ParseOutcome& outcome) {
    outcome = ParseOutcome{};
    auto tree = std::make_shared<Tree>();
    tree->preserve_white_space = preserve_white_space;

    std::string utf8;
    size_t bad = 0;
    if (!kvwin::ToUtf8Strict(text, utf8, &bad)) {
        outcome.code = XMLDOM_E_INVALID_TEXT;
        Locate(text, bad, u"The text holds a lone UTF-16 surrogate, which is no character",
               outcome);
        return tree;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 0) {
            outcome.code = XMLDOM_E_INVALID_TEXT;
            Locate(text, i, u"The text holds a NUL character, which XML does not allow", outcome);
            return tree;
        }
    }
    if (text.empty()) {
        outcome.code = XMLDOM_E_MISSING_ROOT;
        Locate(text, 0, u"The text is empty; a document needs a top-level element", outcome);
        return tree;
    }

    // Parsed as a fragment so that text beside the root element is kept and can be refused.
    unsigned int options = pugi::parse_full | pugi::parse_fragment;
    if (preserve_white_space)
        options |= pugi::parse_ws_pcdata;
    pugi::xml_parse_result result =
        tree->doc.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
    if (!result) {
        size_t offset = result.offset < 0 ? 0 : size_t(result.offset);
        if (offset > utf8.size())
            offset = utf8.size();
        bool at_end = false;
        if (result.status == pugi::status_end_element_mismatch) {
            // An end tag that names another element is reported at its "</"; without one,
            // the text ended with elements open.
            size_t i = offset;
            while (i > 0 && utf8[i - 1] != '<' && utf8[i - 1] != '>')
                --i;
            if (i > 0 && utf8[i - 1] == '<' && i < utf8.size() && utf8[i] == '/') {
                offset = i - 1;
            } else {
                offset = utf8.size();
                at_end = true;
            }
        }
        StatusText status = Describe(result.status, at_end);
        outcome.code = status.code;
        Locate(text, Utf16IndexOf(utf8, offset), status.what, outcome);
        tree->doc.reset();
        return tree;
    }
    if (!tree->doc.document_element()) {
        outcome.code = XMLDOM_E_MISSING_ROOT;
        Locate(text, text.size(), u"The document has no top-level element", outcome);
        tree->doc.reset();
        return tree;
    }
    if (pugi::xml_node stray = FirstStrayTopLevel(tree->doc)) {
        outcome.code = XMLDOM_E_TEXT_OUTSIDE_ROOT;
        Locate(text, Utf16IndexOf(utf8, MarkupOffset(stray)),
               stray.type() == pugi::node_element
                   ? u"A document has exactly one top-level element, and a second one starts here"
                   : u"Text appears outside the top-level element",
               outcome);
        tree->doc.reset();
        return tree;
    }
    for (pugi::xml_node child = tree->doc.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (child.type() == pugi::node_pcdata)
            tree->doc.remove_child(child);  // white space only, as checked above
        child = next;
    }
    if (TreeFault fault = FirstFault(tree->doc); fault.node) {
        outcome.code = fault.code;
        Locate(text, Utf16IndexOf(utf8, MarkupOffset(fault.node)),
               fault.code == XMLDOM_E_TOO_DEEP
                   ? u"Elements are nested more than " + Number(long(kMaxElementDepth)) +
                         u" levels deep"
                   : std::u16string(u"An element names the same attribute twice"),
               outcome);
        tree->doc.reset();
        return tree;
    }
    ChargeTree(*tree, utf8.size());
    return tree;
}

std::u16string NodeText(const NodeRef& ref) {
    std::string text;
    if (ref.attr) {
        text = ref.attr.value();
    } else if (ref.node.type() == pugi::node_pcdata || ref.node.type() == pugi::node_cdata ||
               ref.node.type() == pugi::node_comment || ref.node.type() == pugi::node_pi) {
        text = ref.node.value();
    } else {
        // Every text and CDATA node below, in document order.
        ForEachDescendant(ref.node, [&](pugi::xml_node node) {
            if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
                text += node.value();
        });
    }
    std::u16string wide = kvwin::FromUtf8(text);
    if (ref.tree && !ref.tree->preserve_white_space) {
        size_t begin = 0, end = wide.size();
        while (begin < end && IsXmlSpace(wide[begin]))
            ++begin;
        while (end > begin && IsXmlSpace(wide[end - 1]))
            --end;
        wide = wide.substr(begin, end - begin);
    }
    return wide;
}

std::u16string NodeXml(const NodeRef& ref) {
    std::string out;
    if (ref.attr) {
        out = ref.attr.name();
        out += "=\"";
        EscapeInto(out, ref.attr.value(), true);
        out += "\"";
    } else {
        StringWriter writer;
        ref.node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
        out = std::move(writer.out);
    }
    return kvwin::FromUtf8(out);
}

std::u16string NodeName(const NodeRef& ref) {
    if (ref.attr)
        return kvwin::FromUtf8(ref.attr.name());
    switch (ref.node.type()) {
        case pugi::node_document:
            return u"#document";
        case pugi::node_pcdata:
            return u"#text";
        case pugi::node_cdata:
            return u"#cdata-section";
        case pugi::node_comment:
            return u"#comment";
        case pugi::node_declaration:
            return u"xml";
        case pugi::node_doctype: {
            std::string_view value = ref.node.value();
            size_t end = 0;
            while (end < value.size() && !IsXmlSpace(char16_t(value[end])))
                ++end;
            return kvwin::FromUtf8(value.substr(0, end));
        }
        default:
            return kvwin::FromUtf8(ref.node.name());
    }
}

}  // namespace kvxmldom
