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

std::string ToBytes(UINT cp, const std::basic_string<OLECHAR>& text) {
    const int size = static_cast<int>(text.size());
    std::string out(WideCharToMultiByte(cp, 0, text.data(), size, nullptr, 0, nullptr, nullptr),
                    '\0');
    WideCharToMultiByte(cp, 0, text.data(), size, out.data(), static_cast<int>(out.size()), nullptr,
                        nullptr);
    return out;
}

// Each pair of tests/data/codepages.txt converts the way its row says. (The
// component's strict decoding shows a refused byte: see its encodings.)
TEST(CodePages, ConvertAsTheTableSays) {
    for (const auto& row : kvtest::DataRows("codepages.txt")) {
        ASSERT_EQ(row.size(), 4u);
        SCOPED_TRACE(row[0] + " " + testing::PrintToString(row[1]));
        const UINT cp = static_cast<UINT>(std::stoul(row[0]));
#ifdef _WIN32
        // The system converts: its ANSI code page is the machine's, and what
        // does not convert back and forth follows its own rules.
        if (cp == CP_ACP || cp == CP_THREAD_ACP || row[3] != "both")
            continue;
#endif
        std::basic_string<OLECHAR> text;
        for (std::size_t i = 0; i + 1 < row[2].size(); i += 2)
            text += OLECHAR(static_cast<unsigned char>(row[2][i]) |
                            static_cast<unsigned char>(row[2][i + 1]) << 8);
        EXPECT_TRUE(row[3] == "out" || ToWide(cp, row[1]) == text);
        EXPECT_TRUE(row[3] == "in" || ToBytes(cp, text) == row[1]);
    }
}

}  // namespace
