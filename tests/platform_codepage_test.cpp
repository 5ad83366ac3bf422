#include <gtest/gtest.h>

#include <string>

#include "foundation/platform/codepage.h"
#include "foundation/platform/errors.h"

namespace {

std::u16string ToWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
    const int n =
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    if (n > 0)
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string ToBytes(UINT cp, const std::u16string& text, BOOL* usedDefault = nullptr) {
    const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, usedDefault);
    std::string out(static_cast<std::size_t>(n), '\0');
    if (n > 0)
        WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, usedDefault);
    return out;
}

TEST(CodePageUtf8, AnsiCodePagesAreUtf8AndRoundTrip) {
    const std::string bytes = "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80";  // Grüß € 😀
    const std::u16string wide = u"Gr\u00FC\u00DF \u20AC \U0001F600";
    for (UINT cp : {CP_ACP, CP_THREAD_ACP, CP_UTF8}) {
        EXPECT_EQ(ToWide(cp, bytes), wide) << cp;
        EXPECT_EQ(ToBytes(cp, wide), bytes) << cp;
    }
}

TEST(CodePageUtf8, MalformedInputIsReplacedOrRefused) {
    // A stray continuation byte, a truncated sequence, an overlong form and an
    // encoded surrogate each become U+FFFD per offending byte.
    EXPECT_EQ(ToWide(CP_UTF8, "a\x80z"), u"a\uFFFDz");
    EXPECT_EQ(ToWide(CP_UTF8, "a\xE2\x82"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(ToWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80").size(), 3u);

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePageUtf8, LoneSurrogateEncodesAsReplacement) {
    EXPECT_EQ(ToBytes(CP_UTF8, std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(CodePageWindows1252, HighRangeMapsBothWays) {
    EXPECT_EQ(ToWide(CP_WINDOWS1252, "\x80\x81\x9F\xE9\xFF"), u"\u20AC\u0081\u0178\u00E9\u00FF");
    EXPECT_EQ(ToBytes(CP_WINDOWS1252, u"\u20AC\u0081\u0178\u00E9"), "\x80\x81\x9F\xE9");
}

TEST(CodePageWindows1252, UnmappableCharactersBecomeQuestionMarks) {
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToBytes(CP_WINDOWS1252, u"a\u0416\U0001F600b", &usedDefault), "a??b");
    EXPECT_TRUE(usedDefault);
    usedDefault = TRUE;
    ToBytes(CP_WINDOWS1252, u"plain", &usedDefault);
    EXPECT_FALSE(usedDefault);
}

TEST(CodePageLatin1, IsTheIdentityOnTheFirst256CodePoints) {
    EXPECT_EQ(ToWide(CP_LATIN1, "\x80\xE9"), u"\u0080\u00E9");
    EXPECT_EQ(ToBytes(CP_LATIN1, u"\u0080\u00E9\u20AC"), "\x80\xE9?");
}

TEST(CodePageIconv, OtherCodePagesConvertThroughTheSystem) {
    // Windows-1251 Cyrillic: 0xC0 is U+0410.
    EXPECT_EQ(ToWide(1251, "\xC0\xE1"), u"\u0410\u0431");
    EXPECT_EQ(ToBytes(1251, u"\u0410\u0431"), "\xC0\xE1");
}

TEST(CodePageIconv, IsoPartsAndAsciiGoByTheirOwnNames) {
    EXPECT_EQ(ToWide(28592, "\xA3"), u"\u0141");  // ISO 8859-2: Ł
    EXPECT_EQ(ToWide(28605, "\xA4"), u"\u20AC");  // ISO 8859-15: €
    EXPECT_EQ(ToBytes(28605, u"\u20AC"), "\xA4");
    EXPECT_EQ(ToBytes(20127, u"abc"), "abc");
}

TEST(CodePageCalls, FollowWin32BufferConventions) {
    // -1 includes the terminator in both the count and the output.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
    char16_t small[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, small, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(424242, 0, "abc", 3, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(424242, 0, u"abc", 3, nullptr, 0, nullptr, nullptr), 0);
}

TEST(AnsiLowerCase, LowersAsciiAndLatin1CapitalsOnly) {
    std::string text = "ABC xyz \xC3\x80\xC3\x9E\xC3\x97\xC3\x9F \xC5\xB8 \xD0\x96 MyDialog.KVD";
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    // À Þ lowered; × ß Ÿ Ж unchanged.
    EXPECT_EQ(text, "abc xyz \xC3\xA0\xC3\xBE\xC3\x97\xC3\x9F \xC5\xB8 \xD0\x96 mydialog.kvd");

    EXPECT_EQ(kv::platform::AnsiLowerChar(u'A'), u'a');
    EXPECT_EQ(kv::platform::AnsiLowerChar(u'\u00C0'), u'\u00E0');
    EXPECT_EQ(kv::platform::AnsiLowerChar(u'\u00DE'), u'\u00FE');
    EXPECT_EQ(kv::platform::AnsiLowerChar(u'\u00D7'), u'\u00D7');
    EXPECT_EQ(kv::platform::AnsiLowerChar(u'\u0178'), u'\u0178');
    EXPECT_EQ(kv::platform::AnsiLowerChar(u'\u0416'), u'\u0416');
}

TEST(AnsiLowerCase, DoesNotCorruptMultibyteCharacters) {
    // The continuation byte 0x80-0x9E of other characters must not be touched.
    std::string text = "\xE2\x82\xAC\xC4\x80";  // € Ā
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    EXPECT_EQ(text, "\xE2\x82\xAC\xC4\x80");
}

}  // namespace
