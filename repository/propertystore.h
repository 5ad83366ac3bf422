// PropertyStore: the text properties of one item, by name (ordinal, code unit
// by code unit, case-sensitive, as _stringx compares), kept in name order in
// one block: a listing makes thousands of items, and a map of strings and
// variants cost each of them some twenty blocks. PropertyList gathers the
// name-value pairs for one store; it is meant to be reused from store to store.
//
// Every operation that changes a store makes its new block first and changes
// nothing when that fails (std::bad_alloc, also for a store past 4 G units).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/platform/types.h"

namespace kv {

typedef std::basic_string_view<OLECHAR> text_view;

class KV_API PropertyList {
public:
    // Appends a pair, copying its texts; a later pair replaces an earlier one
    // of the same name.
    void Add(text_view name, text_view value);
    // Appends a pair whose texts the caller keeps, unchanged, until the list
    // is assigned or cleared: what a listing adds for each of thousands of
    // items is copied once, into the store, not twice.
    void AddKept(text_view name, text_view value);
    // Appends a pair given as UTF-8 (valid UTF-8: a byte that is not becomes
    // U+FFFD), converted and copied.
    void AddUtf8(std::string_view name, std::string_view value);
    void Clear();
    bool Empty() const { return m_pairs.empty(); }

private:
    friend class PropertyStore;
    // A text the list holds (`kept` null: at `at` in m_text) or one its
    // caller keeps.
    struct Text {
        const OLECHAR* kept;
        std::size_t at, length;
    };
    struct Pair {
        Text name, value;
    };
    text_view Resolve(const Text& text) const {
        return text_view(text.kept ? text.kept : m_text.data() + text.at, text.length);
    }
    std::basic_string<OLECHAR> m_text;
    std::vector<Pair> m_pairs;
    // Assign's work space: the pairs in name order, then the last of each name.
    std::vector<std::pair<text_view, text_view>> m_updates;
};

class KV_API PropertyStore {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    PropertyStore() noexcept {}
    PropertyStore(const PropertyStore& other);
    PropertyStore(PropertyStore&& other) noexcept : m_block(other.m_block) {
        other.m_block = nullptr;
    }
    PropertyStore& operator=(const PropertyStore& other);
    PropertyStore& operator=(PropertyStore&& other) noexcept;
    ~PropertyStore();

    std::size_t Size() const;
    // The position of `name`, or npos.
    std::size_t Find(text_view name) const;
    // The name and value at a position (0 to Size() - 1, in name order).
    text_view Name(std::size_t at) const;
    text_view Value(std::size_t at) const;

    // Stores `value` under `name`, replacing what the store held under it.
    void Set(text_view name, text_view value);
    // Stores every entry of `other`, replacing the entries of the same names.
    void SetAll(const PropertyStore& other);
    // Replaces the whole content with the list's pairs.
    void Assign(PropertyList& list);
    void Clear() noexcept;
    void Swap(PropertyStore& other) noexcept { std::swap(m_block, other.m_block); }

private:
    struct Header;
    struct Entry;
    typedef std::vector<std::pair<text_view, text_view>> Updates;

    // A new block holding this store's entries with `updates` (in name order,
    // one per name) stored over them.
    Header* Merged(const std::pair<text_view, text_view>* updates, std::size_t count) const;
    void Replace(Header* block) noexcept;

    Header* m_block = nullptr;
};

}  // namespace kv
