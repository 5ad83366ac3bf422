// scrrun.dll's one class, FileSystemObject: the recursive folder copy and
// delete that publishing relies on, over the platform layer's file and
// directory-search functions.
//
// Symbolic links: a link to a file is copied as the file it points to, and a
// link to a folder as a real folder holding what it points to, but only one
// link deep: a folder link met inside a linked folder fails the copy with
// ERROR_CANT_RESOLVE_FILENAME, which ends any cycle of links. Deleting removes
// links as links and never follows them, the named folder itself included.
//
// Every failure is HRESULT_FROM_WIN32 of the platform's error, except a copy
// into the source itself (E_INVALIDARG). A failed copy or delete stops at the
// first entry that fails; what was done before stays done, as with the
// platform object.
#pragma once

#include <string>

#include "components/comobject.h"
#include "win32/scripting.h"

namespace kv {
namespace fso {

class FileSystem final : public component::ComObject<Scripting::IFileSystem> {
public:
    FileSystem() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    // A destination that ends with a separator is the folder to copy into,
    // under the source's own name; otherwise it names the copy itself. Its
    // parent must exist. Copying a folder onto or below itself is refused
    // before anything is touched (the paths are compared as text, made
    // absolute and normalized).
    HRESULT STDMETHODCALLTYPE CopyFolder(BSTR source, BSTR destination,
                                         VARIANT_BOOL overWriteFiles) override;
    // With `force`, read-only files and folders are made writable first;
    // without it a read-only file fails with ERROR_ACCESS_DENIED. A missing
    // folder (or a file) fails with ERROR_PATH_NOT_FOUND.
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR folderSpec, VARIANT_BOOL force) override;
    HRESULT STDMETHODCALLTYPE FolderExists(BSTR folderSpec, VARIANT_BOOL* exists) override;
    HRESULT STDMETHODCALLTYPE FileExists(BSTR fileSpec, VARIANT_BOOL* exists) override;

private:
    ~FileSystem() override = default;
};

}  // namespace fso
}  // namespace kv
