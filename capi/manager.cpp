// The C interface's manager: opening a repository list, finding repositories,
// gathering items across them, creating repositories.
#include "capi/handles.h"
#include "capi/text.h"

using kvc::Call;
using kvc::ClearOut;
using kvc::FromUtf8;
using kvc::TextUse;

kvrepo_repository::kvrepo_repository(std::shared_ptr<kvc::RepositoryState> from)
    : state(std::move(from)),
      key(kvc::ToUtf8(state->repository.GetKey())),
      dataFile(kvc::ToUtf8(state->repository.GetRepoDataFilePath())) {}

namespace kvc {

kvrepo_item_list* ListOf(std::shared_ptr<ItemStore> store) {
    std::unique_ptr<kvrepo_item_list> list(new kvrepo_item_list);
    list->store = store;
    std::size_t at = 0;
    for (const auto& collection : store->collections) {
        const std::shared_ptr<RepositoryState>& repository = store->repositories.at(at++);
        for (CRepositoryItem* item : *collection)
            list->items.push_back(
                std::unique_ptr<kvrepo_item>(new kvrepo_item{store, item, repository}));
    }
    return list.release();
}

}  // namespace kvc

namespace {

// The manager's list loaded afresh with `filter` (null: every entry).
int Load(kvrepo_manager* manager, const char* filter, bool includeMissing, CRepositories*& list) {
    list = nullptr;
    const long status = manager->state->manager->GetRepositories(filter, &list, includeMissing);
    if (status != 0)
        return static_cast<int>(status);
    return list ? KVREPO_OK : KVREPO_E_LIST_NOT_CREATED;
}

std::shared_ptr<kvc::RepositoryState> StateOf(kvrepo_manager* manager,
                                              const CRepository& repository) {
    return std::make_shared<kvc::RepositoryState>(manager->state, repository);
}

}  // namespace

extern "C" {

int kvrepo_manager_open(const char* list_path, const kvrepo_callbacks* callbacks,
                        kvrepo_manager** out) {
    return Call([&] {
        if (const int status = ClearOut(out))
            return status;
        auto state = std::make_shared<kvc::ManagerState>();
        if (const int status = state->sink.Set(callbacks))
            return status;
        if (list_path) {
            if (const int status = FromUtf8(list_path, TextUse::kPath, state->listPath))
                return status;
        } else if (const DWORD error = kv::PerUserListFile(state->listPath)) {
            kvc::Report(&state->sink,
                        state->listPath.empty()
                            ? std::string("no per-user settings folder")
                            : "cannot create the repository list " + kvc::ToUtf8(state->listPath));
            return static_cast<int>(error);
        }
        state->listPathUtf8 = kvc::ToUtf8(state->listPath);
        state->manager.reset(new kvc::OpenManager(state->listPath.narrow(), &state->sink));
        *out = new kvrepo_manager{state};
        return KVREPO_OK;
    });
}

void kvrepo_manager_close(kvrepo_manager* manager) {
    delete manager;
}

const char* kvrepo_manager_list_path(const kvrepo_manager* manager) {
    return manager ? manager->state->listPathUtf8.c_str() : nullptr;
}

int kvrepo_manager_set_callbacks(kvrepo_manager* manager, const kvrepo_callbacks* callbacks) {
    return Call([&] {
        if (!manager)
            return KVREPO_E_NULL_ARGUMENT;
        return manager->state->sink.Set(callbacks);
    });
}

int kvrepo_manager_repository(kvrepo_manager* manager, const char* key, int include_missing,
                              kvrepo_repository** out) {
    return Call([&] {
        if (const int status = ClearOut(out, manager))
            return status;
        _stringx wide;
        if (const int status = FromUtf8(key, TextUse::kNarrowed, wide))
            return status;
        if (wide.empty())
            return KVREPO_E_BAD_ARGUMENT;  // the list reads an empty key as "all"
        CRepositories* list = nullptr;
        if (const int status = Load(manager, wide.narrow(), include_missing != 0, list))
            return status;
        CRepository* found = list->MoveFirst();
        if (!found)
            return KVREPO_E_NO_SUCH_REPOSITORY;
        *out = new kvrepo_repository(StateOf(manager, *found));
        return KVREPO_OK;
    });
}

int kvrepo_manager_repositories(kvrepo_manager* manager, const char* key_filter,
                                int include_missing, kvrepo_repository_list** out) {
    return Call([&] {
        if (const int status = ClearOut(out, manager))
            return status;
        _stringx wide;
        if (const int status = FromUtf8(key_filter, TextUse::kNarrowed, wide, true))
            return status;
        CRepositories* list = nullptr;
        if (const int status =
                Load(manager, wide.empty() ? nullptr : wide.narrow(), include_missing != 0, list))
            return status;
        std::unique_ptr<kvrepo_repository_list> result(new kvrepo_repository_list);
        for (CRepository* repository = list->MoveFirst(); repository; repository = list->MoveNext())
            result->repositories.emplace_back(new kvrepo_repository(StateOf(manager, *repository)));
        *out = result.release();
        return KVREPO_OK;
    });
}

int kvrepo_manager_items(kvrepo_manager* manager, const char* item_path, int all_repositories,
                         kvrepo_item_list** out) {
    return Call([&] {
        if (const int status = ClearOut(out, manager))
            return status;
        _stringx path;
        if (const int status = FromUtf8(item_path, TextUse::kNarrowed, path))
            return status;
        CRepositories* list = nullptr;
        if (const int status = Load(manager, nullptr, false, list))
            return status;
        // As CRepositories::GetRepositoryItems gathers them, but into a
        // store of the caller's, which no later call deletes.
        auto store = std::make_shared<kvc::ItemStore>();
        for (CRepository* repository = list->MoveFirst(); repository;
             repository = list->MoveNext()) {
            if (!all_repositories && !repository->GetLocal())
                continue;
            auto state = StateOf(manager, *repository);
            std::unique_ptr<CRepositoryItems> items;
            const long status = kv::ListItems(state->repository, path.narrow(), items);
            if (status != 0)
                return static_cast<int>(status);
            if (!items)
                return KVREPO_E_COLLECTION_NOT_CREATED;
            store->repositories.push_back(std::move(state));
            store->collections.push_back(std::move(items));
        }
        *out = kvc::ListOf(store);
        return KVREPO_OK;
    });
}

int kvrepo_manager_create_repository(kvrepo_manager* manager, const char* key,
                                     const char* data_file_path) {
    return Call([&] {
        if (!manager)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wideKey, path;
        if (const int status = FromUtf8(key, TextUse::kNarrowed, wideKey))
            return status;
        if (const int status = FromUtf8(data_file_path, TextUse::kPath, path))
            return status;
        CRepository* created = nullptr;
        return static_cast<int>(manager->state->manager->CreateRepository(wideKey, path, &created));
    });
}

int kvrepo_manager_template_path(kvrepo_manager* manager, char** path) {
    return Call([&] {
        if (const int status = ClearOut(path))
            return status;
        if (!manager)
            return KVREPO_E_NULL_ARGUMENT;
        *path = kvc::OwnedUtf8(manager->state->manager->GetRepoTemplatePath());
        return KVREPO_OK;
    });
}

int kvrepo_manager_setup_repository(kvrepo_manager* manager, const char* data_file_path) {
    return Call([&] {
        if (!manager)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx path;
        if (const int status = FromUtf8(data_file_path, TextUse::kPath, path))
            return status;
        return static_cast<int>(manager->state->manager->SetupNewRepository(path));
    });
}

size_t kvrepo_repository_list_count(const kvrepo_repository_list* list) {
    return list ? list->repositories.size() : 0;
}

kvrepo_repository* kvrepo_repository_list_at(const kvrepo_repository_list* list, size_t index) {
    return list && index < list->repositories.size() ? list->repositories[index].get() : nullptr;
}

void kvrepo_repository_list_free(kvrepo_repository_list* list) {
    delete list;
}

}  // extern "C"
