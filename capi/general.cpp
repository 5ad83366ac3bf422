// The C interface's general functions: version, memory, status texts,
// messages, callbacks and option structs, string lists.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capi/handles.h"

namespace {

struct CStatus {
    int status;
    const char* meaning;
};

constexpr CStatus kCStatuses[] = {
    {KVREPO_E_NULL_ARGUMENT, "a null handle or required argument"},
    {KVREPO_E_INVALID_UTF8, "text that is not valid UTF-8"},
    {KVREPO_E_UNREPRESENTABLE, "text that the system's ANSI code page cannot represent"},
    {KVREPO_E_BAD_VERSION, "a struct version this library does not know"},
    {KVREPO_E_NO_MEMORY, "memory could not be allocated"},
    {KVREPO_E_INTERNAL, "an unexpected error inside the library"},
    {KVREPO_E_BAD_ARGUMENT, "an argument out of its range"},
    {KVREPO_E_NO_SUCH_REPOSITORY, "the list has no repository with that key"},
};

}  // namespace

extern "C" {

const char* kvrepo_version(void) {
#define KVREPO_TEXT(x) #x
#define KVREPO_VERSION_TEXT(a, b, c) KVREPO_TEXT(a) "." KVREPO_TEXT(b) "." KVREPO_TEXT(c)
    return KVREPO_VERSION_TEXT(KVREPO_VERSION_MAJOR, KVREPO_VERSION_MINOR, KVREPO_VERSION_PATCH);
}

void kvrepo_free(void* p) {
    std::free(p);
}

const char* kvrepo_last_message(void) {
    return kvc::LastMessage();
}

const char* kvrepo_status_text(int status) {
    // A buffer of plain characters: trivially destructible, as thread-local
    // storage in a DLL should be.
    thread_local char text[512];
    std::string described;
    if (status == KVREPO_OK) {
        described = "status 0 (success)";
    } else if (KVREPO_IS_C_STATUS(status)) {
        described = "status " + std::to_string(status) + " (not a status of this library)";
        for (const CStatus& entry : kCStatuses)
            if (entry.status == status)
                described = "status " + std::to_string(status) + " (" + entry.meaning + ")";
    } else {
        try {
            described = kv::status::Describe(status);
        } catch (...) {
            described = "status " + std::to_string(status);
        }
    }
    std::snprintf(text, sizeof text, "%s", described.c_str());
    return text;
}

int kvrepo_callbacks_init(kvrepo_callbacks* callbacks, unsigned int version) {
    return kvc::Call([&] { return kvc::InitCallbacks(callbacks, version); });
}

int kvrepo_repair_options_init(kvrepo_repair_options* options, unsigned int version) {
    return kvc::Call([&] {
        if (!options)
            return KVREPO_E_NULL_ARGUMENT;
        if (version != KVREPO_REPAIR_OPTIONS_VERSION)
            return KVREPO_E_BAD_VERSION;
        std::memset(options, 0, sizeof *options);
        options->version = version;
        return KVREPO_OK;
    });
}

size_t kvrepo_string_list_count(const kvrepo_string_list* list) {
    return list ? list->strings.size() : 0;
}

const char* kvrepo_string_list_at(const kvrepo_string_list* list, size_t index) {
    return list && index < list->strings.size() ? list->strings[index].c_str() : nullptr;
}

void kvrepo_string_list_free(kvrepo_string_list* list) {
    delete list;
}

}  // extern "C"
