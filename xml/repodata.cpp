#include "xml/repodata.h"

#include <type_traits>

#include "foundation/filelock.h"
#include "foundation/temporaryfiles.h"
#include "win32/files.h"
#include "foundation/platform/framework.h"
#include "resources/messages.h"
#include "foundation/platform/variant.h"
#include "win32/bstr.h"
#include "win32/oleauto.h"

using kv::status::kNotFound;
using kv::status::kNotOpened;
using kv::status::kNotSaved;

CRepoData::~CRepoData() = default;

_stringx CRepoData::ChooseFile(const _stringx& file) {
    return file.empty() ? GetRepoDataFilePath() : file;
}

long CRepoData::OpenXmlFile(XMLIntercessor& document) {
    return OpenXmlFile(GetRepoDataFilePath(), document);
}

long CRepoData::OpenXmlFile(const _stringx& path, XMLIntercessor& document) {
    if (SUCCEEDED(document.Initialize(path.c_str(), path.c_str(), nullptr, false, false)))
        return 0;
    LogError1(kNotOpened, IDS_XML_OPEN_FAILED, path);
    return kNotOpened;
}

long CRepoData::SaveXmlFile(const _stringx& path, XMLIntercessor& document) {
    if (SUCCEEDED(document.Save(path.c_str())))
        return 0;
    LogError1(kNotSaved, IDS_XML_SAVE_FAILED, path);
    return kNotSaved;
}

bool kv::AttribText(const XmlAttribMap& attributes, const _stringx& name, _stringx& value) {
    const auto found = attributes.find(name);
    if (found == attributes.end())
        return false;
    // Text, what every value read from a file is, needs no conversion.
    if (found->second.vt == VT_BSTR) {
        value.assign(found->second.bstrVal, SysStringLen(found->second.bstrVal));
        return true;
    }
    CComVariant text;
    HRESULT hr = VariantCopy(&text, const_cast<CComVariant*>(&found->second));
    if (FAILED(hr))
        AfxThrowOleException(hr);
    // A value without a text form reads as empty.
    if (FAILED(text.ChangeType(VT_BSTR)))
        value.clear();
    else
        value = _stringx(text.bstrVal, SysStringLen(text.bstrVal));
    return true;
}

_stringx kv::AttribText(const XmlAttribMap& attributes, const _stringx& name) {
    _stringx value;
    AttribText(attributes, name, value);
    return value;
}

bool CRepoData::GetAttribValue(const _stringx& name, const XmlAttribMap& attributes,
                               _stringx& value) const {
    return kv::AttribText(attributes, name, value);
}

_stringx CRepoData::GetAttribValue(const _stringx& name, const XmlAttribMap& attributes) const {
    return kv::AttribText(attributes, name);
}

long CRepoData::GetAttribValuesFromXmlFile(const _stringx& xpath, XmlAttribMap& attributes,
                                           const _stringx& file) {
    XMLIntercessor document;
    const long status = OpenXmlFile(ChooseFile(file), document);
    if (status != 0)
        return status;
    document.GetAttribValues(xpath.c_str(), attributes);
    return 0;
}

long CRepoData::GetAttribValueFromXmlFile(const _stringx& xpath, const _stringx& name,
                                          _stringx& value, const _stringx& file) {
    XmlAttribMap attributes;
    GetAttribValuesFromXmlFile(xpath, attributes, file);
    return GetAttribValue(name, attributes, value) ? 0 : kNotFound;
}

template <class Change>
long CRepoData::ChangeXmlFile(const _stringx& file, Change change, bool save) {
    const _stringx path = ChooseFile(file);
    const auto notSaved = [&] {
        LogError1(kNotSaved, IDS_XML_SAVE_FAILED, path);
        return kNotSaved;
    };
    // A writer that finds no file to lock creates it, and may find it made by
    // another writer just then; it starts again, under that file's lock.
    constexpr int kAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        // Nothing is changed without the lock on the file the save writes,
        // taken before the file is read. A lock held elsewhere past its time,
        // or refused, is a failed save; a file that cannot be opened to be
        // locked is left to the read, which tells what is wrong with it.
        kv::DataFileLock lock;
        const DWORD locked = lock.Acquire(path);
        if (locked == ERROR_LOCK_VIOLATION)
            return notSaved();
        // Read, yet not there to be locked: a name that is not rooted is read
        // from under the support folder and saved as given, relative to the
        // current folder, where it may not exist yet.
        const bool missing = locked == ERROR_FILE_NOT_FOUND || locked == ERROR_PATH_NOT_FOUND;
        XMLIntercessor document;
        if (const long status = OpenXmlFile(path, document))
            return status;
        if (!lock.Held() && !missing)
            return notSaved();
        if (!save) {
            // Of what only the save would tell, a read-only file is known now.
            const DWORD attributes = GetFileAttributesA(path.narrow());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                return notSaved();
            return 0;
        }
        // A change may find nothing to change: the file is then left as it is.
        if constexpr (std::is_same_v<decltype(change(document)), bool>) {
            if (!change(document))
                return 0;
        } else {
            change(document);
        }
        if (lock.Held()) {
            const long saved = SaveXmlFile(path, document);
            // Saves of this file are kept out by the lock: a temporary file
            // beside it that nobody holds is a killed save's.
            std::vector<_stringx> removed;
            if (saved == 0)
                kv::FindLeftovers(_stringx(lock.Folder()), true, removed);
            return saved;
        }
        // With no file to lock, the new file is put in place only while its
        // name is still free, so that nothing another writer made is lost.
        const HRESULT hr = document.SaveNew(path.c_str());
        if (SUCCEEDED(hr))
            return 0;
        if (hr != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) || attempt == kAttempts)
            return notSaved();
    }
}

long CRepoData::EditXmlFile(const std::function<bool(XMLIntercessor&)>& change) {
    return ChangeXmlFile(_stringx(), change);
}

long CRepoData::CheckXmlFileChange(const _stringx& file) {
    return ChangeXmlFile(
        file, [](XMLIntercessor&) {}, false);
}

long CRepoData::SetAttribValueToXmlFile(const _stringx& xpath, const _stringx& name,
                                        const _stringx& value, const _stringx& file) {
    return ChangeXmlFile(file, [&](XMLIntercessor& document) {
        document.SetAttribValue(xpath.c_str(), name.c_str(), CComVariant(value.c_str()));
    });
}

long CRepoData::SetAttribValuesToXmlFile(const _stringx& xpath, XmlAttribMap& attributes,
                                         const _stringx& file) {
    return ChangeXmlFile(file, [&](XMLIntercessor& document) {
        document.SetAttribValues(xpath.c_str(), attributes);
    });
}
