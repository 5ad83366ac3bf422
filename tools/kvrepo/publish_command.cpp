// Publishing: a new item of a type, its file, its properties, one commit.
#include <filesystem>
#include <memory>

#include "commands.h"
#include "items.h"
#include "output.h"

namespace kvtool {
namespace {

// The folder a new item of `type` goes to: that of the first group that will
// list `file` there (kv::ItemGroups::PublicationGroup); otherwise the type's
// name, and the warning after the commit says that it is not listed.
std::string PublishFolder(CRepository& repository, const std::string& type,
                          const std::string& file) {
    XMLIntercessor document;
    if (repository.OpenXmlFile(document) != 0)
        return type;
    const kv::RepositoryFolder folder(repository.GetRepoDataFilePath());
    const kv::ItemGroups groups(document, folder, _stringx(type));
    _stringx why;
    const kv::ItemGroup* group =
        groups.PublicationGroup(_stringx(type), kv::LowerFileName(_stringx(file)), why);
    return group ? Text(group->name) : type;
}

struct PublishOptions {
    std::string key;
    std::string file;
    std::string type;
    std::vector<std::string> properties;
    bool yes = false;
    bool noOverwrite = false;
};

// An existing file, found by its name in the ANSI code page (CLI11's own
// check would read the name in another encoding on Windows).
CLI::Validator ExistingFile() {
    return CLI::Validator(
        [](std::string& file) {
            std::error_code error;
            const auto status = std::filesystem::status(FilePath(file), error);
            if (!std::filesystem::exists(status))
                return "File does not exist: " + file;
            if (std::filesystem::is_directory(status))
                return "File is actually a directory: " + file;
            return std::string();
        },
        "FILE");
}

int Publish(Session& session, const PublishOptions& options) {
    // Checked before anything is written, so that a typo costs nothing.
    std::vector<std::pair<std::string, std::string>> properties;
    for (const std::string& assignment : options.properties) {
        const auto equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0)
            throw UsageError("--set takes NAME=VALUE, not '" + assignment + "'");
        properties.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    if (options.yes)
        session.Status().SetOverwrite(ConsoleStatus::Overwrite::kYes);
    else if (options.noOverwrite)
        session.Status().SetOverwrite(ConsoleStatus::Overwrite::kNo);

    CRepository& repository = session.Repository(options.key);
    const std::string displayPath =
        "<KVREPOSITORY>\\" +
        PublishFolder(repository, options.type, PathText(FilePath(options.file).filename())) +
        "\\*";
    CRepositoryItem* raw = nullptr;
    const long created = repository.CreateRepositoryItem(displayPath.c_str(), &raw);
    std::unique_ptr<CRepositoryItem> item(raw);
    if (created != 0 || !item)
        ThrowStatus("cannot make a new item",
                    created ? created : kv::status::kCollectionNotCreated);
    item->AddFile(_stringx(AbsolutePath(options.file)));
    const std::string published =
        "<KVREPOSITORY>\\" + options.type + "\\" + Property(*item, OLESTR("FileName"));
    // A new item is named after its file unless told otherwise, as the
    // catalogue names files without an entry; a replaced one keeps its name.
    if (SelectItems(repository, published).items.empty())
        item->PutProperty(_stringx(OLESTR("DisplayName")),
                          _stringx(PathText(FilePath(options.file).filename())));
    for (const auto& [name, value] : properties)
        item->PutProperty(_stringx(name), _stringx(value));

    const long status = item->Commit();
    if (status != 0) {
        std::string what = "cannot publish " + options.file;
        if ((status == kv::status::kFileOverwriteDeclined ||
             status == kv::status::kFolderOverwriteDeclined) &&
            session.Status().DeclinedUnasked())
            what += " (standard input is not a terminal; --yes overwrites)";
        ThrowStatus(what, status);
    }

    const ItemSelection found = SelectItems(repository, published);
    const std::string localCopy =
        found.items.empty() ? std::string() : Property(*found.items.front(), OLESTR("LocalCopy"));
    // Written and copied, yet no group of the type lists the file (a data file
    // made by hand may have none with a Wildcard for it).
    if (found.items.empty())
        Warn("the data file of '" + options.key + "' has no " + options.type +
             " group whose pattern lists " + Property(*item, OLESTR("FileName")) +
             ": it is published but will not be listed");
    if (session.json)
        PrintJson({{"key", options.key},
                   {"type", options.type},
                   {"displayPath", published},
                   {"fileName", Property(*item, OLESTR("FileName"))},
                   {"localCopy", localCopy}});
    else
        Print("Published " + published + " to '" + options.key + "'" +
              (localCopy.empty() ? "" : ": " + localCopy) + '\n');
    return kExitOk;
}

}  // namespace

void AddPublishCommand(CLI::App& app, Session& session, Action& action) {
    auto options = std::make_shared<PublishOptions>();
    CLI::App* publish = app.add_subcommand(
        "publish", "Publish a file as a new item: copy it in, set its properties, commit");
    publish->add_option("KEY", options->key, "Repository key")->required();
    publish->add_option("FILE", options->file, "The item's file")
        ->required()
        ->check(ExistingFile());
    publish->add_option("--type", options->type, "Item type")
        ->required()
        ->check(CLI::IsMember(ItemTypes()));
    publish->add_option("--set", options->properties, "A property, NAME=VALUE (repeatable)")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    CLI::Option* yes =
        publish->add_flag("--yes", options->yes, "Overwrite existing files without asking");
    CLI::Option* no =
        publish->add_flag("--no-overwrite", options->noOverwrite, "Never overwrite existing files");
    yes->excludes(no);
    publish->footer(
        "Overwrite questions go to the terminal; without one, and without --yes, the answer is "
        "no.\nExample: kvrepo publish Local welcome.kvd --type Dialogs --set "
        "DisplayName=Welcome");
    publish->callback([&session, &action, options] {
        action = [&session, options] { return Publish(session, *options); };
    });
}

}  // namespace kvtool
