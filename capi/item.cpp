// The C interface's items: properties, publishing, deletion, local copies.
#include "capi/handles.h"
#include "capi/text.h"

using kvc::Call;
using kvc::ClearOut;
using kvc::FromUtf8;
using kvc::TextUse;

namespace {

// A text answer of the item as caller-owned UTF-8.
template <class Get>
int Answer(kvrepo_item* item, char** value, Get get) {
    return Call([&] {
        if (const int status = ClearOut(value))
            return status;
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        *value = kvc::OwnedUtf8(get(*item->item));
        return KVREPO_OK;
    });
}

// The use of a property's value: FileName values pass through the ANSI code
// page when they are lower-cased.
TextUse ValueUse(const _stringx& name) {
    return name == _stringx(OLESTR("FileName")) ? TextUse::kNarrowed : TextUse::kPlain;
}

// Caches a property, written with `inMemoryOnly` false.
int Put(kvrepo_item* item, const char* name, const char* value, bool inMemoryOnly) {
    return Call([&] {
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wideName, wideValue;
        if (const int status = FromUtf8(name, TextUse::kPlain, wideName))
            return status;
        if (const int status = FromUtf8(value, ValueUse(wideName), wideValue))
            return status;
        if (inMemoryOnly)
            return static_cast<int>(item->item->CachePropertyValue(wideName, wideValue, true));
        return static_cast<int>(item->item->PutProperty(wideName, wideValue));
    });
}

}  // namespace

extern "C" {

int kvrepo_item_get_property(kvrepo_item* item, const char* name, char** value) {
    return Call([&] {
        if (const int status = ClearOut(value))
            return status;
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wide, found;
        if (const int status = FromUtf8(name, TextUse::kPlain, wide))
            return status;
        if (const long status = item->item->GetProperty(wide, &found))
            return static_cast<int>(status);
        *value = kvc::OwnedUtf8(found);
        return KVREPO_OK;
    });
}

int kvrepo_item_set_property(kvrepo_item* item, const char* name, const char* value) {
    return Put(item, name, value, false);
}

int kvrepo_item_set_memory_property(kvrepo_item* item, const char* name, const char* value) {
    return Put(item, name, value, true);
}

int kvrepo_item_property_names(kvrepo_item* item, int read_file, kvrepo_string_list** out) {
    return Call([&] {
        if (const int status = ClearOut(out, item))
            return status;
        std::vector<_stringx> names;
        if (const long status = item->item->GetPropertyNames(names, read_file != 0))
            return static_cast<int>(status);
        std::unique_ptr<kvrepo_string_list> list(new kvrepo_string_list);
        for (const _stringx& name : names)
            list->strings.push_back(kvc::ToUtf8(name));
        *out = list.release();
        return KVREPO_OK;
    });
}

int kvrepo_item_add_file(kvrepo_item* item, const char* path) {
    return Call([&] {
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wide;
        if (const int status = FromUtf8(path, TextUse::kPath, wide))
            return status;
        return static_cast<int>(item->item->AddFile(wide));
    });
}

int kvrepo_item_commit(kvrepo_item* item) {
    return Call([&] {
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        return static_cast<int>(item->item->Commit());
    });
}

int kvrepo_item_delete(kvrepo_item* item, int delete_file) {
    return Call([&] {
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        return static_cast<int>(item->item->Delete(delete_file != 0));
    });
}

int kvrepo_item_local_copy(kvrepo_item* item, char** path) {
    return Call([&] {
        if (const int status = ClearOut(path))
            return status;
        if (!item)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx found;
        if (const long status = item->item->CreateLocalCopy(&found))
            return static_cast<int>(status);
        *path = kvc::OwnedUtf8(found);
        return KVREPO_OK;
    });
}

int kvrepo_item_exists(const kvrepo_item* item) {
    return item && item->item->GetExists() ? 1 : 0;
}

int kvrepo_item_display_path(kvrepo_item* item, char** value) {
    return Answer(item, value, [](CRepositoryItem& it) {
        _stringx path;
        it.GetProperty(_stringx(OLESTR("DisplayPath")), &path);
        return path;
    });
}

int kvrepo_item_type(kvrepo_item* item, char** value) {
    return Answer(item, value, [](CRepositoryItem& it) { return it.GetRepoItemType(); });
}

int kvrepo_item_target_file_name(kvrepo_item* item, char** value) {
    return Answer(item, value, [](CRepositoryItem& it) { return it.GetTargetFileName(); });
}

int kvrepo_item_repository(kvrepo_item* item, kvrepo_repository** out) {
    return Call([&] {
        if (const int status = ClearOut(out, item))
            return status;
        *out = new kvrepo_repository(item->repository);
        return KVREPO_OK;
    });
}

int kvrepo_item_dup(const kvrepo_item* item, kvrepo_item** out) {
    return Call([&] {
        if (const int status = ClearOut(out, item))
            return status;
        *out = new kvrepo_item(*item);
        return KVREPO_OK;
    });
}

int kvrepo_item_copy(kvrepo_item* item, kvrepo_item** out) {
    return Call([&] {
        if (const int status = ClearOut(out, item))
            return status;
        std::unique_ptr<CRepositoryItem> copy(item->item->Copy());
        auto store = std::make_shared<kvc::ItemStore>();
        store->repositories.push_back(item->repository);
        CRepositoryItem* const made = copy.get();
        store->items.push_back(std::move(copy));
        *out = new kvrepo_item{store, made, item->repository};
        return KVREPO_OK;
    });
}

void kvrepo_item_free(kvrepo_item* item) {
    delete item;
}

size_t kvrepo_item_list_count(const kvrepo_item_list* list) {
    return list ? list->items.size() : 0;
}

kvrepo_item* kvrepo_item_list_at(const kvrepo_item_list* list, size_t index) {
    return list && index < list->items.size() ? list->items[index].get() : nullptr;
}

void kvrepo_item_list_free(kvrepo_item_list* list) {
    delete list;
}

}  // extern "C"
