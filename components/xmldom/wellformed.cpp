#include "components/xmldom/wellformed.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "components/xmldom/declaration.h"
#include "components/xmldom/xmlchars.h"

namespace kv {
namespace xmldom {

namespace {

// What the scanner's inner loops ask of a byte, by table: they run over every
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

// A name where it stands in the text.
struct Span {
    const char* begin = nullptr;
    std::size_t length = 0;

    bool operator==(const Span& other) const {
        return length == other.length && std::memcmp(begin, other.begin, length) == 0;
    }
    bool operator<(const Span& other) const {
        const int order = std::memcmp(begin, other.begin, std::min(length, other.length));
        return order < 0 || (order == 0 && length < other.length);
    }
};

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

// Follows the grammar of a document through its text, once, front to back.
// Each step starts where the text is, and on success ends after what it read.
class Scanner {
public:
    Scanner(const char* text, std::size_t length) : m_p(text), m_end(text + length) {}

    bool Document() {
        Declaration declaration;
        if (OpensWithDeclaration(m_p, static_cast<std::size_t>(m_end - m_p)) &&
            !ReadDeclaration(m_p, m_end, declaration))
            return false;
        bool element = false;
        for (;;) {
            SkipSpace();
            if (m_p == m_end)
                return element;
            bool read = true;
            if (Skip("<!--"))
                read = Comment();
            else if (Skip("<?"))
                read = Instruction();
            else if (!element && At("<"))
                read = element = Element();  // the one document element
            else
                read = false;
            if (!read)
                return false;
        }
    }

private:
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
    // Moves past the character at a byte of kOther; false when it is none
    // that XML allows.
    bool Character() {
        return static_cast<unsigned char>(*m_p) >= 0x80 && IsXmlChar(NextChar(m_p, m_end));
    }
    // Moves past XML characters up to and past the next `token`; false when
    // there is none or another character stands before it.
    template <std::size_t N>
    bool SkipPast(const char (&token)[N]) {
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
    bool SkipSpace() {
        const char* start = m_p;
        while (m_p < m_end && Is(*m_p, kSpace))
            ++m_p;
        return m_p != start;
    }

    bool Name(Span& name) {
        const char* start = m_p;
        if (m_p == m_end)
            return false;
        if (Is(*m_p, kNameStart))
            ++m_p;
        else if (static_cast<unsigned char>(*m_p) < 0x80 || !IsNameStartChar(NextChar(m_p, m_end)))
            return false;
        while (m_p < m_end) {
            if (Is(*m_p, kNameChar)) {
                ++m_p;
                continue;
            }
            const char* here = m_p;
            if (static_cast<unsigned char>(*m_p) < 0x80 || !IsNameChar(NextChar(m_p, m_end))) {
                m_p = here;
                break;
            }
        }
        name = {start, static_cast<std::size_t>(m_p - start)};
        return true;
    }

    // After "<!--": no "--" before the "-->" that ends it.
    bool Comment() { return SkipPast("--") && Skip(">"); }

    // After "<?": a target other than "xml" in any letter case, then the end
    // or white space and any text up to the end.
    bool Instruction() {
        Span target;
        if (!Name(target))
            return false;
        const char* t = target.begin;
        if (target.length == 3 && (t[0] | 0x20) == 'x' && (t[1] | 0x20) == 'm' &&
            (t[2] | 0x20) == 'l')
            return false;
        return Skip("?>") || (SkipSpace() && SkipPast("?>"));
    }

    // At "&".
    bool Reference() {
        const char* after = nullptr;
        if (ReferencedChar(m_p + 1, m_end, after) == 0)
            return false;
        m_p = after;
        return true;
    }

    // Text up to the next "<" or "&": XML characters, never "]]>".
    bool CharData() {
        while (m_p < m_end) {
            const char c = *m_p;
            if (!Is(c, kEndsText | kOther)) {
                ++m_p;
            } else if (Is(c, kOther)) {
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

    // A quoted value of XML characters and references, without "<".
    bool AttributeValue() {
        if (m_p == m_end || (*m_p != '"' && *m_p != '\''))
            return false;
        const char quote = *m_p++;
        while (m_p < m_end) {
            const char c = *m_p;
            if (!Is(c, kEndsValue | kOther)) {
                ++m_p;
                continue;
            }
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

    // After "<": the name and attributes; a tag that is not empty opens its
    // element.
    bool StartTag() {
        Span name;
        if (!Name(name))
            return false;
        m_attributes.clear();
        bool empty = false;
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
        if (!empty)
            m_open.push_back(name);
        return !HasRepeatedName(m_attributes);
    }

    // After "</": the name of the element it closes.
    bool EndTag() {
        Span name;
        if (m_open.empty() || !Name(name) || !(name == m_open.back()))
            return false;
        SkipSpace();
        if (!Skip(">"))
            return false;
        m_open.pop_back();
        return true;
    }

    // At the "<" of the document element: it and everything inside it,
    // without recursion.
    bool Element() {
        do {
            ++m_p;
            if (m_open.size() >= kMaxElementDepth || !StartTag() || !Content())
                return false;
        } while (!m_open.empty());
        return true;
    }

    // What open elements hold, up to the "<" of a child's start tag or the
    // end of the outermost one.
    bool Content() {
        while (!m_open.empty()) {
            if (!CharData() || m_p == m_end)
                return false;
            bool read = true;
            if (*m_p == '&')
                read = Reference();
            else if (Skip("</"))
                read = EndTag();
            else if (Skip("<!--"))
                read = Comment();
            else if (Skip("<![CDATA["))
                read = SkipPast("]]>");
            else if (Skip("<?"))
                read = Instruction();
            else
                return true;
            if (!read)
                return false;
        }
        return true;
    }

    const char* m_p;
    const char* const m_end;
    std::vector<Span> m_open;        // the elements entered and not yet left
    std::vector<Span> m_attributes;  // the attribute names of the last start tag
};

}  // namespace

void NormaliseLineEnds(std::string& text) {
    std::size_t in = text.find('\r');
    if (in == std::string::npos)
        return;
    std::size_t out = in;
    for (; in < text.size(); ++in) {
        if (text[in] != '\r') {
            text[out++] = text[in];
            continue;
        }
        text[out++] = '\n';
        if (in + 1 < text.size() && text[in + 1] == '\n')
            ++in;
    }
    text.resize(out);
}

bool IsWellFormed(const char* text, std::size_t length) {
    return Scanner(text, length).Document();
}

}  // namespace xmldom
}  // namespace kv
