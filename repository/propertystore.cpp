#include "repository/propertystore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "foundation/platform/utf8.h"

namespace kv {

// The block: the header, the entries in name order, then their texts (no
// terminators), which the entries locate by offset and length in units.
struct PropertyStore::Header {
    std::uint32_t count;
    std::uint32_t units;
};

struct PropertyStore::Entry {
    std::uint32_t name, nameLength, value, valueLength;
};

namespace {

template <class Entry, class Header>
const Entry* EntriesOf(const Header* block) {
    return reinterpret_cast<const Entry*>(block + 1);
}

}  // namespace

void PropertyList::Add(text_view name, text_view value) {
    const std::size_t at = m_text.size();
    m_pairs.push_back({{nullptr, at, name.size()}, {nullptr, at + name.size(), value.size()}});
    m_text.append(name.data(), name.size());
    m_text.append(value.data(), value.size());
}

namespace {

// Writes ASCII text as UTF-16 at `out`; false, with `out` written to no
// purpose, when the text is not ASCII.
bool PutAscii(std::string_view text, OLECHAR* out) {
    unsigned bits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        bits |= c;
        out[i] = c;
    }
    return bits < 0x80;
}

}  // namespace

void PropertyList::AddUtf8(std::string_view name, std::string_view value) {
    // Nearly every text is ASCII, one unit a byte: both are written by one
    // loop into room made once, other text by the code base's one decoder.
    const std::size_t at = m_text.size();
    m_text.resize(at + name.size() + value.size());
    std::size_t nameUnits = name.size();
    if (!PutAscii(name, &m_text[at]) || !PutAscii(value, &m_text[at + name.size()])) {
        m_text.resize(at);
        utf8::AppendToUtf16(m_text, name.data(), name.size(), false);
        nameUnits = m_text.size() - at;
        utf8::AppendToUtf16(m_text, value.data(), value.size(), false);
    }
    m_pairs.push_back(
        {{nullptr, at, nameUnits}, {nullptr, at + nameUnits, m_text.size() - at - nameUnits}});
}

void PropertyList::AddKept(text_view name, text_view value) {
    // An empty view may have no text at all: any non-null one does.
    static const OLECHAR kEmpty[] = {0};
    m_pairs.push_back({{name.empty() ? kEmpty : name.data(), 0, name.size()},
                       {value.empty() ? kEmpty : value.data(), 0, value.size()}});
}

void PropertyList::Clear() {
    m_text.clear();
    m_pairs.clear();
}

PropertyStore::PropertyStore(const PropertyStore& other) {
    if (!other.m_block)
        return;
    const std::size_t bytes = sizeof(Header) + other.m_block->count * sizeof(Entry) +
                              other.m_block->units * sizeof(OLECHAR);
    void* block = std::malloc(bytes);
    if (!block)
        throw std::bad_alloc();
    std::memcpy(block, other.m_block, bytes);
    m_block = static_cast<Header*>(block);
}

PropertyStore& PropertyStore::operator=(const PropertyStore& other) {
    if (this != &other) {
        PropertyStore copy(other);
        Swap(copy);
    }
    return *this;
}

PropertyStore& PropertyStore::operator=(PropertyStore&& other) noexcept {
    if (this != &other) {
        Replace(other.m_block);
        other.m_block = nullptr;
    }
    return *this;
}

PropertyStore::~PropertyStore() {
    std::free(m_block);
}

void PropertyStore::Replace(Header* block) noexcept {
    std::free(m_block);
    m_block = block;
}

void PropertyStore::Clear() noexcept {
    Replace(nullptr);
}

std::size_t PropertyStore::Size() const {
    return m_block ? m_block->count : 0;
}

text_view PropertyStore::Name(std::size_t at) const {
    const Entry& entry = EntriesOf<Entry>(m_block)[at];
    const OLECHAR* text = reinterpret_cast<const OLECHAR*>(EntriesOf<Entry>(m_block) + Size());
    return text_view(text + entry.name, entry.nameLength);
}

text_view PropertyStore::Value(std::size_t at) const {
    const Entry& entry = EntriesOf<Entry>(m_block)[at];
    const OLECHAR* text = reinterpret_cast<const OLECHAR*>(EntriesOf<Entry>(m_block) + Size());
    return text_view(text + entry.value, entry.valueLength);
}

std::size_t PropertyStore::Find(text_view name) const {
    std::size_t low = 0, high = Size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const int order = Name(middle).compare(name);
        if (order == 0)
            return middle;
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return npos;
}

PropertyStore::Header* PropertyStore::Merged(const std::pair<text_view, text_view>* updates,
                                             std::size_t count) const {
    // Walks the merge of the two sequences (both in name order, an update
    // winning over an entry of the same name) once to size the block and once
    // to fill it.
    auto walk = [&](auto take) {
        std::size_t i = 0, j = 0;
        const std::size_t size = Size();
        while (i < size || j < count) {
            const int order = i == size ? 1 : j == count ? -1 : Name(i).compare(updates[j].first);
            if (order < 0) {
                take(Name(i), Value(i));
                ++i;
            } else {
                take(updates[j].first, updates[j].second);
                ++j;
                i += order == 0;
            }
        }
    };
    std::size_t entries = 0, units = 0;
    walk([&](text_view name, text_view value) {
        ++entries;
        units += name.size() + value.size();
    });
    if (entries == 0)
        return nullptr;
    constexpr std::size_t kLimit = std::numeric_limits<std::uint32_t>::max() / 4;
    if (entries > kLimit || units > kLimit)
        throw std::bad_alloc();
    void* memory = std::malloc(sizeof(Header) + entries * sizeof(Entry) + units * sizeof(OLECHAR));
    if (!memory)
        throw std::bad_alloc();
    Header* block = static_cast<Header*>(memory);
    block->count = static_cast<std::uint32_t>(entries);
    block->units = static_cast<std::uint32_t>(units);
    Entry* entry = reinterpret_cast<Entry*>(block + 1);
    OLECHAR* const text = reinterpret_cast<OLECHAR*>(entry + entries);
    std::uint32_t at = 0;
    walk([&](text_view name, text_view value) {
        entry->name = at;
        entry->nameLength = static_cast<std::uint32_t>(name.size());
        std::memcpy(text + at, name.data(), name.size() * sizeof(OLECHAR));
        at += entry->nameLength;
        entry->value = at;
        entry->valueLength = static_cast<std::uint32_t>(value.size());
        std::memcpy(text + at, value.data(), value.size() * sizeof(OLECHAR));
        at += entry->valueLength;
        ++entry;
    });
    return block;
}

void PropertyStore::Set(text_view name, text_view value) {
    const std::pair<text_view, text_view> update(name, value);
    Replace(Merged(&update, 1));
}

void PropertyStore::SetAll(const PropertyStore& other) {
    if (other.Size() == 0)
        return;
    Updates updates;
    updates.reserve(other.Size());
    for (std::size_t i = 0; i < other.Size(); ++i)
        updates.emplace_back(other.Name(i), other.Value(i));
    Replace(Merged(updates.data(), updates.size()));
}

void PropertyStore::Assign(PropertyList& list) {
    std::vector<std::pair<text_view, text_view>>& updates = list.m_updates;
    updates.clear();
    for (const PropertyList::Pair& pair : list.m_pairs)
        updates.emplace_back(list.Resolve(pair.name), list.Resolve(pair.value));
    // Names mostly differ in their first unit, which is tested inline.
    auto before = [](const std::pair<text_view, text_view>& a,
                     const std::pair<text_view, text_view>& b) {
        if (!a.first.empty() && !b.first.empty() && a.first[0] != b.first[0])
            return a.first[0] < b.first[0];
        return a.first < b.first;
    };
    // Stable, so that the last pair of a name comes last among its equals. A
    // list holds a handful of pairs: those are sorted by insertion, without
    // the work space that the library's stable sort allocates.
    if (updates.size() > 16) {
        std::stable_sort(updates.begin(), updates.end(), before);
    } else {
        for (std::size_t k = 1; k < updates.size(); ++k)
            for (std::size_t at = k; at > 0 && before(updates[at], updates[at - 1]); --at)
                std::swap(updates[at], updates[at - 1]);
    }
    // The last of each name only.
    std::size_t kept = 0;
    for (std::size_t k = 0; k < updates.size(); ++k)
        if (k + 1 == updates.size() || updates[k].first != updates[k + 1].first)
            updates[kept++] = updates[k];
    updates.resize(kept);
    PropertyStore empty;
    Replace(empty.Merged(updates.data(), updates.size()));
}

}  // namespace kv
