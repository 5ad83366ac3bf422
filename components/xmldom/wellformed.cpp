#include "components/xmldom/wellformed.h"

#include <vector>

#include "components/xmldom/markup.h"

namespace kv {
namespace xmldom {

namespace {

// Follows the structure of a document through its text, once, front to back:
// the declaration, then one element with comments, processing instructions
// and white space around it; inside it, elements that close in the order they
// opened, without recursion.
class Scanner {
public:
    Scanner(const char* text, std::size_t length) : m_in(text, length) {}

    bool Document() {
        if (!m_in.XmlDeclaration())
            return false;
        bool element = false;
        for (;;) {
            m_in.SkipSpace();
            if (m_in.AtEnd())
                return element;
            bool read = true;
            if (m_in.Skip("<!--"))
                read = m_in.Comment();
            else if (m_in.Skip("<?"))
                read = m_in.Instruction();
            else if (!element && m_in.Skip("<"))
                read = element = Element();  // the one document element
            else
                read = false;
            if (!read)
                return false;
        }
    }

private:
    // After the "<" of the document element: it and everything inside it.
    bool Element() {
        do {
            Span name;
            bool empty = false;
            if (m_open.size() >= kMaxElementDepth || !m_in.StartTag(name, empty))
                return false;
            if (!empty)
                m_open.push_back(name);
            if (!Content())
                return false;
        } while (!m_open.empty());
        return true;
    }

    // What open elements hold, up to and past the "<" of a child's start tag,
    // or until the outermost one closes.
    bool Content() {
        while (!m_open.empty()) {
            if (!m_in.CharData() || m_in.AtEnd())
                return false;
            bool read = true;
            if (m_in.At("&")) {
                read = m_in.Reference();
            } else if (m_in.Skip("</")) {
                Span name;
                read = m_in.EndTag(name) && name == m_open.back();
                m_open.pop_back();
            } else if (m_in.Skip("<!--")) {
                read = m_in.Comment();
            } else if (m_in.Skip("<![CDATA[")) {
                read = m_in.CData();
            } else if (m_in.Skip("<?")) {
                read = m_in.Instruction();
            } else {
                return m_in.Skip("<");
            }
            if (!read)
                return false;
        }
        return true;
    }

    MarkupCursor m_in;
    std::vector<Span> m_open;  // the elements entered and not yet left
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
