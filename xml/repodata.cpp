#include "xml/repodata.h"

#include <optional>

#include "foundation/filelock.h"
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

bool CRepoData::GetAttribValue(const _stringx& name, const XmlAttribMap& attributes,
                               _stringx& value) const {
    const auto found = attributes.find(name);
    if (found == attributes.end())
        return false;
    // Text, what every value read from a file is, needs no conversion.
    if (found->second.vt == VT_BSTR) {
        value.assign(found->second.bstrVal, SysStringLen(found->second.bstrVal));
        return true;
    }
    CComVariant text;
    HRESULT hr = VariantCopy(&text, &found->second);
    if (FAILED(hr))
        AfxThrowOleException(hr);
    // A value without a text form reads as empty.
    if (FAILED(text.ChangeType(VT_BSTR)))
        value.clear();
    else
        value = _stringx(text.bstrVal, SysStringLen(text.bstrVal));
    return true;
}

_stringx CRepoData::GetAttribValue(const _stringx& name, const XmlAttribMap& attributes) const {
    _stringx value;
    GetAttribValue(name, attributes, value);
    return value;
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
    // Nothing is changed without the lock on the file the save writes, taken
    // before the file is read. A lock held elsewhere past its time is a failed
    // save; a file that cannot be opened to be locked is left to the read,
    // which tells what is wrong with it.
    const auto notSaved = [&] {
        LogError1(kNotSaved, IDS_XML_SAVE_FAILED, path);
        return kNotSaved;
    };
    kv::DataFileLock lock;
    if (lock.Acquire(path) == ERROR_LOCK_VIOLATION)
        return notSaved();
    std::optional<XMLIntercessor> document(std::in_place);
    if (const long status = OpenXmlFile(path, *document))
        return status;
    if (!save) {
        // Of what only the save would tell, a read-only file is known now.
        const DWORD attributes = GetFileAttributesA(path.narrow());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return notSaved();
        return 0;
    }
    if (!lock.Held()) {
        // Read, yet not there to be locked: a name that is not rooted is read
        // from under the support folder and saved as given, relative to the
        // current folder, where it may not exist yet. The lock makes it (and
        // removes it again unless the save replaces it); where it cannot be
        // made (no such folder), no save could make it either. A file that
        // appeared meanwhile is read again, under the lock.
        if (lock.AcquireCreating(path) != ERROR_SUCCESS)
            return notSaved();
        if (!lock.Created()) {
            document.emplace();
            if (const long status = OpenXmlFile(path, *document))
                return status;
        }
    }
    change(*document);
    return SaveXmlFile(path, *document);
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
