#include "components/xmldom/wellformed.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kv {
namespace xmldom {

namespace {

bool TopLevelIsWellFormed(const pugi::xml_document& document) {
    int elements = 0;
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
                return false;
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

bool IsXmlChar(unsigned long c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The character that the reference after an "&" at `s` stands for, with `end`
// set after its ";"; 0 when no reference begins there.
unsigned long Reference(const char* s, const char*& end) {
    static const struct {
        const char* name;
        std::size_t length;
        char character;
    } kPredefined[] = {
        {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"amp;", 4, '&'}, {"apos;", 5, '\''}, {"quot;", 5, '"'}};
    if (*s != '#') {
        for (const auto& entity : kPredefined)
            if (std::strncmp(s, entity.name, entity.length) == 0) {
                end = s + entity.length;
                return static_cast<unsigned char>(entity.character);
            }
        return 0;
    }
    const bool hex = s[1] == 'x';
    const char* digits = s + (hex ? 2 : 1);
    const char* p = digits;
    unsigned long value = 0;
    for (int digit; (digit = DigitValue(*p, hex)) >= 0; ++p)
        if ((value = value * (hex ? 16 : 10) + static_cast<unsigned long>(digit)) > 0x10FFFF)
            return 0;
    if (p == digits || *p != ';' || !IsXmlChar(value))
        return 0;
    end = p + 1;
    return value;
}

char* PutUtf8(char* out, unsigned long c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Resolves the references of a text that the parse left in the loaded buffer,
// in place: each is longer than the UTF-8 of what it stands for. False when an
// "&" begins no reference this component resolves.
bool ResolveReferences(const char* value) {
    char* out = const_cast<char*>(std::strchr(value, '&'));
    if (!out)
        return true;
    for (const char* in = out; *in;) {
        if (*in != '&') {
            *out++ = *in++;
            continue;
        }
        const char* end = nullptr;
        const unsigned long c = Reference(in + 1, end);
        if (c == 0)
            return false;
        out = PutUtf8(out, c);
        in = end;
    }
    *out = '\0';
    return true;
}

bool AcceptNode(const pugi::xml_node& node, std::vector<const char*>& names) {
    if (node.type() == pugi::node_pcdata)
        return ResolveReferences(node.value());
    if (node.type() != pugi::node_element)
        return true;
    if (HasDuplicateAttribute(node, names))
        return false;
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
         attribute = attribute.next_attribute())
        if (!ResolveReferences(attribute.value()))
            return false;
    return true;
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

// Whether `test(node, depth)` holds for `top` (at depth 1) and every node below
// it, visited depth first without recursion (documents may nest deeply).
template <class Test>
bool EveryNodeOf(const pugi::xml_node& top, Test test) {
    pugi::xml_node node = top;
    unsigned depth = 1;
    for (;;) {
        if (!test(node, depth))
            return false;
        if (const pugi::xml_node child = node.first_child()) {
            node = child;
            ++depth;
            continue;
        }
        while (node != top && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        if (node == top)
            return true;
        node = node.next_sibling();
    }
}

}  // namespace

bool AcceptDocument(pugi::xml_document& document) {
    if (!TopLevelIsWellFormed(document))
        return false;
    std::vector<const char*> names;
    return EveryNodeOf(document.document_element(),
                       [&names](const pugi::xml_node& node, unsigned depth) {
                           if (depth > kMaxElementDepth && node.type() == pugi::node_element)
                               return false;
                           return AcceptNode(node, names);
                       });
}

bool HoldsOnlyXmlChars(const pugi::xml_document& document) {
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling())
        if (!EveryNodeOf(child, [](const pugi::xml_node& node, unsigned) {
                return NodeHoldsOnlyXmlChars(node);
            }))
            return false;
    return true;
}

}  // namespace xmldom
}  // namespace kv
