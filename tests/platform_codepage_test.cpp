#include <string>

#include "test_util.h"
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

// Each pair of tests/data/codepages.txt converts the way its row says.
TEST(CodePages, ConvertAsTheTableSays) {
    for (const auto& row : kvtest::DataRows("codepages.txt")) {
        ASSERT_EQ(row.size(), 4u);
        SCOPED_TRACE(row[0] + " " + testing::PrintToString(row[1]));
        const UINT cp = static_cast<UINT>(std::stoul(row[0]));
        std::basic_string<OLECHAR> text;
        for (std::size_t i = 0; i + 1 < row[2].size(); i += 2)
            text += OLECHAR(static_cast<unsigned char>(row[2][i]) |
                            static_cast<unsigned char>(row[2][i + 1]) << 8);
        EXPECT_TRUE(row[3] == "out" || ToWide(cp, row[1]) == text);
        EXPECT_TRUE(row[3] == "in" || ToBytes(cp, text) == row[1]);
    }
}

// Flags and buffers as Win32 has them: malformed input refused on request, a
// default character reported, a size asked with the terminator, a buffer too
// small, an unknown code page.
TEST(CodePages, ReportFailuresAsWin32Does) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToBytes(CP_WINDOWS1252, OLESTR("a\u0416"), &usedDefault), "a?");
    EXPECT_TRUE(usedDefault);
    ToBytes(CP_WINDOWS1252, OLESTR("plain"), &usedDefault);
    EXPECT_FALSE(usedDefault);

    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
    OLECHAR small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, small, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(424242, 0, OLESTR("abc"), 3, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
