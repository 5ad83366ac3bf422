#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "foundation/ownmodule.h"
#include "foundation/platform/errors.h"
#include "foundation/platform/resources.h"

namespace {

using kv::platform::ErrnoTarget;
using kv::platform::Win32ErrorFromErrno;

TEST(ErrnoMapping, MapsEachErrnoToItsWin32Code) {
    EXPECT_EQ(Win32ErrorFromErrno(ENOENT), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Win32ErrorFromErrno(ENOTDIR), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Win32ErrorFromErrno(EACCES), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Win32ErrorFromErrno(EPERM), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Win32ErrorFromErrno(EISDIR), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Win32ErrorFromErrno(EEXIST, ErrnoTarget::kFolder), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Win32ErrorFromErrno(EEXIST, ErrnoTarget::kFile), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(Win32ErrorFromErrno(ENOSPC), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(Win32ErrorFromErrno(EFBIG), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(Win32ErrorFromErrno(EROFS), DWORD(ERROR_WRITE_PROTECT));
    EXPECT_EQ(Win32ErrorFromErrno(ENAMETOOLONG), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(Win32ErrorFromErrno(EBUSY), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Win32ErrorFromErrno(ENOTEMPTY), DWORD(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(Win32ErrorFromErrno(0), DWORD(ERROR_SUCCESS));
}

TEST(ErrnoMapping, SetLastErrorFromErrnoUsesTheCurrentErrno) {
    errno = ENOENT;
    EXPECT_EQ(kv::platform::SetLastErrorFromErrno(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(LastError, IsPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen = 1234;
    std::thread([&] {
        seen = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    }).join();
    EXPECT_EQ(seen, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST(HresultFromWin32, WrapsPositiveCodesInFacilityWin32) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), HRESULT(0x80070002));
    EXPECT_TRUE(FAILED(HRESULT_FROM_WIN32(ERROR_DISK_FULL)));
}

std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = n ? std::string(text, n) : std::string("<none>");
    LocalFree(text);
    return result;
}

TEST(SystemMessages, HaveTheWindowsEnglishTexts) {
    EXPECT_EQ(SystemText(DWORD(E_FAIL)), "Unspecified error");
    EXPECT_EQ(SystemText(DWORD(E_INVALIDARG)), "The parameter is incorrect.");
    EXPECT_EQ(SystemText(DWORD(E_UNEXPECTED)), "Catastrophic failure");
    EXPECT_EQ(SystemText(DWORD(E_NOTIMPL)), "Not implemented");
    EXPECT_EQ(SystemText(DWORD(E_ACCESSDENIED)), "Access is denied.");
    EXPECT_EQ(SystemText(DWORD(REGDB_E_CLASSNOTREG)), "Class not registered");
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.");
    EXPECT_EQ(SystemText(DWORD(HRESULT_FROM_WIN32(ERROR_DISK_FULL))),
              "There is not enough space on the disk.");
}

TEST(SystemMessages, UnknownCodesHaveNoText) {
    SetLastError(0);
    EXPECT_EQ(SystemText(0x8BADF00D), "<none>");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MR_MID_NOT_FOUND));
}

TEST(SystemMessages, FixedBufferFormIsBoundsChecked) {
    char buffer[8];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, DWORD(E_FAIL), 0, buffer,
                             sizeof(buffer), nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    char large[64];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, DWORD(E_FAIL), 0, large,
                             sizeof(large), nullptr),
              17u);
    EXPECT_STREQ(large, "Unspecified error");
}

TEST(StringResources, LoadFromTheLibraryModuleWithTruncation) {
    HMODULE library = kv::GetLibraryModule();
    ASSERT_NE(library, nullptr);
    char buffer[64];
    EXPECT_EQ(LoadStringA(library, 2, buffer, sizeof(buffer)), 25);
    EXPECT_STREQ(buffer, "Error opening XML file %1");
    EXPECT_EQ(LoadStringA(library, 2, buffer, 6), 5);
    EXPECT_STREQ(buffer, "Error");
    SetLastError(0);
    EXPECT_EQ(LoadStringA(library, 99, buffer, sizeof(buffer)), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NOT_FOUND));
}

}  // namespace
