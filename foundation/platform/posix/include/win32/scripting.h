// The scripting runtime's file-system object, under its own names, for the
// folder operations the library uses. On POSIX the class is provided by the
// component module "scrrun.dll" built with the project.
#pragma once

#include "win32/com.h"

namespace Scripting {

struct IFileSystem : IUnknown {
    // Copies the folder `source` with all its content to `destination`, which
    // names the copy itself (it is created when missing; the content of
    // `source` ends up in it). Existing files are replaced when
    // `overWriteFiles` is VARIANT_TRUE, otherwise they make the copy fail.
    virtual HRESULT STDMETHODCALLTYPE CopyFolder(BSTR source, BSTR destination,
                                                 VARIANT_BOOL overWriteFiles) = 0;
    // Deletes the folder `folderSpec` with all its content; with `force`
    // VARIANT_TRUE read-only content is removed too. A missing folder fails.
    virtual HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR folderSpec, VARIANT_BOOL force) = 0;
    // Whether a folder / file exists.
    virtual HRESULT STDMETHODCALLTYPE FolderExists(BSTR folderSpec, VARIANT_BOOL* exists) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileExists(BSTR fileSpec, VARIANT_BOOL* exists) = 0;

protected:
    ~IFileSystem() = default;
};

}  // namespace Scripting

constexpr CLSID CLSID_FileSystemObject = {
    0x0D43FE01, 0xF093, 0x11CF, {0x89, 0x40, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x28}};
constexpr IID IID_IFileSystem = {
    0x0AB5A3D0, 0xE5B6, 0x11D0, {0xAB, 0xF5, 0x00, 0xA0, 0xC9, 0x0F, 0xFF, 0xC0}};
