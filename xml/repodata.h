// CRepoData: the base of every library object backed by an XML file. Each
// operation opens its file afresh, does one query or change, saves the file
// when it changed something, and drops the document: nothing is cached, so a
// value written by one operation is seen by the next.
//
// Status codes: 0 success; -101 attribute not found (also when the file did not
// open); -102 the file was not saved (message 1 reported; also when a value
// holds a character that XML cannot carry, such as a control character, which
// would leave a file that strict parsers refuse); -103 the file was not opened
// or did not parse (message 2 reported).
//
// The two writes hold an exclusive lock on the file (kv::DataFileLock) from
// before they read it until after they saved it, so that writers in other
// processes never lose each other's changes; a lock that cannot be had within
// its time is a failed save (-102, message 1). Saves replace the file in one
// step whatever the DOM's own save does: readers see the old or the new
// content, whole. A name that is not rooted is read from under the support
// folder but saved, and locked, relative to the current folder; where no file
// is there to lock, the save creates it only if none has appeared meanwhile,
// and otherwise starts again under that file's lock.
#pragma once

#include <functional>

#include "Backend/inc/XMLIntercessor.h"
#include "foundation/repostatus.h"
#include "foundation/status.h"

namespace kv {
// Looks `name` up in `attributes` (exactly, case-sensitive): its text form
// into `value` and true, or false with `value` left alone. What
// CRepoData::GetAttribValue answers, for code that holds no CRepoData.
KV_API bool AttribText(const XmlAttribMap& attributes, const _stringx& name, _stringx& value);
// The same, answering the text or an empty string.
KV_API _stringx AttribText(const XmlAttribMap& attributes, const _stringx& name);
}  // namespace kv

class KV_API CRepoData : public CRepoStatusBase {
public:
    CRepoData(IRepoStatus* status = nullptr) : CRepoStatusBase(status) {}
    CRepoData(const CRepoData&) = default;
    CRepoData& operator=(const CRepoData&) = default;
    ~CRepoData() override;

    // The XML file this object reads and writes when an operation names none.
    virtual _stringx GetRepoDataFilePath() = 0;

    // Opens this object's own file into `document`: 0 or -103.
    long OpenXmlFile(XMLIntercessor& document);

    // Looks `name` up in `attributes` (exactly, case-sensitive). Found: its
    // text form goes to `value` and the result is true. Not found: false, and
    // `value` is left alone.
    bool GetAttribValue(const _stringx& name, const XmlAttribMap& attributes,
                        _stringx& value) const;
    // The same, answering the text or an empty string.
    _stringx GetAttribValue(const _stringx& name, const XmlAttribMap& attributes) const;

    // In the four operations below `file` names the XML file to use instead of
    // this object's own; empty means GetRepoDataFilePath().

    // The attributes of the first node `xpath` selects replace `attributes`;
    // nothing selected leaves them alone. 0, or -103.
    long GetAttribValuesFromXmlFile(const _stringx& xpath, XmlAttribMap& attributes,
                                    const _stringx& file = _stringx());
    // One attribute of the first selected node into `value`: 0, or -101 when
    // it is not there or the file did not open (`value` is then left alone).
    long GetAttribValueFromXmlFile(const _stringx& xpath, const _stringx& name, _stringx& value,
                                   const _stringx& file = _stringx());
    // Sets one attribute on every selected node (creating no element) and saves
    // the file, also when nothing was selected: 0, -102 or -103.
    long SetAttribValueToXmlFile(const _stringx& xpath, const _stringx& name, const _stringx& value,
                                 const _stringx& file = _stringx());
    // Sets every attribute of the map on every selected node, creating the
    // missing trailing steps of the path when nothing is selected, and saves:
    // 0, -102 or -103.
    long SetAttribValuesToXmlFile(const _stringx& xpath, XmlAttribMap& attributes,
                                  const _stringx& file = _stringx());

    // Any change to this object's own file, made as the writes above make
    // theirs: under the file's lock from before it is read until after it is
    // saved. `change` changes the open document and says whether to save it.
    // 0, -102 or -103, with the messages of the writes above.
    long EditXmlFile(const std::function<bool(XMLIntercessor&)>& change);

protected:
    // Opens `path` into `document`: 0, or -103 with message 2.
    long OpenXmlFile(const _stringx& path, XMLIntercessor& document);
    // Saves `document` to `path`: 0, or -102 with message 1.
    long SaveXmlFile(const _stringx& path, XMLIntercessor& document);
    // What a write to `file` (empty: GetRepoDataFilePath()) would meet before
    // it saves, found without writing: -102 (message 1) for a lock held
    // elsewhere past its time or a read-only file, -103 (message 2) for a file
    // that does not open; 0 when only the save itself could still fail.
    long CheckXmlFileChange(const _stringx& file = _stringx());

private:
    _stringx ChooseFile(const _stringx& file);
    // Locks, reads, changes and (with `save`) saves the file.
    template <class Change>
    long ChangeXmlFile(const _stringx& file, Change change, bool save = true);
};
