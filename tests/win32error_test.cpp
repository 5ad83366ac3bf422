#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "win32/errors.h"
#include "foundation/win32error.h"
#include "test_util.h"

namespace {

TEST(Win32Exception, CapturesTheLastErrorAndFormatsItsTextOnce) {
    SetLastError(ERROR_ACCESS_DENIED);
    kv::win32_exception e;
    SetLastError(0);
    EXPECT_EQ(e.error(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_THAT(e.what(), kvtest::SystemText("Access is denied."));
    EXPECT_EQ(e.what(), e.what());
    SetLastError(0);  // (the system's calls above may set it)
    const kv::win32_exception none;
    EXPECT_STREQ(none.what(), "");  // zero and unknown codes: no text
    EXPECT_STREQ(kv::win32_exception(0x1FFFF).what(), "");
}

// Copied twice and destroyed three times, freed once (the sanitizer stage
// checks the count), also when the copies die on different threads.
TEST(Win32Exception, CopiesShareOneMessage) {
    std::optional<kv::win32_exception> a(kv::win32_exception(ERROR_FILE_NOT_FOUND));
    std::optional<kv::win32_exception> b(*a);
    const char* text = b->what();  // formatted through a copy, seen by every copy
    kv::win32_exception c(ERROR_DISK_FULL);
    c = *a;
    EXPECT_EQ(a->what(), text);
    a.reset();
    b.reset();
    EXPECT_THAT(c.what(), kvtest::SystemText("The system cannot find the file specified."));

    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([copy = c] {
            for (int k = 0; k < 1000; ++k)
                (void)kv::win32_exception(copy).what();
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(c.what(), text);
}

}  // namespace
