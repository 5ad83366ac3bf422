// Status reporting to the caller: the interface the calling application
// implements, and the base class through which library objects report.
#pragma once

#include "foundation/stringx.h"

// Implemented by the caller. The library reports failure texts through OnError
// and asks before it overwrites a file or folder. The library never deletes an
// IRepoStatus; the caller keeps it alive while library objects hold it.
class KV_API IRepoStatus {
public:
    // One message text. The result is not used.
    virtual long OnError(const _stringx& text) = 0;
    // Progress text. The library does not call it; implementations may use it
    // for their own reporting.
    virtual long OnStatus(const _stringx& text) = 0;
    // Whether the existing file at `path` may be overwritten (default: yes).
    virtual bool OnOverwriteFile(const _stringx& path);
    // Whether the existing folder at `path` may be overwritten (default: yes).
    virtual bool OnOverwriteFolder(const _stringx& path);

protected:
    IRepoStatus() = default;
    IRepoStatus(const IRepoStatus&) = default;
    IRepoStatus& operator=(const IRepoStatus&) = default;
    ~IRepoStatus() = default;
};

// Holds the caller's status interface (not owned, may be null) and turns message
// identifiers into texts delivered to it. Copies report to the same interface.
class KV_API CRepoStatusBase {
public:
    CRepoStatusBase(IRepoStatus* status = nullptr) : m_pRepoStatus(status) {}
    CRepoStatusBase(const CRepoStatusBase&) = default;
    CRepoStatusBase& operator=(const CRepoStatusBase&) = default;
    virtual ~CRepoStatusBase();

    IRepoStatus* GetRepoStatus() const { return m_pRepoStatus; }

    // True without an interface, otherwise the interface's answer.
    bool OnOverwriteFile(const _stringx& path);
    bool OnOverwriteFolder(const _stringx& path);

    // Deliver message `id` to the interface: as it stands (LogError), or with
    // "%1"/"%2" replaced by the arguments. `code` is the status the reporting
    // operation is about to return; it does not reach the interface. Nothing
    // happens without an interface; an unknown id delivers an empty text.
    void LogError(long code, unsigned int id);
    void LogError1(long code, unsigned int id, const _stringx& arg1);
    void LogError2(long code, unsigned int id, const _stringx& arg1, const _stringx& arg2);

private:
    void Report(unsigned int id, const OLECHAR* const* args, std::size_t count, bool expand);

    IRepoStatus* m_pRepoStatus;
};

namespace kv {

// Loads message `id` from the library's string table; empty when it has none.
KV_API _stringx LoadMessage(unsigned int id);

// Placeholder expansion of message texts: "%1".."%9" select arguments 1-9 and
// "%A".."%Z" arguments 10-35; one beyond `count` (and "%0") gives "?", a null
// argument gives nothing. Any other character, including a "%" followed by
// anything else, is copied as it is.
KV_API _stringx ExpandMessage(const _stringx& text, const OLECHAR* const* args, std::size_t count);

}  // namespace kv
