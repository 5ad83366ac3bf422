// Cursor rules and ownership of the collections. Every element logs its
// destruction, so a leak or a second delete shows in the log (and under the
// sanitizers).
#include "foundation/collections.h"

#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Log = std::vector<int>;

class Node {
public:
    Node(int id, Log& log) : id(id), m_log(log) {}
    virtual ~Node() { m_log.push_back(id); }
    const int id;

private:
    Log& m_log;
};

using Col = CRepoCollection<Node*, CVectorCol<Node*>>;

void Fill(CVectorCol<Node*>& col, Log& log, int from, int to) {
    for (int id = from; id <= to; ++id)
        col.AddToCol(new Node(id, log));
}

std::vector<int> Ids(const Col& col) {
    std::vector<int> ids;
    for (auto it = col.begin(); it != col.GetEnd(); ++it)
        ids.push_back((*it)->id);
    return ids;
}

int Next(Col& col) {
    Node* node = col.MoveNext();
    return node ? node->id : 0;
}

TEST(Collections, CursorRules) {
    Log log;
    Col col;
    EXPECT_EQ(col.GetFirst(), nullptr);
    EXPECT_EQ(col.MoveFirst(), nullptr);
    EXPECT_EQ(col.MoveLast(), nullptr);
    EXPECT_EQ(col.MoveNext(), nullptr);
    Fill(col, log, 1, 1);
    EXPECT_EQ(col.MoveNext(), nullptr);  // never positioned counts as the end
    EXPECT_EQ(col.MoveLast(), col.GetFirst());
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_EQ(col.MoveNext(), nullptr);

    EXPECT_EQ(col.MoveFirst()->id, 1);
    Fill(col, log, 2, 200);             // the array reallocates several times
    EXPECT_EQ(col.GetLast()->id, 200);  // GetFirst / GetLast leave the cursor alone
    for (int id = 2; id <= 200; ++id)
        ASSERT_EQ(Next(col), id);
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_EQ(col.MoveLast()->id, 200);
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_EQ(col.GetCount(), 200);
}

TEST(Collections, DestroysLastToFirstThroughTheVirtualDestructor) {
    Log log;
    std::unique_ptr<CVectorCol<Node*>> base(new Col);
    Fill(*base, log, 1, 3);
    base.reset();
    EXPECT_EQ(log, (Log{3, 2, 1}));
}

// Every element is destroyed exactly once, by the collection that added it,
// whichever copies are made, filled, assigned and destroyed.
TEST(CollectionsOwnership, CopiesBorrowAndOwnOnlyWhatTheyAdd) {
    Log log;
    {
        Col owner;
        Fill(owner, log, 1, 3);
        owner.MoveFirst();
        owner.MoveNext();
        {
            Col view(owner);
            Col viewOfView(view);
            EXPECT_EQ(Next(view), 3);  // the cursor is copied
            Fill(view, log, 4, 5);     // a view owns what it gathers itself
            Fill(viewOfView, log, 6, 6);
        }
        EXPECT_EQ(log, (Log{6, 5, 4}));
        EXPECT_EQ(Next(owner), 3);
    }
    EXPECT_EQ(log, (Log{6, 5, 4, 3, 2, 1}));
}

TEST(CollectionsOwnership, AnAssignedCollectionDestroysOnlyWhatItNoLongerHolds) {
    Log log;
    {
        Col a, b;
        Fill(a, log, 1, 2);
        Fill(b, log, 11, 12);
        a = Col(b);  // a's own go; it borrows b's
        EXPECT_EQ(log, (Log{2, 1}));
        Fill(a, log, 13, 13);
        a = b;  // the one it gathered goes
        EXPECT_EQ(log, (Log{2, 1, 13}));
        EXPECT_EQ(Ids(a), (std::vector<int>{11, 12}));

        log.clear();
        Col owner;
        Fill(owner, log, 1, 2);
        Col view(owner);
        Fill(owner, log, 3, 3);  // not in the view
        Fill(view, log, 4, 4);   // the view's own
        view.MoveLast();
        owner = view;  // a view of itself: it keeps its own, borrows 4, loses 3
        EXPECT_EQ(log, Log{3});
        EXPECT_EQ(Next(owner), 0);  // took the view's cursor
        owner = Col(owner);
        Col& same = owner;
        owner = same;
        owner = std::move(same);
        EXPECT_EQ(Ids(owner), (std::vector<int>{1, 2, 4}));
        log.clear();
    }
    // view (4), owner (1, 2; 4 borrowed), b (11, 12), a (borrowed only).
    EXPECT_EQ(log, (Log{4, 2, 1, 12, 11}));

    log.clear();
    Col owner;
    Fill(owner, log, 1, 2);
    const Col empty;
    owner = empty;
    EXPECT_EQ(log, (Log{2, 1}));
}

TEST(CollectionsOwnership, MovesTransferOwnershipAndTheCursor) {
    Log log;
    {
        std::vector<Col> cols(1);  // collections in a growing vector stay owners
        Fill(cols[0], log, 1, 2);
        cols[0].MoveLast();
        for (int i = 1; i < 20; ++i)
            Fill(cols.emplace_back(), log, 100 + i, 100 + i);
        Col view(cols[1]);
        Fill(view, log, 5, 5);
        Col moved(std::move(cols[0]));
        EXPECT_EQ(cols[0].GetCount(), 0);
        EXPECT_EQ(cols[0].MoveNext(), nullptr);
        EXPECT_EQ(moved.MoveNext(), nullptr);  // the cursor came along
        Col target;
        Fill(target, log, 7, 7);
        target = std::move(moved);
        EXPECT_EQ(log, Log{7});
        EXPECT_EQ(moved.GetCount(), 0);
        EXPECT_EQ(Ids(target), (std::vector<int>{1, 2}));
        Col viewMoved(std::move(view));  // borrowed 101 stays borrowed, 5 owned
        EXPECT_EQ(Ids(viewMoved), (std::vector<int>{101, 5}));
        log.clear();
    }
    EXPECT_EQ(log.size(), 22u);
}

}  // namespace
