// Helpers shared by the tests: temporary folders, scoped environment variables,
// files read and written with the standard library only (so that file tests
// check the layer without going through it), a status sink that records what it
// is told, and short ways to drive the XML document component.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "Backend/inc/XMLIntercessor.h"
#include "foundation/componentloader.h"
#include "win32/msxml.h"
#include "foundation/repostatus.h"
#include "foundation/stringx.h"
#include "xml/repodata.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/bstr.h"
#include "win32/codepage.h"
#include "win32/errors.h"

// The text in UTF-8, whatever the ANSI code page.
inline std::string U8(const _stringx& s) {
    const int size = static_cast<int>(s.size());
    std::string bytes(
        WideCharToMultiByte(CP_UTF8, 0, s.c_str(), size, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), size, &bytes[0], static_cast<int>(bytes.size()),
                        nullptr, nullptr);
    return bytes;
}

// UTF-8 text in the ANSI code page, for the library's narrow calls (the same
// text on POSIX, where the code page is UTF-8).
inline std::string AnsiText(const std::string& utf8) {
    return _stringx(utf8.data(), utf8.size(), CP_UTF8).narrow();
}

// UTF-8 text as a string, whatever the ANSI code page.
inline _stringx FromU8(const std::string& utf8) {
    return _stringx(utf8.data(), utf8.size(), CP_UTF8);
}

// Lets gtest print _stringx values in failure messages.
inline void PrintTo(const _stringx& s, std::ostream* os) {
    *os << '"' << U8(s) << '"';
}

namespace kvtest {

namespace fs = std::filesystem;

// This run's part of the names of temporary folders: random, or in a child
// process that re-runs a test to run one ChildProcess body (on Windows), its
// parent's, so that the child finds the parent's folders.
inline const std::string& RunId() {
    static const std::string id = [] {
        if (const char* parents = std::getenv("KVTEST_RUN_ID"))
            return std::string(parents);
        std::random_device random;
        return std::to_string(random()) + "-" + std::to_string(random());
    }();
    return id;
}

// A temporary folder, removed with everything in it at the end of the test.
// Its name is the same in every process that runs the same test of the same
// run: the run, the test and how many came before it in the test.
class TempTree {
public:
    TempTree() {
        static const testing::TestInfo* test = nullptr;
        static int count = 0;
        const testing::TestInfo* now = testing::UnitTest::GetInstance()->current_test_info();
        if (now != test)
            test = now, count = 0;
        const std::size_t testId =
            now ? std::hash<std::string>()(std::string(now->test_suite_name()) + "." + now->name())
                : 0;
        m_root = fs::temp_directory_path() /
                 ("kvtest-" + RunId() + "-" + std::to_string(testId % 100000) + "-" +
                  std::to_string(++count));
        fs::create_directories(m_root);
        m_root = fs::canonical(m_root);
    }
    ~TempTree() {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const fs::path& root() const { return m_root; }
    fs::path operator/(const fs::path& relative) const { return m_root / relative; }

    // Copies `file` to `relative`, creating the folders on the way.
    fs::path Place(const fs::path& relative, const char* file) const {
        const fs::path target = (m_root / relative).make_preferred();
        fs::create_directories(target.parent_path());
        fs::copy_file(file, target, fs::copy_options::overwrite_existing);
        return target;
    }

private:
    fs::path m_root;
};

// Sets (or with null, removes) an environment variable of this process, where
// the library's std::getenv reads it.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");  // an empty value removes it
#else
    value ? setenv(name, value, 1) : unsetenv(name);
#endif
}

// Sets (or with null, unsets) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old, m_hadOld = true;
        SetEnv(name, value);
    }
    ScopedEnv(const char* name, const fs::path& value) : ScopedEnv(name, value.string().c_str()) {}
    ~ScopedEnv() { SetEnv(m_name.c_str(), m_hadOld ? m_old.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name, m_old;
    bool m_hadOld = false;
};

// A path as the narrow (ANSI code page) text the layer's "A" calls take:
// CreateFileA(Ansi(path), ...).
class Ansi {
public:
    explicit Ansi(const fs::path& path) : m_text(path.string()) {}
    operator const char*() const { return m_text.c_str(); }

private:
    std::string m_text;
};

// Runs in `folder` until the end of the scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const fs::path& folder) : m_previous(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedCwd() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

inline bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ignored;
    return fs::equivalent(a, b, ignored);
}

// Writes `content` to `path`, creating the folders on the way; the path as
// text in the ANSI code page, as the library takes it.
inline std::string WriteText(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
#ifdef _WIN32
    return AnsiText(path.u8string());  // as the library's narrow calls take it
#else
    return path.string();
#endif
}

// The file's bytes, read whole (empty when it cannot be read).
inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string text(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0).read(&text[0], static_cast<std::streamsize>(text.size()));
    return text;
}

// The error a failed call left, next to its result.
inline DWORD Fails(BOOL result) {
    return result ? ERROR_SUCCESS : GetLastError();
}

inline fs::perms Perms(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::mask;
}

inline void SetPerms(const fs::path& path, fs::perms perms) {
    fs::permissions(path, perms, fs::perm_options::replace);
}

// A read-only file's permissions, as they are set and read back. Windows has
// only the read-only attribute: such a file reads back as readable by all.
#ifdef _WIN32
constexpr fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
#else
constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read;
#endif

// The platform, for rows of the data files that hold on one only.
#ifdef _WIN32
constexpr const char* kPlatform = "windows";
#else
constexpr const char* kPlatform = "posix";
#endif

// Why no symbolic link can be made here, or null. mingw-w64's C++ library
// makes none on Windows, and Wine's CreateSymbolicLink reports success but
// makes none either.
#ifdef _WIN32
constexpr const char* kNoSymlinks = "no symbolic links on Windows with mingw-w64 and Wine";
#else
constexpr const char* kNoSymlinks = nullptr;
#endif

// A message text of the system's: on POSIX the layer's copy of the Windows
// English text; on Windows the system's own, in its language, of which the
// library keeps no line break at the end.
inline testing::Matcher<std::string> SystemText(const std::string& english) {
#ifdef _WIN32
    (void)english;
    return testing::AllOf(testing::Not(testing::IsEmpty()), testing::Not(testing::EndsWith("\n")));
#else
    return testing::Eq(english);
#endif
}

// The path with the system's separators, as text: as the library joins it.
inline std::string Native(const fs::path& path) {
    return fs::path(path).make_preferred().string();
}

// Whether `name` is a writers' lock file (".<data file>.lock"), which stays
// beside a data file once it has been written or locked.
inline bool IsLockFile(const fs::path& path) {
    const std::string name = path.filename().string();
    return name.size() > 6 && name[0] == '.' && name.compare(name.size() - 5, 5, ".lock") == 0;
}

// The names in a folder, sorted, writers' lock files left out.
inline std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!IsLockFile(entry.path()))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every file and folder below `root`, hidden ones included, lock files unless
// left out: relative path ("/" separators) -> the file's bytes, "<folder>" for
// a folder.
inline std::map<std::string, std::string> Tree(const fs::path& root, bool lockFiles = true) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (lockFiles || !IsLockFile(entry.path()))
            entries[entry.path().lexically_relative(root).generic_string()] =
                entry.is_directory() ? "<folder>" : ReadText(entry.path());
    return entries;
}

// Removes the tree at `root` whatever the length of the paths below it (the
// standard library's removal stops at MAX_PATH on Windows).
inline void RemoveTree(const fs::path& root) {
#ifdef _WIN32
    const std::function<void(const std::wstring&)> remove = [&remove](const std::wstring& path) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    remove(path + L"\\" + name);
                else
                    DeleteFileW((path + L"\\" + name).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    };
    remove(L"\\\\?\\" + fs::absolute(root).make_preferred().wstring());
#else
    fs::remove_all(root);
#endif
}

// The permissions a new file gets here (0666 less the umask).
inline fs::perms DefaultFilePerms(const fs::path& folder) {
    const fs::path probe = folder / "default-perms-probe";
    WriteText(probe, "");
    const fs::perms perms = Perms(probe);
    fs::remove(probe);
    return perms;
}

// UTF-16LE with a byte-order mark, as Windows tools write it.
inline std::string Utf16Le(const std::basic_string<OLECHAR>& text) {
    std::string bytes = "\xFF\xFE";
    for (OLECHAR c : text)
        bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

// A text of a data file with its escapes resolved: UTF-8, or UTF-16LE after
// "utf16le: " (with a byte-order mark) or "utf16le-nobom: "; \xNN is a byte
// (\uXXXX a UTF-16 code unit), \n a line feed, \r a carriage return, \t a
// tab, \\ a backslash.
inline std::string Unescape(std::string text) {
    const bool mark = text.rfind("utf16le: ", 0) == 0;
    const bool utf16 = mark || text.rfind("utf16le-nobom: ", 0) == 0;
    if (utf16)
        text.erase(0, text.find(' ') + 1);
    std::basic_string<OLECHAR> units;
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = static_cast<unsigned char>(text[i]);
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char kind = text[++i];
            const int digits = kind == 'x' ? 2 : kind == 'u' ? 4 : 0;
            value = digits        ? std::stoul(text.substr(i + 1, digits), nullptr, 16)
                    : kind == 'n' ? '\n'
                    : kind == 'r' ? '\r'
                    : kind == 't' ? '\t'
                                  : static_cast<unsigned char>(kind);
            i += digits;
        }
        if (utf16)
            units.push_back(static_cast<OLECHAR>(value));
        else
            bytes.push_back(static_cast<char>(value));
    }
    return utf16 ? Utf16Le(units).substr(mark ? 0 : 2) : bytes;
}

// The system's text of a Win32 error code, as the library reports it.
inline std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    const std::string result = length ? std::string(text, length) : "";
    LocalFree(text);
    return result;
}

// The rows of the data file tests/data/`name`, one a line, each cut at its
// tabs into texts written as Unescape reads them; empty lines and lines that
// start with "#" are left out.
inline std::vector<std::vector<std::string>> DataRows(const char* name) {
    std::ifstream in(std::string(KVTEST_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        rows.emplace_back();
        for (std::size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
            tab = line.find('\t', start);
            rows.back().push_back(Unescape(line.substr(start, tab - start)));
        }
    }
    return rows;
}

// The documents of a data file, one a line (a tab in one written \t).
inline std::vector<std::string> DataCases(const char* name) {
    std::vector<std::string> cases;
    for (const auto& row : DataRows(name))
        cases.push_back(row[0]);
    return cases;
}

// A table of text pairs written flat, {a1, b1, a2, b2, ...}, as [a, b] pairs.
inline std::vector<std::pair<std::string, std::string>> FlatPairs(
    std::initializer_list<const char*> flat) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (auto at = flat.begin(); at != flat.end() && at + 1 != flat.end(); at += 2)
        pairs.emplace_back(at[0], at[1]);
    return pairs;
}

// Records every message and question; answers the questions as told.
class RecordingStatus : public IRepoStatus {
public:
    long OnError(const _stringx& text) override {
        messages.push_back(U8(text));
        return 0;
    }
    long OnStatus(const _stringx&) override { return 0; }
    bool OnOverwriteFile(const _stringx& path) override {
        asked.push_back("file " + U8(path));
        return allowFiles;
    }
    bool OnOverwriteFolder(const _stringx& path) override {
        asked.push_back("folder " + U8(path));
        return allowFolders;
    }
    std::vector<std::string> messages, asked;
    bool allowFiles = true, allowFolders = true;
};

// A data-backed object whose own file is set by the caller.
class DataFile : public CRepoData {
public:
    DataFile(IRepoStatus* status, std::string path) : CRepoData(status), m_path(std::move(path)) {}
    _stringx GetRepoDataFilePath() override { return _stringx(m_path); }
    using CRepoData::SaveXmlFile;

    // One attribute of the first node `xpath` selects, or "<" + status + ">".
    std::string Get(const OLECHAR* xpath, const OLECHAR* name, const std::string& file = "") {
        _stringx value(OLESTR("<unset>"));
        const long result = GetAttribValueFromXmlFile(xpath, name, value, _stringx(file));
        return result ? "<" + std::to_string(result) + ">" : U8(value);
    }
    long Set(const OLECHAR* xpath, const OLECHAR* name, const OLECHAR* value) {
        return SetAttribValueToXmlFile(xpath, name, value);
    }

private:
    std::string m_path;
};

// The text of one attribute in a map, or "<none>".
inline std::string Attr(const XmlAttribMap& map, const OLECHAR* name) {
    const auto found = map.find(_stringx(name));
    if (found == map.end())
        return "<none>";
    CComVariant text(found->second);
    text.ChangeType(VT_BSTR);
    return U8(_stringx(text.bstrVal));
}

// --- the XML document component, driven directly ---

using DocumentPtr = CComPtr<IXMLDOMDocument2>;
using NodePtr = CComPtr<IXMLDOMNode>;

inline DocumentPtr NewDocument() {
    DocumentPtr document;
    EXPECT_EQ(S_OK,
              kv::ComponentLoader::Process().CreateInstance(
                  OLESTR("msxml4.dll"), CLSID_DOMDocument40, IID_IXMLDOMDocument2, &document));
    return document;
}

// A path as OLECHAR text (UTF-16 on every platform, whatever OLECHAR is).
inline std::basic_string<OLECHAR> OleText(const fs::path& path) {
    const std::u16string text = path.u16string();
    return std::basic_string<OLECHAR>(text.begin(), text.end());
}

// Loads `path`; whether it loaded.
inline bool Load(IXMLDOMDocument2* document, const fs::path& path) {
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->load(CComVariant(OleText(path).c_str()), &loaded);
    EXPECT_EQ(hr == S_OK, loaded == VARIANT_TRUE);
    return loaded == VARIANT_TRUE;
}

// A document loaded from `bytes` (written to `file`), which must load.
inline DocumentPtr Parse(const fs::path& file, const std::string& bytes) {
    DocumentPtr document = NewDocument();
    EXPECT_TRUE(Load(document, WriteText(file, bytes)));
    return document;
}

// What saving the document to `file` writes.
inline std::string Saved(IXMLDOMDocument2* document, const fs::path& file) {
    EXPECT_EQ(S_OK, document->save(CComVariant(OleText(file).c_str())));
    return ReadText(file);
}

inline NodePtr Root(IXMLDOMDocument2* document) {
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_OK, document->get_documentElement(&root));
    return NodePtr(root.get());
}

inline NodePtr SelectOne(IXMLDOMNode* context, const OLECHAR* path) {
    NodePtr node;
    context->selectSingleNode(_stringx(path).bstr(), &node);
    return node;
}

inline std::string NameOf(IXMLDOMNode* node) {
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, node->get_nodeName(&name));
    const std::string text = U8(_stringx(name, SysStringLen(name)));
    SysFreeString(name);
    return text;
}

// The node's text value ("<null>" when it has none).
inline std::string ValueOf(IXMLDOMNode* node) {
    CComVariant value;
    EXPECT_EQ(S_OK, node->get_nodeValue(&value));
    return value.vt == VT_BSTR ? U8(_stringx(value.bstrVal, SysStringLen(value.bstrVal)))
                               : "<null>";
}

inline NodePtr AttributeNode(IXMLDOMNode* element, const OLECHAR* name) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    NodePtr attribute;
    if (element->get_attributes(&attributes) == S_OK)
        attributes->getQualifiedItem(_stringx(name).bstr(), nullptr, &attribute);
    return attribute;
}

// A selection described node by node: an element as its name (":Key" added when
// it has a Key attribute), an attribute as "@name=value", other nodes by name.
inline std::vector<std::string> Select(IXMLDOMNode* context, const OLECHAR* path) {
    CComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(S_OK, context->selectNodes(_stringx(path).bstr(), &list)) << U8(path);
    std::vector<std::string> described;
    for (NodePtr node; list && list->nextNode(&node) == S_OK; node.Release()) {
        std::string text = NameOf(node);
        DOMNodeType type = NODE_INVALID;
        if (node->get_nodeType(&type) == S_OK && type == NODE_ATTRIBUTE)
            text = "@" + text + "=" + ValueOf(node);
        else if (NodePtr key = AttributeNode(node, OLESTR("Key")))
            text += ":" + ValueOf(key);
        described.push_back(text);
    }
    return described;
}

}  // namespace kvtest
