// File handles, reading and writing, flushing, renaming, replacing, deleting,
// temporary names and byte-range locks, under their Win32 names.
//
// Every function sets the thread's last error on failure (errno mapped by
// kv::platform::Win32ErrorFromErrno) and leaves it alone on success. Paths may
// use either separator. What Windows refuses on a read-only file (a file whose
// owner-write bit is clear) the layer refuses too, with ERROR_ACCESS_DENIED,
// whoever runs the process: opening it for writing, deleting it, and replacing
// it by a rename.
#pragma once

#include "win32/types.h"

typedef void* HANDLE;
#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)

// Access
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
// Sharing (accepted; POSIX does not enforce it)
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
// Creation disposition
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
// Flags
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u  // lets a folder be opened (to ask about it)

// Opens or creates a file. CREATE_NEW fails with ERROR_FILE_EXISTS when the
// file exists; a folder cannot be opened (ERROR_ACCESS_DENIED) but with
// FILE_FLAG_BACKUP_SEMANTICS and no access, to ask about it. New files get
// the default permissions (0666 less the umask); a file made by CREATE_NEW
// with a `templateFile` gets the template's read bits, read and write for
// each class that may write the template, and read and write for its owner
// instead. The handle is not inherited by child processes.
// INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);

// Reads up to `size` bytes; *read receives the count (0 at the end of the file).
BOOL ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read, void* overlapped);
// Writes all `size` bytes (a short write is continued; a write that makes no
// progress fails, ERROR_DISK_FULL for a full disk). *written receives the count
// actually written, also on failure.
BOOL WriteFile(HANDLE handle, const void* buffer, DWORD size, DWORD* written, void* overlapped);
// Flushes the file's data and metadata to the storage device.
BOOL FlushFileBuffers(HANDLE handle);
// A 64-bit size or offset; only the whole value is used here.
struct LARGE_INTEGER {
    LONGLONG QuadPart;
};
BOOL GetFileSizeEx(HANDLE handle, LARGE_INTEGER* size);

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    DWORD dwVolumeSerialNumber;  // identifies the device
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;  // with nFileIndexLow: identifies the file on its device
    DWORD nFileIndexLow;
};
BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info);

// The path of the file behind an open handle, with every symbolic link
// resolved. Returns the length (without the terminator), the size needed (with
// it) when the buffer is too small, 0 on failure.
DWORD GetFinalPathNameByHandleA(HANDLE handle, LPSTR buffer, DWORD size, DWORD flags);

// Deletes a file (not a folder). A read-only file is refused.
BOOL DeleteFileA(LPCSTR path);

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008
// Renames a file or folder. Without MOVEFILE_REPLACE_EXISTING an existing target
// fails with ERROR_ALREADY_EXISTS; with it, a read-only target file is refused.
// MOVEFILE_WRITE_THROUGH returns only once the rename is on the storage device
// (the target's folder is flushed).
BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);

// Replaces the file `replaced` by the file `replacement` in one step, so that a
// reader sees either the old or the new content, whole. The new file takes the
// old one's attributes: its permission bits and, where the process may set
// them, its owner and group. Both must be on one device (the same folder, in
// practice). A read-only `replaced` is refused. Returns once the replacement is
// on the storage device. `backup`, `flags`, `exclude` and `reserved` must be null/0.
BOOL ReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, void* exclude,
                  void* reserved);

// Creates an empty file with a new unique name "<prefix><hex>.tmp" in `folder`
// (up to 3 characters of the prefix are used) and writes its path to `result`
// (at least MAX_PATH characters). Returns the unique number, 0 on failure.
UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR result);

#define LOCKFILE_FAIL_IMMEDIATELY 0x00000001
#define LOCKFILE_EXCLUSIVE_LOCK 0x00000002
// Where a byte-range lock begins: Offset and OffsetHigh (the rest is unused here).
struct OVERLAPPED {
    std::uintptr_t Internal;
    std::uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
// Locks the bytes from the offset in `overlapped` (required) for the length
// bytesHigh:bytesLow (not 0) against other handles, in this process and in
// others; a range may lie beyond the end of the file. The lock belongs to the
// handle: it is released by UnlockFileEx of the same range, by closing that
// handle, or when the process dies, and is not disturbed by other handles to
// the same file being closed. With LOCKFILE_FAIL_IMMEDIATELY a lock held
// elsewhere fails at once with ERROR_LOCK_VIOLATION; without it the call
// waits. Without LOCKFILE_EXCLUSIVE_LOCK the lock is shared.
// On POSIX these are open-file-description locks (F_OFD_SETLK), advisory:
// they keep out other lockers, never reads or writes. An exclusive lock needs
// a handle open for writing there (ERROR_ACCESS_DENIED otherwise); Windows
// also takes one through a handle open for reading.
BOOL LockFileEx(HANDLE handle, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                OVERLAPPED* overlapped);
BOOL UnlockFileEx(HANDLE handle, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                  OVERLAPPED* overlapped);

// Sets the attributes a file can have here: FILE_ATTRIBUTE_READONLY clears the
// write bits, FILE_ATTRIBUTE_NORMAL (or no READONLY) gives the owner-write bit
// back. Other attributes are ignored.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);

// Copies a file's content and permission bits to `target`. With
// `failIfExists` an existing target fails with ERROR_FILE_EXISTS; otherwise an
// existing target is replaced (a read-only one is refused with
// ERROR_ACCESS_DENIED; a folder cannot be a target). The target is written
// through a temporary file in its folder, so a failed copy leaves it as it was.
BOOL CopyFileA(LPCSTR source, LPCSTR target, BOOL failIfExists);

// Creates one folder (its parent must exist). An existing folder or file gives
// ERROR_ALREADY_EXISTS. `security` must be null.
BOOL CreateDirectoryA(LPCSTR path, void* security);
// Removes an empty folder. A folder that is not empty gives ERROR_DIR_NOT_EMPTY.
BOOL RemoveDirectoryA(LPCSTR path);
