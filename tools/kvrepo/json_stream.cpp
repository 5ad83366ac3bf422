#include "json_stream.h"

#include <cstdio>

#include "foundation/platform/console.h"

namespace kvtool {
namespace {

// Written out whenever the buffer holds this much.
constexpr std::size_t kChunk = 64 * 1024;

// Writes `code` at `at` in UTF-8; returns the end.
char* PutUtf8(char* at, unsigned long code) {
    if (code < 0x800) {
        *at++ = static_cast<char>(0xC0 | (code >> 6));
    } else {
        if (code < 0x10000) {
            *at++ = static_cast<char>(0xE0 | (code >> 12));
        } else {
            *at++ = static_cast<char>(0xF0 | (code >> 18));
            *at++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        }
        *at++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    *at++ = static_cast<char>(0x80 | (code & 0x3F));
    return at;
}

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
            unsigned long code = c;
            const unsigned long next = i + 1 < size ? static_cast<unsigned long>(text[i + 1]) : 0;
            if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                code = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                code = 0xFFFD;
            }
            at = PutUtf8(at, code);
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
