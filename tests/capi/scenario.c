/* A whole scenario through the C interface, in C, as a program built by a C
 * compiler calls it: repositories created, items published with their
 * properties (one with a non-ASCII name), listed across two repositories,
 * read back, an overwrite the callback refuses, a deletion, verify, and the
 * error paths. Takes an existing, empty-or-not folder to work in; exits 0 when
 * every check held. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "kvrepo_c.h"

static int failures = 0;

#define CHECK(condition)                                                       \
    do {                                                                       \
        if (!(condition)) {                                                    \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__,         \
                    #condition);                                               \
            fprintf(stderr, "  last message: %s\n", kvrepo_last_message());   \
            ++failures;                                                        \
        }                                                                      \
    } while (0)

#define CHECK_STATUS(call, expected)                                           \
    do {                                                                       \
        int status_ = (call);                                                  \
        if (status_ != (expected)) {                                           \
            fprintf(stderr, "%s:%d: %s gave %s, not %d\n", __FILE__, __LINE__, \
                    #call, kvrepo_status_text(status_), (expected));           \
            fprintf(stderr, "  last message: %s\n", kvrepo_last_message());   \
            ++failures;                                                        \
        }                                                                      \
    } while (0)

static char folder[1024];

/* `name` below the run's folder. */
static const char* At(const char* name) {
    static char paths[8][1200];
    static int next = 0;
    char* path = paths[next++ % 8];
    snprintf(path, sizeof paths[0], "%s/%s", folder, name);
    return path;
}

static int WriteFile(const char* path, const char* text) {
    FILE* file = fopen(path, "wb");
    if (!file)
        return 0;
    fputs(text, file);
    return fclose(file) == 0;
}

static int SameText(const char* path, const char* text) {
    char buffer[256] = {0};
    FILE* file = fopen(path, "rb");
    if (!file)
        return 0;
    size_t got = fread(buffer, 1, sizeof buffer - 1, file);
    fclose(file);
    buffer[got] = '\0';
    return strcmp(buffer, text) == 0;
}

/* Callbacks: messages counted, overwrites answered by `allow`. */
struct Answers {
    int messages;
    int asked;
    int allow;
};

static void OnMessage(void* context, const char* text) {
    (void)text;
    ((struct Answers*)context)->messages++;
}

static int OnOverwrite(void* context, const char* path) {
    struct Answers* answers = (struct Answers*)context;
    (void)path;
    answers->asked++;
    return answers->allow;
}

/* Publishes `file` as a dialog of `repository` with a display name. */
static int Publish(kvrepo_repository* repository, const char* file, const char* display) {
    kvrepo_item* item = NULL;
    int status = kvrepo_repository_new_item(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd", &item);
    if (status == KVREPO_OK)
        status = kvrepo_item_add_file(item, file);
    if (status == KVREPO_OK)
        status = kvrepo_item_set_property(item, "DisplayName", display);
    if (status == KVREPO_OK)
        status = kvrepo_item_set_property(item, "Version", "1.0");
    if (status == KVREPO_OK)
        status = kvrepo_item_commit(item);
    kvrepo_item_free(item);
    return status;
}

int main(int argc, char** argv) {
    struct Answers answers = {0, 0, 1};
    kvrepo_callbacks callbacks;
    kvrepo_manager* manager = NULL;
    kvrepo_repository* local = NULL;
    kvrepo_repository* network = NULL;
    kvrepo_repository_list* repositories = NULL;
    kvrepo_item_list* items = NULL;
    kvrepo_report* report = NULL;
    char* value = NULL;
    size_t i;
    /* Not ASCII: a u with diaeresis and the euro sign, in UTF-8. */
    const char* menu = "Men\xC3\xBC \xE2\x82\xAC";

    if (argc < 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    srand((unsigned)time(NULL));
    snprintf(folder, sizeof folder, "%s/run-%ld-%d", argv[1], (long)time(NULL), rand());

    CHECK(strcmp(kvrepo_version(), "0.2.0") == 0);
    CHECK_STATUS(kvrepo_callbacks_init(&callbacks, KVREPO_CALLBACKS_VERSION), KVREPO_OK);
    callbacks.context = &answers;
    callbacks.message = OnMessage;
    callbacks.overwrite_file = OnOverwrite;
    callbacks.overwrite_folder = OnOverwrite;

    /* A list file that is not there: status and message. */
    CHECK_STATUS(kvrepo_manager_open(At("list.xml"), &callbacks, &manager), KVREPO_OK);
    CHECK_STATUS(kvrepo_manager_repositories(manager, NULL, 1, &repositories),
                 KVREPO_E_NOT_OPENED);
    CHECK(repositories == NULL);
    CHECK(strstr(kvrepo_last_message(), "Error opening XML file") != NULL);
    CHECK(answers.messages == 1);

    /* Two repositories, entered in a list written by hand. */
    CHECK_STATUS(kvrepo_manager_setup_repository(manager, At("local/Repository.xml")), KVREPO_OK);
    CHECK(WriteFile(At("list.xml"),
                    "<Repositories><Repository Key=\"Local\" Local=\"1\" Path=\"\"/>"
                    "<Repository Key=\"Network\" Local=\"0\" Path=\"\"/></Repositories>"));
    CHECK_STATUS(kvrepo_manager_create_repository(manager, "Local", At("local/Repository.xml")),
                 KVREPO_OK);
    CHECK(strcmp(kvrepo_last_message(), "") == 0);
    CHECK_STATUS(kvrepo_manager_create_repository(manager, "Network", At("net/Repository.xml")),
                 KVREPO_OK);
    CHECK_STATUS(kvrepo_manager_create_repository(manager, "Elsewhere", At("x/Repository.xml")),
                 KVREPO_E_BAD_REPOSITORY_KEY);
    CHECK_STATUS(kvrepo_manager_repository(manager, "Nowhere", 1, &local),
                 KVREPO_E_NO_SUCH_REPOSITORY);
    CHECK(local == NULL);
    CHECK_STATUS(kvrepo_manager_repository(manager, "Local", 0, &local), KVREPO_OK);
    CHECK_STATUS(kvrepo_manager_repository(manager, "Network", 0, &network), KVREPO_OK);
    CHECK(kvrepo_repository_is_local(local) == 1 && kvrepo_repository_is_local(network) == 0);
    CHECK(kvrepo_repository_exists(local) == 1);

    /* Items published with properties, one named beyond ASCII. */
    CHECK(WriteFile(At("local/welcome-source.kvd"), "welcome"));
    CHECK_STATUS(Publish(local, At("local/welcome-source.kvd"), "Welcome"), KVREPO_OK);
#ifdef _WIN32
    /* A C program's own file names are ANSI there: the name stays ASCII. */
    CHECK(WriteFile(At("net/menu.kvd"), "menu"));
    CHECK_STATUS(Publish(network, At("net/menu.kvd"), menu), KVREPO_OK);
#else
    CHECK(WriteFile(At("net/Men\xC3\xBC.kvd"), "menu"));
    CHECK_STATUS(Publish(network, At("net/Men\xC3\xBC.kvd"), menu), KVREPO_OK);
#endif

    /* Listed across both repositories, properties read back. */
    CHECK_STATUS(kvrepo_manager_items(manager, "Dialogs/*", 1, &items), KVREPO_OK);
    CHECK(kvrepo_item_list_count(items) == 2);
    for (i = 0; i < kvrepo_item_list_count(items); ++i) {
        kvrepo_item* item = kvrepo_item_list_at(items, i);
        CHECK_STATUS(kvrepo_item_get_property(item, "DisplayName", &value), KVREPO_OK);
        CHECK(value && (strcmp(value, "Welcome") == 0 || strcmp(value, menu) == 0));
        kvrepo_free(value);
        CHECK_STATUS(kvrepo_item_get_property(item, "Version", &value), KVREPO_OK);
        CHECK(value && strcmp(value, "1.0") == 0);
        kvrepo_free(value);
        CHECK_STATUS(kvrepo_item_get_property(item, "Missing", &value), KVREPO_E_NOT_FOUND);
        CHECK(value == NULL);
    }
    kvrepo_item_list_free(items);
    CHECK_STATUS(kvrepo_manager_items(manager, "Dialogs/*", 0, &items), KVREPO_OK);
    CHECK(kvrepo_item_list_count(items) == 1); /* the local one only */
    kvrepo_item_list_free(items);

    /* An overwrite the callback refuses: the file stays, the status says so. */
    answers.allow = 0;
    CHECK(WriteFile(At("local/welcome-source.kvd"), "changed"));
    CHECK_STATUS(Publish(local, At("local/welcome-source.kvd"), "Welcome again"),
                 KVREPO_E_FILE_OVERWRITE_DECLINED);
    CHECK(answers.asked == 1);
    CHECK(SameText(At("local/Dialogs/welcome-source.kvd"), "welcome"));

    /* Deleted: the file goes, its entry stays, which verify reports. */
    CHECK_STATUS(kvrepo_repository_items(local, "<KVREPOSITORY>\\Dialogs\\welcome-source.kvd",
                                         &items),
                 KVREPO_OK);
    CHECK(kvrepo_item_list_count(items) == 1);
    CHECK_STATUS(kvrepo_item_delete(kvrepo_item_list_at(items, 0), 0), KVREPO_OK);
    CHECK(SameText(At("local/Dialogs/welcome-source.kvd"), "welcome"));
    CHECK_STATUS(kvrepo_item_delete(kvrepo_item_list_at(items, 0), 1), KVREPO_OK);
    CHECK(!SameText(At("local/Dialogs/welcome-source.kvd"), "welcome"));
    kvrepo_item_list_free(items);
    CHECK_STATUS(kvrepo_repository_verify(local, &report), KVREPO_OK);
    CHECK(kvrepo_report_count(report) == 1);
    if (kvrepo_report_count(report) == 1) {
        const kvrepo_report_entry* finding = kvrepo_report_at(report, 0);
        CHECK(strcmp(finding->kind, "missing-file") == 0);
        CHECK(strcmp(finding->subject, "welcome-source.kvd") == 0);
        CHECK(finding->is_problem);
    }
    kvrepo_report_free(report);

    /* Handles outlive what they came from. */
    kvrepo_manager_close(manager);
    CHECK_STATUS(kvrepo_repository_get_property(network, "Path", &value), KVREPO_OK);
    CHECK(value && strstr(value, "Repository.xml") != NULL);
    kvrepo_free(value);
    kvrepo_repository_free(local);
    kvrepo_repository_free(network);
    kvrepo_repository_list_free(NULL);

    if (failures)
        fprintf(stderr, "%d check(s) failed\n", failures);
    else
        printf("ok\n");
    return failures ? 1 : 0;
}
