#include <gtest/gtest.h>

#include <string>

#include "win32/codepage.h"
#include "win32/errors.h"

namespace {

std::basic_string<OLECHAR> ToWide(UINT cp, const std::string& bytes) {
    const int size = static_cast<int>(bytes.size());
    std::basic_string<OLECHAR> out(MultiByteToWideChar(cp, 0, bytes.data(), size, nullptr, 0),
                                   OLESTR('\0'));
    MultiByteToWideChar(cp, 0, bytes.data(), size, out.data(), static_cast<int>(out.size()));
    return out;
}

std::string ToBytes(UINT cp, const std::basic_string<OLECHAR>& text, BOOL* usedDefault = nullptr) {
    const int size = static_cast<int>(text.size());
    std::string out(WideCharToMultiByte(cp, 0, text.data(), size, nullptr, 0, nullptr, nullptr),
                    '\0');
    WideCharToMultiByte(cp, 0, text.data(), size, out.data(), static_cast<int>(out.size()), nullptr,
                        usedDefault);
    return out;
}

TEST(CodePages, AnsiIsUtf8AndMalformedInputIsReplacedOrRefused) {
    const std::string bytes = "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::basic_string<OLECHAR> wide = OLESTR("Gr\u00FC\u00DF \u20AC \U0001F600");
    for (UINT cp : {CP_ACP, CP_THREAD_ACP, CP_UTF8}) {
        EXPECT_EQ(ToWide(cp, bytes), wide) << cp;
        EXPECT_EQ(ToBytes(cp, wide), bytes) << cp;
    }
    // Stray, truncated, overlong and surrogate forms: U+FFFD per offending byte.
    EXPECT_EQ(ToWide(CP_UTF8, "a\x80z"), OLESTR("a\uFFFDz"));
    EXPECT_EQ(ToWide(CP_UTF8, "a\xE2\x82"), OLESTR("a\uFFFD\uFFFD"));
    EXPECT_EQ(ToWide(CP_UTF8, "\xC0\xAF"), OLESTR("\uFFFD\uFFFD"));
    EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80").size(), 3u);
    EXPECT_EQ(ToBytes(CP_UTF8, std::basic_string<OLECHAR>(1, OLECHAR(0xD800)) + OLESTR("x")),
              "\xEF\xBF\xBDx");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePages, SingleByteCodePagesMapBothWays) {
    EXPECT_EQ(ToWide(CP_WINDOWS1252, "\x80\x81\x9F\xE9\xFF"),
              OLESTR("\u20AC\u0081\u0178\u00E9\u00FF"));
    EXPECT_EQ(ToBytes(CP_WINDOWS1252, OLESTR("\u20AC\u0081\u0178\u00E9")), "\x80\x81\x9F\xE9");
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToBytes(CP_WINDOWS1252, OLESTR("a\u0416\U0001F600b"), &usedDefault), "a??b");
    EXPECT_TRUE(usedDefault);
    ToBytes(CP_WINDOWS1252, OLESTR("plain"), &usedDefault);
    EXPECT_FALSE(usedDefault);

    EXPECT_EQ(ToWide(CP_LATIN1, "\x80\xE9"), OLESTR("\u0080\u00E9"));
    EXPECT_EQ(ToBytes(CP_LATIN1, OLESTR("\u0080\u00E9\u20AC")), "\x80\xE9?");
    // Others convert through the system, by their own names.
    EXPECT_EQ(ToWide(1251, "\xC0\xE1"), OLESTR("\u0410\u0431"));
    EXPECT_EQ(ToBytes(1251, OLESTR("\u0410\u0431")), "\xC0\xE1");
    EXPECT_EQ(ToWide(28592, "\xA3"), OLESTR("\u0141"));
    EXPECT_EQ(ToBytes(20127, OLESTR("abc")), "abc");
    // Converters that wait for a combining mark still give a last letter.
    EXPECT_EQ(ToWide(1255, "\xF9"), OLESTR("\u05E9"));
    EXPECT_EQ(ToWide(1258, "a\xE0"), OLESTR("a\u00E0"));

    // Buffers as Win32 has them: a size asked with the terminator; too small;
    // an unknown code page.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
    OLECHAR small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, small, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(424242, 0, OLESTR("abc"), 3, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
