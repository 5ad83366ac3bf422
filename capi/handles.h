// The C interface's handles: what each keeps alive, so that every handle
// lives until its caller frees it, whatever is freed or reloaded meanwhile.
//
// A manager's state (its callbacks and its C++ manager) is shared by every
// handle made from it. A repository handle owns a copy of its CRepository,
// shared with the items listed from it. Items live in stores (the listing
// that found them, or one new item), shared by the list and every item
// handle of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capi/call.h"
#include "kvrepo.h"
#include "kvrepo_c.h"

namespace kvc {

// The C++ manager, with the operations the C interface offers that it keeps
// to its subclasses.
class OpenManager final : public CRepositoryMgr {
public:
    using CRepositoryMgr::CRepositoryMgr;
    using CRepositoryMgr::GetRepoTemplatePath;
    using CRepositoryMgr::SetupNewRepository;
};

struct ManagerState {
    Sink sink;
    _stringx listPath;
    std::string listPathUtf8;
    std::unique_ptr<OpenManager> manager;
};

struct RepositoryState {
    RepositoryState(std::shared_ptr<ManagerState> owner, const CRepository& from)
        : manager(std::move(owner)), repository(from) {}
    std::shared_ptr<ManagerState> manager;
    CRepository repository;  // a copy of the list's, whose status is the manager's sink
};

// The items one handle or list refers to, with what they refer to.
struct ItemStore {
    std::vector<std::shared_ptr<RepositoryState>> repositories;
    std::vector<std::unique_ptr<CRepositoryItems>> collections;
    std::vector<std::unique_ptr<CRepositoryItem>> items;
};

}  // namespace kvc

struct kvrepo_manager {
    std::shared_ptr<kvc::ManagerState> state;
};

struct kvrepo_repository {
    explicit kvrepo_repository(std::shared_ptr<kvc::RepositoryState> from);
    std::shared_ptr<kvc::RepositoryState> state;
    std::string key, dataFile;  // UTF-8, as read when made
};

struct kvrepo_repository_list {
    std::vector<std::unique_ptr<kvrepo_repository>> repositories;
};

struct kvrepo_item {
    std::shared_ptr<kvc::ItemStore> store;
    CRepositoryItem* item;
    std::shared_ptr<kvc::RepositoryState> repository;
};

struct kvrepo_item_list {
    std::shared_ptr<kvc::ItemStore> store;
    std::vector<std::unique_ptr<kvrepo_item>> items;
};

struct kvrepo_string_list {
    std::vector<std::string> strings;
};

namespace kvc {

// The sink every call on `repository` reports to.
inline Sink* SinkOf(const kvrepo_repository* repository) {
    return repository ? &repository->state->manager->sink : nullptr;
}

// A new handle that owns `value`; throws std::bad_alloc.
template <class T, class... Args>
T* Make(Args&&... args) {
    return new T{std::forward<Args>(args)...};
}

// Sets `*out` to null and answers KVREPO_E_NULL_ARGUMENT when `out` is null.
template <class T>
int ClearOut(T** out) {
    if (!out)
        return KVREPO_E_NULL_ARGUMENT;
    *out = nullptr;
    return KVREPO_OK;
}

// ClearOut, then KVREPO_E_NULL_ARGUMENT for a null `handle`: the opening of
// every call that answers through `out` on a handle.
template <class T, class Handle>
int ClearOut(T** out, const Handle* handle) {
    if (const int status = ClearOut(out))
        return status;
    return handle ? KVREPO_OK : KVREPO_E_NULL_ARGUMENT;
}

// The list of `store`'s items, each a borrowed handle.
kvrepo_item_list* ListOf(std::shared_ptr<ItemStore> store);

}  // namespace kvc
