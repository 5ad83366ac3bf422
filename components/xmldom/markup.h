// Reading the pieces of XML markup from decoded UTF-8 text, front to back,
// each checked against the grammar as it is read: characters, names,
// comments, processing instructions, CDATA sections, text, references and
// tags. Which element is open and what may stand where is the well-formedness
// scan's (wellformed.h).
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

namespace kv {
namespace xmldom {

// A name where it stands in the text.
struct Span {
    const char* begin = nullptr;
    std::size_t length = 0;

    bool operator==(const Span& other) const {
        return length == other.length && std::memcmp(begin, other.begin, length) == 0;
    }
    bool operator<(const Span& other) const;
};

// A position in the text. Each reading method starts at the position and,
// when what stands there is well formed, moves past it and returns true;
// otherwise it returns false and the position is unspecified.
class MarkupCursor {
public:
    MarkupCursor(const char* text, std::size_t length) : m_p(text), m_end(text + length) {}

    bool AtEnd() const { return m_p == m_end; }
    template <std::size_t N>
    bool At(const char (&token)[N]) const {
        return static_cast<std::size_t>(m_end - m_p) >= N - 1 &&
               std::memcmp(m_p, token, N - 1) == 0;
    }
    template <std::size_t N>
    bool Skip(const char (&token)[N]) {
        if (!At(token))
            return false;
        m_p += N - 1;
        return true;
    }

    // The XML declaration, when the text opens with one (true when it does not).
    bool XmlDeclaration();
    // White space; true when there was any.
    bool SkipSpace();
    bool Name(Span& name);
    // After "<!--": no "--" before the "-->" that ends it.
    bool Comment();
    // After "<?": a target other than "xml" in any letter case, then the end,
    // or white space and any text up to the end.
    bool Instruction();
    // After "<![CDATA[": any text up to the "]]>" that ends it.
    bool CData();
    // At "&": a reference to an XML character or one of the five predefined
    // entities.
    bool Reference();
    // Text up to the next "<" or "&", or the end: never "]]>".
    bool CharData();
    // After "<": the name, then attributes (white space before each, each name
    // once, values without "<"), then "/>" (`empty`) or ">".
    bool StartTag(Span& name, bool& empty);
    // After "</": the name, white space, ">".
    bool EndTag(Span& name);

private:
    // At a byte that is no ASCII character XML allows: the character there.
    bool Character();
    // Characters up to and past the next `token`.
    template <std::size_t N>
    bool SkipPast(const char (&token)[N]);
    bool AttributeValue();

    const char* m_p;
    const char* const m_end;
    std::vector<Span> m_attributes;  // the attribute names of the last start tag
};

}  // namespace xmldom
}  // namespace kv
