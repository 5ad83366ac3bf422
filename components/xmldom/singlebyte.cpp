#include "components/xmldom/singlebyte.h"

#include <climits>
#include <unordered_map>

#include "win32/codepage.h"

namespace kv {
namespace xmldom {

namespace {

// The byte that stands for each character of a code page.
std::unordered_map<OLECHAR, char> CharacterBytes(UINT codePage) {
    std::unordered_map<OLECHAR, char> bytes;
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        OLECHAR c = 0;
        if (codePage == kAsciiCodePage) {
            if (value >= 0x80)
                break;
            c = static_cast<OLECHAR>(value);
        } else if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &byte, 1, &c, 1) != 1) {
            continue;
        }
        bytes.emplace(c, byte);
    }
    return bytes;
}

// Follows serialised markup far enough to tell where a character stands.
class MarkupPlace {
public:
    enum Place { kText, kTag, kValue, kComment, kInstruction, kCData, kDoctype };

    // Moves past the markup that starts at text[i]; returns how many units it
    // covers (the opening or closing of a construct is taken whole).
    std::size_t Step(const std::basic_string<OLECHAR>& text, std::size_t i) {
        const OLECHAR c = text[i];
        switch (m_place) {
            case kText:
                if (c != OLESTR('<'))
                    return 1;
                if (At(text, i, OLESTR("<!--")))
                    return Enter(kComment, 4);
                if (At(text, i, OLESTR("<![CDATA[")))
                    return Enter(kCData, 9);
                if (At(text, i, OLESTR("<!")))
                    return Enter(kDoctype, 2);
                if (At(text, i, OLESTR("<?")))
                    return Enter(kInstruction, 2);
                return Enter(kTag, 1);
            case kTag:
                if (c == OLESTR('"') || c == OLESTR('\''))
                    m_quote = c, m_place = kValue;
                else if (c == OLESTR('>'))
                    m_place = kText;
                return 1;
            case kValue:
                if (c == m_quote)
                    m_place = kTag;
                return 1;
            case kComment:
                return At(text, i, OLESTR("-->")) ? Enter(kText, 3) : 1;
            case kInstruction:
                return At(text, i, OLESTR("?>")) ? Enter(kText, 2) : 1;
            case kCData:
                return At(text, i, OLESTR("]]>")) ? Enter(kText, 3) : 1;
            case kDoctype:
                return StepDoctype(c);
        }
        return 1;
    }
    Place place() const { return m_place; }

private:
    static bool At(const std::basic_string<OLECHAR>& text, std::size_t i, const OLECHAR* token) {
        return text.compare(i, std::char_traits<OLECHAR>::length(token), token) == 0;
    }
    std::size_t Enter(Place place, std::size_t length) {
        m_place = place;
        return length;
    }
    // The document type ends at the first ">" outside quotes and outside its
    // internal subset.
    std::size_t StepDoctype(OLECHAR c) {
        if (m_quote) {
            if (c == m_quote)
                m_quote = 0;
        } else if (c == OLESTR('"') || c == OLESTR('\'')) {
            m_quote = c;
        } else if (c == OLESTR('[')) {
            ++m_depth;
        } else if (c == OLESTR(']') && m_depth > 0) {
            --m_depth;
        } else if (c == OLESTR('>') && m_depth == 0) {
            m_place = kText;
        }
        return 1;
    }

    Place m_place = kText;
    OLECHAR m_quote = 0;
    int m_depth = 0;
};

void PutReference(char32_t c, std::string& bytes) {
    bytes += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
}

}  // namespace

bool DecodeSingleByte(UINT codePage, const std::string& bytes, std::basic_string<OLECHAR>& text) {
    text.clear();
    if (bytes.empty() || bytes.size() > INT_MAX)
        return false;
    if (codePage == kAsciiCodePage) {
        for (char byte : bytes) {
            if (static_cast<unsigned char>(byte) >= 0x80)
                return false;
            text.push_back(static_cast<OLECHAR>(byte));
        }
        return true;
    }
    const int size = static_cast<int>(bytes.size());
    const int units =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units <= 0)
        return false;
    text.resize(static_cast<std::size_t>(units));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, &text[0],
                               units) == units;
}

bool EncodeSingleByte(UINT codePage, const std::basic_string<OLECHAR>& text, std::string& bytes) {
    const std::unordered_map<OLECHAR, char> table = CharacterBytes(codePage);
    if (table.empty())
        return false;
    bytes.clear();
    bytes.reserve(text.size());
    MarkupPlace markup;
    std::size_t i = 0;
    while (i < text.size()) {
        const MarkupPlace::Place place = markup.place();
        const std::size_t next = i + markup.Step(text, i);
        for (; i < next; ++i) {
            char32_t c = text[i];
            const auto found = table.find(text[i]);
            if (found != table.end()) {
                bytes.push_back(found->second);
                continue;
            }
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            }
            if (place == MarkupPlace::kText || place == MarkupPlace::kValue) {
                PutReference(c, bytes);
            } else if (place == MarkupPlace::kCData) {
                bytes += "]]>";
                PutReference(c, bytes);
                bytes += "<![CDATA[";
            } else {
                bytes.push_back('?');
            }
        }
    }
    return true;
}

}  // namespace xmldom
}  // namespace kv
