// Copying a file on POSIX, through a temporary file beside the target, so
// that a failed copy leaves the target as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "foundation/platform/filecopy.h"
#include "foundation/platform/lockbyte.h"
#include "foundation/platform/posix/errno.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/filehandle.h"
#include "foundation/platform/posix/paths.h"
#include "win32/errors.h"
#include "win32/fileio.h"

using namespace kv::platform;

namespace {

// Copies what is left of `from` to `to`.
bool CopyContent(HANDLE from, HANDLE to) {
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        DWORD written = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        if (!WriteFile(to, buffer, read, &written, nullptr))
            return false;
    }
}

// Closes a handle of this file's own making, keeping the last error.
void CloseQuietly(HANDLE handle) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
}

// Makes a temporary file ("kvc<hex>.tmp") in `folder` and holds it as every
// maker of the library's temporary files does (an exclusive lock on the byte
// at 2^62 of the file, see foundation/temporaryfiles.h), so that no cleaner
// takes it for a leftover. One that a cleaner removed or locked before it
// was held is left to it, and another is made. The open handle, with its
// name in `temporary`; INVALID_HANDLE_VALUE with the last error set.
HANDLE HeldTemporary(const std::string& folder, char (&temporary)[MAX_PATH]) {
    for (int attempt = 0;; ++attempt) {
        if (GetTempFileNameA(folder.c_str(), "kvc", 0, temporary) == 0)
            return INVALID_HANDLE_VALUE;
        const HANDLE out =
            CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND && attempt < 10)
                continue;
            const DWORD error = GetLastError();
            if (!FaultHits(FileCall::kDelete))
                unlink(temporary);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        OVERLAPPED position = LockPosition();
        const bool locked = LockFileEx(out, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                       kLockBytes, 0, &position) != FALSE;
        if (!locked && GetLastError() != ERROR_LOCK_VIOLATION) {
            const DWORD error = GetLastError();
            if (!FaultHits(FileCall::kDelete))
                unlink(temporary);
            CloseHandle(out);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        struct stat opened, named;
        if (locked && fstat(FdFromHandle(out), &opened) == 0 &&
            CountedStat(temporary, &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev)
            return out;
        CloseQuietly(out);
        if (attempt == 10) {
            SetLastError(ERROR_LOCK_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
}

}  // namespace

BOOL CopyFileA(LPCSTR source, LPCSTR target, BOOL failIfExists) {
    if (!source || !target) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (FaultHits(FileCall::kCopy)) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    // Opening gives the codes of a missing source or source folder, and
    // refuses a folder as the source.
    const HANDLE in =
        CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return FALSE;
    struct stat status;
    if (fstat(FdFromHandle(in), &status) != 0) {
        SetLastErrorFromErrno();
        CloseQuietly(in);
        return FALSE;
    }
    // Checked first for the right code; the rename below checks again, so a
    // target that appears meanwhile is still not overwritten against the rules.
    const std::string to = ToSystemPath(target);
    struct stat existing;
    if (CountedStat(to.c_str(), &existing) == 0) {
        DWORD refusal = ERROR_SUCCESS;
        if (S_ISDIR(existing.st_mode))
            refusal = ERROR_ACCESS_DENIED;
        else if (failIfExists)
            refusal = ERROR_FILE_EXISTS;
        else if (IsReadOnly(existing))
            refusal = ERROR_ACCESS_DENIED;
        if (refusal != ERROR_SUCCESS) {
            CloseHandle(in);
            SetLastError(refusal);
            return FALSE;
        }
    }

    // The copy is written beside the target and renamed over it only once it
    // is whole, so a failed copy leaves an existing target as it was.
    char temporary[MAX_PATH];
    const HANDLE out = HeldTemporary(FolderOf(to), temporary);
    if (out == INVALID_HANDLE_VALUE) {
        CloseQuietly(in);
        return FALSE;
    }
    bool copied = CopyContent(in, out);
    CloseQuietly(in);
    if (copied &&
        (FaultHits(FileCall::kChmod) || fchmod(FdFromHandle(out), status.st_mode & 0777) != 0)) {
        SetLastErrorFromErrno();
        copied = false;
    }
    // Flushed, so that a crash after the rename never leaves the target empty.
    copied = copied && FlushFileBuffers(out);
    // Renamed while still held; the hold ends with the handle.
    if (copied &&
        MoveFileExA(temporary, to.c_str(), failIfExists ? 0 : MOVEFILE_REPLACE_EXISTING)) {
        CloseHandle(out);
        return TRUE;
    }
    if (copied && GetLastError() == ERROR_ALREADY_EXISTS)
        SetLastError(ERROR_FILE_EXISTS);
    const DWORD error = GetLastError();
    if (!FaultHits(FileCall::kDelete))
        unlink(temporary);
    CloseHandle(out);
    SetLastError(error);
    return FALSE;
}

namespace kv {
namespace platform {

BOOL CopyOneFile(LPCSTR source, LPCSTR target, BOOL failIfExists) {
    return CopyFileA(source, target, failIfExists);
}

}  // namespace platform
}  // namespace kv
