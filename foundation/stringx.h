// _stringx: the library's wide (UTF-16) string, with narrow and BSTR views.
//
// It is a std::basic_string of OLECHAR whose heap storage is itself a BSTR, plus
// two cached views: the text in the ANSI code page for narrow system calls, and
// a BSTR copy for COM calls. Building and destroying a _stringx never changes
// the thread's last error, so strings can be made between a failing call and
// the GetLastError that reads its code.
#pragma once

#include <limits>
#include <string>

#include "foundation/platform/types.h"

namespace kv {

// BSTR storage for string buffers: a BSTR of `length` characters (plus the
// terminator), null when out of memory; and its release.
KV_API OLECHAR* AllocateBstrStorage(std::size_t length) noexcept;
KV_API void FreeBstrStorage(OLECHAR* storage) noexcept;

// Allocates string storage as BSTRs, so a string's own buffer carries a valid
// length prefix.
template <class T>
struct bstr_allocator {
    static_assert(sizeof(T) == sizeof(OLECHAR), "BSTR storage holds OLECHARs");
    typedef T value_type;

    bstr_allocator() noexcept = default;
    template <class U>
    bstr_allocator(const bstr_allocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        // A BSTR of n - 1 characters holds n units with its terminator.
        if (n == 0 || n - 1 > std::numeric_limits<UINT>::max() / sizeof(T) - 8)
            throw std::bad_alloc();
        OLECHAR* b = AllocateBstrStorage(n - 1);
        if (!b)
            throw std::bad_alloc();
        return reinterpret_cast<T*>(b);
    }
    void deallocate(T* p, std::size_t) noexcept { FreeBstrStorage(reinterpret_cast<OLECHAR*>(p)); }

    template <class U>
    bool operator==(const bstr_allocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const bstr_allocator<U>&) const noexcept {
        return false;
    }
};

typedef std::basic_string<OLECHAR, std::char_traits<OLECHAR>, bstr_allocator<OLECHAR>> _stringw;

// Keeps the thread's last error across an operation: the value is saved when
// the operation begins and put back when it ends.
class KV_API _last_error {
protected:
    _last_error() noexcept;
    _last_error(const _last_error&) noexcept;
    _last_error& operator=(const _last_error&) noexcept { return *this; }
    ~_last_error();

    void save_last_error() noexcept;
    void restore_last_error() const noexcept;

private:
    DWORD m_lastError;
};

}  // namespace kv

// Comparison and ordering (compare, <, std::map keys) are the base string's:
// ordinal, code unit by code unit, case-sensitive.
class KV_API _stringx : public kv::_stringw, protected virtual kv::_last_error {
public:
    typedef kv::_stringw base_type;
    // A byte length meaning "up to the first zero" for the code-page constructor.
    static constexpr std::size_t kToZero = static_cast<std::size_t>(-1);

    _stringx();
    _stringx(const _stringx& other);
    _stringx(_stringx&& other) noexcept;
    _stringx(const base_type& text);
    _stringx(base_type&& text) noexcept;
    _stringx(const OLECHAR* text);  // null counts as empty
    _stringx(const OLECHAR* text, size_type length);
    _stringx(size_type count, OLECHAR c);
    _stringx(const char* text);  // ANSI code page; null counts as empty
    _stringx(const std::string& text);
    // Bytes in a code page: 1200 is UTF-16LE, 1201 UTF-16BE, any other code page
    // is converted by the system. kToZero reads up to the first zero character
    // (1200/1201) or byte; an odd UTF-16 byte count is rounded down. When the
    // conversion yields nothing, the string stays empty.
    _stringx(const void* bytes, std::size_t length, UINT codePage);
    ~_stringx();

    _stringx& operator=(const _stringx& other);
    _stringx& operator=(_stringx&& other) noexcept;
    _stringx& operator=(const base_type& text);
    _stringx& operator=(const OLECHAR* text);
    _stringx& operator=(const char* text);
    _stringx& operator=(OLECHAR c);

    // The text in the thread's ANSI code page, null-terminated, owned by the
    // string and valid until the string changes or the next narrow() call.
    const char* narrow() const;
    // A BSTR copy of the text, owned by the string (never free it) and valid
    // until the string changes or the next bstr() call.
    BSTR bstr() const;
    // Writes the text with its terminator into `buffer` in a code page. 1200
    // and 1201 copy UTF-16 little- or big-endian; with a size of 0 they return
    // the bytes needed (twice the length plus two). Other code pages convert
    // through the system (a size of 0 asks for the size). Returns the bytes
    // written or needed, 0 on failure.
    int convert(UINT codePage, void* buffer, int size) const;
    // Size in bytes of the narrow view's buffer (0 before the first narrow()).
    // The buffer is reused while it is larger than twice the length plus two
    // (or the real narrow length plus one, when longer); otherwise it grows to
    // the next multiple of 64 bytes above that need.
    std::size_t narrow_capacity() const { return m_narrowSize; }
    // The text as a std::string in the ANSI code page.
    std::string str() const { return narrow(); }

private:
    void assign_bytes(const char* bytes, std::size_t length, UINT codePage);
    void assign_utf16(const unsigned char* bytes, std::size_t length, bool bigEndian);
    void release_views() noexcept;

    mutable char* m_narrow = nullptr;
    mutable std::size_t m_narrowSize = 0;
    mutable BSTR m_bstr = nullptr;
};

// Concatenation keeps the _stringx type (the base's operator+ would give _stringw).
KV_API _stringx operator+(const _stringx& a, const _stringx& b);
KV_API _stringx operator+(const _stringx& a, const OLECHAR* b);
KV_API _stringx operator+(const OLECHAR* a, const _stringx& b);
KV_API _stringx operator+(const _stringx& a, OLECHAR b);

namespace kv {

// A file name lower-cased as the "FileName" property stores it: through the
// ANSI code page, where A-Z and the Latin-1 capitals become lower case and
// nothing else changes (so the same on every machine); characters the code
// page cannot carry do not survive the round trip.
KV_API _stringx LowerFileName(const _stringx& name);
// The same into `lowered` (replaced): an ASCII name, nearly every one, costs no
// allocation when `lowered` has room.
KV_API void LowerFileName(const OLECHAR* name, std::size_t length,
                          std::basic_string<OLECHAR>& lowered);

}  // namespace kv
