#include "foundation/stringx.h"

#include <cstring>
#include <new>
#include <vector>

#include "win32/codepage.h"
#include "win32/bstr.h"
#include "win32/errors.h"
#include "foundation/platform/text.h"

namespace {

// Bytes in the narrow form of `text`, without the terminator.
std::size_t NarrowLength(const OLECHAR* text, std::size_t length) {
    bool ascii = true;
    for (std::size_t i = 0; i < length && ascii; ++i)
        ascii = text[i] < 0x80;
    if (ascii)
        return length;
    const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

}  // namespace

_stringx::_stringx() {
    restore_last_error();
}

_stringx::_stringx(const _stringx& other) : kv::_last_error(), base_type(other) {
    restore_last_error();
}

_stringx::_stringx(_stringx&& other) noexcept : base_type(std::move(other)) {
    restore_last_error();
}

_stringx::_stringx(const base_type& text) : base_type(text) {
    restore_last_error();
}

_stringx::_stringx(base_type&& text) noexcept : base_type(std::move(text)) {
    restore_last_error();
}

_stringx::_stringx(const OLECHAR* text) : base_type(text ? text : OLESTR("")) {
    restore_last_error();
}

_stringx::_stringx(const OLECHAR* text, size_type length) : base_type(text, length) {
    restore_last_error();
}

_stringx::_stringx(size_type count, OLECHAR c) : base_type(count, c) {
    restore_last_error();
}

_stringx::_stringx(const char* text) {
    if (text)
        assign_bytes(text, std::strlen(text), CP_ACP);
    restore_last_error();
}

_stringx::_stringx(const std::string& text) {
    assign_bytes(text.data(), text.size(), CP_ACP);
    restore_last_error();
}

_stringx::_stringx(const void* bytes, std::size_t length, UINT codePage) {
    if (bytes) {
        if (codePage == CP_UTF16LE || codePage == CP_UTF16BE)
            assign_utf16(static_cast<const unsigned char*>(bytes), length, codePage == CP_UTF16BE);
        else
            assign_bytes(static_cast<const char*>(bytes),
                         length == kToZero ? std::strlen(static_cast<const char*>(bytes)) : length,
                         codePage);
    }
    restore_last_error();
}

_stringx::~_stringx() {
    // The virtual base puts this value back once the storage is gone too.
    save_last_error();
    release_views();
}

_stringx& _stringx::operator=(const _stringx& other) {
    base_type::operator=(other);
    return *this;
}

_stringx& _stringx::operator=(_stringx&& other) noexcept {
    base_type::operator=(std::move(other));
    return *this;
}

_stringx& _stringx::operator=(const base_type& text) {
    base_type::operator=(text);
    return *this;
}

_stringx& _stringx::operator=(const OLECHAR* text) {
    base_type::operator=(text ? text : OLESTR(""));
    return *this;
}

_stringx& _stringx::operator=(const char* text) {
    return *this = _stringx(text);
}

_stringx& _stringx::operator=(OLECHAR c) {
    base_type::operator=(c);
    return *this;
}

const char* _stringx::narrow() const {
    const std::size_t length = size();
    // Room for a double-byte code page, or for the real UTF-8 length when longer.
    std::size_t need = 2 * length + 2;
    const std::size_t bytes = NarrowLength(data(), length);
    if (bytes + 1 > need)
        need = bytes + 1;
    if (m_narrowSize <= need) {
        const std::size_t size = (need / 64 + 1) * 64;
        char* buffer = new char[size];
        delete[] m_narrow;
        m_narrow = buffer;
        m_narrowSize = size;
    }
    int written = 0;
    if (length > 0)
        written = WideCharToMultiByte(CP_ACP, 0, data(), static_cast<int>(length), m_narrow,
                                      static_cast<int>(m_narrowSize), nullptr, nullptr);
    m_narrow[written > 0 ? written : 0] = '\0';
    return m_narrow;
}

BSTR _stringx::bstr() const {
    const UINT length = static_cast<UINT>(size());
    if (!m_bstr || SysStringLen(m_bstr) != length) {
        if (!SysReAllocStringLen(&m_bstr, data(), length))
            throw std::bad_alloc();
    } else {
        std::memcpy(m_bstr, data(), length * sizeof(OLECHAR));
    }
    return m_bstr;
}

int _stringx::convert(UINT codePage, void* buffer, int size) const {
    const std::size_t length = this->size();
    if (codePage == CP_UTF16LE || codePage == CP_UTF16BE) {
        const std::size_t needed = 2 * length + 2;
        if (size == 0)
            return static_cast<int>(needed);
        if (!buffer || size < 0 || static_cast<std::size_t>(size) < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        auto* out = static_cast<unsigned char*>(buffer);
        const bool big = codePage == CP_UTF16BE;
        for (std::size_t i = 0; i <= length; ++i) {
            const OLECHAR c = i < length ? (*this)[i] : 0;
            out[2 * i + (big ? 1 : 0)] = static_cast<unsigned char>(c & 0xFF);
            out[2 * i + (big ? 0 : 1)] = static_cast<unsigned char>(c >> 8);
        }
        return static_cast<int>(needed);
    }
    return WideCharToMultiByte(codePage, 0, c_str(), static_cast<int>(length + 1),
                               static_cast<char*>(buffer), size, nullptr, nullptr);
}

void _stringx::assign_bytes(const char* bytes, std::size_t length, UINT codePage) {
    if (length == 0)
        return;
    // ASCII is itself in the ANSI code pages and UTF-8, and nearly every name
    // the library converts is ASCII: widened in place, without the two passes
    // of the conversion.
    if (codePage == CP_ACP || codePage == CP_UTF8) {
        base_type::resize(length);
        OLECHAR* out = &(*this)[0];
        unsigned bits = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            bits |= c;
            out[i] = c;
        }
        if (bits < 0x80)
            return;
        base_type::clear();
    }
    const int n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0)
        return;
    // Converted straight into the string's own storage.
    base_type::resize(static_cast<std::size_t>(n));
    const int written =
        MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), &(*this)[0], n);
    base_type::resize(written > 0 ? static_cast<std::size_t>(written) : 0);
}

void _stringx::assign_utf16(const unsigned char* bytes, std::size_t length, bool bigEndian) {
    std::size_t units = length / 2;
    if (length == kToZero) {
        units = 0;
        while (bytes[2 * units] != 0 || bytes[2 * units + 1] != 0)
            ++units;
    }
    base_type text(units, OLESTR('\0'));
    for (std::size_t i = 0; i < units; ++i) {
        const unsigned char lo = bytes[2 * i + (bigEndian ? 1 : 0)];
        const unsigned char hi = bytes[2 * i + (bigEndian ? 0 : 1)];
        text[i] = static_cast<OLECHAR>(lo | (hi << 8));
    }
    base_type::operator=(std::move(text));
}

void _stringx::release_views() noexcept {
    delete[] m_narrow;
    m_narrow = nullptr;
    m_narrowSize = 0;
    SysFreeString(m_bstr);
    m_bstr = nullptr;
}

_stringx operator+(const _stringx& a, const _stringx& b) {
    _stringx result(a);
    result.append(b);
    return result;
}

_stringx operator+(const _stringx& a, const OLECHAR* b) {
    _stringx result(a);
    if (b)
        result.append(b);
    return result;
}

_stringx operator+(const OLECHAR* a, const _stringx& b) {
    _stringx result(a);
    result.append(b);
    return result;
}

_stringx operator+(const _stringx& a, OLECHAR b) {
    _stringx result(a);
    result.push_back(b);
    return result;
}

namespace kv {

void LowerFileName(const OLECHAR* name, std::size_t length, std::basic_string<OLECHAR>& lowered) {
    // The library's own rule, never the system's, which lowers more letters
    // in some code pages.
    lowered.assign(name, length);
    for (OLECHAR& c : lowered)
        c = platform::AnsiLowerChar(c);
}

_stringx LowerFileName(const _stringx& name) {
    std::basic_string<OLECHAR> lowered;
    LowerFileName(name.data(), name.size(), lowered);
    return _stringx(lowered.data(), lowered.size());
}

}  // namespace kv

namespace kv {

OLECHAR* AllocateBstrStorage(std::size_t length) noexcept {
    return SysAllocStringLen(nullptr, static_cast<UINT>(length));
}

void FreeBstrStorage(OLECHAR* storage) noexcept {
    SysFreeString(storage);
}

_last_error::_last_error() noexcept : m_lastError(GetLastError()) {}
_last_error::_last_error(const _last_error&) noexcept : m_lastError(GetLastError()) {}
_last_error::~_last_error() {
    SetLastError(m_lastError);
}

void _last_error::save_last_error() noexcept {
    m_lastError = GetLastError();
}

void _last_error::restore_last_error() const noexcept {
    SetLastError(m_lastError);
}

}  // namespace kv
