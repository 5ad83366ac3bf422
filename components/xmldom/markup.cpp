#include "components/xmldom/markup.h"

#include <algorithm>

#include "components/xmldom/declaration.h"
#include "components/xmldom/xmlchars.h"

namespace kv {
namespace xmldom {

namespace {

// What the reading loops ask of a byte, by table: together they run over every
// byte of the text, once. A byte of kOther needs a closer look: a control
// character XML does not allow, or the lead of a character beyond ASCII.
enum ByteClass : unsigned char {
    kSpace = 1,
    kNameStart = 2,
    kNameChar = 4,
    kOther = 8,
    kEndsText = 16,  // "<", "&", "]"
    kEndsValue = 32  // "<", "&", and the quotes
};

struct ByteClasses {
    unsigned char of[256] = {};
    constexpr ByteClasses() {
        for (int c = 0; c < 256; ++c) {
            if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r'))
                of[c] |= kOther;
            if (IsAsciiNameStart(static_cast<char32_t>(c)))
                of[c] |= kNameStart | kNameChar;
            if ((c >= '0' && c <= '9') || c == '-' || c == '.')
                of[c] |= kNameChar;
        }
        for (const char c : {' ', '\t', '\n', '\r'})
            of[static_cast<unsigned char>(c)] |= kSpace;
        for (const char c : {'<', '&', ']'})
            of[static_cast<unsigned char>(c)] |= kEndsText;
        for (const char c : {'<', '&', '"', '\''})
            of[static_cast<unsigned char>(c)] |= kEndsValue;
    }
};

constexpr ByteClasses kClasses;

inline bool Is(char c, unsigned char classes) {
    return (kClasses.of[static_cast<unsigned char>(c)] & classes) != 0;
}

inline bool IsAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

// The first byte from `p` on that is not of `classes` (SkipOver), or that is
// (SkipTo); `end` when there is none. The scanning loops run here, on a
// pointer of their own: a cursor's member may be written through any char
// pointer, as far as the compiler knows, and would be kept in memory, byte by
// byte.
inline const char* SkipOver(const char* p, const char* end, unsigned char classes) {
    while (p < end && Is(*p, classes))
        ++p;
    return p;
}

inline const char* SkipTo(const char* p, const char* end, unsigned char classes) {
    while (p < end && !Is(*p, classes))
        ++p;
    return p;
}

// Whether two of the names are the same (their order changes). Elements have
// few attributes: comparing each pair is cheaper than sorting their names.
bool HasRepeatedName(std::vector<Span>& names) {
    if (names.size() <= 8) {
        for (std::size_t i = 1; i < names.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (names[i] == names[j])
                    return true;
        return false;
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
}

}  // namespace

bool Span::operator<(const Span& other) const {
    const int order = std::memcmp(begin, other.begin, std::min(length, other.length));
    return order < 0 || (order == 0 && length < other.length);
}

bool MarkupCursor::Character() {
    return !IsAscii(*m_p) && IsXmlChar(NextChar(m_p, m_end));
}

template <std::size_t N>
bool MarkupCursor::SkipPast(const char (&token)[N]) {
    while (m_p < m_end) {
        if (Is(*m_p, kOther)) {
            if (!Character())
                return false;
        } else if (Skip(token)) {
            return true;
        } else {
            ++m_p;
        }
    }
    return false;
}

bool MarkupCursor::XmlDeclaration() {
    Declaration declaration;
    return !OpensWithDeclaration(m_p, static_cast<std::size_t>(m_end - m_p)) ||
           ReadDeclaration(m_p, m_end, declaration);
}

bool MarkupCursor::SkipSpace() {
    const char* const start = m_p;
    m_p = SkipOver(m_p, m_end, kSpace);
    return m_p != start;
}

bool MarkupCursor::Name(Span& name) {
    const char* start = m_p;
    if (m_p == m_end)
        return false;
    if (Is(*m_p, kNameStart))
        ++m_p;
    else if (IsAscii(*m_p) || !IsNameStartChar(NextChar(m_p, m_end)))
        return false;
    while (m_p < m_end) {
        m_p = SkipOver(m_p, m_end, kNameChar);
        if (m_p == m_end)
            break;
        const char* here = m_p;
        if (IsAscii(*m_p) || !IsNameChar(NextChar(m_p, m_end))) {
            m_p = here;
            break;
        }
    }
    name = {start, static_cast<std::size_t>(m_p - start)};
    return true;
}

bool MarkupCursor::Comment() {
    return SkipPast("--") && Skip(">");
}

bool MarkupCursor::Instruction() {
    Span target;
    if (!Name(target))
        return false;
    const char* t = target.begin;
    if (target.length == 3 && (t[0] | 0x20) == 'x' && (t[1] | 0x20) == 'm' && (t[2] | 0x20) == 'l')
        return false;
    return Skip("?>") || (SkipSpace() && SkipPast("?>"));
}

bool MarkupCursor::CData() {
    return SkipPast("]]>");
}

bool MarkupCursor::Reference() {
    const char* after = nullptr;
    if (ReferencedChar(m_p + 1, m_end, after) == 0)
        return false;
    m_p = after;
    return true;
}

bool MarkupCursor::CharData() {
    while (m_p < m_end) {
        m_p = SkipTo(m_p, m_end, kEndsText | kOther);
        if (m_p == m_end)
            break;
        const char c = *m_p;
        if (Is(c, kOther)) {
            if (!Character())
                return false;
        } else if (c != ']') {
            return true;
        } else if (At("]]>")) {
            return false;
        } else {
            ++m_p;
        }
    }
    return true;
}

bool MarkupCursor::AttributeValue() {
    if (m_p == m_end || (*m_p != '"' && *m_p != '\''))
        return false;
    const char quote = *m_p++;
    while (m_p < m_end) {
        m_p = SkipTo(m_p, m_end, kEndsValue | kOther);
        if (m_p == m_end)
            break;
        const char c = *m_p;
        if (c == quote) {
            ++m_p;
            return true;
        }
        bool read = true;
        if (c == '<')
            read = false;
        else if (c == '&')
            read = Reference();
        else if (Is(c, kOther))
            read = Character();
        else
            ++m_p;  // the other quote
        if (!read)
            return false;
    }
    return false;
}

bool MarkupCursor::StartTag(Span& name, bool& empty) {
    if (!Name(name))
        return false;
    m_attributes.clear();
    for (;;) {
        const bool space = SkipSpace();
        if ((empty = Skip("/>")) || Skip(">"))
            break;
        Span attribute;
        if (!space || !Name(attribute))
            return false;
        m_attributes.push_back(attribute);
        SkipSpace();
        if (!Skip("="))
            return false;
        SkipSpace();
        if (!AttributeValue())
            return false;
    }
    return !HasRepeatedName(m_attributes);
}

bool MarkupCursor::EndTag(Span& name) {
    if (!Name(name))
        return false;
    SkipSpace();
    return Skip(">");
}

}  // namespace xmldom
}  // namespace kv
