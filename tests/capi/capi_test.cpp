// The C interface as foreign callers meet it: every pointer argument NULL,
// text that is not UTF-8, struct versions, the last message, handles freed in
// any order and outliving reloads, upkeep, and threads publishing at once.
#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "capi_sweep.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using kvtest::ReadText;
using kvtest::WriteText;
using testing::HasSubstr;

// Releases a char* the library handed out.
struct Freed {
    void operator()(char* p) const { kvrepo_free(p); }
};
using Owned = std::unique_ptr<char, Freed>;

// Two repositories, "Local" and "Network", made through the C interface
// from a list file written by hand, and a manager on them.
class CapiTest : public testing::Test {
protected:
    void SetUp() override {
        WriteText(list,
                  "<Repositories><Repository Key=\"Local\" Local=\"1\" Path=\"\"/>"
                  "<Repository Key=\"Network\" Local=\"0\" Path=\"\"/></Repositories>");
        ASSERT_EQ(kvrepo_manager_open(list.u8string().c_str(), nullptr, &manager), KVREPO_OK);
        ASSERT_EQ(kvrepo_manager_create_repository(
                      manager, "Local", (tree / "Local/Repository.xml").u8string().c_str()),
                  KVREPO_OK);
        ASSERT_EQ(kvrepo_manager_create_repository(
                      manager, "Network", (tree / "Net/Repository.xml").u8string().c_str()),
                  KVREPO_OK);
        ASSERT_EQ(kvrepo_manager_repository(manager, "Local", 0, &local), KVREPO_OK);
        ASSERT_EQ(kvrepo_manager_repository(manager, "Network", 0, &network), KVREPO_OK);
    }
    void TearDown() override {
        kvrepo_repository_free(local);
        kvrepo_repository_free(network);
        kvrepo_manager_close(manager);
    }

    // Publishes a dialog with `content` named `name` into `repository`.
    int Publish(kvrepo_repository* repository, const std::string& name, const std::string& content,
                const char* displayName = "Shown") {
        const std::string file = (tree / "source" / fs::u8path(name)).u8string();
        WriteText(tree / "source" / fs::u8path(name), content);
        kvrepo_item* item = nullptr;
        int status =
            kvrepo_repository_new_item(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd", &item);
        if (status == KVREPO_OK)
            status = kvrepo_item_add_file(item, file.c_str());
        if (status == KVREPO_OK)
            status = kvrepo_item_set_property(item, "DisplayName", displayName);
        if (status == KVREPO_OK)
            status = kvrepo_item_commit(item);
        kvrepo_item_free(item);
        return status;
    }
    std::string Property(kvrepo_item* item, const char* name) {
        char* value = nullptr;
        const int status = kvrepo_item_get_property(item, name, &value);
        return status ? "<" + std::to_string(status) + ">" : std::string(Owned(value).get());
    }
    std::size_t Count(kvrepo_repository* repository, const char* path = "Dialogs/*") {
        kvrepo_item_list* items = nullptr;
        EXPECT_EQ(kvrepo_repository_items(repository, path, &items), KVREPO_OK);
        const std::size_t count = kvrepo_item_list_count(items);
        kvrepo_item_list_free(items);
        return count;
    }

    kvtest::TempTree tree;
    const fs::path list = tree / "Repositories.xml";
    kvrepo_manager* manager = nullptr;
    kvrepo_repository* local = nullptr;
    kvrepo_repository* network = nullptr;
};

TEST_F(CapiTest, EveryPointerArgumentMayBeNull) {
    // The per-user list, which a NULL list path opens, in the tree.
    kvtest::ScopedEnv settings("XDG_CONFIG_HOME", tree / "config");
    kvtest::ScopedEnv appdata("APPDATA", tree / "config");
    ASSERT_EQ(Publish(local, "welcome.kvd", "welcome"), KVREPO_OK);
    SweepFixture f;
    f.manager = manager;
    f.repository = local;
    f.listPath = list.u8string();
    f.scratchDataFile = (tree / "Scratch/Repository.xml").u8string();
    f.sourceFile = (tree / "source/welcome.kvd").u8string();
    ASSERT_EQ(kvrepo_manager_repositories(manager, nullptr, 1, &f.repositories), KVREPO_OK);
    ASSERT_EQ(kvrepo_repository_items(local, "Dialogs/*", &f.items), KVREPO_OK);
    f.item = kvrepo_item_list_at(f.items, 0);
    ASSERT_NE(f.item, nullptr);
    ASSERT_EQ(kvrepo_item_property_names(f.item, 1, &f.strings), KVREPO_OK);
    ASSERT_EQ(kvrepo_repository_verify(local, &f.report), KVREPO_OK);
    ASSERT_EQ(kvrepo_copy_path(local, "<KVREPOSITORY>\\Dialogs\\welcome.kvd", network, &f.copy),
              KVREPO_OK);
    ASSERT_EQ(kvrepo_sync_plan(local, network, nullptr, 1, &f.sync), KVREPO_OK);
    ASSERT_EQ(kvrepo_callbacks_init(&f.callbacks, KVREPO_CALLBACKS_VERSION), KVREPO_OK);
    ASSERT_EQ(kvrepo_repair_options_init(&f.options, KVREPO_REPAIR_OPTIONS_VERSION), KVREPO_OK);
    f.options.dry_run = 1;

    SweepNullArguments(f);

    kvrepo_repository_list_free(f.repositories);
    kvrepo_item_list_free(f.items);
    kvrepo_string_list_free(f.strings);
    kvrepo_report_free(f.report);
    kvrepo_copy_free(f.copy);
    kvrepo_sync_free(f.sync);
}

TEST_F(CapiTest, TheLastMessageIsThatOfTheLastCallThatReturnedAStatus) {
    kvrepo_manager* missing = nullptr;
    ASSERT_EQ(kvrepo_manager_open((tree / "none.xml").u8string().c_str(), nullptr, &missing),
              KVREPO_OK);
    kvrepo_repository_list* found = nullptr;
    EXPECT_EQ(kvrepo_manager_repositories(missing, nullptr, 1, &found), KVREPO_E_NOT_OPENED);
    const std::string message = kvrepo_last_message();
    EXPECT_THAT(message, HasSubstr("Error opening XML file"));
    // Accessors, frees and the version leave it alone; a success clears it.
    kvrepo_repository_list_free(found);
    EXPECT_EQ(kvrepo_repository_list_count(found), 0u);
    kvrepo_version();
    EXPECT_EQ(kvrepo_last_message(), message);
    EXPECT_EQ(Count(local), 0u);
    EXPECT_STREQ(kvrepo_last_message(), "");
    // Another thread has its own.
    EXPECT_EQ(kvrepo_manager_repositories(missing, nullptr, 1, &found), KVREPO_E_NOT_OPENED);
    std::string other = "unset";
    std::thread([&] { other = kvrepo_last_message(); }).join();
    EXPECT_EQ(other, "");
    kvrepo_manager_close(missing);

    EXPECT_THAT(kvrepo_status_text(KVREPO_E_NOT_OPENED), HasSubstr("did not parse"));
    EXPECT_THAT(kvrepo_status_text(KVREPO_E_INVALID_UTF8), HasSubstr("UTF-8"));
    EXPECT_THAT(kvrepo_status_text(KVREPO_E_ACCESSDENIED), HasSubstr("0x80070005"));
    EXPECT_THAT(kvrepo_status_text(2), HasSubstr("system error 2"));
    EXPECT_THAT(kvrepo_status_text(-999), HasSubstr("not a status"));
}

TEST_F(CapiTest, TextThatIsNotUtf8IsRefusedBeforeAnythingIsWritten) {
    ASSERT_EQ(Publish(local, "a.kvd", "a"), KVREPO_OK);
    const std::string data = ReadText(tree / "Local/Repository.xml");
    const std::string listed = ReadText(list);
    kvrepo_item_list* items = nullptr;
    ASSERT_EQ(kvrepo_repository_items(local, "Dialogs/*", &items), KVREPO_OK);
    kvrepo_item* item = kvrepo_item_list_at(items, 0);
    for (const char* bad : {"\xC3", "x\xC0\xAFy", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(bad)));
        EXPECT_EQ(kvrepo_item_set_property(item, "DisplayName", bad), KVREPO_E_INVALID_UTF8);
        EXPECT_EQ(kvrepo_item_set_property(item, bad, "x"), KVREPO_E_INVALID_UTF8);
        EXPECT_EQ(kvrepo_repository_set_property(local, "DisplayName", bad), KVREPO_E_INVALID_UTF8);
        kvrepo_item_list* none = Sentinel<kvrepo_item_list>();
        EXPECT_EQ(kvrepo_repository_items(local, bad, &none), KVREPO_E_INVALID_UTF8);
        EXPECT_EQ(none, nullptr);
        kvrepo_manager* opened = Sentinel<kvrepo_manager>();
        EXPECT_EQ(kvrepo_manager_open(bad, nullptr, &opened), KVREPO_E_INVALID_UTF8);
        EXPECT_EQ(opened, nullptr);
    }
    EXPECT_EQ(Property(item, "DisplayName"), "Shown");  // nothing was cached
    EXPECT_EQ(ReadText(tree / "Local/Repository.xml"), data);
    EXPECT_EQ(ReadText(list), listed);

    // A 1 MiB value goes in and comes back; a path longer than MAX_PATH fails
    // with a status, whole.
    const std::string large(1 << 20, 'v');
    EXPECT_EQ(kvrepo_item_set_property(item, "Large", large.c_str()), KVREPO_OK);
    EXPECT_EQ(kvrepo_item_commit(item), KVREPO_OK);
    kvrepo_item_list_free(items);
    ASSERT_EQ(kvrepo_repository_items(local, "Dialogs/*", &items), KVREPO_OK);
    EXPECT_EQ(Property(kvrepo_item_list_at(items, 0), "Large"), large);
    kvrepo_item_list_free(items);
    const std::string longPath = tree.root().u8string() + "/" + std::string(300, 'p') + "/x.kvd";
    kvrepo_item* added = nullptr;
    ASSERT_EQ(kvrepo_repository_new_item(local, "<KVREPOSITORY>\\Dialogs\\*.kvd", &added),
              KVREPO_OK);
    EXPECT_EQ(kvrepo_item_add_file(added, longPath.c_str()), KVREPO_OK);
    EXPECT_NE(kvrepo_item_commit(added), KVREPO_OK);
    kvrepo_item_free(added);
}

TEST_F(CapiTest, CallbackStructsOfOtherVersionsAreRefused) {
    kvrepo_callbacks callbacks;
    EXPECT_EQ(kvrepo_callbacks_init(&callbacks, 0), KVREPO_E_BAD_VERSION);
    EXPECT_EQ(kvrepo_callbacks_init(&callbacks, KVREPO_CALLBACKS_VERSION + 1),
              KVREPO_E_BAD_VERSION);
    // Exactly version 1's size: nothing past it is read.
    auto exact = std::make_unique<kvrepo_callbacks>();
    ASSERT_EQ(kvrepo_callbacks_init(exact.get(), KVREPO_CALLBACKS_VERSION), KVREPO_OK);
    kvrepo_manager* opened = nullptr;
    EXPECT_EQ(kvrepo_manager_open(list.u8string().c_str(), exact.get(), &opened), KVREPO_OK);
    for (unsigned version : {0u, 2u}) {
        exact->version = version;
        EXPECT_EQ(kvrepo_manager_set_callbacks(opened, exact.get()), KVREPO_E_BAD_VERSION);
        kvrepo_manager* refused = Sentinel<kvrepo_manager>();
        EXPECT_EQ(kvrepo_manager_open(list.u8string().c_str(), exact.get(), &refused),
                  KVREPO_E_BAD_VERSION);
        EXPECT_EQ(refused, nullptr);
    }
    kvrepo_manager_close(opened);
    kvrepo_repair_options options;
    EXPECT_EQ(kvrepo_repair_options_init(&options, 7), KVREPO_E_BAD_VERSION);
    options.version = 0;
    kvrepo_report* report = nullptr;
    EXPECT_EQ(kvrepo_repository_repair(local, &options, &report), KVREPO_E_BAD_VERSION);
}

// Every handle stays usable until freed, whatever was freed or reloaded
// before it: tried in every order of freeing five kinds of handle.
TEST_F(CapiTest, HandlesOutliveWhatTheyCameFromInAnyOrder) {
    ASSERT_EQ(Publish(local, "a.kvd", "a", "First"), KVREPO_OK);
    std::array<int, 5> order = {0, 1, 2, 3, 4};
    do {
        kvrepo_manager* own = nullptr;
        ASSERT_EQ(kvrepo_manager_open(list.u8string().c_str(), nullptr, &own), KVREPO_OK);
        kvrepo_repository_list* repositories = nullptr;
        ASSERT_EQ(kvrepo_manager_repositories(own, nullptr, 0, &repositories), KVREPO_OK);
        kvrepo_repository* repository = nullptr;
        ASSERT_EQ(kvrepo_repository_dup(kvrepo_repository_list_at(repositories, 0), &repository),
                  KVREPO_OK);
        kvrepo_item_list* items = nullptr;
        ASSERT_EQ(kvrepo_manager_items(own, "Dialogs/*", 1, &items), KVREPO_OK);
        kvrepo_item* item = nullptr;
        ASSERT_EQ(kvrepo_item_dup(kvrepo_item_list_at(items, 0), &item), KVREPO_OK);
        // A second listing and a reload leave the first results as they were.
        kvrepo_item_list* again = nullptr;
        ASSERT_EQ(kvrepo_manager_items(own, "Dialogs/*", 1, &again), KVREPO_OK);
        kvrepo_item_list_free(again);
        kvrepo_repository* reloaded = nullptr;
        ASSERT_EQ(kvrepo_manager_repository(own, "Network", 0, &reloaded), KVREPO_OK);
        kvrepo_repository_free(reloaded);

        std::array<std::function<void()>, 5> frees = {
            [&] { kvrepo_manager_close(own), own = nullptr; },
            [&] { kvrepo_repository_list_free(repositories), repositories = nullptr; },
            [&] { kvrepo_repository_free(repository), repository = nullptr; },
            [&] { kvrepo_item_list_free(items), items = nullptr; },
            [&] { kvrepo_item_free(item), item = nullptr; },
        };
        for (int which : order) {
            frees[which]();
            if (repositories) {
                char* value = nullptr;
                EXPECT_EQ(kvrepo_repository_get_property(kvrepo_repository_list_at(repositories, 0),
                                                         "Path", &value),
                          KVREPO_OK);
                kvrepo_free(value);
            }
            if (repository) {
                EXPECT_EQ(Count(repository), 1u);
            }
            if (items) {
                EXPECT_EQ(Property(kvrepo_item_list_at(items, 0), "DisplayName"), "First");
            }
            if (item) {
                EXPECT_EQ(Property(item, "DisplayName"), "First");
            }
            if (own) {
                EXPECT_STREQ(kvrepo_manager_list_path(own), list.u8string().c_str());
            }
        }
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(CapiTest, ItemsAnswerWhatTheCxxItemsAnswer) {
    kvrepo_item* item = nullptr;
    ASSERT_EQ(kvrepo_repository_new_item(local, "<KVREPOSITORY>\\Dialogs\\*.kvd", &item),
              KVREPO_OK);
    WriteText(tree / "source/Mine.tmp", "mine");
    EXPECT_EQ(kvrepo_item_add_file(item, (tree / "source/Mine.tmp").u8string().c_str()), KVREPO_OK);
    char* text = nullptr;
    ASSERT_EQ(kvrepo_item_type(item, &text), KVREPO_OK);
    EXPECT_STREQ(Owned(text).get(), "Dialogs");
    ASSERT_EQ(kvrepo_item_target_file_name(item, &text), KVREPO_OK);
    EXPECT_STREQ(Owned(text).get(), "Mine.kvd");  // .tmp takes the type's extension
    EXPECT_EQ(kvrepo_item_exists(item), 0);
    EXPECT_EQ(kvrepo_item_set_memory_property(item, "Scratch", "kept"), KVREPO_OK);
    EXPECT_EQ(kvrepo_item_set_property(item, "Author", "Ana"), KVREPO_OK);
    kvrepo_item* copy = nullptr;
    ASSERT_EQ(kvrepo_item_copy(item, &copy), KVREPO_OK);
    EXPECT_EQ(Property(copy, "Scratch"), "kept");
    kvrepo_item_free(copy);
    EXPECT_EQ(kvrepo_item_commit(item), KVREPO_OK);
    EXPECT_EQ(kvrepo_item_exists(item), 1);
    ASSERT_EQ(kvrepo_item_display_path(item, &text), KVREPO_OK);
    EXPECT_STREQ(Owned(text).get(), "<KVREPOSITORY>\\Dialogs\\mine.kvd");
    kvrepo_string_list* names = nullptr;
    ASSERT_EQ(kvrepo_item_property_names(item, 1, &names), KVREPO_OK);
    std::vector<std::string> found;
    for (std::size_t i = 0; i < kvrepo_string_list_count(names); ++i)
        found.push_back(kvrepo_string_list_at(names, i));
    kvrepo_string_list_free(names);
    EXPECT_THAT(found, testing::IsSupersetOf({"Author", "FileName", "Key", "Scratch"}));
    kvrepo_repository* owner = nullptr;
    ASSERT_EQ(kvrepo_item_repository(item, &owner), KVREPO_OK);
    EXPECT_STREQ(kvrepo_repository_key(owner), "Local");
    kvrepo_repository_free(owner);
    kvrepo_item_free(item);
    // Not written: the in-memory property.
    EXPECT_THAT(ReadText(tree / "Local/Repository.xml"), testing::Not(HasSubstr("Scratch")));
}

// Where a new item goes so that a listing finds it: the group that lists its name.
TEST_F(CapiTest, APublishPathNamesTheGroupThatListsTheFile) {
    WriteText(tree / "Local/Repository.xml",
              "<Repository><Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.dlg\"/>"
              "<RepoItem Name=\"Shared\\Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
              "</Dialogs></Repository>");
    char* path = nullptr;
    ASSERT_EQ(kvrepo_repository_publish_path(local, "Dialogs", "New.KVD", &path), KVREPO_OK);
    EXPECT_STREQ(Owned(path).get(), "<KVREPOSITORY>\\Shared\\Dialogs\\*");
    EXPECT_EQ(kvrepo_repository_publish_path(local, "Dialogs", "notes.txt", &path),
              KVREPO_E_NOT_FOUND);
    EXPECT_EQ(path, nullptr);
    EXPECT_THAT(kvrepo_last_message(), HasSubstr("would list notes.txt"));
}

TEST_F(CapiTest, UpkeepCopiesAndSyncsAskingTheDestination) {
    ASSERT_EQ(Publish(local, "a.kvd", "a"), KVREPO_OK);
    ASSERT_EQ(Publish(local, "b.kvd", "b"), KVREPO_OK);
    WriteText(tree / "Local/Dialogs/unlisted.kvd", "unlisted");
    kvrepo_report* report = nullptr;
    ASSERT_EQ(kvrepo_repository_verify(local, &report), KVREPO_OK);
    ASSERT_EQ(kvrepo_report_count(report), 1u);
    EXPECT_STREQ(kvrepo_report_at(report, 0)->kind, "unlisted-file");
    EXPECT_STREQ(kvrepo_report_at(report, 0)->subject, "Dialogs/unlisted.kvd");
    EXPECT_EQ(kvrepo_report_at(report, 1), nullptr);
    kvrepo_report_free(report);
    kvrepo_repair_options dry;
    ASSERT_EQ(kvrepo_repair_options_init(&dry, KVREPO_REPAIR_OPTIONS_VERSION), KVREPO_OK);
    dry.dry_run = 1;
    ASSERT_EQ(kvrepo_repository_repair(local, &dry, &report), KVREPO_OK);
    ASSERT_EQ(kvrepo_report_count(report), 1u);
    EXPECT_STREQ(kvrepo_report_at(report, 0)->kind, "add-entry");
    kvrepo_report_free(report);
    EXPECT_EQ(Count(local), 3u);

    kvrepo_copy* copy = nullptr;
    ASSERT_EQ(kvrepo_copy_path(local, "<KVREPOSITORY>\\Dialogs\\a.kvd", network, &copy), KVREPO_OK);
    EXPECT_STREQ(kvrepo_copy_result_of(copy)->file_name, "a.kvd");
    EXPECT_EQ(kvrepo_copy_result_of(copy)->replaced, 0);
    kvrepo_copy_free(copy);

    // The destination's callbacks answer: here through the manager both share.
    int asked = 0;
    kvrepo_callbacks callbacks;
    kvrepo_callbacks_init(&callbacks, KVREPO_CALLBACKS_VERSION);
    callbacks.context = &asked;
    callbacks.overwrite_file = [](void* context, const char*) {
        ++*static_cast<int*>(context);
        return 0;
    };
    ASSERT_EQ(kvrepo_manager_set_callbacks(manager, &callbacks), KVREPO_OK);
    WriteText(tree / "Local/Dialogs/a.kvd", "changed");
    kvrepo_sync* sync = nullptr;
    ASSERT_EQ(kvrepo_sync_plan(local, network, "Dialogs", 1, &sync), KVREPO_OK);
    std::vector<std::string> planned;
    for (std::size_t i = 0; i < kvrepo_sync_count(sync); ++i)
        planned.push_back(std::string(kvrepo_sync_at(sync, i)->action) + " " +
                          kvrepo_sync_at(sync, i)->file_name);
    EXPECT_THAT(planned, testing::ElementsAre("would-replace a.kvd", "would-copy b.kvd",
                                              "would-copy unlisted.kvd"));
    EXPECT_EQ(kvrepo_sync_apply(sync), KVREPO_E_FILE_OVERWRITE_DECLINED);
    EXPECT_EQ(asked, 1);
    EXPECT_STREQ(kvrepo_sync_at(sync, 0)->action, "declined");
    EXPECT_STREQ(kvrepo_sync_at(sync, 1)->action, "copied");
    EXPECT_THAT(kvrepo_last_message(), HasSubstr("cannot copy"));
    EXPECT_EQ(kvrepo_sync_apply(sync), KVREPO_OK);  // once only
    kvrepo_sync_free(sync);
    EXPECT_EQ(ReadText(tree / "Net/Dialogs/a.kvd"), "a");
    EXPECT_EQ(kvrepo_sync_plan(local, network, "Pictures", 0, &sync), KVREPO_E_INVALIDARG);
}

// Four threads, each with its own manager, released together, publish into
// one repository at once: every item is there at the end.
TEST_F(CapiTest, FourThreadsPublishIntoOneRepositoryAndLoseNothing) {
    constexpr int kThreads = 4, kItems = 8;
    std::mutex mutex;
    std::condition_variable released;
    int waiting = 0;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            {
                std::unique_lock<std::mutex> lock(mutex);
                if (++waiting == kThreads)
                    released.notify_all();
                released.wait(lock, [&] { return waiting == kThreads; });
            }
            kvrepo_manager* own = nullptr;
            kvrepo_repository* repository = nullptr;
            if (kvrepo_manager_open(list.u8string().c_str(), nullptr, &own) != KVREPO_OK ||
                kvrepo_manager_repository(own, "Local", 0, &repository) != KVREPO_OK)
                ++failures;
            for (int i = 0; i < kItems && repository; ++i) {
                const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i) + ".kvd";
                const fs::path source = tree / ("source" + std::to_string(t)) / name;
                {
                    std::lock_guard<std::mutex> lock(mutex);  // the test's own file writes
                    WriteText(source, name);
                }
                kvrepo_item* item = nullptr;
                if (kvrepo_repository_new_item(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd",
                                               &item) != KVREPO_OK ||
                    kvrepo_item_add_file(item, source.u8string().c_str()) != KVREPO_OK ||
                    kvrepo_item_set_property(item, "Thread", std::to_string(t).c_str()) !=
                        KVREPO_OK ||
                    kvrepo_item_commit(item) != KVREPO_OK)
                    ++failures;
                kvrepo_item_free(item);
            }
            kvrepo_repository_free(repository);
            kvrepo_manager_close(own);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Count(local), static_cast<std::size_t>(kThreads * kItems));
    kvrepo_report* report = nullptr;
    ASSERT_EQ(kvrepo_repository_verify(local, &report), KVREPO_OK);
    EXPECT_EQ(kvrepo_report_count(report), 0u);
    kvrepo_report_free(report);
}

}  // namespace
