#include "engine/core/record_list.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace xb {
namespace {

std::unique_ptr<RecordNode> node(int id) {
    auto n = std::make_unique<RecordNode>();
    n->data = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id >> 16)};
    return n;
}

int idOf(const RecordNode* n) {
    return n->data[0] | (n->data[1] << 8) | (n->data[2] << 16);
}

std::vector<int> ids(const RecordList& l) {
    std::vector<int> out;
    for (const RecordNode* n : l.inOrder()) out.push_back(idOf(n));
    return out;
}

// Random inserts, removals and look-ups by position, checked after every step against a plain vector.
TEST(RecordListTest, MatchesAVectorUnderRandomInsertsAndRemovals) {
    std::mt19937 rng(7);
    RecordList list;
    std::vector<int> model;
    int next = 0;
    for (int step = 0; step < 4000; ++step) {
        const int32_t n = static_cast<int32_t>(model.size());
        const int what = static_cast<int>(rng() % 10);
        if (what < 6 || n == 0) {
            const int32_t pos = static_cast<int32_t>(rng() % (n + 1)) + 1;
            list.insertAt(pos, node(next));
            model.insert(model.begin() + (pos - 1), next);
            ++next;
        } else {
            const int32_t pos = static_cast<int32_t>(rng() % n) + 1;
            std::unique_ptr<RecordNode> gone = list.removeAt(pos);
            ASSERT_NE(gone, nullptr);
            EXPECT_EQ(idOf(gone.get()), model[static_cast<size_t>(pos - 1)]);
            model.erase(model.begin() + (pos - 1));
        }
        ASSERT_EQ(list.count(), static_cast<int32_t>(model.size()));
        if (!model.empty()) {
            const int32_t probe = static_cast<int32_t>(rng() % model.size()) + 1;
            ASSERT_EQ(idOf(list.at(probe)), model[static_cast<size_t>(probe - 1)]) << "step " << step;
        }
        if (step % 500 == 0) {
            ASSERT_EQ(ids(list), model);
        }
    }
    EXPECT_EQ(ids(list), model);
}

TEST(RecordListTest, PositionsOutsideTheListFindNothing) {
    RecordList list;
    EXPECT_EQ(list.at(1), nullptr);
    EXPECT_EQ(list.removeAt(1), nullptr);
    list.insertAt(1, node(1));
    list.insertAt(2, node(2));
    for (int32_t pos : {-1, 0, 3, 1000}) {
        EXPECT_EQ(list.at(pos), nullptr) << pos;
        EXPECT_EQ(list.removeAt(pos), nullptr) << pos;
    }
    EXPECT_EQ(ids(list), (std::vector<int>{1, 2}));
}

TEST(RecordListTest, AdoptAndSwapHandOverWholeLists) {
    RecordList a, b;
    for (int i = 1; i <= 5; ++i) a.insertAt(i, node(i));
    b.insertAt(1, node(9));
    // Taking the records out of one list and giving them, reordered, to another.
    std::vector<RecordNode*> nodes = a.inOrder();
    a.releaseAll();
    std::reverse(nodes.begin(), nodes.end());
    b.adopt(nodes);  // frees b's own record 9
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(ids(b), (std::vector<int>{5, 4, 3, 2, 1}));
    a.swap(b);
    EXPECT_EQ(ids(a), (std::vector<int>{5, 4, 3, 2, 1}));
    EXPECT_EQ(b.count(), 0);
}

}  // namespace
}  // namespace xb
