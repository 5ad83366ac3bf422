#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "foundation/ownmodule.h"
#include "win32/errors.h"
#include "win32/resources.h"
#include "test_util.h"
#ifndef _WIN32
#include "foundation/platform/posix/errno.h"
#endif

namespace {

#ifndef _WIN32
// The POSIX layer's own mapping; on Windows the system sets the codes.
using kv::platform::ErrnoTarget;

TEST(ErrnoMapping, MapsEachErrnoToItsWin32CodeInTheCallingThread) {
    const std::pair<int, DWORD> cases[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND},   {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},    {EPERM, ERROR_ACCESS_DENIED},
        {EISDIR, ERROR_ACCESS_DENIED},    {ENOSPC, ERROR_DISK_FULL},
        {EFBIG, ERROR_DISK_FULL},         {EROFS, ERROR_WRITE_PROTECT},
        {EBUSY, ERROR_SHARING_VIOLATION}, {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}, {0, ERROR_SUCCESS}};
    for (const auto& [error, code] : cases)
        EXPECT_EQ(kv::platform::Win32ErrorFromErrno(error), code) << error;
    EXPECT_EQ(kv::platform::Win32ErrorFromErrno(EEXIST, ErrnoTarget::kFolder),
              DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(kv::platform::Win32ErrorFromErrno(EEXIST, ErrnoTarget::kFile),
              DWORD(ERROR_FILE_EXISTS));
    errno = ENOENT;
    EXPECT_EQ(kv::platform::SetLastErrorFromErrno(), DWORD(ERROR_FILE_NOT_FOUND));
    DWORD seen = 1234;
    std::thread([&] {
        seen = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    }).join();
    EXPECT_EQ(seen, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}
#endif

TEST(SystemMessages, HaveTheWindowsEnglishTextsAndLibraryStringsLoadTruncated) {
#ifndef _WIN32
    // The POSIX layer's copies of the system's English texts.
    EXPECT_EQ(kvtest::SystemMessage(DWORD(REGDB_E_CLASSNOTREG)), "Class not registered");
    EXPECT_EQ(kvtest::SystemMessage(DWORD(HRESULT_FROM_WIN32(ERROR_DISK_FULL))),
              "There is not enough space on the disk.");
#endif
    // (Codes without a text and unknown string ids: see the error types and
    // the status messages.) A string cut short is terminated.
    char buffer[6];
    EXPECT_EQ(LoadStringA(kv::GetLibraryModule(), 2, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Error");
}

}  // namespace
