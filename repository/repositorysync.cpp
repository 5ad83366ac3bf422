#include "repository/repositorysync.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/find.h"
#include "foundation/platform/text.h"
#include "repository/itemgroups.h"
#include "win32/fileio.h"

namespace {

const _stringx kTemplates(OLESTR("Templates"));
// Deeper than any template folder; a link loop ends here as a difference.
constexpr int kMaxDepth = 64;

// A file opened for reading, closed when it goes.
class ReadHandle {
public:
    explicit ReadHandle(const _stringx& path)
        : m_handle(CreateFileA(path.narrow(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr)) {}
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    ~ReadHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    bool Open() const { return m_handle != INVALID_HANDLE_VALUE; }
    // Fills `buffer` as far as the file goes; false on a read error.
    bool Read(char* buffer, DWORD size, DWORD& got) {
        got = 0;
        while (got < size) {
            DWORD read = 0;
            if (!ReadFile(m_handle, buffer + got, size - got, &read, nullptr))
                return false;
            if (read == 0)
                break;
            got += read;
        }
        return true;
    }

private:
    HANDLE m_handle;
};

// Whether two files hold the same bytes; false when either cannot be read.
bool SameBytes(const _stringx& a, const _stringx& b) {
    ReadHandle x(a), y(b);
    if (!x.Open() || !y.Open())
        return false;
    static constexpr DWORD kChunk = 64 * 1024;
    std::string left(kChunk, '\0'), right(kChunk, '\0');
    for (;;) {
        DWORD gotLeft = 0, gotRight = 0;
        if (!x.Read(&left[0], kChunk, gotLeft) || !y.Read(&right[0], kChunk, gotRight))
            return false;
        if (gotLeft != gotRight || std::memcmp(left.data(), right.data(), gotLeft) != 0)
            return false;
        if (gotLeft < kChunk)
            return true;
    }
}

// A folder's entries by name.
std::map<std::string, bool> Entries(const _stringx& folder) {
    std::vector<kv::platform::FolderEntry> found;
    kv::platform::ListFolder(kv::PathJoin(folder, _stringx(OLESTR("*"))).narrow(), found);
    std::map<std::string, bool> entries;
    for (const kv::platform::FolderEntry& entry : found)
        entries.emplace(entry.name, entry.folder);
    return entries;
}

// Whether two folders hold the same names, file for file with the same bytes.
bool SameTree(const _stringx& a, const _stringx& b, int depth = 0) {
    if (depth > kMaxDepth)
        return false;
    const std::map<std::string, bool> left = Entries(a), right = Entries(b);
    if (left.size() != right.size())
        return false;
    for (auto x = left.begin(), y = right.begin(); x != left.end(); ++x, ++y) {
        if (x->first != y->first || x->second != y->second)
            return false;
        const _stringx pathA = kv::PathJoin(a, _stringx(x->first.c_str()));
        const _stringx pathB = kv::PathJoin(b, _stringx(y->first.c_str()));
        if (!(x->second ? SameTree(pathA, pathB, depth + 1) : SameBytes(pathA, pathB)))
            return false;
    }
    return true;
}

_stringx WithoutExtension(const _stringx& name) {
    const auto dot = name.rfind(OLESTR('.'));
    return dot == _stringx::npos ? name : _stringx(name.substr(0, dot));
}

// The folder that goes with a template file, as publishing copies it: its
// own folder (X\X.ext, `whole`) or the companion folder beside it.
_stringx TemplateFolder(const _stringx& file, bool& whole) {
    const _stringx folder = kv::PathFolderPart(file);
    const _stringx base = WithoutExtension(kv::PathLastComponent(file));
    whole = base == WithoutExtension(kv::PathLastComponent(folder));
    return whole ? folder : kv::PathJoin(folder, base);
}

// Whether two items of `type` have the same content: the file, and for a
// template its folder of the same form.
bool SameContent(const _stringx& type, const _stringx& source, const _stringx& destination) {
    if (!SameBytes(source, destination))
        return false;
    if (type != kTemplates)
        return true;
    bool wholeSource = false, wholeDestination = false;
    const _stringx a = TemplateFolder(source, wholeSource);
    const _stringx b = TemplateFolder(destination, wholeDestination);
    if (wholeSource != wholeDestination)
        return false;
    const bool hasA = kv::FolderExists(a), hasB = kv::FolderExists(b);
    return hasA == hasB && (!hasA || SameTree(a, b));
}

_stringx Property(CRepositoryItem& item, const OLECHAR* name) {
    _stringx value;
    item.GetProperty(_stringx(name), &value);
    return value;
}

// The items of `type` that `repository` lists: 0 or the listing's status.
long List(CRepository& repository, const _stringx& type, std::unique_ptr<CRepositoryItems>& items) {
    const _stringx path = type + OLESTR("/*");
    const long status = kv::ListItems(repository, path.narrow(), items);
    if (status == 0 && !items)
        return kv::status::kCollectionNotCreated;
    return status;
}

}  // namespace

CRepositorySync::CRepositorySync(CRepository* source, CRepository* destination)
    : m_pSource(source), m_pDestination(destination) {}

CRepositorySync::~CRepositorySync() = default;

long CRepositorySync::Plan(const _stringx& type, bool update, std::vector<Entry>& plan) {
    plan.clear();
    m_listings.clear();
    if (!m_pSource || !m_pDestination)
        return E_INVALIDARG;
    std::vector<_stringx> types;
    for (const OLECHAR* known : CRepositoryItem::kItemTypes)
        if (type.empty() || type == known)
            types.emplace_back(known);
    if (types.empty())
        return E_INVALIDARG;
    const _stringx sourceData = m_pSource->GetRepoDataFilePath();
    const _stringx destinationData = m_pDestination->GetRepoDataFilePath();
    if (sourceData.empty() || destinationData.empty())
        return kv::status::kNoDataFilePath;
    const _stringx x = kv::ResolveExistingPath(sourceData);
    const _stringx y = kv::ResolveExistingPath(destinationData);
    if (kv::platform::SameFileName(x.data(), x.size(), y.data(), y.size()))
        return E_INVALIDARG;

    std::vector<Entry> planned;
    XMLIntercessor document;
    if (const long status = m_pDestination->OpenXmlFile(document))
        return status;
    const kv::RepositoryFolder root(destinationData);
    for (const _stringx& itemType : types) {
        std::unique_ptr<CRepositoryItems> source, destination;
        long status = List(*m_pSource, itemType, source);
        if (status == 0)
            status = List(*m_pDestination, itemType, destination);
        if (status != 0) {
            m_listings.clear();
            return status;
        }
        const kv::ItemGroups groups(document, root, itemType);
        // The first item of each name, as a display path finds it.
        std::map<_stringx, _stringx> held;
        for (CRepositoryItem* item = destination->MoveFirst(); item; item = destination->MoveNext())
            held.emplace(Property(*item, OLESTR("FileName")), Property(*item, OLESTR("LocalCopy")));
        std::map<_stringx, bool> seen;
        for (CRepositoryItem* item = source->MoveFirst(); item; item = source->MoveNext()) {
            Entry entry;
            entry.fileName = Property(*item, OLESTR("FileName"));
            if (!seen.emplace(entry.fileName, true).second)
                continue;
            entry.type = itemType;
            entry.displayPath = Property(*item, OLESTR("DisplayPath"));
            entry.sourceFile = Property(*item, OLESTR("LocalCopy"));
            entry.item = item;
            const auto found = held.find(entry.fileName);
            if (found == held.end()) {
                entry.reason = Reason::kMissing;
            } else if (update && !SameContent(itemType, entry.sourceFile, found->second)) {
                entry.reason = Reason::kDiffers;
                entry.destinationFile = found->second;
            } else {
                continue;
            }
            entry.problem =
                CRepositoryItemCopier::Refusal(groups, itemType, Property(*item, OLESTR("Key")),
                                               entry.fileName, entry.destinationFile);
            planned.push_back(std::move(entry));
        }
        m_listings.push_back(std::move(source));
    }
    plan.swap(planned);
    return 0;
}

long CRepositorySync::Apply(std::vector<Entry>& plan) {
    CRepositoryItemCopier copier(m_pSource, m_pDestination);
    long first = 0;
    for (Entry& entry : plan) {
        if (!entry.problem.empty()) {
            entry.status = E_INVALIDARG;
            entry.copied.problem = entry.problem;
        } else {
            entry.status = entry.item ? copier.CopyOver(*entry.item, entry.type,
                                                        entry.destinationFile, &entry.copied)
                                      : E_INVALIDARG;
        }
        if (entry.status != 0 && first == 0)
            first = entry.status;
    }
    return first;
}

const char* CRepositorySync::GetReasonName(Reason reason) {
    switch (reason) {
        case Reason::kMissing:
            return "missing";
        case Reason::kDiffers:
            return "differs";
    }
    return "unknown";
}
