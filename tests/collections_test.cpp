#include "foundation/collections.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Destruction log: one entry per destroyed element, naming the most derived
// type that ran its destructor and the element's id.
typedef std::vector<std::string> Log;

class Node {
public:
    explicit Node(int id) : m_id(id) {}
    virtual ~Node() = default;
    int Id() const { return m_id; }

private:
    int m_id;
};

class LoggedNode : public Node {
public:
    LoggedNode(int id, Log& log) : Node(id), m_log(log) {}
    ~LoggedNode() override { m_log.push_back("LoggedNode " + std::to_string(Id())); }

private:
    Log& m_log;
};

typedef CVectorCol<Node*> Vec;
typedef CRepoCollection<Node*, CVectorCol<Node*>> Col;

// The library's collections derive from the instantiation this way.
class Nodes : public Col {};

template <class C>
void Fill(C& col, Log& log, int from, int to) {
    for (int id = from; id <= to; ++id)
        col.AddToCol(new LoggedNode(id, log));
}

Log Destroyed(std::initializer_list<int> ids) {
    Log log;
    for (int id : ids)
        log.push_back("LoggedNode " + std::to_string(id));
    return log;
}

std::vector<int> Ids(const Vec& col) {
    std::vector<int> ids;
    for (Node* n : col)
        ids.push_back(n->Id());
    return ids;
}

}  // namespace

TEST(Collections, EmptyCollectionAnswersNull) {
    Col col;
    EXPECT_EQ(col.GetCount(), 0);
    EXPECT_EQ(col.GetFirst(), nullptr);
    EXPECT_EQ(col.GetLast(), nullptr);
    EXPECT_EQ(col.MoveNext(), nullptr);  // never positioned
    EXPECT_EQ(col.MoveFirst(), nullptr);
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_EQ(col.MoveLast(), nullptr);
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_TRUE(col.begin() == col.GetEnd());
    EXPECT_TRUE(col.OwnsElements());
}

TEST(Collections, OneElementCursor) {
    Log log;
    Col col;
    Fill(col, log, 1, 1);
    Node* only = col.GetFirst();
    EXPECT_EQ(col.GetLast(), only);
    EXPECT_EQ(col.MoveNext(), nullptr);  // never positioned counts as the end
    EXPECT_EQ(col.MoveFirst(), only);
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_EQ(col.MoveNext(), nullptr);
    EXPECT_EQ(col.MoveLast(), only);
    EXPECT_EQ(col.MoveNext(), nullptr);
}

TEST(Collections, WalksInInsertionOrderAndMovesLast) {
    Log log;
    Col col;
    Fill(col, log, 1, 3);
    EXPECT_EQ(col.GetCount(), 3);

    std::vector<int> walked;
    for (Node* n = col.MoveFirst(); n; n = col.MoveNext())
        walked.push_back(n->Id());
    EXPECT_EQ(walked, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(col.MoveNext(), nullptr);

    EXPECT_EQ(Ids(col), (std::vector<int>{1, 2, 3}));
    std::vector<int> iterated;
    for (auto it = col.begin(); it != col.GetEnd(); ++it)
        iterated.push_back((*it)->Id());
    EXPECT_EQ(iterated, walked);

    EXPECT_EQ(col.MoveLast()->Id(), 3);
    EXPECT_EQ(col.MoveNext(), nullptr);
    // GetFirst / GetLast leave the cursor where it is.
    col.MoveFirst();
    EXPECT_EQ(col.GetLast()->Id(), 3);
    EXPECT_EQ(col.GetFirst()->Id(), 1);
    EXPECT_EQ(col.MoveNext()->Id(), 2);
}

TEST(Collections, CursorSurvivesGrowth) {
    Log log;
    Col col;
    Fill(col, log, 1, 1);
    EXPECT_EQ(col.MoveFirst()->Id(), 1);
    Fill(col, log, 2, 200);  // forces the array to reallocate several times
    for (int id = 2; id <= 200; ++id)
        ASSERT_EQ(col.MoveNext()->Id(), id);
    EXPECT_EQ(col.MoveNext(), nullptr);
}

TEST(Collections, DestroysLastToFirstThroughVirtualDestructor) {
    Log log;
    {
        Nodes nodes;
        Fill(nodes, log, 1, 3);
    }
    EXPECT_EQ(log, Destroyed({3, 2, 1}));

    log.clear();
    std::unique_ptr<Vec> base(new Col);
    Fill(*base, log, 1, 2);
    base.reset();
    EXPECT_EQ(log, Destroyed({2, 1}));
}

TEST(CollectionsOwnership, CopyIsAViewThatNeverDeletes) {
    Log log;
    {
        Col owner;
        Fill(owner, log, 1, 3);
        owner.MoveFirst();
        owner.MoveNext();
        {
            Col view(owner);
            EXPECT_FALSE(view.OwnsElements());
            EXPECT_TRUE(owner.OwnsElements());
            EXPECT_EQ(view.GetCount(), 3);
            EXPECT_EQ(view.MoveNext()->Id(), 3);  // the cursor is copied
            Col viewOfView(view);
            EXPECT_FALSE(viewOfView.OwnsElements());
        }
        EXPECT_TRUE(log.empty());
        // The owner's elements and cursor are untouched.
        EXPECT_EQ(owner.MoveNext()->Id(), 3);
        EXPECT_EQ(owner.GetFirst()->Id(), 1);
    }
    EXPECT_EQ(log, Destroyed({3, 2, 1}));
}

TEST(CollectionsOwnership, OwnerAssignedAForeignViewDestroysItsOwn) {
    Log log;
    {
        Col a;
        Fill(a, log, 1, 2);
        Col b;
        Fill(b, log, 11, 12);
        {
            Col viewOfB(b);
            a = viewOfB;
        }
        EXPECT_EQ(log, Destroyed({2, 1}));
        EXPECT_FALSE(a.OwnsElements());
        EXPECT_EQ(Ids(a), (std::vector<int>{11, 12}));
        a = b;  // a view assigned an owner stays a view
        EXPECT_FALSE(a.OwnsElements());
        log.clear();
    }
    // a went first (a view), then b destroyed its own elements once.
    EXPECT_EQ(log, Destroyed({12, 11}));
}

TEST(CollectionsOwnership, OwnerAssignedAViewOfItselfKeepsItsElements) {
    Log log;
    {
        Col owner;
        Fill(owner, log, 1, 2);
        Col view(owner);
        Fill(owner, log, 3, 3);  // not in the view
        owner.MoveFirst();
        view.MoveLast();
        owner = view;
        EXPECT_EQ(log, Destroyed({3}));
        EXPECT_TRUE(owner.OwnsElements());
        EXPECT_EQ(Ids(owner), (std::vector<int>{1, 2}));
        EXPECT_EQ(owner.MoveNext(), nullptr);  // took the view's cursor
        owner = Col(owner);                    // the same, moved
        EXPECT_TRUE(owner.OwnsElements());
        EXPECT_EQ(log, Destroyed({3}));
        log.clear();
    }
    EXPECT_EQ(log, Destroyed({2, 1}));
}

TEST(CollectionsOwnership, OwnerAssignedAnEmptyCollectionStaysOwner) {
    Log log;
    Col owner;
    Fill(owner, log, 1, 2);
    Col empty;
    Col emptyView(empty);
    owner = emptyView;
    EXPECT_EQ(log, Destroyed({2, 1}));
    EXPECT_TRUE(owner.OwnsElements());
    log.clear();
    Fill(owner, log, 5, 5);
    owner = Col();
    EXPECT_EQ(log, Destroyed({5}));
}

TEST(CollectionsOwnership, SelfAssignmentChangesNothing) {
    Log log;
    {
        Col col;
        Fill(col, log, 1, 2);
        col.MoveFirst();
        Col& same = col;
        col = same;
        EXPECT_TRUE(col.OwnsElements());
        EXPECT_EQ(col.MoveNext()->Id(), 2);
        col = std::move(same);
        EXPECT_TRUE(col.OwnsElements());
        EXPECT_EQ(col.GetCount(), 2);
        EXPECT_TRUE(log.empty());
    }
    EXPECT_EQ(log, Destroyed({2, 1}));
}

TEST(CollectionsOwnership, MoveTransfersOwnership) {
    Log log;
    {
        Col target;
        {
            Col source;
            Fill(source, log, 1, 2);
            source.MoveLast();
            Col moved(std::move(source));
            EXPECT_TRUE(moved.OwnsElements());
            EXPECT_EQ(source.GetCount(), 0);
            EXPECT_EQ(source.MoveNext(), nullptr);
            EXPECT_EQ(moved.MoveNext(), nullptr);  // the cursor came along

            Fill(target, log, 7, 7);
            target = std::move(moved);
            EXPECT_EQ(log, Destroyed({7}));
            EXPECT_EQ(moved.GetCount(), 0);
            log.clear();
        }
        EXPECT_TRUE(log.empty());
        EXPECT_TRUE(target.OwnsElements());
        EXPECT_EQ(Ids(target), (std::vector<int>{1, 2}));
    }
    EXPECT_EQ(log, Destroyed({2, 1}));
}

TEST(CollectionsOwnership, ViewDoesNotOwnWhatIsAddedToIt) {
    Log log;
    Col owner;
    Fill(owner, log, 1, 1);
    LoggedNode* extra = new LoggedNode(2, log);
    {
        Col view(owner);
        view.AddToCol(extra);
        EXPECT_EQ(view.GetLast(), extra);
    }
    EXPECT_TRUE(log.empty());
    delete extra;
    EXPECT_EQ(log, Destroyed({2}));
}

TEST(CollectionsOwnership, CollectionsInAGrowingVectorStayOwners) {
    Log log;
    {
        std::vector<Col> cols;
        for (int i = 0; i < 20; ++i) {
            cols.emplace_back();
            Fill(cols.back(), log, i, i);
        }
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(cols[i].OwnsElements());
            ASSERT_EQ(cols[i].GetFirst()->Id(), i);
        }
        EXPECT_TRUE(log.empty());
    }
    EXPECT_EQ(log.size(), 20u);
}
