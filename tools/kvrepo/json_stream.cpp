#include "json_stream.h"

#include <cstdio>

#include "foundation/platform/console.h"
#include "foundation/platform/utf8.h"

namespace kvtool {
namespace {

// Written out whenever the buffer holds this much.
constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

void AppendJsonString(std::string& out, const _stringx& text) {
    // Written through a pointer into room for the longest form (six bytes a
    // character), then cut to size: a listing writes millions of characters.
    const std::size_t size = text.size();
    const std::size_t start = out.size();
    out.resize(start + 2 + 6 * size);
    char* at = &out[start];
    *at++ = '"';
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned long c = static_cast<unsigned long>(text[i]);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            *at++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0x80) {
            char32_t code = kv::utf8::NextUtf16(text.c_str(), size, i);
            --i;  // the loop steps past the last unit read
            if (code >= 0xD800 && code <= 0xDFFF)
                code = kv::utf8::kReplacement;
            at = kv::utf8::Put(at, code);
            continue;
        }
        *at++ = '\\';
        switch (c) {
            case '"':
            case '\\':
                *at++ = static_cast<char>(c);
                break;
            case '\b':
                *at++ = 'b';
                break;
            case '\f':
                *at++ = 'f';
                break;
            case '\n':
                *at++ = 'n';
                break;
            case '\r':
                *at++ = 'r';
                break;
            case '\t':
                *at++ = 't';
                break;
            default:
                std::snprintf(at, 6, "u%04x", static_cast<unsigned>(c));
                at += 5;
        }
    }
    *at++ = '"';
    out.resize(static_cast<std::size_t>(at - out.data()));
}

void JsonArrayWriter::Record(
    std::initializer_list<std::pair<const char*, const _stringx*>> fields) {
    m_buffer += m_empty ? "\n  {" : ",\n  {";
    m_empty = false;
    bool first = true;
    for (const auto& [name, value] : fields) {
        m_buffer += first ? "\n    \"" : ",\n    \"";
        first = false;
        m_buffer += name;
        m_buffer += "\": ";
        if (value)
            AppendJsonString(m_buffer, *value);
        else
            m_buffer += "null";
    }
    m_buffer += "\n  }";
    if (m_buffer.size() >= kChunk)
        Flush();
}

bool JsonArrayWriter::Finish() {
    m_buffer += m_empty ? "]\n" : "\n]\n";
    Flush();
    return !m_failed;
}

void JsonArrayWriter::Flush() {
    if (!kv::platform::WriteStandardText(kv::platform::StandardStream::kOutput, m_buffer))
        m_failed = true;
    m_buffer.clear();
}

}  // namespace kvtool
