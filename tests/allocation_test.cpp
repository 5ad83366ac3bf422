// Collections and lists that cannot be allocated: the caller gets the status
// for it and a null result, never a crash. The test replaces the allocator's
// non-throwing form, which the library uses for exactly these objects; a
// sanitizer build has its own allocator, so there the test is skipped, and so
// is Windows, where a replacement in the program does not reach the
// allocator of the library's DLL.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "repo_util.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_TEST_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KV_TEST_OWN_ALLOCATOR 1
#endif
#ifdef _WIN32
#define KV_TEST_DLL_ALLOCATOR 1
#endif

namespace {
bool g_refuseNothrow = false;
}

#if !defined(KV_TEST_OWN_ALLOCATOR) && !defined(KV_TEST_DLL_ALLOCATOR)
// The default non-throwing form ends in malloc as well, so the default
// operator delete frees what this one hands out.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return g_refuseNothrow ? nullptr : std::malloc(size ? size : 1);
}
#endif

namespace {

class AllocationFailure : public kvtest::RepoTest {};

TEST_F(AllocationFailure, GivesTheStatusAndANullObject) {
#ifdef KV_TEST_OWN_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator cannot be replaced";
#endif
#ifdef KV_TEST_DLL_ALLOCATOR
    GTEST_SKIP() << "the library's DLL keeps its own allocator";
#endif
    List(kvtest::Entry("Local", Data("Repo/Repository.xml", "")));
    CRepositories* loaded = nullptr;
    ASSERT_EQ(manager.GetRepositories(nullptr, &loaded, true), 0);
    CRepository* repository = loaded->MoveFirst();
    ASSERT_NE(repository, nullptr);

    g_refuseNothrow = true;
    CRepositories* repositories = loaded;
    const long listStatus = manager.GetRepositories(nullptr, &repositories, true);
    CRepositoryItems* items = reinterpret_cast<CRepositoryItems*>(1);
    const long itemsStatus = repository->GetItems("Dialogs/*", &items);
    CRepositoryItems* gathered = reinterpret_cast<CRepositoryItems*>(1);
    const long gatheredStatus = loaded->GetRepositoryItems("Dialogs/*", 1, &gathered);
    g_refuseNothrow = false;

    EXPECT_EQ(listStatus, kv::status::kListNotCreated);
    EXPECT_EQ(repositories, nullptr);
    EXPECT_EQ(itemsStatus, kv::status::kCollectionNotCreated);
    EXPECT_EQ(items, nullptr);
    EXPECT_EQ(gatheredStatus, kv::status::kCollectionNotCreated);
    EXPECT_EQ(gathered, nullptr);
    EXPECT_TRUE(status.messages.empty());
}

}  // namespace
