#include "xml/xpath.h"

#include <climits>
#include <stdexcept>

namespace xmlutils {

CKVXPath::CKVXPath(const _stringx& path) : _stringx(path) {}

CKVXPath::~CKVXPath() = default;

CKVXPathFragment::CKVXPathFragment(const _stringx& step) : _stringx(step) {}

CKVXPathFragment::~CKVXPathFragment() = default;

_stringx CKVXPathFragment::GetElementName(bool keepPrefix) const {
    if (empty())
        return _stringx();
    // A missing character counts as lying beyond the end: npos compares greater
    // than every position.
    const size_type colon = find(OLECHAR(':'));
    const size_type bracket = find(OLECHAR('['));
    if (!keepPrefix && colon < bracket) {
        const size_type end = bracket == npos ? size() : bracket;
        return _stringx(data() + colon + 1, end - colon - 1);
    }
    return _stringx(data(), bracket == npos ? size() : bracket);
}

int SplitLastStep(const _stringx& path, _stringx& step) {
    if (path.empty())
        return -1;
    const _stringx::size_type slash = path.rfind(OLECHAR('/'));
    if (slash == _stringx::npos) {
        step = path;
        return -1;
    }
    if (slash > static_cast<_stringx::size_type>(INT_MAX))
        throw std::length_error("XPath too long to split");
    step = _stringx(path.data() + slash + 1, path.size() - slash - 1);
    return static_cast<int>(slash);
}

void RemoveLastStep(_stringx& path) {
    if (path.empty())
        return;
    _stringx step;
    const int slash = SplitLastStep(path, step);
    path.erase(slash < 0 ? 0 : static_cast<_stringx::size_type>(slash));
}

namespace {

// Appends a predicate value. `quote` is the character that delimits the
// template's literal around it; see FormatXPath for why the marker goes where
// it goes.
void AppendQuotedValue(_stringx& out, const _stringx& value, OLECHAR quote) {
    const _stringx::size_type first = value.find(quote);
    if (first == _stringx::npos) {
        out.append(value);
        return;
    }
    out.append(value, 0, first + 1);
    out.push_back(kXPathBreakMarker);
    out.append(value, first + 1, _stringx::npos);
}

}  // namespace

CKVXPath FormatXPath(const char* templ, std::initializer_list<_stringx> values) {
    if (!templ)
        throw std::invalid_argument("FormatXPath: null template");
    _stringx out;
    const _stringx* next = values.begin();
    for (const char* p = templ; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            out.push_back(OLECHAR('%'));
            ++p;
            continue;
        }
        if (p[0] != '%' || p[1] != 's') {
            out.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(*p)));
            continue;
        }
        if (next == values.end())
            throw std::invalid_argument("FormatXPath: more %s than values");
        // A %s directly after =" or =' sits inside a predicate's literal.
        const bool quoted = p - templ >= 2 && p[-2] == '=' && (p[-1] == '"' || p[-1] == '\'');
        if (quoted)
            AppendQuotedValue(out, *next, static_cast<OLECHAR>(p[-1]));
        else
            out.append(*next);
        ++next;
        ++p;
    }
    if (next != values.end())
        throw std::invalid_argument("FormatXPath: more values than %s");
    return CKVXPath(out);
}

}  // namespace xmlutils
