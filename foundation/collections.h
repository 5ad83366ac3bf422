// The collections that hand repositories and items to callers: CVectorCol, an
// owning vector of object pointers, and CRepoCollection, which adds the cursor
// that callers move with MoveFirst / MoveNext.
//
// Ownership is per element, so that every element has exactly one owner
// whichever copies are made, filled and destroyed:
//  - AddToCol: the collection owns what is added to it, a copy too (what a
//    view gathers is its own).
//  - A copy (copy constructor or copy assignment) borrows every element of the
//    source and never deletes one; the source must outlive the copy's use of
//    them.
//  - A collection that is assigned keeps owning those of its elements that the
//    new content still holds (it was assigned a view of itself), borrows the
//    rest of the new content, and destroys the elements it owned that the new
//    content does not hold.
//  - A move transfers the elements, their ownership and the cursor; the source
//    is left empty, as a freshly constructed collection.
// Destruction destroys the owned elements, last to first, through their
// virtual destructors.
//
// The cursor is an element index, or kNoPosition, which stands for "at the end"
// (also for a cursor that was never positioned). Appending never moves the
// element at an index, so AddToCol can never leave the cursor dangling.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/platform/types.h"

// On ELF the templates carry default visibility so that the library and its
// callers share one type identity per instantiation; on Windows the library
// exports its two instantiations explicitly (the explicit instantiations
// beside CRepositories and CRepositoryItems).
#if defined(_WIN32)
#define KV_COLLECTION_API
#define KV_COLLECTION_INSTANCE_API KV_API
#else
#define KV_COLLECTION_API KV_API
#define KV_COLLECTION_INSTANCE_API
#endif
// Whether the library's two instantiations are declared for the code that
// includes this header: everywhere on ELF; on Windows inside the library only.
// There a caller instantiates the members it uses itself, since the
// toolchain exports no inline member of an instantiation, and a caller built
// without optimisation would find none of them in the library.
#if !defined(_WIN32) || defined(KVREPO_BUILDING)
#define KV_COLLECTION_EXTERN_INSTANCES 1
#else
#define KV_COLLECTION_EXTERN_INSTANCES 0
#endif

template <class T>
class KV_COLLECTION_API CVectorCol {
    static_assert(std::is_pointer<T>::value, "CVectorCol holds object pointers");
    static_assert(std::has_virtual_destructor<typename std::remove_pointer<T>::type>::value,
                  "elements are destroyed through their virtual destructor");

public:
    typedef typename std::vector<T>::const_iterator const_iterator;
    static constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

    CVectorCol() noexcept {}
    CVectorCol(const CVectorCol& other)
        : m_vector(other.m_vector),
          m_owned(other.m_vector.size(), false),
          m_current(other.m_current) {}
    CVectorCol(CVectorCol&& other) noexcept
        : m_vector(std::move(other.m_vector)),
          m_owned(std::move(other.m_owned)),
          m_current(other.m_current) {
        other.Reset();
    }
    virtual ~CVectorCol() { CleanupVector(); }

    CVectorCol& operator=(const CVectorCol& other) {
        if (this != &other) {
            std::vector<T> items(other.m_vector);
            std::vector<bool> owned(items.size(), false);
            Assign(items, owned, other.m_current);
        }
        return *this;
    }
    CVectorCol& operator=(CVectorCol&& other) {
        if (this != &other) {
            Assign(other.m_vector, other.m_owned, other.m_current);
            other.Reset();
        }
        return *this;
    }

    // Appends `item`, which the collection then owns, without moving the
    // cursor. When appending fails the item is destroyed and the exception
    // passed on.
    void AddToCol(T item) {
        try {
            m_vector.push_back(item);
        } catch (...) {
            delete item;
            throw;
        }
        try {
            m_owned.push_back(true);
        } catch (...) {
            m_vector.pop_back();
            delete item;
            throw;
        }
    }

    long GetCount() const { return static_cast<long>(m_vector.size()); }
    // The first / last element, null when empty. The cursor is not touched.
    T GetFirst() const { return m_vector.empty() ? nullptr : m_vector.front(); }
    T GetLast() const { return m_vector.empty() ? nullptr : m_vector.back(); }
    // One past the last element, for walking from begin() with iterators.
    const_iterator GetEnd() const { return m_vector.end(); }
    const_iterator begin() const { return m_vector.begin(); }
    const_iterator end() const { return m_vector.end(); }

protected:
    // Appends the elements of `source` with their ownership, as they are (not
    // copied); `source` is left empty, as freshly constructed. The cursor is
    // not moved. On failure both sides are unchanged.
    void TakeElements(CVectorCol& source) {
        const std::size_t size = m_vector.size();
        m_vector.insert(m_vector.end(), source.m_vector.begin(), source.m_vector.end());
        try {
            m_owned.insert(m_owned.end(), source.m_owned.begin(), source.m_owned.end());
        } catch (...) {
            m_vector.resize(size);
            throw;
        }
        source.Reset();
    }

    std::size_t& GetCurrentInternal() { return m_current; }
    // Positions of the first / last element; kNoPosition (the end) when empty.
    std::size_t GetFirstInternal() const { return m_vector.empty() ? kNoPosition : 0; }
    std::size_t GetLastInternal() const {
        return m_vector.empty() ? kNoPosition : m_vector.size() - 1;
    }

private:
    void Reset() noexcept {
        m_vector.clear();
        m_owned.clear();
        m_current = kNoPosition;
    }

    // Takes `items` with their ownership `owned` (both moved from) as the new
    // content. Everything that can throw happens before the first change, so
    // a failure leaves both sides intact.
    void Assign(std::vector<T>& items, std::vector<bool>& owned, std::size_t cursor) {
        std::vector<T> mine;
        for (std::size_t i = 0; i < m_vector.size(); ++i)
            if (m_owned[i])
                mine.push_back(m_vector[i]);
        std::vector<T> incoming(items);
        std::sort(mine.begin(), mine.end(), std::less<T>());
        std::sort(incoming.begin(), incoming.end(), std::less<T>());
        std::vector<bool> nowOwned(owned);
        for (std::size_t i = 0; i < items.size(); ++i)
            if (std::binary_search(mine.begin(), mine.end(), items[i], std::less<T>()))
                nowOwned[i] = true;
        // In array order: DestroyAll takes them from the back.
        std::vector<T> doomed;
        doomed.reserve(mine.size());
        for (std::size_t i = 0; i < m_vector.size(); ++i)
            if (m_owned[i] &&
                !std::binary_search(incoming.begin(), incoming.end(), m_vector[i], std::less<T>()))
                doomed.push_back(m_vector[i]);

        m_vector.swap(items);
        m_owned.swap(nowOwned);
        items.clear();
        owned.clear();
        m_current = cursor;
        DestroyAll(doomed);
    }

    // Destroys the elements from the back of `items` to its front. Each element
    // leaves the array before it is destroyed, so a destructor never sees it.
    static void DestroyAll(std::vector<T>& items) noexcept {
        while (!items.empty()) {
            T item = items.back();
            items.pop_back();
            delete item;
        }
    }

    // Destroys the owned elements, last to first, and empties the collection.
    void CleanupVector() noexcept {
        std::vector<T> items;
        items.swap(m_vector);
        std::vector<bool> owned;
        owned.swap(m_owned);
        m_current = kNoPosition;
        while (!items.empty()) {
            T item = items.back();
            const bool mine = owned.back();
            items.pop_back();
            owned.pop_back();
            if (mine)
                delete item;
        }
    }

    std::vector<T> m_vector;
    // Parallel to m_vector: whether this collection destroys that element.
    std::vector<bool> m_owned;
    std::size_t m_current = kNoPosition;
};

template <class T, class TCol = CVectorCol<T>>
class KV_COLLECTION_API CRepoCollection : public TCol {
public:
    CRepoCollection() noexcept {}
    CRepoCollection(const CRepoCollection& other) = default;
    CRepoCollection(CRepoCollection&& other) noexcept = default;
    CRepoCollection& operator=(const CRepoCollection& other) = default;
    CRepoCollection& operator=(CRepoCollection&& other) = default;
    ~CRepoCollection() override {}

    // Positions the cursor on the first element and returns it; null (cursor at
    // the end) when empty.
    T MoveFirst() {
        this->GetCurrentInternal() = this->GetFirstInternal();
        return At(this->GetCurrentInternal());
    }

    // At the end: returns null without moving. Otherwise advances by one and
    // returns the element there, or null when the cursor has reached the end.
    T MoveNext() {
        std::size_t& current = this->GetCurrentInternal();
        if (current >= Size())
            return nullptr;
        if (++current >= Size())
            current = TCol::kNoPosition;
        return At(current);
    }

    // Positions the cursor on the last element and returns it; null (cursor at
    // the end) when empty.
    T MoveLast() {
        this->GetCurrentInternal() = this->GetLastInternal();
        return At(this->GetCurrentInternal());
    }

private:
    std::size_t Size() const { return static_cast<std::size_t>(this->GetCount()); }
    T At(std::size_t position) const {
        return position < Size() ? *(this->begin() + position) : nullptr;
    }
};
