// The fixture of the generated NULL sweep: one valid handle of every kind and
// valid values for every other argument.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "kvrepo_c.h"

struct SweepFixture {
    kvrepo_manager* manager = nullptr;
    kvrepo_repository* repository = nullptr;
    kvrepo_repository_list* repositories = nullptr;
    kvrepo_item* item = nullptr;
    kvrepo_item_list* items = nullptr;
    kvrepo_string_list* strings = nullptr;
    kvrepo_report* report = nullptr;
    kvrepo_copy* copy = nullptr;
    kvrepo_sync* sync = nullptr;
    kvrepo_callbacks callbacks{};
    kvrepo_callbacks fillCallbacks{};
    kvrepo_repair_options options{};
    kvrepo_repair_options fillOptions{};
    std::string listPath, scratchDataFile, sourceFile;
};

// A value no call may leave in an out-parameter it failed to fill.
template <class T>
T* Sentinel() {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(0x10));
}

// Calls every function of the header with each pointer argument NULL in turn.
void SweepNullArguments(SweepFixture& f);
