// Directory search on POSIX: the folder is read with readdir at FindFirstFileA,
// matched against the pattern, and handed out from that snapshot.

#include "foundation/platform/find.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/platform/posix/errno.h"
#include "win32/codepage.h"
#include "win32/errors.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/paths.h"
#include "foundation/platform/text.h"
#include "foundation/platform/wildcard.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "win32/find.h"

using kv::platform::IsHiddenName;
using kv::platform::ToSystemPath;

namespace {

// A code point, or a byte that is not part of valid UTF-8 (kRawByte plus the
// byte), so that such names still match themselves and nothing else.
typedef std::uint32_t Unit;
constexpr Unit kRawByte = 0x110000;

// Decodes UTF-8 and lower-cases by the ANSI rule into `units` (replaced).
void Fold(const char* text, std::vector<Unit>& units) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const std::size_t length = std::strlen(text);
    units.clear();
    units.reserve(length);
    for (std::size_t i = 0; i < length;) {
        const unsigned char lead = s[i];
        // ASCII, nearly every name: one byte, one code point, only A-Z change.
        if (lead < 0x80) {
            units.push_back(lead >= 'A' && lead <= 'Z' ? lead + ('a' - 'A') : lead);
            ++i;
            continue;
        }
        std::size_t extra = 0;
        Unit cp = lead;
        Unit minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
            minimum = 0x10000;
        } else if (lead >= 0x80) {
            units.push_back(kRawByte + lead);
            ++i;
            continue;
        }
        bool valid = true;
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= length || (s[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (!valid || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            units.push_back(kRawByte + lead);
            ++i;
            continue;
        }
        if (cp <= 0xFFFF)
            cp = kv::platform::AnsiLowerChar(static_cast<OLECHAR>(cp));
        units.push_back(cp);
        i += extra + 1;
    }
}

// A pattern folded once for matching many names of one folder.
class Matcher {
public:
    explicit Matcher(const char* pattern) {
        Fold(pattern, m_pattern);
        m_dotEnd = kv::platform::DotStarEnd(m_pattern.data(), m_pattern.size());
        m_suffixOnly = m_dotEnd == 0 && !m_pattern.empty() && m_pattern[0] == Unit('*') &&
                       std::none_of(m_pattern.begin() + 1, m_pattern.end(),
                                    [](Unit u) { return u == Unit('*') || u == Unit('?'); });
    }

    bool Matches(const char* name) {
        // "*.msm" against an ASCII name, nearly every search of a listing:
        // whether the name ends in the rest of the pattern, folded as Fold
        // folds ASCII, without folding the whole name.
        if (m_suffixOnly) {
            const std::size_t length = std::strlen(name);
            unsigned high = 0;
            for (std::size_t i = 0; i < length; ++i)
                high |= static_cast<unsigned char>(name[i]) & 0x80u;
            if (high == 0) {
                const std::size_t tail = m_pattern.size() - 1;
                if (length < tail)
                    return false;
                const char* at = name + length - tail;
                for (std::size_t i = 0; i < tail; ++i) {
                    const Unit c = static_cast<unsigned char>(at[i]);
                    if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != m_pattern[i + 1])
                        return false;
                }
                return true;
            }
        }
        Fold(name, m_name);
        return kv::platform::GlobMatch(m_pattern.data(), m_pattern.size(), m_name.data(),
                                       m_name.size()) ||
               (m_dotEnd > 0 &&
                kv::platform::GlobMatch(m_pattern.data(), m_dotEnd, m_name.data(), m_name.size()));
    }

private:
    std::vector<Unit> m_pattern;
    std::size_t m_dotEnd = 0;   // the pattern's length without its trailing ".*", or 0
    bool m_suffixOnly = false;  // "*" and then no wildcard
    std::vector<Unit> m_name;   // reused between names
};

struct Entry {
    std::string name;
    DWORD attributes;
    std::uint64_t size;
};

// The folder and the pattern of a search path.
void SplitSearchPath(const char* searchPath, std::string& folder, std::string& pattern) {
    const std::string path = ToSystemPath(searchPath);
    const std::string::size_type slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    pattern = slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens a search's folder, or sets the last error as FindFirstFileA does.
DIR* OpenSearchFolder(const std::string& folder) {
    DIR* dir = CountedOpenFolder(folder.c_str());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR)
            SetLastError(ERROR_PATH_NOT_FOUND);
        else
            kv::platform::SetLastErrorFromErrno(kv::platform::ErrnoTarget::kFolder);
    }
    return dir;
}

// What GetFileAttributesA would say of the entry `name` with status `status`.
DWORD AttributesOf(const std::string& name, const struct stat& status, bool link) {
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(status.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (IsHiddenName(name))
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (link)
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// "." and ".." first, as Windows lists them, then the names in byte order, so
// that a search gives the same order on every file system.
bool ListedBefore(const Entry& a, const Entry& b) {
    const int rankA = a.name == "." ? 0 : a.name == ".." ? 1 : 2;
    const int rankB = b.name == "." ? 0 : b.name == ".." ? 1 : 2;
    if (rankA != rankB)
        return rankA < rankB;
    return a.name < b.name;
}

constexpr std::uint32_t kSearchMagic = 0x46494E44;  // "FIND"

struct Search {
    std::uint32_t magic = kSearchMagic;
    std::vector<Entry> entries;
    std::size_t next = 0;
};

Search* SearchFromHandle(HANDLE handle) {
    auto* search = static_cast<Search*>(handle);
    if (!handle || handle == INVALID_HANDLE_VALUE || search->magic != kSearchMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return search;
}

void Fill(const Entry& entry, WIN32_FIND_DATAA* data) {
    data->dwFileAttributes = entry.attributes;
    data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFFu);
    std::memcpy(data->cFileName, entry.name.c_str(), entry.name.size() + 1);
}

}  // namespace

namespace kv {
namespace platform {

bool MatchWildcard(const char* pattern, const char* name) {
    if (!pattern || !name)
        return false;
    return Matcher(pattern).Matches(name);
}

}  // namespace platform
}  // namespace kv

HANDLE FindFirstFileA(LPCSTR searchPath, WIN32_FIND_DATAA* data) {
    if (!searchPath || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder, pattern;
    SplitSearchPath(searchPath, folder, pattern);
    DIR* dir = OpenSearchFolder(folder);
    if (!dir)
        return INVALID_HANDLE_VALUE;
    std::vector<Entry> entries;
    try {
        Matcher matcher(pattern.c_str());
        const int fd = dirfd(dir);
        while (const dirent* found = readdir(dir)) {
            const std::string name = found->d_name;
            if (name.size() >= MAX_PATH || !matcher.Matches(found->d_name))
                continue;
            struct stat status;
            if (CountedStatAt(fd, found->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            const bool link = S_ISLNK(status.st_mode);
            // A link counts as what it points to; one that points nowhere is
            // listed as itself, so that a folder holding one can be emptied.
            struct stat target;
            if (link && CountedStatAt(fd, found->d_name, &target, 0) == 0)
                status = target;
            const bool isFolder = S_ISDIR(status.st_mode);
            entries.push_back({name, AttributesOf(name, status, link),
                               isFolder ? 0 : static_cast<std::uint64_t>(status.st_size)});
        }
    } catch (...) {
        closedir(dir);
        throw;
    }
    closedir(dir);

    if (entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(entries.begin(), entries.end(), ListedBefore);
    auto* search = new Search;
    search->entries = std::move(entries);
    Fill(search->entries[search->next++], data);
    return static_cast<HANDLE>(search);
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
    Search* search = SearchFromHandle(handle);
    if (!search)
        return FALSE;
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Fill(search->entries[search->next++], data);
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    Search* search = SearchFromHandle(handle);
    if (!search)
        return FALSE;
    search->magic = 0;
    delete search;
    return TRUE;
}

namespace kv {
namespace platform {

DWORD ListFolder(const char* searchPath, std::vector<FolderEntry>& entries) {
    if (!searchPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string folder, pattern;
    SplitSearchPath(searchPath, folder, pattern);
    DIR* dir = OpenSearchFolder(folder);
    if (!dir)
        return GetLastError();
    try {
        Matcher matcher(pattern.c_str());
        const int fd = dirfd(dir);
        while (const dirent* found = readdir(dir)) {
            const std::size_t length = std::strlen(found->d_name);
            if (length >= MAX_PATH || IsDotName(found->d_name) || !matcher.Matches(found->d_name))
                continue;
            // The entry's type comes with its name; only links and file
            // systems that do not give the type need a status call, made the
            // way FindFirstFileA makes it.
            unsigned char type = found->d_type;
            bool link = type == DT_LNK;
            if (type == DT_UNKNOWN || link) {
                struct stat status;
                if (CountedStatAt(fd, found->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                link = S_ISLNK(status.st_mode);
                struct stat target;
                if (link && CountedStatAt(fd, found->d_name, &target, 0) == 0)
                    status = target;
                type = S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
            }
            entries.push_back({std::string(found->d_name, length), type == DT_DIR, link});
        }
    } catch (...) {
        closedir(dir);
        throw;
    }
    closedir(dir);
    return ERROR_SUCCESS;
}

}  // namespace platform
}  // namespace kv
