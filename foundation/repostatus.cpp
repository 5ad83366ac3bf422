#include "foundation/repostatus.h"

#include <vector>

#include "foundation/ownmodule.h"
#include "win32/resources.h"

bool IRepoStatus::OnOverwriteFile(const _stringx&) {
    return true;
}
bool IRepoStatus::OnOverwriteFolder(const _stringx&) {
    return true;
}

CRepoStatusBase::~CRepoStatusBase() = default;

bool CRepoStatusBase::OnOverwriteFile(const _stringx& path) {
    return m_pRepoStatus ? m_pRepoStatus->OnOverwriteFile(path) : true;
}

bool CRepoStatusBase::OnOverwriteFolder(const _stringx& path) {
    return m_pRepoStatus ? m_pRepoStatus->OnOverwriteFolder(path) : true;
}

void CRepoStatusBase::LogError(long, unsigned int id) {
    Report(id, nullptr, 0, false);
}

void CRepoStatusBase::LogError1(long, unsigned int id, const _stringx& arg1) {
    const OLECHAR* args[] = {arg1.c_str()};
    Report(id, args, 1, true);
}

void CRepoStatusBase::LogError2(long, unsigned int id, const _stringx& arg1, const _stringx& arg2) {
    const OLECHAR* args[] = {arg1.c_str(), arg2.c_str()};
    Report(id, args, 2, true);
}

void CRepoStatusBase::Report(unsigned int id, const OLECHAR* const* args, std::size_t count,
                             bool expand) {
    if (!m_pRepoStatus)
        return;
    _stringx text = kv::LoadMessage(id);
    if (expand && !text.empty())
        text = kv::ExpandMessage(text, args, count);
    m_pRepoStatus->OnError(text);
}

namespace kv {

_stringx LoadMessage(unsigned int id) {
    HMODULE module = GetLibraryModule();
    // Grow the buffer while the text may have been cut short.
    std::vector<char> buffer(512);
    int length = LoadStringA(module, id, buffer.data(), static_cast<int>(buffer.size()));
    while (static_cast<int>(buffer.size()) - length <= 2) {
        buffer.resize(buffer.size() + 256);
        length = LoadStringA(module, id, buffer.data(), static_cast<int>(buffer.size()));
    }
    return length > 0 ? _stringx(buffer.data()) : _stringx();
}

namespace {

// The argument index a placeholder character selects (1-based), or 0 when the
// character does not make a placeholder.
std::size_t PlaceholderIndex(OLECHAR c, bool& isPlaceholder) {
    isPlaceholder = true;
    if (c >= OLESTR('0') && c <= OLESTR('9'))
        return static_cast<std::size_t>(c - OLESTR('0'));
    if (c >= OLESTR('A') && c <= OLESTR('Z'))
        return static_cast<std::size_t>(c - OLESTR('A')) + 10;
    isPlaceholder = false;
    return 0;
}

}  // namespace

_stringx ExpandMessage(const _stringx& text, const OLECHAR* const* args, std::size_t count) {
    _stringx result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool placeholder = false;
        const std::size_t index = text[i] == OLESTR('%') && i + 1 < text.size()
                                      ? PlaceholderIndex(text[i + 1], placeholder)
                                      : 0;
        if (!placeholder) {
            result.push_back(text[i]);
            continue;
        }
        ++i;
        if (index < 1 || index > count)
            result.push_back(OLESTR('?'));
        else if (args[index - 1])
            result.append(args[index - 1]);
    }
    return result;
}

}  // namespace kv
