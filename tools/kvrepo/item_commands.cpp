// Items: listing, reading and writing item properties, and deleting an item's
// file.
#include <memory>

#include "commands.h"
#include "items.h"
#include "json_stream.h"
#include "output.h"

namespace kvtool {
namespace {

struct ItemsOptions {
    std::string itemPath;
    std::string key;
    bool local = false;
    bool all = false;
};

struct ItemOptions {
    std::string key;
    std::string itemPath;
    std::string name;
    std::string value;
};

// Properties that the catalogue computes or keeps for itself; writing them
// into the data file would only hide the real values.
bool IsManagedProperty(const std::string& name) {
    return name == "FileName" || name == "DisplayPath" || name == "ParentRepo" || name == "Key" ||
           name == "LocalCopy";
}

// The items of one repository: as JSON records (`json`) or as table rows.
void AddRows(CRepository& repository, const ItemSelection& selection, JsonArrayWriter* json,
             std::vector<std::vector<std::string>>& rows) {
    const _stringx& key = repository.GetKey();
    const _stringx displayNameName(OLESTR("DisplayName")), fileNameName(OLESTR("FileName")),
        displayPathName(OLESTR("DisplayPath"));
    for (CRepositoryItem* item : selection.items) {
        _stringx displayName, localCopy, fileName, displayPath;
        const bool named = item->GetProperty(displayNameName, &displayName) == 0;
        const bool copied = item->CreateLocalCopy(&localCopy) == 0;
        if (item->GetProperty(fileNameName, &fileName) != 0)
            fileName.clear();
        if (item->GetProperty(displayPathName, &displayPath) != 0)
            displayPath.clear();
        if (json)
            json->Record({{"displayName", named ? &displayName : nullptr},
                          {"displayPath", &displayPath},
                          {"fileName", &fileName},
                          {"localCopy", copied ? &localCopy : nullptr},
                          {"repository", &key}});
        else
            rows.push_back({named ? Text(displayName) : "", Text(fileName), Text(key),
                            Text(displayPath), copied ? Text(localCopy) : ""});
    }
}

int ListItems(Session& session, const ItemsOptions& options) {
    // Records are written as they are made; an error after the first leaves
    // a cut-off array, as any failure half way through a listing would.
    std::unique_ptr<JsonArrayWriter> json(session.json ? new JsonArrayWriter : nullptr);
    std::vector<std::vector<std::string>> rows;
    int exitStatus = kExitOk;
    if (!options.key.empty()) {
        CRepository& repository = session.Repository(options.key);
        const ItemSelection selection = SelectItems(repository, options.itemPath);
        if (selection.status != 0)
            ThrowStatus("cannot read the items of repository '" + options.key + "'",
                        selection.status);
        AddRows(repository, selection, json.get(), rows);
    } else {
        // Walked here rather than through the list's own gathering, which
        // stops at the first repository that cannot be read.
        CRepositories* list = nullptr;
        const long status = session.Manager().GetRepositories(nullptr, &list, true);
        if (status != 0 || !list)
            ThrowStatus("cannot read the repository list " + session.ListFile(), status);
        bool anySetUp = false;
        for (CRepository* repository = list->MoveFirst(); repository;
             repository = list->MoveNext()) {
            // An entry without a data file has not been set up: nothing to skip.
            if (repository->GetRepoDataFilePath().empty())
                continue;
            anySetUp = true;
            if (options.local && !repository->GetLocal())
                continue;
            const ItemSelection selection = SelectItems(*repository, options.itemPath);
            if (selection.status != 0) {
                Warn("skipped repository '" + Text(repository->GetKey()) +
                     "': " + kv::status::Describe(selection.status));
                exitStatus = kExitFailed;
                continue;
            }
            AddRows(*repository, selection, json.get(), rows);
        }
        if (!anySetUp)
            WarnNoRepositories(session.ListFile());
    }
    if (json)
        json->Finish();
    else
        PrintTable({"DISPLAY NAME", "FILE NAME", "REPOSITORY", "DISPLAY PATH", "LOCAL COPY"}, rows);
    return exitStatus;
}

int GetItemProperty(Session& session, const ItemOptions& options) {
    const ItemSelection selection =
        SelectOneItem(session.Repository(options.key), options.itemPath);
    _stringx value;
    const long status = selection.items.front()->GetProperty(_stringx(options.name), &value);
    if (status != 0)
        ThrowStatus("no property '" + options.name + "' on item '" + options.itemPath + "'",
                    status);
    if (session.json)
        PrintJson({{"key", options.key},
                   {"item", Property(*selection.items.front(), OLESTR("DisplayPath"))},
                   {"name", options.name},
                   {"value", Text(value)}});
    else
        Print(Text(value) + '\n');
    return kExitOk;
}

int SetItemProperty(Session& session, const ItemOptions& options) {
    if (IsManagedProperty(options.name))
        throw UsageError("the property '" + options.name + "' is kept by the catalogue");
    CRepository& repository = session.Repository(options.key);
    const ItemSelection selection = SelectOneItem(repository, options.itemPath);
    CRepositoryItem& found = *selection.items.front();

    // A fresh item of the same type and file carries only the one property, so
    // that Commit writes it alone and not everything the catalogue cached
    // (the absolute LocalCopy among it) into the data file.
    const std::string displayPath = "<KVREPOSITORY>\\" + Property(found, OLESTR("Key")) + "\\*";
    CRepositoryItem* raw = nullptr;
    const long created = repository.CreateRepositoryItem(displayPath.c_str(), &raw);
    std::unique_ptr<CRepositoryItem> item(raw);
    if (created != 0 || !item)
        ThrowStatus("cannot change item '" + options.itemPath + "'",
                    created ? created : kv::status::kCollectionNotCreated);
    item->PutProperty(_stringx(OLESTR("FileName")), _stringx(Property(found, OLESTR("FileName"))));
    item->PutProperty(_stringx(options.name), _stringx(options.value));
    const long status = item->Commit();
    if (status != 0)
        ThrowStatus("cannot set property '" + options.name + "' of item '" + options.itemPath + "'",
                    status);
    return kExitOk;
}

int DeleteItem(Session& session, const ItemOptions& options) {
    const ItemSelection selection =
        SelectOneItem(session.Repository(options.key), options.itemPath);
    CRepositoryItem& item = *selection.items.front();
    const std::string file = Property(item, OLESTR("LocalCopy"));
    const long status = item.Delete(true);
    if (status != 0)
        ThrowStatus("cannot delete item '" + options.itemPath + "'", status);
    if (session.json)
        PrintJson({{"key", options.key},
                   {"item", Property(item, OLESTR("DisplayPath"))},
                   {"deleted", file}});
    else
        Print("Deleted " + file + '\n');
    return kExitOk;
}

}  // namespace

void AddItemCommands(CLI::App& app, Session& session, Action& action) {
    auto items = std::make_shared<ItemsOptions>();
    CLI::App* list = app.add_subcommand(
        "items", "List items of a type (Type/*) or one item by display path (Type/file)");
    list->add_option("ITEMPATH", items->itemPath, "Dialogs/*, or Dialogs/welcome.kvd")->required();
    CLI::Option* repo = list->add_option("--repo", items->key, "Only the repository with this key")
                            ->type_name("KEY");
    CLI::Option* local = list->add_flag("--local", items->local, "Every local repository");
    CLI::Option* all = list->add_flag("--all", items->all, "Every repository (the default)");
    repo->excludes(local)->excludes(all);
    local->excludes(all);
    list->footer("Example: kvrepo items 'Dialogs/*' --all");
    list->callback([&session, &action, items] {
        action = [&session, items] { return ListItems(session, *items); };
    });

    CLI::App* item = app.add_subcommand("item", "Read or write an item property");
    item->require_subcommand(1);
    item->footer("Example: kvrepo item get Local Dialogs/welcome.kvd DisplayName");

    auto get = std::make_shared<ItemOptions>();
    CLI::App* getCommand = item->add_subcommand("get", "Print an item property");
    getCommand->add_option("KEY", get->key, "Repository key")->required();
    getCommand->add_option("ITEMPATH", get->itemPath, "Display path, e.g. Dialogs/welcome.kvd")
        ->required();
    getCommand->add_option("NAME", get->name, "Property name")->required();
    getCommand->footer("Example: kvrepo item get Local Dialogs/welcome.kvd DisplayName");
    getCommand->callback([&session, &action, get] {
        action = [&session, get] { return GetItemProperty(session, *get); };
    });

    auto set = std::make_shared<ItemOptions>();
    CLI::App* setCommand =
        item->add_subcommand("set", "Write an item property into the data file (commits)");
    setCommand->add_option("KEY", set->key, "Repository key")->required();
    setCommand->add_option("ITEMPATH", set->itemPath, "Display path, e.g. Dialogs/welcome.kvd")
        ->required();
    setCommand->add_option("NAME", set->name, "Property name")->required();
    setCommand->add_option("VALUE", set->value, "New value")->required();
    setCommand->footer("Example: kvrepo item set Local Dialogs/welcome.kvd Version 2.1");
    setCommand->callback([&session, &action, set] {
        action = [&session, set] { return SetItemProperty(session, *set); };
    });

    auto remove = std::make_shared<ItemOptions>();
    CLI::App* deleteCommand = app.add_subcommand(
        "delete", "Delete an item's file from the repository (its data-file entry stays)");
    deleteCommand->add_option("KEY", remove->key, "Repository key")->required();
    deleteCommand->add_option("ITEMPATH", remove->itemPath, "Display path, e.g. Dialogs/old.kvd")
        ->required();
    deleteCommand->footer("Example: kvrepo delete Local Dialogs/welcome.kvd");
    deleteCommand->callback([&session, &action, remove] {
        action = [&session, remove] { return DeleteItem(session, *remove); };
    });
}

}  // namespace kvtool
