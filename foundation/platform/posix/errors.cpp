// Last error, errno mapping, system message texts and local memory.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "win32/errors.h"
#include "foundation/platform/posix/errno.h"
#include "foundation/platform/posix/state.h"

namespace {

struct MessageText {
    DWORD code;
    const char* text;
};

// Windows English texts of the Win32 codes the library meets.
constexpr MessageText kWin32Texts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the "
     "file."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_INVALID_FLAGS, "Invalid flags."},
    {ERROR_NO_UNICODE_TRANSLATION,
     "No mapping for the Unicode character exists in the target multi-byte code page."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
    {ERROR_RESOURCE_NOT_FOUND, "The specified resource type cannot be found in the image file."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
};

// Texts of HRESULTs that are not Win32 codes in disguise.
constexpr MessageText kHresultTexts[] = {
    {(DWORD)E_NOTIMPL, "Not implemented"},
    {(DWORD)E_NOINTERFACE, "No such interface supported"},
    {(DWORD)E_POINTER, "Invalid pointer"},
    {(DWORD)E_ABORT, "Operation aborted"},
    {(DWORD)E_FAIL, "Unspecified error"},
    {(DWORD)E_UNEXPECTED, "Catastrophic failure"},
    {(DWORD)DISP_E_TYPEMISMATCH, "Type mismatch."},
    {(DWORD)DISP_E_OVERFLOW, "Out of present range."},
    {(DWORD)CLASS_E_NOAGGREGATION,
     "Class does not support aggregation (or class object is remote)"},
    {(DWORD)CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {(DWORD)REGDB_E_CLASSNOTREG, "Class not registered"},
    {(DWORD)CO_E_CLASSSTRING, "Invalid class string"},
};

template <std::size_t N>
const char* Find(const MessageText (&table)[N], DWORD code) {
    for (const MessageText& entry : table)
        if (entry.code == code)
            return entry.text;
    return nullptr;
}

const char* SystemText(DWORD code) {
    if (const char* text = Find(kHresultTexts, code))
        return text;
    // An HRESULT of facility Win32 reads as its Win32 code.
    if ((code & 0xFFFF0000u) == 0x80070000u)
        return Find(kWin32Texts, code & 0xFFFFu);
    return Find(kWin32Texts, code);
}

}  // namespace

DWORD GetLastError() {
    return kv::platform::LastErrorSlot();
}

void SetLastError(DWORD error) {
    kv::platform::LastErrorSlot() = error;
}

HLOCAL LocalAlloc(UINT flags, std::size_t bytes) {
    void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                           : std::malloc(bytes ? bytes : 1);
    if (!memory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = SystemText(messageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::size_t length = std::strlen(text);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* copy = static_cast<char*>(LocalAlloc(LMEM_FIXED, length + 1));
        if (!copy)
            return 0;
        std::memcpy(copy, text, length + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return static_cast<DWORD>(length);
    }
    if (size <= length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

namespace kv {
namespace platform {

DWORD Win32ErrorFromErrno(int errnoValue, ErrnoTarget target) {
    switch (errnoValue) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return target == ErrnoTarget::kFolder ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EAGAIN:
            return ERROR_LOCK_VIOLATION;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EIO:
            return ERROR_IO_DEVICE;
        case ENOTSUP:
            return ERROR_NOT_SUPPORTED;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        case EPIPE:
            return ERROR_BROKEN_PIPE;
        default:
            return ERROR_GEN_FAILURE;
    }
}

DWORD SetLastErrorFromErrno(ErrnoTarget target) {
    const DWORD error = Win32ErrorFromErrno(errno, target);
    SetLastError(error);
    return error;
}

}  // namespace platform
}  // namespace kv
