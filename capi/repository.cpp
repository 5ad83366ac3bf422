// The C interface's repositories: their entry in the list, their items, new
// items to publish.
#include "capi/handles.h"
#include "capi/text.h"
#include "xml/xpath.h"

using kvc::Call;
using kvc::ClearOut;
using kvc::FromUtf8;
using kvc::TextUse;

extern "C" {

const char* kvrepo_repository_key(const kvrepo_repository* repository) {
    return repository ? repository->key.c_str() : nullptr;
}

const char* kvrepo_repository_data_file(const kvrepo_repository* repository) {
    return repository ? repository->dataFile.c_str() : nullptr;
}

int kvrepo_repository_is_local(const kvrepo_repository* repository) {
    return repository && repository->state->repository.GetLocal() ? 1 : 0;
}

int kvrepo_repository_exists(const kvrepo_repository* repository) {
    try {
        return repository && kv::FileExists(repository->state->repository.GetRepoDataFilePath())
                   ? 1
                   : 0;
    } catch (...) {
        return 0;
    }
}

int kvrepo_repository_get_property(kvrepo_repository* repository, const char* name, char** value) {
    return Call([&] {
        if (const int status = ClearOut(value))
            return status;
        if (!repository)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wide, found;
        if (const int status = FromUtf8(name, TextUse::kPlain, wide))
            return status;
        if (const long status = repository->state->repository.GetProperty(wide, &found))
            return static_cast<int>(status);
        *value = kvc::OwnedUtf8(found);
        return KVREPO_OK;
    });
}

int kvrepo_repository_set_property(kvrepo_repository* repository, const char* name,
                                   const char* value) {
    return Call([&] {
        if (!repository)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wideName, wideValue;
        if (const int status = FromUtf8(name, TextUse::kPlain, wideName))
            return status;
        // A Path reaches the system when the list is read again.
        const TextUse use =
            wideName == _stringx(OLESTR("Path")) ? TextUse::kNarrowed : TextUse::kPlain;
        if (const int status = FromUtf8(value, use, wideValue))
            return status;
        return static_cast<int>(repository->state->repository.PutProperty(wideName, wideValue));
    });
}

int kvrepo_repository_property_names(kvrepo_repository* repository, kvrepo_string_list** out) {
    return Call([&] {
        if (const int status = ClearOut(out, repository))
            return status;
        CRepository& it = repository->state->repository;
        XmlAttribMap attributes;
        // The entry GetProperty reads; an empty key selects none.
        if (!it.GetKey().empty())
            if (const long status = it.GetAttribValuesFromXmlFile(
                    xmlutils::FormatXPath(xmlutils::kXPathRepositoryByAttrib,
                                          {_stringx(OLESTR("Key")), it.GetKey()}),
                    attributes, it.GetListFilePath()))
                return static_cast<int>(status);
        std::unique_ptr<kvrepo_string_list> list(new kvrepo_string_list);
        for (const auto& attribute : attributes)
            list->strings.push_back(kvc::ToUtf8(attribute.first));
        *out = list.release();
        return KVREPO_OK;
    });
}

int kvrepo_repository_items(kvrepo_repository* repository, const char* item_path,
                            kvrepo_item_list** out) {
    return Call([&] {
        if (const int status = ClearOut(out, repository))
            return status;
        _stringx path;
        if (const int status = FromUtf8(item_path, TextUse::kNarrowed, path))
            return status;
        std::unique_ptr<CRepositoryItems> items;
        const long status = kv::ListItems(repository->state->repository, path.narrow(), items);
        if (status != 0)
            return static_cast<int>(status);
        if (!items)
            return KVREPO_E_COLLECTION_NOT_CREATED;
        auto store = std::make_shared<kvc::ItemStore>();
        store->repositories.push_back(repository->state);
        store->collections.push_back(std::move(items));
        *out = kvc::ListOf(store);
        return KVREPO_OK;
    });
}

int kvrepo_repository_new_item(kvrepo_repository* repository, const char* display_path,
                               kvrepo_item** out) {
    return Call([&] {
        if (const int status = ClearOut(out, repository))
            return status;
        _stringx path;
        if (const int status = FromUtf8(display_path, TextUse::kNarrowed, path))
            return status;
        CRepositoryItem* raw = nullptr;
        const long status = repository->state->repository.CreateRepositoryItem(path.narrow(), &raw);
        std::unique_ptr<CRepositoryItem> item(raw);
        if (status != 0)
            return static_cast<int>(status);
        if (!item)
            return KVREPO_E_COLLECTION_NOT_CREATED;
        auto store = std::make_shared<kvc::ItemStore>();
        store->repositories.push_back(repository->state);
        CRepositoryItem* const made = item.get();
        store->items.push_back(std::move(item));
        *out = new kvrepo_item{store, made, repository->state};
        return KVREPO_OK;
    });
}

int kvrepo_repository_publish_path(kvrepo_repository* repository, const char* type,
                                   const char* file_name, char** display_path) {
    return Call([&] {
        if (const int status = ClearOut(display_path))
            return status;
        if (!repository)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wideType, name;
        if (const int status = FromUtf8(type, TextUse::kPlain, wideType))
            return status;
        if (const int status = FromUtf8(file_name, TextUse::kNarrowed, name))
            return status;
        CRepository& own = repository->state->repository;
        XMLIntercessor document;
        if (const long status = own.OpenXmlFile(document))
            return static_cast<int>(status);
        const kv::RepositoryFolder folder(own.GetRepoDataFilePath());
        const kv::ItemGroups groups(document, folder, wideType);
        _stringx why;
        const kv::ItemGroup* group =
            groups.PublicationGroup(wideType, kv::LowerFileName(name), why);
        if (!group) {
            kvc::Report(kvc::SinkOf(repository), "no group of repository '" + repository->key +
                                                     "' would list " + kvc::ToUtf8(name) + ": " +
                                                     kvc::ToUtf8(why));
            return KVREPO_E_NOT_FOUND;
        }
        *display_path = kvc::OwnedUtf8(_stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') +
                                       group->name + OLESTR("\\*"));
        return KVREPO_OK;
    });
}

int kvrepo_repository_dup(const kvrepo_repository* repository, kvrepo_repository** out) {
    return Call([&] {
        if (const int status = ClearOut(out, repository))
            return status;
        *out = new kvrepo_repository(*repository);
        return KVREPO_OK;
    });
}

void kvrepo_repository_free(kvrepo_repository* repository) {
    delete repository;
}

}  // extern "C"
