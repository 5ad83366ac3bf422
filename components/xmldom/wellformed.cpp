#include "components/xmldom/wellformed.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kv {
namespace xmldom {

namespace {

bool TopLevelIsWellFormed(const pugi::xml_document& document) {
    int elements = 0;
    int doctypes = 0;
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
        switch (child.type()) {
            case pugi::node_element:
                ++elements;
                break;
            case pugi::node_pcdata:
            case pugi::node_cdata:
                return false;
            case pugi::node_declaration:
                if (child != document.first_child())
                    return false;
                break;
            case pugi::node_doctype:
                if (elements > 0 || ++doctypes > 1)
                    return false;
                break;
            default:
                break;
        }
    }
    return elements == 1;
}

// Whether two attributes of the element share a name, by sorting the names.
bool HasDuplicateName(const pugi::xml_node& element, std::vector<const char*>& names) {
    names.clear();
    for (pugi::xml_attribute attribute : element.attributes())
        names.push_back(attribute.name());
    std::sort(names.begin(), names.end(),
              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
    return std::adjacent_find(names.begin(), names.end(), [](const char* a, const char* b) {
               return std::strcmp(a, b) == 0;
           }) != names.end();
}

bool HasDuplicateAttribute(const pugi::xml_node& element, std::vector<const char*>& names) {
    // Elements have few attributes: comparing each pair (first characters
    // first) is cheaper than sorting their names.
    std::size_t count = 0;
    const char* few[8];
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
        const char* name = attribute.name();
        if (count == 8)
            return HasDuplicateName(element, names);
        for (std::size_t i = 0; i < count; ++i)
            if (few[i][0] == name[0] && std::strcmp(few[i], name) == 0)
                return true;
        few[count++] = name;
    }
    return false;
}

bool IsXmlText(const char* text) {
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x20 && *p != '\t' && *p != '\n' && *p != '\r')
            return false;
        // U+FFFE and U+FFFF are EF BF BE and EF BF BF.
        if (p[0] == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF))
            return false;
    }
    return true;
}

bool NodeHoldsOnlyXmlChars(const pugi::xml_node& node) {
    if (!IsXmlText(node.name()) || !IsXmlText(node.value()))
        return false;
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
         attribute = attribute.next_attribute())
        if (!IsXmlText(attribute.name()) || !IsXmlText(attribute.value()))
            return false;
    return true;
}

// Whether `test` holds for `top` and every node below it, visited depth
// first without recursion (documents may nest deeply).
template <class Test>
bool EveryNodeOf(const pugi::xml_node& top, Test test) {
    pugi::xml_node node = top;
    while (node) {
        if (!test(node))
            return false;
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && node != top && !node.next_sibling())
            node = node.parent();
        if (!node || node == top)
            break;
        node = node.next_sibling();
    }
    return true;
}

}  // namespace

bool HoldsOnlyXmlChars(const pugi::xml_document& document) {
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling())
        if (!EveryNodeOf(child, NodeHoldsOnlyXmlChars))
            return false;
    return true;
}

bool IsWellFormed(const pugi::xml_document& document) {
    if (!TopLevelIsWellFormed(document))
        return false;
    std::vector<const char*> names;
    return EveryNodeOf(document.document_element(), [&names](const pugi::xml_node& node) {
        return node.type() != pugi::node_element || !HasDuplicateAttribute(node, names);
    });
}

}  // namespace xmldom
}  // namespace kv
