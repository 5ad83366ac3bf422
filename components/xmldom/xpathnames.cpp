#include "components/xmldom/xpathnames.h"

#include <cstring>

#include "components/xmldom/xmlchars.h"

namespace kv {
namespace xmldom {

namespace {

// Moves `p` past the NCName (a name without ":") that starts there; false,
// and `p` unmoved, when none does.
bool SkipNcName(const char*& p, const char* end) {
    const char* next = p;
    if (p == end || *p == ':' || !IsNameStartChar(NextChar(next, end)))
        return false;
    p = next;
    while (p < end && *p != ':') {
        next = p;
        if (!IsNameChar(NextChar(next, end)))
            break;
        p = next;
    }
    return true;
}

void SkipSpace(const char*& p, const char* end) {
    while (p < end && IsXmlSpace(*p))
        ++p;
}

// `text` as an XPath literal; false when it holds both kinds of quote.
bool AppendLiteral(std::string& out, const std::string& text) {
    const char quote = text.find('\'') == std::string::npos ? '\'' : '"';
    if (text.find(quote) != std::string::npos)
        return false;
    out.append(1, quote).append(text).append(1, quote);
    return true;
}

const std::string* Find(const PrefixBindings& bindings, const char* prefix, std::size_t length) {
    for (const auto& binding : bindings)
        if (binding.first.size() == length && binding.first.compare(0, length, prefix, length) == 0)
            return &binding.second;
    return nullptr;
}

}  // namespace

bool ReadPrefixBindings(const std::string& text, PrefixBindings& bindings) {
    PrefixBindings read;
    const char* p = text.data();
    const char* const end = p + text.size();
    for (SkipSpace(p, end); p < end; SkipSpace(p, end)) {
        if (end - p < 5 || std::memcmp(p, "xmlns", 5) != 0)
            return false;
        p += 5;
        std::string prefix;
        if (p < end && *p == ':') {
            const char* name = ++p;
            if (!SkipNcName(p, end))
                return false;
            prefix.assign(name, p);
        }
        const bool prefixed = !prefix.empty();
        SkipSpace(p, end);
        if (p == end || *p++ != '=')
            return false;
        SkipSpace(p, end);
        if (p == end || (*p != '"' && *p != '\''))
            return false;
        const char quote = *p++;
        const auto* close =
            static_cast<const char*>(std::memchr(p, quote, static_cast<std::size_t>(end - p)));
        if (!close || (prefixed && close == p))
            return false;
        if (prefixed)
            read.emplace_back(prefix, std::string(p, close));
        p = close + 1;
    }
    bindings.swap(read);
    return true;
}

bool BindPrefixes(const std::string& expression, const PrefixBindings& bindings,
                  std::string& bound) {
    if (expression.find(':') == std::string::npos) {  // nearly every expression
        bound = expression;
        return true;
    }
    bound.clear();
    const char* p = expression.data();
    const char* const end = p + expression.size();
    while (p < end) {
        const char* start = p;
        if (*p == '"' || *p == '\'') {
            const auto* close = static_cast<const char*>(
                std::memchr(p + 1, *p, static_cast<std::size_t>(end - p - 1)));
            p = close ? close + 1 : end;
            bound.append(start, p);
            continue;
        }
        if (!SkipNcName(p, end)) {
            bound.push_back(*p++);
            continue;
        }
        // "prefix:name" or "prefix:*"; the "::" after an axis name is none.
        const char* prefixEnd = p;
        if (end - p < 2 || p[0] != ':' || p[1] == ':') {
            bound.append(start, p);
            continue;
        }
        const char* local = ++p;
        if (*p == '*')
            ++p;
        else if (!SkipNcName(p, end))
            return false;
        // A prefixed variable or function is none that pugixml knows: it
        // refuses the expression itself.
        const char* next = p;
        SkipSpace(next, end);
        if ((start > expression.data() && start[-1] == '$') || (next < end && *next == '(')) {
            bound.append(start, p);
            continue;
        }
        // "xml" is bound by definition, and to nothing else: pugixml's text
        // comparison is right for it.
        const auto prefixLength = static_cast<std::size_t>(prefixEnd - start);
        if (prefixLength == 3 && std::memcmp(start, "xml", 3) == 0) {
            bound.append(start, p);
            continue;
        }
        const std::string* uri = Find(bindings, start, prefixLength);
        if (!uri)
            return false;
        bound += "*[";
        if (*local != '*')
            bound.append("local-name()='").append(local, p).append("' and ");
        bound += "namespace-uri()=";
        if (!AppendLiteral(bound, *uri))
            return false;
        bound += ']';
    }
    return true;
}

}  // namespace xmldom
}  // namespace kv
