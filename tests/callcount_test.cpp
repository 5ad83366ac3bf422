// How the file-system calls of listing and publishing grow with a
// repository's size, counted at the platform layer: on a share every call is
// a round trip, so a listing must read folders, not ask each file, and a
// publish must cost the same in a small repository as in a large one.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "foundation/platform/faults.h"
#include "repo_util.h"

namespace {

using kv::platform::FileCall;
using namespace kvtest;

// The calls of the kinds that could grow per file, made by `work`.
std::map<std::string, unsigned> CallsOf(const std::function<void()>& work) {
    // Arming restarts every count; a fault that never comes is disarmed at once.
    kv::platform::ArmFault({FileCall::kOpen, ~0u, false, ERROR_ACCESS_DENIED, false});
    kv::platform::DisarmFault();
    work();
    return {{"open", kv::platform::FileCallCount(FileCall::kOpen)},
            {"read", kv::platform::FileCallCount(FileCall::kRead)},
            {"status", kv::platform::FileCallCount(FileCall::kStatus)},
            {"folder", kv::platform::FileCallCount(FileCall::kFolderList)},
            {"rename", kv::platform::FileCallCount(FileCall::kRename)},
            {"lock", kv::platform::FileCallCount(FileCall::kLock)}};
}

class CallCountTest : public RepoTest {
protected:
    // A repository "R<count>" of `count` dialogs, each with its entry and file.
    CRepository* Repository(int count) {
        const std::string name = "R" + std::to_string(count);
        std::string entries;
        for (int i = 0; i < count; ++i) {
            const std::string file = "item" + std::to_string(i) + ".kvd";
            entries += "<ItemAttrib FileName=\"" + file + "\" DisplayName=\"Item " +
                       std::to_string(i) + "\"/>";
            WriteText(tree / name / "Dialogs" / file, file);
        }
        Data(name + "/Repository.xml", Group("Dialogs", "Dialogs", "*.kvd", entries));
        m_entries += Entry(name, (tree / name / "Repository.xml").string());
        List(m_entries);
        return manager.GetRepository(name.c_str(), false);
    }

private:
    std::string m_entries;
};

// Listing with every property read, and one publish: the same calls for 20
// items as for 400 (the reads of a bigger data file aside).
TEST_F(CallCountTest, ListingAndPublishingDoNotGrowWithTheRepository) {
    const std::string source = WriteText(tree / "new.kvd", "new");
    std::map<std::string, unsigned> listing[2], publishing[2];
    int round = 0;
    for (const int count : {20, 400}) {
        CRepository* repository = Repository(count);
        ASSERT_NE(repository, nullptr);
        listing[round] = CallsOf([&] {
            auto items = Items(repository, "Dialogs/*");
            EXPECT_EQ(items->GetCount(), count);
            Describe(items.get(), {OLESTR("DisplayName"), OLESTR("FileName")});
        });
        publishing[round] = CallsOf([&] {
            EXPECT_EQ(NewItem(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd", source)->Commit(), 0);
        });
        listing[round].erase("read");
        publishing[round].erase("read");
        ++round;
    }
    EXPECT_EQ(listing[0], listing[1]);
    EXPECT_EQ(publishing[0], publishing[1]);
    // Small constants, so that a per-file call cannot hide in them.
    for (const auto& [kind, calls] : listing[1])
        EXPECT_LE(calls, 8u) << "listing: " << kind;
    for (const auto& [kind, calls] : publishing[1])
        EXPECT_LE(calls, 40u) << "publishing: " << kind;
    EXPECT_GE(listing[1]["folder"], 1u);  // the counting sees the folder read
    // The counts, for the record (docs/performance.md quotes them).
    for (const auto* calls : {&listing[1], &publishing[1]}) {
        std::string line = calls == &listing[1] ? "listing:" : "publishing:";
        for (const auto& [kind, count] : *calls)
            line += " " + kind + " " + std::to_string(count);
        RecordProperty(calls == &listing[1] ? "listing" : "publishing", line);
        std::printf("%s\n", line.c_str());
    }
}

}  // namespace
