/* Lists the items of one type across the repositories of a list, through
 * the C interface:
 *
 *   list_items LISTFILE [ITEMPATH]
 *
 * ITEMPATH defaults to every dialog. Build with any C compiler against the
 * library, for example: cc list_items.c $(pkg-config --cflags --libs kvrepo) */
#include <stdio.h>

#include <kvrepo_c.h>

static void Show(kvrepo_item* item, const char* name) {
    char* value = NULL;
    if (kvrepo_item_get_property(item, name, &value) == KVREPO_OK)
        printf("  %-12s %s\n", name, value);
    kvrepo_free(value);
}

int main(int argc, char** argv) {
    const char* path = argc > 2 ? argv[2] : "Dialogs/*";
    kvrepo_manager* manager = NULL;
    kvrepo_item_list* items = NULL;
    size_t i;
    int status;

    if (argc < 2) {
        fprintf(stderr, "usage: %s LISTFILE [ITEMPATH]\n", argv[0]);
        return 2;
    }
    status = kvrepo_manager_open(argv[1], NULL, &manager);
    if (status == KVREPO_OK)
        status = kvrepo_manager_items(manager, path, 1, &items);
    if (status != KVREPO_OK) {
        fprintf(stderr, "%s\n%s\n", kvrepo_status_text(status), kvrepo_last_message());
        kvrepo_manager_close(manager);
        return 1;
    }
    for (i = 0; i < kvrepo_item_list_count(items); ++i) {
        kvrepo_item* item = kvrepo_item_list_at(items, i);
        char* display = NULL;
        if (kvrepo_item_display_path(item, &display) == KVREPO_OK)
            printf("%s\n", display);
        kvrepo_free(display);
        Show(item, "DisplayName");
        Show(item, "ParentRepo");
        Show(item, "LocalCopy");
    }
    printf("%u item(s)\n", (unsigned)kvrepo_item_list_count(items));
    kvrepo_item_list_free(items);
    kvrepo_manager_close(manager);
    return 0;
}
