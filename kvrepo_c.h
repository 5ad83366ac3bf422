/*
 * kvrepo_c.h: the C interface of the kvrepo library, for every compiler and
 * language. It lives in the same shared library as the C++ interface
 * (libkvrepo.so, kvrepo.dll) and needs nothing but C: opaque handles,
 * integers, size_t, UTF-8 text and function pointers with a context.
 *
 * Conventions, for every function below unless it says otherwise:
 *
 * Status. A function that can fail returns int: KVREPO_OK (0), or a status:
 *   - the library's own codes (KVREPO_E_NO_DATA_FILE_PATH ... KVREPO_E_LIST_NOT_CREATED),
 *     the same numbers as the C++ interface;
 *   - a system error number, positive (KVREPO_IS_SYSTEM_ERROR), from file
 *     copies and deletions;
 *   - an HRESULT, as a negative int (KVREPO_IS_HRESULT), from components and
 *     from refusals such as KVREPO_E_INVALIDARG and KVREPO_E_ACCESSDENIED;
 *   - a code of this interface's own band, -1000 to -1099 (KVREPO_IS_C_STATUS).
 *   kvrepo_status_text says what any of them means. Every out-parameter is
 *   set to NULL (or 0) whenever the call fails.
 *
 * Messages. The texts the library reports while a call runs (a data file that
 * does not open, a copy it refuses and why, ...) reach the message callback as
 * they happen, and kvrepo_last_message returns those of the last failed call
 * on the calling thread, joined by line feeds. Only functions that return a
 * status set or clear it; _free, _close, accessors and kvrepo_version never
 * touch it.
 *
 * Text. All text is UTF-8, in and out. Input that is not valid UTF-8 is
 * refused (KVREPO_E_INVALID_UTF8) before anything is read or written. On
 * Windows the library hands file names, keys and item paths to the system in
 * the ANSI code page; such text that the code page cannot represent is
 * refused (KVREPO_E_UNREPRESENTABLE), never written as "?". Every text
 * returned is valid UTF-8. Relative paths are made absolute on entry, against
 * the current folder at that moment.
 *
 * Memory. A returned `char*` is the caller's, released with kvrepo_free. A
 * returned `const char*` or handle marked "borrowed" belongs to the handle it
 * came from and lives as long as that handle. Everything else returned
 * through an out-parameter is an owned handle, released with its _free (or
 * kvrepo_manager_close). Every _free and _close accepts NULL.
 *
 * Lifetimes. Every owned handle lives until the caller frees it, whatever is
 * called in between: a second listing, a reload of the list or freeing the
 * manager leave earlier handles valid. Handles keep alive what they need (an
 * item its repository, every handle its manager's callbacks), so they may be
 * freed in any order.
 *
 * Threads. A handle, and everything obtained from it, is used by one thread
 * at a time. Separate managers may be used on separate threads at once, also
 * on one repository: writers of one data file lock it and lose nothing.
 *
 * Callbacks run synchronously, on the thread of the call that caused them;
 * the text and path they get are valid during the call only. A callback must
 * return normally: no longjmp, no exception of another language across the
 * library.
 *
 * Null. A NULL handle or required pointer argument gives
 * KVREPO_E_NULL_ARGUMENT (accessors give 0 or NULL); nothing crashes.
 *
 * Versions. Functions are only ever added. Structs the caller fills start
 * with a version field, so that later releases can append members; structs
 * the library hands out are read-only and may grow at their end.
 */
#ifndef KVREPO_C_H
#define KVREPO_C_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(KVREPO_C_BUILDING)
#define KVREPO_C_API __declspec(dllexport)
#else
#define KVREPO_C_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KVREPO_C_API __attribute__((visibility("default")))
#else
#define KVREPO_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Version                                                                   */

#define KVREPO_VERSION_MAJOR 0
#define KVREPO_VERSION_MINOR 2
#define KVREPO_VERSION_PATCH 0

/* "MAJOR.MINOR.PATCH" of the library that is loaded; static, never NULL. */
KVREPO_C_API const char* kvrepo_version(void);

/* ------------------------------------------------------------------------ */
/* Status codes                                                              */

#define KVREPO_OK 0

/* The library's own codes. */
#define KVREPO_E_NO_DATA_FILE_PATH (-3) /* the repository has no data-file path */
#define KVREPO_E_COLLECTION_NOT_CREATED (-100)
#define KVREPO_E_NOT_FOUND (-101)  /* no such property (or the file did not open) */
#define KVREPO_E_NOT_SAVED (-102)  /* an XML data file was not saved */
#define KVREPO_E_NOT_OPENED (-103) /* an XML data file did not open or parse */
#define KVREPO_E_FOLDER_NOT_DELETED (-107)
#define KVREPO_E_FOLDER_NOT_COPIED (-108)
#define KVREPO_E_FILE_OVERWRITE_DECLINED (-109)
#define KVREPO_E_FOLDER_OVERWRITE_DECLINED (-110)
#define KVREPO_E_TEMPLATE_NOT_COPIED (-111)
#define KVREPO_E_FOLDER_NOT_CREATED (-112)
#define KVREPO_E_REPOSITORY_NOT_FOUND (-113)
#define KVREPO_E_BAD_REPOSITORY_KEY (-114) /* neither "Local" nor "Network" */
#define KVREPO_E_LIST_NOT_CREATED (-200)

/* Common HRESULTs, as negative ints. */
#define KVREPO_E_INVALIDARG ((int)0x80070057)
#define KVREPO_E_ACCESSDENIED ((int)0x80070005)
#define KVREPO_E_UNEXPECTED ((int)0x8000FFFF)
#define KVREPO_E_FAIL ((int)0x80004005)
#define KVREPO_E_CLASSNOTREG ((int)0x80040154) /* a component could not be loaded */

/* This interface's own band. */
#define KVREPO_E_NULL_ARGUMENT (-1001)   /* a NULL handle or required pointer */
#define KVREPO_E_INVALID_UTF8 (-1002)    /* text that is not valid UTF-8 */
#define KVREPO_E_UNREPRESENTABLE (-1003) /* text the ANSI code page cannot hold */
#define KVREPO_E_BAD_VERSION (-1004)     /* a struct version this library does not know */
#define KVREPO_E_NO_MEMORY (-1005)       /* an allocation failed; nothing was changed by it */
#define KVREPO_E_INTERNAL (-1006)        /* an unexpected exception inside the library */
#define KVREPO_E_BAD_ARGUMENT (-1007)    /* an argument out of its range (an empty key, a type) */
#define KVREPO_E_NO_SUCH_REPOSITORY (-1008) /* the list has no repository with that key */

#define KVREPO_IS_LIBRARY_STATUS(s) ((s) <= -3 && (s) >= -200)
#define KVREPO_IS_C_STATUS(s) ((s) <= -1000 && (s) >= -1099)
#define KVREPO_IS_SYSTEM_ERROR(s) ((s) > 0)
#define KVREPO_IS_HRESULT(s) ((s) < -0xFFFF)

/* What `status` means, in English ("status -103: an XML data file was not
 * opened or did not parse"); static or thread-local storage, valid until the
 * thread's next call of this function; never NULL. */
KVREPO_C_API const char* kvrepo_status_text(int status);

/* The messages of the last call on this thread that returned a failure,
 * joined by line feeds; "" when it reported none or the last call succeeded.
 * Valid until this thread's next call that returns a status. Never NULL. */
KVREPO_C_API const char* kvrepo_last_message(void);

/* Releases text the library handed out as `char*`. NULL is allowed. */
KVREPO_C_API void kvrepo_free(void* p);

/* ------------------------------------------------------------------------ */
/* Handles                                                                   */

typedef struct kvrepo_manager kvrepo_manager;
typedef struct kvrepo_repository kvrepo_repository;
typedef struct kvrepo_repository_list kvrepo_repository_list;
typedef struct kvrepo_item kvrepo_item;
typedef struct kvrepo_item_list kvrepo_item_list;
typedef struct kvrepo_string_list kvrepo_string_list;
typedef struct kvrepo_report kvrepo_report;
typedef struct kvrepo_copy kvrepo_copy;
typedef struct kvrepo_sync kvrepo_sync;

/* ------------------------------------------------------------------------ */
/* Callbacks                                                                 */

#define KVREPO_CALLBACKS_VERSION 1
typedef struct kvrepo_callbacks {
    unsigned int version; /* KVREPO_CALLBACKS_VERSION */
    void* context;        /* passed to each callback */
    /* A message text, as the library reports it. NULL: not passed on (the
     * text still reaches kvrepo_last_message). */
    void (*message)(void* context, const char* text);
    /* Asked before an existing file or template folder is replaced; nonzero:
     * overwrite. NULL: overwrite. */
    int (*overwrite_file)(void* context, const char* path);
    int (*overwrite_folder)(void* context, const char* path);
} kvrepo_callbacks;

/* Fills `callbacks` with the defaults of `version` (no message callback,
 * overwrite: yes). KVREPO_E_BAD_VERSION for a version this library does not
 * know (0, or a later one), `callbacks` then untouched. */
KVREPO_C_API int kvrepo_callbacks_init(kvrepo_callbacks* callbacks, unsigned int version);

/* ------------------------------------------------------------------------ */
/* The manager                                                               */

/* A manager on the repository-list file `list_path`; NULL: the per-user list
 * the command-line tool uses (kvrepo/Repositories.xml under $XDG_CONFIG_HOME,
 * else ~/.config; %APPDATA% on Windows), created with empty "Local" and
 * "Network" entries when missing. Nothing else is read yet. `callbacks` may
 * be NULL (the defaults); the struct is copied, and a version this library
 * does not know gives KVREPO_E_BAD_VERSION. */
KVREPO_C_API int kvrepo_manager_open(const char* list_path, const kvrepo_callbacks* callbacks,
                                     kvrepo_manager** out);
/* Releases the manager. Handles obtained from it stay valid until freed. */
KVREPO_C_API void kvrepo_manager_close(kvrepo_manager* manager);
/* The list file, absolute. Borrowed from the manager. */
KVREPO_C_API const char* kvrepo_manager_list_path(const kvrepo_manager* manager);
/* Replaces the callbacks of the manager and of every handle obtained from it
 * (NULL: the defaults), from the next callback on. */
KVREPO_C_API int kvrepo_manager_set_callbacks(kvrepo_manager* manager,
                                              const kvrepo_callbacks* callbacks);

/* The list's first repository with `key` (exact, case-sensitive; not empty);
 * with `include_missing` nonzero also one whose data file does not exist.
 * KVREPO_E_NO_SUCH_REPOSITORY when there is none. An owned handle. */
KVREPO_C_API int kvrepo_manager_repository(kvrepo_manager* manager, const char* key,
                                           int include_missing, kvrepo_repository** out);
/* The list's repositories with key `key_filter` (NULL or "": all), in list
 * order; with `include_missing` nonzero also those whose data file does not
 * exist. An owned list. */
KVREPO_C_API int kvrepo_manager_repositories(kvrepo_manager* manager, const char* key_filter,
                                             int include_missing, kvrepo_repository_list** out);
/* The items that `item_path` selects (see kvrepo_repository_items), gathered
 * from the local repositories of the list, or with `all_repositories` nonzero
 * from all, in list order. Stops at the first repository whose items cannot
 * be read, with its status. */
KVREPO_C_API int kvrepo_manager_items(kvrepo_manager* manager, const char* item_path,
                                      int all_repositories, kvrepo_item_list** out);

/* Makes a repository: copies the template data file to `data_file_path`
 * (creating its folder), makes the folders of its groups, and points the
 * list's existing entry `key` ("Local" or "Network") at it. Codes:
 * KVREPO_E_BAD_REPOSITORY_KEY (nothing written), KVREPO_E_TEMPLATE_NOT_COPIED,
 * KVREPO_E_FOLDER_NOT_CREATED, KVREPO_E_REPOSITORY_NOT_FOUND (no entry with
 * the key; the data file stays), the list file's KVREPO_E_NOT_SAVED and
 * KVREPO_E_NOT_OPENED. Handles obtained before stay as they were: a
 * repository handle of that key still names its old data file. */
KVREPO_C_API int kvrepo_manager_create_repository(kvrepo_manager* manager, const char* key,
                                                  const char* data_file_path);
/* The template data file new repositories are copied from (the services
 * component's support folder joined with "RepositoryTpl.xml"); kvrepo_free. */
KVREPO_C_API int kvrepo_manager_template_path(kvrepo_manager* manager, char** path);
/* Copies the template to `data_file_path` and makes its group folders, as
 * kvrepo_manager_create_repository does, without entering it in the list. */
KVREPO_C_API int kvrepo_manager_setup_repository(kvrepo_manager* manager,
                                                 const char* data_file_path);

/* Checks the list file's own entries: Local values other than "0", "1" or
 * empty, entries without a Path, keys given twice; with `key` (NULL: all)
 * only that key's entries. A report of kind names "list-local", "list-path",
 * "list-duplicate-key". */
KVREPO_C_API int kvrepo_manager_verify_list(kvrepo_manager* manager, const char* key,
                                            kvrepo_report** out);

/* ------------------------------------------------------------------------ */
/* Repository lists                                                          */

/* 0 for NULL. */
KVREPO_C_API size_t kvrepo_repository_list_count(const kvrepo_repository_list* list);
/* Borrowed from the list: never freed; NULL past the end. kvrepo_repository_dup
 * gives a handle of its own. */
KVREPO_C_API kvrepo_repository* kvrepo_repository_list_at(const kvrepo_repository_list* list,
                                                          size_t index);
KVREPO_C_API void kvrepo_repository_list_free(kvrepo_repository_list* list);

/* ------------------------------------------------------------------------ */
/* Repositories                                                              */

/* The key and the data file (absolute as the list gives it, "" when it has
 * none), as read from the list when the handle was made. Borrowed; NULL for
 * NULL. */
KVREPO_C_API const char* kvrepo_repository_key(const kvrepo_repository* repository);
KVREPO_C_API const char* kvrepo_repository_data_file(const kvrepo_repository* repository);
/* 1 when the list marks it local (Local="1"), else 0 (also for NULL). */
KVREPO_C_API int kvrepo_repository_is_local(const kvrepo_repository* repository);
/* 1 when its data file exists now, else 0. */
KVREPO_C_API int kvrepo_repository_exists(const kvrepo_repository* repository);

/* An attribute of its list entry ("DisplayName", "Path", ...), read afresh:
 * KVREPO_E_NOT_FOUND when the entry has none. *value: kvrepo_free. */
KVREPO_C_API int kvrepo_repository_get_property(kvrepo_repository* repository, const char* name,
                                                char** value);
/* Writes an attribute of its list entry (of every entry with its key). The
 * handle's key, data file and local flag stay as they were: a new Path is seen
 * by handles made after the write. */
KVREPO_C_API int kvrepo_repository_set_property(kvrepo_repository* repository, const char* name,
                                                const char* value);
/* The names of the attributes of its list entry, read afresh, in sorted
 * order, each once; an empty list when the list has no entry with its key. */
KVREPO_C_API int kvrepo_repository_property_names(kvrepo_repository* repository,
                                                  kvrepo_string_list** out);
/* Its items that `item_path` selects: a type path followed by a slash and
 * an asterisk (every dialog: "Dialogs", "/", "*"), or a display path
 * "<KVREPOSITORY>\Dialogs\x.kvd" (that one file); a bare type name selects
 * nothing. */
KVREPO_C_API int kvrepo_repository_items(kvrepo_repository* repository, const char* item_path,
                                         kvrepo_item_list** out);
/* A new item to publish: `display_path` names its type and the folder its
 * file goes to ("<KVREPOSITORY>\Dialogs\*.kvd"). Nothing is written until
 * kvrepo_item_commit. An owned item. */
KVREPO_C_API int kvrepo_repository_new_item(kvrepo_repository* repository, const char* display_path,
                                            kvrepo_item** out);
/* The display path to make a new item of `type` ("Dialogs") with, so that
 * its file, named `file_name`, goes where a listing of the repository finds
 * it again: "<KVREPOSITORY>\<folder>\*" with the folder of the first group of
 * the type whose Key and folder name the type and whose Wildcard matches the
 * name. KVREPO_E_NOT_FOUND when no group would list it (the reason in the
 * messages); then "<KVREPOSITORY>\<type>\*" publishes into a folder of the
 * type's name, which no listing reads. *display_path: kvrepo_free. */
KVREPO_C_API int kvrepo_repository_publish_path(kvrepo_repository* repository, const char* type,
                                                const char* file_name, char** display_path);
/* An owned handle to the same repository (from a list's borrowed one). */
KVREPO_C_API int kvrepo_repository_dup(const kvrepo_repository* repository,
                                       kvrepo_repository** out);
/* Owned handles only (from _repository, _dup, kvrepo_item_repository). */
KVREPO_C_API void kvrepo_repository_free(kvrepo_repository* repository);

/* ------------------------------------------------------------------------ */
/* Item lists                                                                */

KVREPO_C_API size_t kvrepo_item_list_count(const kvrepo_item_list* list);
/* Borrowed from the list: never freed; NULL past the end. kvrepo_item_dup
 * gives a handle of its own. */
KVREPO_C_API kvrepo_item* kvrepo_item_list_at(const kvrepo_item_list* list, size_t index);
KVREPO_C_API void kvrepo_item_list_free(kvrepo_item_list* list);

/* ------------------------------------------------------------------------ */
/* Items                                                                     */

/* A property: "DisplayPath" and "ParentRepo" (the repository's DisplayName)
 * are computed; others come from the item's caches, then from its element in
 * the data file (read afresh): KVREPO_E_NOT_FOUND when there is none.
 * *value: kvrepo_free. */
KVREPO_C_API int kvrepo_item_get_property(kvrepo_item* item, const char* name, char** value);
/* Caches a property until kvrepo_item_commit ("FileName" is lower-cased). */
KVREPO_C_API int kvrepo_item_set_property(kvrepo_item* item, const char* name, const char* value);
/* Caches a property that is never written to the data file. */
KVREPO_C_API int kvrepo_item_set_memory_property(kvrepo_item* item, const char* name,
                                                 const char* value);
/* The names of its properties: those cached and, with `read_file` nonzero,
 * those its element in the data file stores; sorted, each once. */
KVREPO_C_API int kvrepo_item_property_names(kvrepo_item* item, int read_file,
                                            kvrepo_string_list** out);
/* Names the file (for a template, the file with its folder) that commit
 * copies into the repository, and caches its FileName. */
KVREPO_C_API int kvrepo_item_add_file(kvrepo_item* item, const char* path);
/* Writes the cached properties into the data file, then copies the added
 * file, asking the overwrite callbacks first. A declined overwrite
 * (KVREPO_E_FILE_OVERWRITE_DECLINED, KVREPO_E_FOLDER_OVERWRITE_DECLINED) comes
 * after the properties were written: they stay. KVREPO_E_ACCESSDENIED when the
 * copy would write outside the repository (nothing written). */
KVREPO_C_API int kvrepo_item_commit(kvrepo_item* item);
/* With `delete_file` nonzero, deletes the item's file in the repository (its
 * entry in the data file stays); with 0 changes nothing and returns KVREPO_OK.
 * A system error number when the deletion fails (2: no such file). */
KVREPO_C_API int kvrepo_item_delete(kvrepo_item* item, int delete_file);
/* Where its file lies (its "LocalCopy"); kvrepo_free. */
KVREPO_C_API int kvrepo_item_local_copy(kvrepo_item* item, char** path);
/* 1 when the item is listed in the data file (found by a listing, or
 * committed), 0 for a new one (and for NULL). */
KVREPO_C_API int kvrepo_item_exists(const kvrepo_item* item);
/* Its display path, its type ("Dialogs"; "" when its key or display path
 * names none), and the name the added file takes in the repository ("" when
 * no file was added: a listed item's name is its "FileName"); kvrepo_free. */
KVREPO_C_API int kvrepo_item_display_path(kvrepo_item* item, char** value);
KVREPO_C_API int kvrepo_item_type(kvrepo_item* item, char** value);
KVREPO_C_API int kvrepo_item_target_file_name(kvrepo_item* item, char** value);
/* An owned handle to the item's repository. */
KVREPO_C_API int kvrepo_item_repository(kvrepo_item* item, kvrepo_repository** out);
/* An owned handle to the same item: changes through either are seen by both. */
KVREPO_C_API int kvrepo_item_dup(const kvrepo_item* item, kvrepo_item** out);
/* A new, separate item of the same repository with a copy of the item's
 * cached properties (the data file is not read); the added file is not
 * carried over. An owned item. */
KVREPO_C_API int kvrepo_item_copy(kvrepo_item* item, kvrepo_item** out);
/* Owned handles only: from _new_item, _dup and _copy. */
KVREPO_C_API void kvrepo_item_free(kvrepo_item* item);

/* ------------------------------------------------------------------------ */
/* String lists                                                              */

KVREPO_C_API size_t kvrepo_string_list_count(const kvrepo_string_list* list);
/* Borrowed from the list; NULL past the end. */
KVREPO_C_API const char* kvrepo_string_list_at(const kvrepo_string_list* list, size_t index);
KVREPO_C_API void kvrepo_string_list_free(kvrepo_string_list* list);

/* ------------------------------------------------------------------------ */
/* Upkeep: verify and repair                                                 */

/* One finding of a verification, or one change of a repair. Read-only; its
 * texts are borrowed from the report. */
typedef struct kvrepo_report_entry {
    const char* kind; /* a stable name: "missing-file", "left-alone", ... */
    const char* type; /* the item type, "" for the list or a temporary file beside the data file */
    const char* subject; /* what it is about: a FileName, a group Name, a relative path, a key */
    const char* detail;  /* one English sentence */
    int is_problem; /* verify: nonzero for findings that fail it; repair: nonzero but for left-alone
                     */
} kvrepo_report_entry;

KVREPO_C_API size_t kvrepo_report_count(const kvrepo_report* report);
/* Borrowed from the report; NULL past the end. */
KVREPO_C_API const kvrepo_report_entry* kvrepo_report_at(const kvrepo_report* report, size_t index);
KVREPO_C_API void kvrepo_report_free(kvrepo_report* report);

/* Compares the repository's data file with its folders and reports where
 * they disagree; reads only. KVREPO_E_NOT_OPENED for a data file that does
 * not load. */
KVREPO_C_API int kvrepo_repository_verify(kvrepo_repository* repository, kvrepo_report** out);

#define KVREPO_REPAIR_OPTIONS_VERSION 1
typedef struct kvrepo_repair_options {
    unsigned int version; /* KVREPO_REPAIR_OPTIONS_VERSION */
    int prune_missing;    /* nonzero: remove entries whose file is missing */
    int dry_run;          /* nonzero: report what would change, change nothing */
} kvrepo_repair_options;
/* Fills `options` with the defaults of `version` (no pruning, a real run). */
KVREPO_C_API int kvrepo_repair_options_init(kvrepo_repair_options* options, unsigned int version);

/* Puts right what has a clear answer, in one locked save, and reports every
 * change and, as "left-alone", every finding it does not change. `options`
 * NULL: the defaults. KVREPO_E_NOT_SAVED when the data file could not be
 * locked in time or saved (then nothing changed). */
KVREPO_C_API int kvrepo_repository_repair(kvrepo_repository* repository,
                                          const kvrepo_repair_options* options,
                                          kvrepo_report** out);

/* ------------------------------------------------------------------------ */
/* Upkeep: copy and sync                                                     */

/* What one copy did. Read-only; texts borrowed from the copy handle. */
typedef struct kvrepo_copy_result {
    const char* type;         /* "Dialogs" */
    const char* file_name;    /* its FileName, lower case */
    const char* source_file;  /* the source's file that was copied */
    const char* display_path; /* its display path in the destination */
    const char* target_file;  /* where its file now lies in the destination */
    int replaced;             /* nonzero: a file or template folder was replaced */
} kvrepo_copy_result;

/* Copies one item (a display path, "<KVREPOSITORY>\Dialogs\x.kvd") from
 * `source` into `destination`: its file (a template with its folder) and its
 * stored properties, published there. Where the destination lists the item
 * already, its file is replaced. The overwrite questions go to the
 * destination's callbacks, all before anything is written: a declined one
 * changes nothing. A copy the destination would not list is refused
 * (KVREPO_E_INVALIDARG, the reason in the messages). 2 (no such file) for an
 * item the source does not list. */
KVREPO_C_API int kvrepo_copy_path(kvrepo_repository* source, const char* item_path,
                                  kvrepo_repository* destination, kvrepo_copy** out);
/* The same for an item of a listing of the source (its type from its Key). */
KVREPO_C_API int kvrepo_copy_item(kvrepo_item* item, kvrepo_repository* destination,
                                  kvrepo_copy** out);
/* Borrowed from the copy. */
KVREPO_C_API const kvrepo_copy_result* kvrepo_copy_result_of(const kvrepo_copy* copy);
KVREPO_C_API void kvrepo_copy_free(kvrepo_copy* copy);

/* One item of a sync plan. Read-only; texts borrowed from the plan, which
 * kvrepo_sync_apply updates. */
typedef struct kvrepo_sync_entry {
    const char* reason; /* "missing" or "differs" */
    const char* type;
    const char* file_name;
    const char* display_path; /* in the source */
    const char* source_file;
    const char* destination_file; /* "differs": the destination's file it replaces */
    /* Before apply: "would-copy", "would-replace" or "refused"; after:
     * "copied", "replaced", "declined", "failed" or "refused". */
    const char* action;
    int status;              /* after apply: the copy's status */
    const char* target_file; /* after a copy: where the file now lies */
    const char* problem;     /* why it is refused or failed; "" otherwise */
} kvrepo_sync_entry;

/* Plans what `destination` lacks of `source` (with `update` nonzero also what
 * it holds with other content), for one type (`type`, "Dialogs") or all
 * (NULL or ""). Reads only. KVREPO_E_INVALIDARG for an unknown type. */
KVREPO_C_API int kvrepo_sync_plan(kvrepo_repository* source, kvrepo_repository* destination,
                                  const char* type, int update, kvrepo_sync** out);
KVREPO_C_API size_t kvrepo_sync_count(const kvrepo_sync* sync);
/* Borrowed from the plan; NULL past the end. */
KVREPO_C_API const kvrepo_sync_entry* kvrepo_sync_at(const kvrepo_sync* sync, size_t index);
/* Copies every entry (once: a second apply returns KVREPO_OK and copies
 * nothing), going on past failures; KVREPO_OK when all were copied, else the
 * first failure's status. The questions go to the destination's callbacks. */
KVREPO_C_API int kvrepo_sync_apply(kvrepo_sync* sync);
KVREPO_C_API void kvrepo_sync_free(kvrepo_sync* sync);

#ifdef __cplusplus
}
#endif

#endif /* KVREPO_C_H */
