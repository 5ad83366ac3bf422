// Publishing, removal and local copies of repository items.
#include "foundation/comerror.h"
#include "foundation/platform/filecopy.h"
#include "foundation/componentloader.h"
#include "foundation/folderpath.h"
#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "foundation/win32error.h"
#include "repository/repository.h"
#include "repository/repositoryitem.h"
#include "foundation/platform/comptr.h"
#include "win32/scripting.h"

namespace {

const _stringx kTemplates(OLESTR("Templates"));

using kv::FileExists;
using kv::FolderExists;

// The name without the text from its last dot on.
_stringx WithoutExtension(const _stringx& name) {
    const auto dot = name.rfind(OLESTR('.'));
    return dot == _stringx::npos ? name : _stringx(name.substr(0, dot));
}

// The template's folder in the repository, beside the target file, named like
// the target without its extension.
_stringx TemplateFolder(const _stringx& target) {
    return kv::PathJoin(kv::PathFolderPart(target),
                        WithoutExtension(kv::PathLastComponent(target)));
}

// The error the system's file copy meets before it writes anything, as the
// copy reports it: a source that does not open, a target that is a folder or
// read-only, a target folder that does not exist. 0 when the copy would write.
DWORD CopyFailure(const _stringx& source, const _stringx& target) {
    const HANDLE in = CreateFileA(source.narrow(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(in);
    const DWORD attributes = GetFileAttributesA(target.narrow());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
                   ? ERROR_ACCESS_DENIED
                   : ERROR_SUCCESS;
    const _stringx folder = kv::PathFolderPart(target);
    return !folder.empty() && !FolderExists(folder) ? ERROR_PATH_NOT_FOUND : ERROR_SUCCESS;
}

// The error the system's file deletion meets without deleting anything: no
// such file, a folder, a read-only file (through a link, what it leads to). 0
// when the deletion would go ahead.
DWORD DeleteFailure(const _stringx& target) {
    const DWORD attributes = GetFileAttributesA(target.narrow());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ? ERROR_ACCESS_DENIED
                                                                               : ERROR_SUCCESS;
}

}  // namespace

bool CRepositoryItem::InsideRepository(const _stringx& path) {
    const _stringx folder = kv::PathFolderPart(GetRepoDataFilePath());
    return !folder.empty() && kv::PathStaysInside(folder, path);
}

long CRepositoryItem::AddFile(const _stringx& path) {
    GetPublishing().addedFile = path;
    return PutProperty(_stringx(OLESTR("FileName")), GetTargetFileName());
}

_stringx CRepositoryItem::GetTargetFileName() {
    if (m_pPublishing && !m_pPublishing->targetName.empty())
        return m_pPublishing->targetName;
    _stringx name = kv::PathLastComponent(GetAddedFile());
    const auto dot = name.rfind(OLESTR('.'));
    if (dot == _stringx::npos || name.compare(dot, _stringx::npos, OLESTR(".tmp")) != 0)
        return name;
    const _stringx type = GetRepoItemType();
    const OLECHAR* extension = type == _stringx(OLESTR("SystemSearches")) ? OLESTR("ini")
                               : type == _stringx(OLESTR("Dialogs"))      ? OLESTR("kvd")
                               : type == _stringx(OLESTR("SqlScripts"))   ? OLESTR("sql")
                                                                          : nullptr;
    if (extension)
        name.replace(dot + 1, _stringx::npos, extension);
    return name;
}

_stringx CRepositoryItem::GetDisplayFolder() {
    _stringx display = GetDisplayPath();
    const _stringx marker(kRepositoryMarker);
    const auto at = display.find(marker);
    if (at != _stringx::npos)
        display.erase(at, marker.size());
    for (auto& c : display)
        if (c == OLESTR('/'))
            c = OLESTR('\\');
    const auto star = display.find(OLESTR('*'));
    if (star != _stringx::npos)
        display.erase(star, 1);
    _stringx folder = kv::PathFolderPart(display);
    folder.erase(0, folder.find_first_not_of(OLESTR('\\')));
    return folder;
}

void CRepositoryItem::GetCopyFileNames(_stringx& source, _stringx& target) {
    source = GetAddedFile();
    target = kv::PathFolderPart(GetRepoDataFilePath());
    target = kv::PathJoin(kv::PathJoin(target, GetDisplayFolder()), GetTargetFileName());
}

long CRepositoryItem::Commit() {
    if (!GetAddedFile().empty()) {
        _stringx source, target;
        GetCopyFileNames(source, target);
        if (!CopyStaysInside(source, target)) {
            // The copy would reach outside the repository: refused before
            // anything is written. What the commit meets before that write
            // still comes out as usual: the data file's failures (found
            // without writing it), then the copy's own, a declined overwrite
            // or a copy that cannot be made (CommitFiles stops at them here,
            // having written nothing), which follow the data file's write.
            if (const long status = CheckXmlFileChange())
                return status;
            const long copied = CommitFiles();  // never 0 here
            if (copied == E_ACCESSDENIED)
                return copied;
            if (const long status = CommitCachedProperties())
                return status;
            return copied;
        }
    }
    if (const long status = CommitCachedProperties())
        return status;
    if (const long status = CommitFiles())
        return status;
    // The added file and its name are spent (the file-system object goes too).
    m_pPublishing.reset();
    // Now an existing item, it takes the key the catalogue would give it (the
    // folder of its display path), so that its element, type and display path
    // stay those it was committed with: a later change or commit of this same
    // object writes the element it wrote.
    if (!m_bExists)
        CachePropertyValue(_stringx(OLESTR("Key")), GetDisplayFolder(), true);
    m_bExists = true;
    return 0;
}

long CRepositoryItem::CommitFiles() {
    // Without an added file there is nothing to copy.
    if (GetAddedFile().empty())
        return 0;
    _stringx source, target;
    GetCopyFileNames(source, target);
    if (GetRepoItemType() == kTemplates)
        return CopyTemplate(source, target);
    return CopyFileA(source, target);
}

int CRepositoryItem::CopyFileA(const _stringx& source, const _stringx& target) {
    return CopyFileWithin(source, target, InsideRepository(target));
}

int CRepositoryItem::CopyFileWithin(const _stringx& source, const _stringx& target,
                                    bool contained) {
    const _stringx folder = kv::PathFolderPart(target);
    if (!FolderExists(folder)) {
        // A folder path that is not valid is not made, and writes nothing.
        kv::pathx path(folder);
        if (!contained && kv::IsValidFolderPath(path, false))
            return E_ACCESSDENIED;
        kv::EnsureFolder(folder);  // a failure shows in the copy that follows
    }
    if (FileExists(target) && !OnOverwriteFile(target))
        return kv::status::kFileOverwriteDeclined;
    if (!contained) {
        const DWORD error = CopyFailure(source, target);
        return error != ERROR_SUCCESS ? static_cast<int>(error) : E_ACCESSDENIED;
    }
    try {
        if (!kv::platform::CopyOneFile(source.narrow(), target.narrow(), FALSE))
            throw kv::win32_exception();
    } catch (const kv::win32_exception& error) {
        return static_cast<int>(error.error());
    }
    return 0;
}

bool CRepositoryItem::CopyStaysInside(const _stringx& source, const _stringx& target) {
    if (!InsideRepository(target))
        return false;
    if (GetRepoItemType() != kTemplates)
        return true;
    // A nameless template would make the type folder itself its folder.
    const _stringx baseName = WithoutExtension(kv::PathLastComponent(source));
    return !baseName.empty() && InsideRepository(TemplateFolder(target));
}

int CRepositoryItem::CopyTemplate(const _stringx& source, const _stringx& target) {
    const _stringx sourceFolder = kv::PathFolderPart(source);
    const _stringx baseName = WithoutExtension(kv::PathLastComponent(source));
    const _stringx parentName = WithoutExtension(kv::PathLastComponent(sourceFolder));
    const kv::pathx folder(TemplateFolder(target));
    // When any write of the copy would reach outside the repository (or take
    // the type folder), the first write is refused; what comes before it
    // comes out as usual.
    const bool contained = CopyStaysInside(source, target);

    if (baseName == parentName) {
        // The template is its whole folder.
        if (!OnOverwriteFolder(folder))
            return kv::status::kFolderOverwriteDeclined;
        if (!contained)
            return E_ACCESSDENIED;
        if (DeleteFolder(folder) < 0)
            return kv::status::kFolderNotDeleted;
        if (CopyFolder(kv::pathx(sourceFolder), folder) < 0)
            return kv::status::kFolderNotCopied;
        return 0;
    }
    // The template is the file, with an optional companion folder beside it.
    if (!contained && FolderExists(folder))
        return E_ACCESSDENIED;
    if (DeleteFolder(folder) < 0)
        return kv::status::kFolderNotDeleted;
    if (const int result = CopyFileWithin(source, target, contained))
        return result;  // never 0 when not contained
    const _stringx companion = kv::PathJoin(sourceFolder, baseName);
    if (FolderExists(companion) && CopyFolder(kv::pathx(companion), folder) < 0)
        return kv::status::kFolderNotCopied;
    return 0;
}

long CRepositoryItem::CopyFolder(const kv::pathx& source, const kv::pathx& target) {
    if (!InsideRepository(target))
        return E_ACCESSDENIED;
    kv::EnsureFolder(kv::PathFolderPart(target));  // a failure shows in the copy
    const CComPtr<Scripting::IFileSystem> fso = GetFSO();
    return fso->CopyFolder(source.bstr(), target.bstr(), VARIANT_TRUE);
}

long CRepositoryItem::DeleteFolder(const kv::pathx& folder) {
    if (!FolderExists(folder))
        return 0;
    if (!InsideRepository(folder))
        return E_ACCESSDENIED;
    const CComPtr<Scripting::IFileSystem> fso = GetFSO();
    return fso->DeleteFolder(folder.bstr(), VARIANT_TRUE);
}

CComPtr<Scripting::IFileSystem> CRepositoryItem::GetFSO() {
    CComPtr<Scripting::IFileSystem>& fso = GetPublishing().fso;
    if (!fso) {
        com_check hr;
        hr = kv::ComponentLoader::Process().CreateInstance(
            _stringx(OLESTR("scrrun.dll")), CLSID_FileSystemObject, IID_IFileSystem, &fso);
    }
    return fso;
}

long CRepositoryItem::Delete(bool deleteFile) {
    if (!deleteFile)
        return 0;
    _stringx target;
    if (GetAddedFile().empty()) {
        if (GetProperty(_stringx(OLESTR("LocalCopy")), &target) != 0)
            return ERROR_FILE_NOT_FOUND;
    } else {
        _stringx source;
        GetCopyFileNames(source, target);
    }
    if (!InsideRepository(target)) {
        // Refused where there is something to delete; otherwise the error
        // the deletion would give.
        const DWORD error = DeleteFailure(target);
        return error != ERROR_SUCCESS ? static_cast<long>(error) : E_ACCESSDENIED;
    }
    if (!DeleteFileA(target.narrow()))
        return static_cast<long>(GetLastError());
    return 0;
}

long CRepositoryItem::CreateLocalCopy(_stringx* path) {
    return GetProperty(_stringx(OLESTR("LocalCopy")), path);
}
