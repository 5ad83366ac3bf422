// The scripting runtime's file-system object, the system's "scrrun.dll". The
// toolchain has no header for it, so its interface is declared here with the
// system's layout: an IDispatch whose methods stand in the type library's
// order. The library calls four of them (the same four, with the same
// contracts, as on POSIX); the others keep their slots under names that
// cannot meet the system's macros.
#pragma once

#include "win32/types.h"

namespace Scripting {

struct IFileSystem : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Drives(IDispatch** drives) = 0;
    virtual HRESULT STDMETHODCALLTYPE BuildPath(BSTR path, BSTR name, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDriveName(BSTR path, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParentFolderName(BSTR path, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileName(BSTR path, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBaseName(BSTR path, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtensionName(BSTR path, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAbsolutePathName(BSTR path, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTempName(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE DriveExists(BSTR driveSpec, VARIANT_BOOL* exists) = 0;
    // Whether a file / folder exists.
    virtual HRESULT STDMETHODCALLTYPE FileExists(BSTR fileSpec, VARIANT_BOOL* exists) = 0;
    virtual HRESULT STDMETHODCALLTYPE FolderExists(BSTR folderSpec, VARIANT_BOOL* exists) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDrive(BSTR driveSpec, IDispatch** drive) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFile(BSTR filePath, IDispatch** file) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFolder(BSTR folderPath, IDispatch** folder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSpecialFolder(int specialFolder, IDispatch** folder) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFile(BSTR fileSpec, VARIANT_BOOL force) = 0;
    // Deletes the folder `folderSpec` with all its content; with `force`
    // VARIANT_TRUE read-only content is removed too. A missing folder fails.
    virtual HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR folderSpec, VARIANT_BOOL force) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenameFile(BSTR source, BSTR destination) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveFolder(BSTR source, BSTR destination) = 0;
    virtual HRESULT STDMETHODCALLTYPE DuplicateFile(BSTR source, BSTR destination,
                                                    VARIANT_BOOL overWriteFiles) = 0;
    // Copies the folder `source` with all its content to `destination`, which
    // names the copy itself. Existing files are replaced when `overWriteFiles`
    // is VARIANT_TRUE, otherwise they make the copy fail.
    virtual HRESULT STDMETHODCALLTYPE CopyFolder(BSTR source, BSTR destination,
                                                 VARIANT_BOOL overWriteFiles) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFolder(BSTR path, IDispatch** folder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTextFile(BSTR fileName, VARIANT_BOOL overwrite,
                                                     VARIANT_BOOL unicode, IDispatch** stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenTextFile(BSTR fileName, int ioMode, VARIANT_BOOL create,
                                                   int format, IDispatch** stream) = 0;

protected:
    ~IFileSystem() = default;
};

}  // namespace Scripting

constexpr CLSID CLSID_FileSystemObject = {
    0x0D43FE01, 0xF093, 0x11CF, {0x89, 0x40, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x28}};
constexpr IID IID_IFileSystem = {
    0x0AB5A3D0, 0xE5B6, 0x11D0, {0xAB, 0xF5, 0x00, 0xA0, 0xC9, 0x0F, 0xFF, 0xC0}};
