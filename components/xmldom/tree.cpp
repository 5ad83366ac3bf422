#include "components/xmldom/tree.h"

#include <cstring>
#include <vector>

#include "components/xmldom/wellformed.h"
#include "components/xmldom/xmlchars.h"

namespace kv {
namespace xmldom {

DOMNodeType NodeType(const pugi::xml_node& node) {
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

namespace {

// Resolves the references of a text that the parse left in the loaded buffer,
// in place: each is longer than the UTF-8 of what it stands for. False when an
// "&" begins no reference this component resolves; `changed` tells whether
// there was any.
bool ResolveText(const char* value, bool& changed) {
    char* out = const_cast<char*>(std::strchr(value, '&'));
    changed = out != nullptr;
    if (!out)
        return true;
    const char* const end = out + std::strlen(out);
    for (const char* in = out; *in;) {
        if (*in != '&') {
            *out++ = *in++;
            continue;
        }
        const char* after = nullptr;
        const char32_t c = ReferencedChar(in + 1, end, after);
        if (c == 0)
            return false;
        out = PutUtf8(out, c);
        in = after;
    }
    *out = '\0';
    return true;
}

bool IsBlank(const char* text) {
    for (; *text; ++text)
        if (!IsXmlSpace(*text))
            return false;
    return true;
}

bool IsXmlText(const char* text) {
    return xmldom::IsXmlText(text, std::strlen(text));
}

// Whether the value of a node without references can be written in its
// markup: see CanBeSaved.
bool MarkupCarries(const pugi::xml_node& node) {
    const char* value = node.value();
    switch (node.type()) {
        case pugi::node_comment: {
            const std::size_t length = std::strlen(value);
            return !std::strstr(value, "--") && (length == 0 || value[length - 1] != '-') &&
                   !std::strchr(value, '\r');
        }
        case pugi::node_pi:
            return !std::strstr(value, "?>") && !IsXmlSpace(value[0]) && !std::strchr(value, '\r');
        case pugi::node_cdata:
            return !std::strstr(value, "]]>") && !std::strchr(value, '\r');
        default:
            return true;
    }
}

bool NodeCanBeSaved(const pugi::xml_node& node) {
    if (!IsXmlText(node.name()) || !IsXmlText(node.value()) || !MarkupCarries(node))
        return false;
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
         attribute = attribute.next_attribute())
        if (!IsXmlText(attribute.name()) || !IsXmlText(attribute.value()))
            return false;
    return true;
}

// Whether `test(node)` holds for `top` and every node below it, visited depth
// first without recursion (documents may nest deeply).
template <class Test>
bool EveryNodeOf(const pugi::xml_node& top, Test test) {
    pugi::xml_node node = top;
    for (;;) {
        if (!test(node))
            return false;
        if (const pugi::xml_node child = node.first_child()) {
            node = child;
            continue;
        }
        while (node != top && !node.next_sibling())
            node = node.parent();
        if (node == top)
            return true;
        node = node.next_sibling();
    }
}

}  // namespace

bool ResolveReferences(pugi::xml_document& document) {
    std::vector<pugi::xml_node> blank;
    const bool resolved = EveryNodeOf(document.document_element(), [&](const pugi::xml_node& node) {
        bool changed = false;
        if (node.type() == pugi::node_pcdata) {
            if (!ResolveText(node.value(), changed))
                return false;
            // Only a text with references can have become blank.
            if (changed && IsBlank(node.value()))
                blank.push_back(node);
            return true;
        }
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
             attribute = attribute.next_attribute())
            if (!ResolveText(attribute.value(), changed))
                return false;
        return true;
    });
    for (pugi::xml_node node : blank)
        node.parent().remove_child(node);
    return resolved;
}

bool ParseDocument(std::string& text, pugi::xml_document& tree) {
    NormaliseLineEnds(text);
    if (!IsWellFormed(text.data(), text.size()))
        return false;
    // Without an "&" anywhere there is no reference to resolve: the walk over
    // every text is left out.
    const bool references = std::memchr(text.data(), '&', text.size()) != nullptr;
    return tree.load_buffer_inplace(&text[0], text.size(), kParseOptions, pugi::encoding_utf8) &&
           (!references || ResolveReferences(tree));
}

bool CanBeSaved(const pugi::xml_document& document) {
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling())
        if (!EveryNodeOf(child, NodeCanBeSaved))
            return false;
    return true;
}

}  // namespace xmldom
}  // namespace kv
