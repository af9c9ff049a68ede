#include "engine/index/mdx_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/index/mdx_update_fixture.h"
#include "platform/file.h"

namespace xb {
namespace {

using xbtest::Num;
using xbtest::Pad;
using xbtest::RawNode;
using xbtest::ReadFileBytes;

constexpr int kWide = 100;  // a 100-byte key: 9 keys per node, so a few records make a deep tree

std::string key(int k) {
    return Pad("k" + Num(k, 3), kWide);
}

class MdxUpdateTest : public xbtest::MdxUpdateFixture {
protected:
    // A table of one 100-character field and one numeric field, records holding the given keys.
    void wideTable(const std::vector<int>& keys,
                   const std::vector<TagDefinition>& tags = {{"K", "k", "", false, false}}) {
        makeTable({{"k", 'C', kWide, 0}, {"n", 'N', 5, 0}}, tags, static_cast<int32_t>(keys.size()),
                  [&](int32_t r) { return key(keys[static_cast<size_t>(r - 1)]) + Num(r, 5); });
    }
    bool append(const std::string& k, int n = 0) {
        ClearRecord();
        TypedSetString(FieldAddress(1), kWide, k);
        TypedSetInt(FieldAddress(2), n);
        return Append();
    }
    bool replace(int32_t rec, const std::string& k, int n) {
        if (!Go(rec)) return false;
        TypedSetString(FieldAddress(1), kWide, k);
        TypedSetInt(FieldAddress(2), n);
        return Replace();
    }
    // The keys (first 4 characters) and records of tag n in order, as the checker reads them.
    std::vector<std::pair<std::string, uint32_t>> entries(size_t n = 0) {
        const xbtest::MdxReport r = check();
        EXPECT_TRUE(r.ok()) << r.text();
        std::vector<std::pair<std::string, uint32_t>> out;
        if (n < r.tags.size())
            for (const auto& e : r.tags[n].entries) out.emplace_back(e.key.substr(0, 4), e.record);
        return out;
    }
    // The last key under a node, down its rightmost children.
    std::string highest(uint32_t block) {
        RawNode n = node(block, kWide);
        while (!n.leaf) n = node(n.trailer, kWide);
        return n.keys.back();
    }
};

// ---- insertion ----------------------------------------------------------------------------------------

struct LeafSplitCase {
    int key;
    int oldCount;
    int newCount;
};

TEST_F(MdxUpdateTest, AFullRootLeafSplitsIntoTwoLeavesUnderANewRoot) {
    // Nine keys fill the root leaf; the split keeps 9 - 9 div 2 = 5 entries in the old leaf and moves 4,
    // and the tenth key goes into the half where it belongs.
    const LeafSplitCase cases[] = {{1, 6, 4}, {9, 6, 4}, {11, 5, 5}, {19, 5, 5}, {10, 5, 5}};
    for (const LeafSplitCase& c : cases) {
        SCOPED_TRACE(c.key);
        wideTable({2, 4, 6, 8, 10, 12, 14, 16, 18});
        const uint32_t oldRoot = fileRoot(1);
        ASSERT_EQ(node(oldRoot, kWide).count, 9);
        ASSERT_TRUE(append(key(c.key))) << ErrorMsg();

        const uint32_t root = fileRoot(1);
        ASSERT_NE(root, oldRoot);
        const RawNode r = node(root, kWide);
        ASSERT_FALSE(r.leaf);
        ASSERT_EQ(r.count, 1);
        EXPECT_EQ(r.pointers[0], oldRoot);  // the old root stays the left child
        const RawNode left = node(oldRoot, kWide), right = node(r.trailer, kWide);
        EXPECT_TRUE(left.leaf && right.leaf);
        EXPECT_EQ(left.count, c.oldCount);
        EXPECT_EQ(right.count, c.newCount);
        EXPECT_EQ(r.keys[0], left.keys.back());
        EXPECT_EQ(entries().size(), 10u);
        CloseAllDatabases();
        std::filesystem::remove(dbf());
        std::filesystem::remove(mdx());
    }
}

TEST_F(MdxUpdateTest, ABranchSplitGivesUpItsLastKeyAndTakesItsSeparatorFromTheRightmostLeaf) {
    wideTable({});
    std::mt19937 rng(7);
    int branchSplits = 0;
    for (int i = 0; i < 400 && branchSplits < 1; ++i) {
        const uint32_t before = fileRoot(1);
        const RawNode oldRoot = node(before, kWide);
        ASSERT_TRUE(append(key(static_cast<int>(rng() % 1000)))) << ErrorMsg();
        const uint32_t after = fileRoot(1);
        if (after == before || oldRoot.leaf) continue;
        // The root was a full branch node and split: it kept 9 - 4 - 1 keyed entries plus its rightmost
        // child (one more when the child's split went into it), the new node took the other 4.
        ++branchSplits;
        ASSERT_EQ(oldRoot.count, 9);
        const RawNode root = node(after, kWide);
        ASSERT_EQ(root.count, 1);
        EXPECT_EQ(root.pointers[0], before);
        const RawNode left = node(before, kWide), right = node(root.trailer, kWide);
        EXPECT_FALSE(left.leaf);
        EXPECT_EQ(left.count + right.count, 9);
        EXPECT_TRUE(left.count == 4 || left.count == 5) << left.count;
        EXPECT_EQ(root.keys[0], highest(before));
        // The old half's rightmost child holds the key it gave up as its highest.
        const xbtest::MdxReport r = check();
        ASSERT_TRUE(r.ok()) << r.text();
    }
    EXPECT_EQ(branchSplits, 1);
}

TEST_F(MdxUpdateTest, EqualKeysStandInRecordOrderAcrossLeaves) {
    wideTable(std::vector<int>(25, 7));  // three leaves of the same key
    ASSERT_TRUE(append(key(7)));         // record 26
    ASSERT_TRUE(append(key(3)));         // record 27
    ASSERT_TRUE(append(key(9)));         // record 28
    auto e = entries();
    ASSERT_EQ(e.size(), 28u);
    EXPECT_EQ(e[0], std::make_pair(std::string("k  3"), 27u));
    for (uint32_t i = 1; i <= 26; ++i) EXPECT_EQ(e[i], std::make_pair(std::string("k  7"), i));
    EXPECT_EQ(e.back(), std::make_pair(std::string("k  9"), 28u));
    // A record moving to a key takes its place among the equals by its number, whichever leaf that is.
    for (uint32_t rec : {27u, 28u}) ASSERT_TRUE(replace(rec, key(7), rec)) << ErrorMsg();
    ASSERT_TRUE(replace(3, key(5), 3)) << ErrorMsg();
    ASSERT_TRUE(replace(3, key(7), 3)) << ErrorMsg();
    e = entries();
    ASSERT_EQ(e.size(), 28u);
    for (uint32_t i = 0; i < 28; ++i) EXPECT_EQ(e[i], std::make_pair(std::string("k  7"), i + 1));
    // Any record among equal keys can be taken out, whichever leaf holds it.
    for (uint32_t rec : {14u, 1u, 25u, 26u}) {
        SCOPED_TRACE(rec);
        const std::string k = key(7);
        EXPECT_EQ(DeleteKey(reinterpret_cast<const uint8_t*>(k.data()), tag(1), rec), 0);
        const auto now = entries();
        EXPECT_EQ(std::count_if(now.begin(), now.end(), [&](const auto& x) { return x.second == rec; }), 0);
    }
    EXPECT_EQ(entries().size(), 24u);
    const std::string k = key(7);
    EXPECT_EQ(DeleteKey(reinterpret_cast<const uint8_t*>(k.data()), tag(1), 14), kKeyMissing);
}

TEST_F(MdxUpdateTest, TakingOutTheNewestOfManyEqualKeysDoesNotWalkThemAll) {
    // The newest record's key is the last of its equals: a replace of a just-appended row takes it out
    // in one descent, however many rows share the key.
    wideTable(std::vector<int>(400, 7));
    const std::string k = key(7);
    const auto before = platform::FileCalls();
    ASSERT_EQ(DeleteKey(reinterpret_cast<const uint8_t*>(k.data()), tag(1), 400), 0);
    const auto spent = platform::FileCalls() - before;
    EXPECT_LE(spent.read, 8u) << "a walk across the equal keys";
    // The others are where they were, and the one before the last goes the same way.
    ASSERT_EQ(DeleteKey(reinterpret_cast<const uint8_t*>(k.data()), tag(1), 399), 0);
    const auto e = entries();
    ASSERT_EQ(e.size(), 398u);
    for (uint32_t i = 0; i < 398; ++i) EXPECT_EQ(e[i].second, i + 1);
}

TEST_F(MdxUpdateTest, AUniqueTagKeepsTheFirstClaimant) {
    wideTable({5, 6}, {{"U", "k", "", false, true}, {"K", "k", "", false, false}});
    ASSERT_TRUE(append(key(5))) << ErrorMsg();  // record 3: no error, not in the unique tag
    ASSERT_TRUE(append(key(4))) << ErrorMsg();
    EXPECT_EQ(entries(0),
              (std::vector<std::pair<std::string, uint32_t>>{{"k  4", 4}, {"k  5", 1}, {"k  6", 2}}));
    EXPECT_EQ(entries(1).size(), 4u);
    // Record 3 leaving key 5 takes nothing out of the unique tag; the claimant leaving it does.
    ASSERT_TRUE(replace(3, key(8), 3)) << ErrorMsg();
    ASSERT_TRUE(replace(1, key(9), 1)) << ErrorMsg();
    EXPECT_EQ(entries(0), (std::vector<std::pair<std::string, uint32_t>>{
                              {"k  4", 4}, {"k  6", 2}, {"k  8", 3}, {"k  9", 1}}));
}

// ---- deletion -----------------------------------------------------------------------------------------

TEST_F(MdxUpdateTest, DeletionsRepairSeparatorsDropEmptiedLeavesAndCollapseTheRoot) {
    wideTable({2, 4, 6, 8, 10, 12, 14, 16, 18});
    const uint32_t leftBlock = fileRoot(1);
    ASSERT_TRUE(append(key(19)));  // left leaf 2..10, right leaf 12..19
    const uint32_t rootBlock = fileRoot(1);
    const uint32_t rightBlock = node(rootBlock, kWide).trailer;
    auto del = [&](int k, uint32_t rec) {
        const std::string s = key(k);
        return DeleteKey(reinterpret_cast<const uint8_t*>(s.data()), tag(1), rec);
    };

    // The last key of the left leaf: the root's separator follows the leaf's new last key.
    ASSERT_EQ(del(10, 5), 0);
    EXPECT_EQ(node(rootBlock, kWide).keys[0], key(8));
    // The right leaf empties down to its only key, then loses that too: the leaf is zeroed, the root
    // keeps no key and the left leaf becomes the root.
    for (int k = 12; k <= 18; k += 2) ASSERT_EQ(del(k, static_cast<uint32_t>(k / 2)), 0);
    ASSERT_EQ(node(rightBlock, kWide).count, 1);
    ASSERT_EQ(del(19, 10), 0);
    EXPECT_EQ(ReadFileBytes(mdx()).substr(static_cast<size_t>(rightBlock) * 512, 1024),
              std::string(1024, '\0'));
    EXPECT_EQ(fileRoot(1), leftBlock);
    EXPECT_EQ(entries(), (std::vector<std::pair<std::string, uint32_t>>{
                             {"k  2", 1}, {"k  4", 2}, {"k  6", 3}, {"k  8", 4}}));
    // The root leaf's last key goes without any separator to repair.
    ASSERT_EQ(del(8, 4), 0);
    EXPECT_EQ(entries().size(), 3u);
}

TEST_F(MdxUpdateTest, EmptyingAForTagClearsItsForSatisfiedByteAndRefillingSetsIt) {
    wideTable({1, 2, 3}, {{"F", "k", "n > 0", false, false}});
    ASSERT_TRUE(check().tags[0].forSatisfied);
    for (int32_t r = 1; r <= 3; ++r) ASSERT_TRUE(replace(r, key(r), 0)) << ErrorMsg();
    xbtest::MdxReport rep = check();
    ASSERT_TRUE(rep.ok()) << rep.text();
    EXPECT_TRUE(rep.tags[0].entries.empty());
    EXPECT_FALSE(rep.tags[0].forSatisfied);
    ASSERT_TRUE(replace(2, key(2), 5)) << ErrorMsg();
    rep = check();
    EXPECT_TRUE(rep.tags[0].forSatisfied);
    EXPECT_EQ(rep.tags[0].entries.size(), 1u);
}

TEST_F(MdxUpdateTest, DeletingEveryKeyOfADeepTreeLeavesAnEmptyRootLeaf) {
    std::vector<int> keys(200);
    for (int i = 0; i < 200; ++i) keys[static_cast<size_t>(i)] = (i * 37) % 200;
    wideTable(keys);
    std::mt19937 rng(3);
    std::vector<int32_t> order(200);
    for (int i = 0; i < 200; ++i) order[static_cast<size_t>(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t i = 0; i < order.size(); ++i) {
        const std::string s = key(keys[static_cast<size_t>(order[i] - 1)]);
        ASSERT_EQ(
            DeleteKey(reinterpret_cast<const uint8_t*>(s.data()), tag(1), static_cast<uint32_t>(order[i])),
            0);
        if (i % 10 == 0) {
            ASSERT_EQ(entries().size(), 199 - i);
        }
    }
    const RawNode root = node(fileRoot(1), kWide);
    EXPECT_TRUE(root.leaf);
    EXPECT_EQ(root.count, 0);
    ASSERT_TRUE(append(key(1)));
    EXPECT_EQ(entries().size(), 1u);
}

// ---- replaces -----------------------------------------------------------------------------------------

class MdxReplaceTest : public MdxUpdateTest {
protected:
    // Tag 1 on the key field, tag 2 on the key field for records with n > 50, tag 3 on n.
    void SetUp() override {
        MdxUpdateTest::SetUp();
        wideTable(
            {1, 2, 3, 4},
            {{"K", "k", "", false, false}, {"F", "k", "n > 50", false, false}, {"N", "n", "", false, false}});
    }
};

TEST_F(MdxReplaceTest, AReplaceThatChangesNoKeyWritesNoNode) {
    const std::string before = ReadFileBytes(mdx());
    // The record write is the first write; any second one (a node or a header) would fail.
    platform::InjectFault(platform::FaultOp::Write, 2, 29);
    ASSERT_TRUE(replace(3, key(3), 3)) << ErrorMsg();
    platform::ClearFaults();
    EXPECT_EQ(ReadFileBytes(mdx()), before);
}

TEST_F(MdxReplaceTest, ForMembershipFollowsWhetherTheRecordWasInIsInAndChangedItsKey) {
    struct Case {
        int oldN, newN;
        bool keyChanges;
    };
    // Records 1 to 4 hold n = 1 to 4 (outside the FOR tag); record 5 and 6 hold key 2 like record 2.
    const Case cases[] = {{10, 60, false}, {60, 10, false}, {10, 60, true}, {60, 10, true},
                          {60, 70, false}, {60, 70, true},  {10, 20, true}, {10, 20, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.oldN) + " -> " + std::to_string(c.newN) + (c.keyChanges ? " key" : ""));
        ASSERT_TRUE(append(key(2), 99));  // others hold key 2 inside and outside the FOR tag
        ASSERT_TRUE(append(key(2), 1));
        ASSERT_TRUE(append(key(2), c.oldN));
        const int32_t rec = CurrentBlock()->recNo;
        ASSERT_TRUE(replace(rec, key(c.keyChanges ? 7 : 2), c.newN)) << ErrorMsg();
        const auto f = entries(1);
        const bool in = std::count(f.begin(), f.end(),
                                   std::make_pair(std::string(c.keyChanges ? "k  7" : "k  2"),
                                                  static_cast<uint32_t>(rec))) == 1;
        EXPECT_EQ(in, c.newN > 50);
        EXPECT_EQ(std::count_if(f.begin(), f.end(),
                                [&](const auto& e) { return e.second == static_cast<uint32_t>(rec); }),
                  c.newN > 50 ? 1 : 0);
        EXPECT_EQ(entries(0).size(), static_cast<size_t>(CurrentBlock()->recCount));
        // Put the record back out of the way for the next case.
        ASSERT_TRUE(replace(rec, key(500), 0)) << ErrorMsg();
    }
}

TEST_F(MdxReplaceTest, AKeyMissingFromOneTagIsReportedAndEveryOtherTagStillMoves) {
    const std::string k3 = key(3);
    ASSERT_EQ(DeleteKey(reinterpret_cast<const uint8_t*>(k3.data()), tag(1), 3), 0);  // damage tag 1
    EXPECT_FALSE(Go(3));  // the record is read; the order cannot stand on it
    TypedSetString(FieldAddress(1), kWide, key(8));
    TypedSetInt(FieldAddress(2), 80);
    EXPECT_FALSE(Replace());
    EXPECT_EQ(LastError(), 254);
    EXPECT_NE(ErrorMsg().find("Record number 3 not found in index.  [tag: K] [CompareKeys]"),
              std::string::npos);
    // The failure changed nothing: the row is as it was stored, and every tag, the damaged one included,
    // is rebuilt from the rows.
    ASSERT_TRUE(Go(3)) << ErrorMsg();
    EXPECT_EQ(TypedGetString(FieldAddress(1)).substr(0, 4), "k  3");
    const auto k = entries(0), f = entries(1), n = entries(2);
    EXPECT_EQ(k, (std::vector<std::pair<std::string, uint32_t>>{
                     {"k  1", 1}, {"k  2", 2}, {"k  3", 3}, {"k  4", 4}}));
    EXPECT_TRUE(f.empty());
    EXPECT_EQ(n.size(), 4u);
}

TEST_F(MdxReplaceTest, GoReportsARecordWhoseKeyIsNotInTheOrder) {
    const std::string k3 = key(3);
    ASSERT_EQ(DeleteKey(reinterpret_cast<const uint8_t*>(k3.data()), tag(1), 3), 0);
    EXPECT_FALSE(Go(3));
    EXPECT_EQ(LastError(), 212);
    EXPECT_NE(ErrorMsg().find("Key: \"" + k3 + "\" not in index:  [tag: K]. [SyncIndex-1] Record: 3"),
              std::string::npos)
        << ErrorMsg();
    // The key is there, but for another record.
    ASSERT_TRUE(append(key(3)));
    EXPECT_FALSE(Go(3));
    EXPECT_NE(ErrorMsg().find("Record with key: \"" + k3 + "\" not in index:  [tag: K]. [SyncIndex-2]"),
              std::string::npos)
        << ErrorMsg();
    // A record outside the order's FOR condition puts the order at its end.
    ASSERT_TRUE(Go(1));
    EXPECT_FALSE(tag(1).eof);
    std::swap(area().tags[1], area().tags[2]);
    ASSERT_TRUE(Go(1));
    EXPECT_TRUE(tag(1).eof);
}

// ---- failures -----------------------------------------------------------------------------------------

TEST_F(MdxUpdateTest, EveryFailedWriteOfASplitIsReportedAndTheAppendTakenBack) {
    wideTable({2, 4, 6, 8, 10, 12, 14, 16, 18});
    // Ascending keys until the root is a full branch node over a full rightmost leaf: the next key
    // splits the leaf, the root and grows a new root.
    int next = 20;
    for (;; ++next) {
        const RawNode root = node(fileRoot(1), kWide);
        if (!root.leaf && root.count == 9 && node(root.trailer, kWide).count == 9) break;
        ASSERT_LT(next, 400);
        ASSERT_TRUE(append(key(next)));
    }
    const int32_t count = CurrentBlock()->recCount;
    CloseAllDatabases();
    const std::string savedDbf = ReadFileBytes(dbf()), savedMdx = ReadFileBytes(mdx());
    int failures = 0;
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        CloseAllDatabases();
        xbtest::WriteFileBytes(dbf(), savedDbf);
        xbtest::WriteFileBytes(mdx(), savedMdx);
        ASSERT_TRUE(Use(dbf() + " EXCLUSIVE", nullptr, 0));
        ASSERT_TRUE(xbtest::OpenTestIndex(mdx()));
        platform::InjectFault(platform::FaultOp::Write, nth, 29);
        const bool ok = append(key(next));
        platform::ClearFaults();
        if (ok) break;
        ++failures;
        EXPECT_EQ(LastError(), 29);
        // The failure leaves the table and the index as they were: the record is gone again and every
        // tag is a sound tree over the records that stay.
        EXPECT_EQ(CurrentBlock()->recCount, count);
        CloseAllDatabases();
        EXPECT_EQ(ReadFileBytes(dbf()).substr(32), savedDbf.substr(32));
        ASSERT_TRUE(Use(dbf() + " EXCLUSIVE", nullptr, 0));
        const xbtest::MdxReport after = check();
        ASSERT_TRUE(after.ok()) << after.text();
        EXPECT_EQ(after.tags[0].entries.size(), static_cast<size_t>(count));
    }
    EXPECT_GE(failures, 6);  // the record, three new nodes, two rewritten nodes, the tag header
    const xbtest::MdxReport r = check();
    ASSERT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(r.tags[0].entries.size(), static_cast<size_t>(count + 1));
}

TEST_F(MdxUpdateTest, AnAppendThatOneTagRefusesIsTakenBackFromTheTableAndEveryTag) {
    wideTable({1, 2}, {{"A", "k", "", false, false}, {"B", "n", "", false, false}});
    platform::InjectFault(platform::FaultOp::Alloc, 1, 8);
    EXPECT_FALSE(append(key(5), 5));
    platform::ClearFaults();
    EXPECT_EQ(LastError(), 217);
    EXPECT_EQ(CurrentBlock()->recCount, 2);
    EXPECT_EQ(entries(0).size(), 2u);
    EXPECT_EQ(entries(1).size(), 2u);
    EXPECT_TRUE(append(key(5), 5));
    EXPECT_EQ(entries(0).size(), 3u);
    EXPECT_EQ(entries(1).size(), 3u);
}

TEST_F(MdxUpdateTest, ADamagedNodeIsRefusedRatherThanFollowed) {
    wideTable({2, 4, 6, 8, 10, 12, 14, 16, 18, 20});
    const uint32_t root = fileRoot(1);
    std::string bytes = ReadFileBytes(mdx());
    // The root's first child pointer now leads outside the file.
    bytes[static_cast<size_t>(root) * 512 + 8] = '\x7F';
    bytes[static_cast<size_t>(root) * 512 + 9] = '\x7F';
    xbtest::WriteFileBytes(mdx(), bytes);
    EXPECT_FALSE(append(key(1)));
    EXPECT_EQ(LastError(), 222);
    EXPECT_NE(ErrorMsg().find("[AppendIndex]"), std::string::npos);
}

}  // namespace
}  // namespace xb
