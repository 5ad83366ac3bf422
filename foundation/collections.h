// The collections that hand repositories and items to callers: CVectorCol, an
// owning vector of object pointers, and CRepoCollection, which adds the cursor
// that callers move with MoveFirst / MoveNext.
//
// Ownership. A collection that fills itself with AddToCol owns its elements and
// destroys them, last to first, through their virtual destructors when it is
// destroyed. Copies never own:
//  - A copy (copy constructor or copy assignment) is a non-owning view: it takes
//    the element pointers and the cursor and never deletes an element; the
//    source keeps ownership and must outlive the view's use of the elements.
//  - An owning collection that is assigned destroys those of its elements that
//    the new content does not hold. When everything it receives was already its
//    own (it is assigned a view of itself, or nothing) it stays the owner;
//    otherwise it takes the source's role: a view after a copy, the source's
//    ownership after a move.
//  - A move transfers the elements, the cursor and the ownership; the source is
//    left empty, as a freshly constructed collection.
//  - A view does not own what is added to it with AddToCol either.
// So no element is ever deleted twice, whichever copies are made and destroyed.
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

#include "foundation/platform/wintypes.h"

// On ELF the templates carry default visibility so that the library and its
// callers share one type identity per instantiation; on Windows the library
// exports its two instantiations explicitly where it defines their users.
#if defined(_WIN32)
#define KV_COLLECTION_API
#else
#define KV_COLLECTION_API KV_API
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
        : m_vector(other.m_vector), m_current(other.m_current), m_owns(false) {}
    CVectorCol(CVectorCol&& other) noexcept
        : m_vector(std::move(other.m_vector)), m_current(other.m_current), m_owns(other.m_owns) {
        other.Reset();
    }
    virtual ~CVectorCol() {
        if (m_owns)
            CleanupVector();
    }

    CVectorCol& operator=(const CVectorCol& other) {
        if (this != &other) {
            std::vector<T> items(other.m_vector);
            Assign(items, other.m_current, false);
        }
        return *this;
    }
    CVectorCol& operator=(CVectorCol&& other) {
        if (this != &other) {
            Assign(other.m_vector, other.m_current, other.m_owns);
            other.Reset();
        }
        return *this;
    }

    // Appends `item` without moving the cursor. An owning collection takes
    // ownership, also when appending fails: the item is then destroyed and the
    // exception passed on.
    void AddToCol(T item) {
        try {
            m_vector.push_back(item);
        } catch (...) {
            if (m_owns)
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

    // True when this collection destroys its elements (see the rules above).
    bool OwnsElements() const { return m_owns; }

protected:
    // Hands every element to the caller, who takes over their ownership when
    // this collection owned them (OwnsElements()); the collection is left
    // empty, as freshly constructed. For a derived collection that passes its
    // elements on instead of copying them.
    std::vector<T> ReleaseElements() noexcept {
        std::vector<T> items;
        items.swap(m_vector);
        Reset();
        return items;
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
        m_current = kNoPosition;
        m_owns = true;
    }

    // Takes `items` (moved from) as the new content. Everything that can throw
    // happens before the first change, so a failure leaves both sides intact.
    void Assign(std::vector<T>& items, std::size_t cursor, bool itemsOwned) {
        std::vector<T> doomed;
        bool keepOwnership = false;
        if (m_owns) {
            std::vector<T> incoming(items);
            std::vector<T> mine(m_vector);
            std::sort(incoming.begin(), incoming.end(), std::less<T>());
            std::sort(mine.begin(), mine.end(), std::less<T>());
            keepOwnership = std::includes(mine.begin(), mine.end(), incoming.begin(),
                                          incoming.end(), std::less<T>());
            doomed.reserve(m_vector.size());
            // In array order: DestroyAll takes them from the back.
            for (T item : m_vector)
                if (!std::binary_search(incoming.begin(), incoming.end(), item, std::less<T>()))
                    doomed.push_back(item);
        }
        m_vector = std::move(items);
        items.clear();
        m_current = cursor;
        m_owns = itemsOwned || keepOwnership;
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

    void CleanupVector() noexcept {
        DestroyAll(m_vector);
        m_current = kNoPosition;
    }

    std::vector<T> m_vector;
    std::size_t m_current = kNoPosition;
    bool m_owns = true;
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
