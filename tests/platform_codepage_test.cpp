#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/platform/utf8.h"
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

// The one UTF-8 reading and writing of the code base, against its definition:
// every scalar value comes back as it was written, and of every sequence of
// up to three bytes only such a written form is read as a character.
TEST(Utf8, ReadsExactlyTheWrittenFormsOfScalarValues) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (kv::utf8::IsHighSurrogate(c) || kv::utf8::IsLowSurrogate(c))
            continue;
        char bytes[4];
        const char* end = kv::utf8::Put(bytes, c);
        const char* p = bytes;
        ASSERT_EQ(kv::utf8::Next(p, end), c);
        ASSERT_EQ(p, end);
    }
    for (std::uint32_t n = 0; n < (1u << 24); ++n) {
        const char bytes[3] = {char(n >> 16), char(n >> 8), char(n)};
        const char* p = bytes;
        const char32_t c = kv::utf8::Next(p, bytes + 3);
        if (c == kv::utf8::kNotUtf8) {
            ASSERT_EQ(p, bytes + 1) << n;
            continue;
        }
        char written[4];
        const auto length = kv::utf8::Put(written, c) - written;
        ASSERT_EQ(p - bytes, length) << n;
        ASSERT_EQ(std::memcmp(bytes, written, static_cast<std::size_t>(length)), 0) << n;
    }
    // A four-byte form cut short, and one beyond U+10FFFF, are no character.
    for (const std::string bad : {"\xF0\x9F\x98", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80"}) {
        const char* p = bad.data();
        EXPECT_EQ(kv::utf8::Next(p, bad.data() + bad.size()), kv::utf8::kNotUtf8);
    }
}

// UTF-16 to UTF-8 and back: pairs join, a lone surrogate becomes U+FFFD, and
// a byte that is not UTF-8 is refused or replaced one for one.
TEST(Utf8, ConvertsUtf16BothWays) {
    using Text = std::basic_string<OLECHAR>;
    const Text text = {0x61, 0xD83D, 0xDE00, 0xDC00, 0xE9, 0xD800};
    std::string utf8;
    kv::utf8::AppendFromUtf16(utf8, text.data(), text.size());
    EXPECT_EQ(utf8, "a\xF0\x9F\x98\x80\xEF\xBF\xBD\xC3\xA9\xEF\xBF\xBD");
    Text back;
    EXPECT_TRUE(kv::utf8::AppendToUtf16(back, utf8.data(), utf8.size(), true));
    EXPECT_EQ(back, (Text{0x61, 0xD83D, 0xDE00, 0xFFFD, 0xE9, 0xFFFD}));
    const std::string bad = "x\xC3\xE9";
    back.clear();
    EXPECT_FALSE(kv::utf8::AppendToUtf16(back, bad.data(), bad.size(), true));
    back.clear();
    EXPECT_TRUE(kv::utf8::AppendToUtf16(back, bad.data(), bad.size(), false));
    EXPECT_EQ(back, (Text{0x78, 0xFFFD, 0xFFFD}));
}
