#include <map>
#include <stdexcept>

#include "win32/codepage.h"
#include "foundation/stringx.h"
#include "test_util.h"
#include "win32/bstr.h"
#include "win32/errors.h"

namespace {

TEST(StringxConstruction, FromBytesInEachCodePage) {
    const _stringx cafe(OLESTR("caf\u00E9"));
    EXPECT_EQ(_stringx("caf\xC3\xA9", _stringx::kToZero, 65001), cafe);
#ifndef _WIN32
    // The POSIX layer's ANSI code page is UTF-8 (Windows' is the machine's).
    EXPECT_STREQ(_stringx(OLESTR("caf\u00E9 \u20AC")).narrow(), "caf\xC3\xA9 \xE2\x82\xAC");
    for (UINT cp : {0u, 3u})
        EXPECT_EQ(_stringx("caf\xC3\xA9", _stringx::kToZero, cp), cafe) << cp;
    EXPECT_EQ(_stringx("caf\xC3\xA9"), cafe);  // narrow text is the ANSI code page
#endif
    EXPECT_EQ(_stringx("caf\xE9\x80", 5, 1252), OLESTR("caf\u00E9\u20AC"));
    // An explicit length stops early; kToZero stops at the first zero byte.
    EXPECT_EQ(_stringx("abcdef", 3, 65001), OLESTR("abc"));
    EXPECT_EQ(_stringx("ab\0cd", _stringx::kToZero, 65001), OLESTR("ab"));

    const unsigned char le[] = {'h', 0, 0xE9, 0, 0xAC, 0x20, 0, 0, 'x', 0};
    const unsigned char be[] = {0, 'h', 0, 0xE9, 0x20, 0xAC, 0, 0, 0, 'x'};
    EXPECT_EQ(_stringx(le, _stringx::kToZero, 1200), OLESTR("h\u00E9\u20AC"));
    EXPECT_EQ(_stringx(be, _stringx::kToZero, 1201), OLESTR("h\u00E9\u20AC"));
    EXPECT_EQ(_stringx(le, 5, 1200), OLESTR("h\u00E9"));  // an odd count drops the half
    EXPECT_EQ(_stringx(le, 10, 1200).size(), 5u);         // zeros inside a length are kept

    EXPECT_TRUE(_stringx("abc", 3, 424242).empty());  // unknown code page
    EXPECT_TRUE(_stringx(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(_stringx(static_cast<const OLECHAR*>(nullptr)).empty());
}

TEST(StringxLastError, ConstructionAndDestructionKeepTheCallersError) {
    SetLastError(ERROR_ACCESS_DENIED);
    {
        // Each of these makes the conversion layer fail and set its own error.
        _stringx unknownCodePage("abc", 3, 424242);
        _stringx fromNarrow("x");
        _stringx copy(fromNarrow);
        _stringx longText(std::basic_string<OLECHAR>(100, OLESTR('x')).c_str());
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        SetLastError(ERROR_DISK_FULL);
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    EXPECT_THROW(_stringx(_stringx().max_size() + 1, OLESTR('x')), std::length_error);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
}

TEST(StringxViews, NarrowGrowsToTheNextMultipleOf64AndBstrIsKeptInStep) {
    _stringx s(std::basic_string<OLECHAR>(40, OLESTR('a')).c_str());
    const char* first = s.narrow();
    EXPECT_EQ(s.narrow_capacity(), 128u);  // 2 * 40 + 2 = 82
    s.resize(10);
    EXPECT_EQ(s.narrow(), first);  // reused: 128 > 22
    EXPECT_STREQ(first, "aaaaaaaaaa");
    s.assign(63, OLESTR('b'));  // needs 128, not above the capacity: replaced
    s.narrow();
    EXPECT_EQ(s.narrow_capacity(), 192u);
    const _stringx euros(
        std::basic_string<OLECHAR>(50, OLESTR('\u20AC')).c_str());  // 150 bytes in UTF-8
    const std::size_t euro = std::string(_stringx(OLESTR("\u20AC")).narrow()).size();
    EXPECT_EQ(std::string(euros.narrow()).size(), 50 * euro);

    _stringx b(OLESTR("abc"));
    BSTR view = b.bstr();
    EXPECT_EQ(SysStringLen(view), 3u);
    b[0] = OLESTR('x');
    EXPECT_EQ(b.bstr(), view);  // same length: refreshed in place
    EXPECT_EQ(std::basic_string<OLECHAR>(view), OLESTR("xbc"));
    b += OLESTR("defghijkl");
    EXPECT_EQ(SysStringLen(b.bstr()), 12u);
    EXPECT_EQ(std::basic_string<OLECHAR>(b.bstr()), OLESTR("xbcdefghijkl"));
    // Heap storage is itself a BSTR whose prefix covers the capacity.
    EXPECT_EQ(SysStringLen(const_cast<BSTR>(b.data())), b.capacity());
}

TEST(StringxConvert, WritesUtf16InEitherOrderOrAnyCodePageAndOrdersByCodeUnit) {
    const _stringx s(OLESTR("A\u20AC"));
    EXPECT_EQ(s.convert(1200, nullptr, 0), 6);
    unsigned char out[6];
    ASSERT_EQ(s.convert(1200, out, sizeof(out)), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), std::string("A\0\xAC\x20\0\0", 6));
    ASSERT_EQ(s.convert(1201, out, sizeof(out)), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), std::string("\0A\x20\xAC\0\0", 6));
    EXPECT_EQ(s.convert(1200, out, 5), 0);
    char bytes[8];
    ASSERT_EQ(s.convert(1252, bytes, sizeof(bytes)), 3);
    EXPECT_STREQ(bytes, "A\x80");
    EXPECT_EQ(s.convert(65001, nullptr, 0), 5);

    std::map<_stringx, int> m;
    for (const OLECHAR* key :
         {OLESTR("b"), OLESTR("B"), OLESTR("a"), OLESTR("\u00E9"), OLESTR("Z")})
        m[_stringx(key)] = 0;
    std::basic_string<OLECHAR> order;
    for (const auto& entry : m)
        order += entry.first;
    EXPECT_EQ(order, OLESTR("BZab\u00E9"));
}

}  // namespace
