#include "components/xmldom/declaration.h"

#include <algorithm>
#include <cstring>

#include "components/xmldom/xmlchars.h"

namespace kv {
namespace xmldom {

namespace {

bool SkipSpace(const char*& p, const char* end) {
    const char* start = p;
    while (p < end && IsXmlSpace(*p))
        ++p;
    return p != start;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsVersionNumber(const std::string& value) {
    return value.size() >= 3 && value.compare(0, 2, "1.") == 0 &&
           std::all_of(value.begin() + 2, value.end(), IsDigit);
}

bool IsEncodingName(const std::string& value) {
    return !value.empty() && IsLetter(value[0]) &&
           std::all_of(value.begin() + 1, value.end(), [](char c) {
               return IsLetter(c) || IsDigit(c) || c == '.' || c == '_' || c == '-';
           });
}

// ` name = "value"`: `present` tells whether it stands next (`p` is left
// where it was when it does not); false when it begins but is malformed.
bool PseudoAttribute(const char*& p, const char* end, const char* name, std::string& value,
                     bool& present) {
    const char* start = p;
    const std::size_t length = std::strlen(name);
    present = SkipSpace(p, end) && static_cast<std::size_t>(end - p) >= length &&
              std::memcmp(p, name, length) == 0;
    if (!present) {
        p = start;
        return true;
    }
    p += length;
    SkipSpace(p, end);
    if (p == end || *p++ != '=')
        return false;
    SkipSpace(p, end);
    if (p == end || (*p != '"' && *p != '\''))
        return false;
    const char quote = *p++;
    const auto* close =
        static_cast<const char*>(std::memchr(p, quote, static_cast<std::size_t>(end - p)));
    if (!close)
        return false;
    value.assign(p, close);
    p = close + 1;
    return true;
}

}  // namespace

bool OpensWithDeclaration(const char* text, std::size_t length) {
    return length > 5 && std::memcmp(text, "<?xml", 5) == 0 &&
           (IsXmlSpace(text[5]) || text[5] == '?');
}

bool ReadDeclaration(const char*& p, const char* end, Declaration& declaration) {
    declaration = Declaration();
    p += 5;  // "<?xml"
    bool present = false;
    if (!PseudoAttribute(p, end, "version", declaration.version, present) || !present ||
        !IsVersionNumber(declaration.version))
        return false;
    if (!PseudoAttribute(p, end, "encoding", declaration.encoding, present) ||
        (present && !IsEncodingName(declaration.encoding)))
        return false;
    if (!PseudoAttribute(p, end, "standalone", declaration.standalone, present) ||
        (present && declaration.standalone != "yes" && declaration.standalone != "no"))
        return false;
    SkipSpace(p, end);
    if (end - p < 2 || p[0] != '?' || p[1] != '>')
        return false;
    p += 2;
    return true;
}

std::string DeclaredEncoding(const std::string& text) {
    Declaration declaration;
    const char* p = text.data();
    if (!OpensWithDeclaration(p, text.size()) ||
        !ReadDeclaration(p, text.data() + text.size(), declaration))
        return std::string();
    return declaration.encoding;
}

}  // namespace xmldom
}  // namespace kv
