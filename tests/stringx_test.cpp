#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>

#include "foundation/platform/codepage.h"
#include "foundation/stringx.h"
#include "test_util.h"

namespace {

TEST(StringxConstruction, NarrowTextGoesThroughTheAnsiCodePage) {
    const _stringx s("Gr\xC3\xBC\xC3\x9F\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(s, _stringx(u"Gr\u00FC\u00DF\u00E9 \u20AC"));
    EXPECT_STREQ(s.narrow(), "Gr\xC3\xBC\xC3\x9F\xC3\xA9 \xE2\x82\xAC");
    EXPECT_TRUE(_stringx(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(_stringx(static_cast<const OLECHAR*>(nullptr)).empty());
}

TEST(StringxConstruction, FromBytesInEachCodePage) {
    const char* utf8 = "caf\xC3\xA9";
    for (UINT cp : {0u, 3u, 65001u})
        EXPECT_EQ(_stringx(utf8, _stringx::kToZero, cp), _stringx(u"caf\u00E9")) << cp;
    EXPECT_EQ(_stringx("caf\xE9\x80", 5, 1252), _stringx(u"caf\u00E9\u20AC"));
    EXPECT_EQ(_stringx("caf\xE9\x80", 5, 28591), _stringx(u"caf\u00E9\u0080"));
    // An explicit length stops early; kToZero stops at the first zero byte.
    EXPECT_EQ(_stringx("abcdef", 3, 65001), _stringx(u"abc"));
    EXPECT_EQ(_stringx("ab\0cd", _stringx::kToZero, 65001), _stringx(u"ab"));
}

TEST(StringxConstruction, FromUtf16InBothByteOrders) {
    const unsigned char le[] = {'h', 0, 0xE9, 0, 0xAC, 0x20, 0, 0, 'x', 0};
    const unsigned char be[] = {0, 'h', 0, 0xE9, 0x20, 0xAC, 0, 0, 0, 'x'};
    EXPECT_EQ(_stringx(le, _stringx::kToZero, 1200), _stringx(u"h\u00E9\u20AC"));
    EXPECT_EQ(_stringx(be, _stringx::kToZero, 1201), _stringx(u"h\u00E9\u20AC"));
    // An odd byte count drops the incomplete last character; zeros inside an
    // explicit length are kept.
    EXPECT_EQ(_stringx(le, 5, 1200), _stringx(u"h\u00E9"));
    EXPECT_EQ(_stringx(le, 10, 1200).size(), 5u);
}

TEST(StringxConstruction, AConversionThatYieldsNothingLeavesTheStringEmpty) {
    EXPECT_TRUE(_stringx("abc", 3, 424242).empty());  // unknown code page
    EXPECT_TRUE(_stringx("", _stringx::kToZero, 65001).empty());
}

TEST(StringxLastError, ConstructionAndDestructionKeepTheCallersError) {
    SetLastError(ERROR_ACCESS_DENIED);
    {
        // Each of these makes the conversion layer fail and set its own error.
        _stringx unknownCodePage("abc", 3, 424242);
        _stringx fromNarrow("x");
        _stringx copy(fromNarrow);
        _stringx longText(std::u16string(100, u'x').c_str());
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        SetLastError(ERROR_DISK_FULL);
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
}

TEST(StringxLastError, AnExceptionLeavingAConstructorKeepsTheCallersError) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    EXPECT_THROW(_stringx(_stringx().max_size() + 1, u'x'), std::length_error);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(StringxNarrowView, BufferGrowsToTheNextMultipleOf64AboveTheNeed) {
    _stringx s(std::u16string(40, u'a').c_str());
    s.narrow();
    EXPECT_EQ(s.narrow_capacity(), 128u);  // 2 * 40 + 2 = 82
    const char* first = s.narrow();
    s.resize(10);
    EXPECT_EQ(s.narrow(), first);  // reused: 128 > 22
    EXPECT_STREQ(first, "aaaaaaaaaa");
    s.assign(63, u'b');  // need 128, not above the capacity: replaced
    s.narrow();
    EXPECT_EQ(s.narrow_capacity(), 192u);
}

TEST(StringxNarrowView, HoldsTextLongerInUtf8ThanTwiceItsLength) {
    _stringx s(std::u16string(50, u'\u20AC').c_str());  // 150 bytes in UTF-8
    EXPECT_EQ(std::string(s.narrow()).size(), 150u);
    EXPECT_GT(s.narrow_capacity(), 150u);
    EXPECT_EQ(_stringx(s.narrow()), s);
}

TEST(StringxBstrView, IsALengthPrefixedCopyKeptInStep) {
    _stringx s(u"abc");
    BSTR b = s.bstr();
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(std::u16string(b), u"abc");
    s[0] = u'x';
    EXPECT_EQ(s.bstr(), b);  // same length: refreshed in place
    EXPECT_EQ(std::u16string(b), u"xbc");
    s += u"defghijkl";
    BSTR longer = s.bstr();
    EXPECT_EQ(SysStringLen(longer), 12u);
    EXPECT_EQ(std::u16string(longer), u"xbcdefghijkl");
}

TEST(StringxStorage, HeapStorageIsABstr) {
    _stringx s(u"more than seven characters");
    EXPECT_EQ(SysStringLen(const_cast<BSTR>(s.data())) + 1, s.capacity() + 1)
        << "the buffer's length prefix covers its capacity";
}

TEST(StringxConvert, WritesUtf16InEitherOrderOrAnyCodePage) {
    const _stringx s(u"A\u20AC");
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
}

TEST(StringxOrdering, IsOrdinalByCodeUnit) {
    std::map<_stringx, int> m;
    m[_stringx(u"b")] = 1;
    m[_stringx(u"B")] = 2;
    m[_stringx(u"a")] = 3;
    m[_stringx(u"\u00E9")] = 4;
    m[_stringx(u"Z")] = 5;
    std::u16string order;
    for (const auto& entry : m)
        order += entry.first;
    EXPECT_EQ(order, u"BZab\u00E9");
    EXPECT_EQ(m.count(_stringx(u"A")), 0u);  // case-sensitive
}

TEST(StringxOperations, KeepTheStringTypeAndReportBadPositions) {
    const _stringx a(u"abc");
    const _stringx joined = a + u"def" + _stringx("ghi") + u'!';
    EXPECT_EQ(joined, _stringx(u"abcdefghi!"));
    const _stringx tail = joined.substr(3);
    EXPECT_EQ(tail, _stringx(u"defghi!"));
    EXPECT_THROW(joined.substr(11), std::out_of_range);
}

}  // namespace
