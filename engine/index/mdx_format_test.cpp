#include "engine/index/mdx_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/core/dbf_file.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/mdx_node.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

const uint8_t* slotOf(const MdxHeader& h, int k) { return &h.bytes[512 + 32 * static_cast<size_t>(k)]; }

TEST(MdxTagTable, ThreadsFormASearchTreeOverTheNames) {
    MdxHeader h = MdxHeader::makeNew("t");
    for (const char* name : {"M", "C", "X", "A", "D", "MA"}) h.addTagEntry(name, 10, 'C');
    ASSERT_EQ(h.tagCount(), 6);
    // slot: name, left, right, parent
    struct Want {
        const char* name;
        int left, right, parent;
    };
    const Want want[] = {{"M", 2, 3, 0}, {"C", 4, 5, 1}, {"X", 6, 0, 1}, {"A", 0, 0, 2}, {"D", 0, 0, 2}, {"MA", 0, 0, 3}};
    for (int k = 1; k <= 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(h.tagName(k), want[k - 1].name);
        EXPECT_EQ(slotOf(h, k)[16], want[k - 1].left);
        EXPECT_EQ(slotOf(h, k)[17], want[k - 1].right);
        EXPECT_EQ(slotOf(h, k)[18], want[k - 1].parent);
        EXPECT_EQ(slotOf(h, k)[19], 2);
    }
    for (int b = 0; b < 32; ++b) EXPECT_EQ(slotOf(h, 0)[b], 0);
}

TEST(MdxTagTable, ANameIsReplacedByItsLastSlotAndPrefixesAreOtherTags) {
    MdxHeader h = MdxHeader::makeNew("t");
    h.addTagEntry("annee", 10, 'C');
    h.addTagEntry("ANNEECHAMP", 20, 'N');
    h.addTagEntry("nu", 30, 'D');
    EXPECT_EQ(h.findTag("ANNEE"), 1);
    EXPECT_EQ(h.findTag("anneechamp"), 2);
    EXPECT_EQ(h.findTag("ANNEEC"), 0);
    h.addTagEntry("Annee", 40, 'F');  // replaces: the last slot moves into slot 1, the new entry goes last
    EXPECT_EQ(h.tagCount(), 3);
    EXPECT_EQ(h.tagName(1), "NU");
    EXPECT_EQ(h.tagBlock(1), 30u);
    EXPECT_EQ(h.tagName(3), "ANNEE");
    EXPECT_EQ(h.tagBlock(3), 40u);
    EXPECT_EQ(h.tagKeyType(3), 'F');
    EXPECT_EQ(h.tagName(0), "");
    EXPECT_EQ(h.tagName(4), "");
    h.removeTagEntry("NU");
    EXPECT_EQ(h.tagCount(), 2);
    EXPECT_EQ(h.tagName(1), "ANNEE");
    for (int b = 0; b < 32; ++b) EXPECT_EQ(slotOf(h, 3)[b], 0);
}

TEST(MdxTagHeader, DamageIsFound) {
    const TagHeader good = TagHeader::make({"T", "code", "amount > 1", true, true}, 'C', 7, 4, true);
    EXPECT_EQ(good.flags(), 0x58);
    EXPECT_EQ(good.itemLength(), 12);
    EXPECT_EQ(good.maxKeys(), 84);
    EXPECT_TRUE(good.unique());
    EXPECT_TRUE(good.hasFor());
    EXPECT_TRUE(good.forSatisfied());
    EXPECT_EQ(good.forExpr(), "amount > 1");
    EXPECT_EQ(CheckTagHeader(good, 4096), "");
    const std::vector<std::pair<std::string, std::function<void(TagHeader&)>>> damages = {
        {"type", [](TagHeader& h) { h.bytes[9] = 'L'; }},
        {"length 0", [](TagHeader& h) { PutU16(&h.bytes[12], 0); }},
        {"length 101", [](TagHeader& h) { PutU16(&h.bytes[12], 101); }},
        {"item", [](TagHeader& h) { PutU16(&h.bytes[18], 8); }},
        {"keys per node", [](TagHeader& h) { PutU16(&h.bytes[14], 85); }},
        {"no keys per node", [](TagHeader& h) { PutU16(&h.bytes[14], 0); }},
        {"numeric length", [](TagHeader& h) { h.bytes[9] = 'N'; }},
        {"date length", [](TagHeader& h) { h.bytes[9] = 'D'; }},
        {"root in header", [](TagHeader& h) { h.setRoot(2); }},
        {"root past end", [](TagHeader& h) { h.setRoot(7); }},
        {"key text", [](TagHeader& h) { std::memset(&h.bytes[24], 'a', 221); }},
        {"for text", [](TagHeader& h) { std::memset(&h.bytes[762], 'a', 221); }},
        {"empty key", [](TagHeader& h) { h.bytes[24] = 0; }},
    };
    for (const auto& [what, damage] : damages) {
        TagHeader h = good;
        damage(h);
        EXPECT_NE(CheckTagHeader(h, 4096), "") << what;
    }
}

class MdxFileTest : public xbtest::EngineTest {
protected:
    void SetUp() override {
        TableBlock b;
        ASSERT_TRUE(CreateDbf(b, tmp.file("a_rather_long_table_name"), {{"code", 'C', 7, 0}}));
        ASSERT_TRUE(Use(tmp.file("a_rather_long_table_name") + " EXCLUSIVE", nullptr, 0));
    }
    void TearDown() override { CloseAllDatabases(); }
};

TEST_F(MdxFileTest, ANewFileIsItsHeaderAlone) {
    ASSERT_TRUE(CreateMdxHeader(tmp.file("x.mdx")));
    const std::string bytes = xbtest::ReadFileBytes(tmp.file("x.mdx"));
    ASSERT_EQ(bytes.size(), 2048u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x02\x7E\x0C\x07", 4));
    EXPECT_EQ(bytes.substr(4, 16), std::string("a_rather_long_t\0", 16));  // cut to 15 characters
    EXPECT_EQ(bytes.substr(20, 12), std::string("\x02\x00\x00\x04\x01\x30\x20\x00\x00\x00\x00\x00", 12));
    EXPECT_EQ(bytes.substr(32, 4), std::string("\x04\x00\x00\x00", 4));  // its four blocks
    EXPECT_EQ(bytes.substr(44, 3), bytes.substr(1, 3));
    EXPECT_EQ(bytes.find_first_not_of('\0', 47), std::string::npos);
    // Too short to be opened as an index, yet the header can be read back.
    std::vector<std::string> list{"stale"};
    GetIndexTagList(tmp.file("x"), list);
    EXPECT_TRUE(list.empty());
    ASSERT_TRUE(CreateMdxHeader(tmp.file("x.mdx")));
    EXPECT_EQ(CurrentMdxArea()->header.tagCount(), 0);
    GetIndexTagList(tmp.file("missing"), list);
    EXPECT_TRUE(list.empty());
}

TEST_F(MdxFileTest, AForeignHeaderIsRefusedWith222) {
    std::string bytes(4096, '\0');
    bytes[0] = 2;
    bytes[22] = 0;  // node length 512
    bytes[23] = 2;
    xbtest::WriteFileBytes(tmp.file("foreign.mdx"), bytes);
    EXPECT_FALSE(CreateMdxHeader(tmp.file("foreign.mdx")));
    EXPECT_EQ(LastError(), 222);
    MdxHeader h = MdxHeader::makeNew("t");
    const std::vector<std::pair<std::string, std::function<void(MdxHeader&)>>> damages = {
        {"48 tags", [](MdxHeader& x) { x.bytes[28] = 48; }},
        {"unterminated name", [](MdxHeader& x) { std::memset(&x.bytes[512 + 32 + 4], 'A', 11); }},
        {"key type", [](MdxHeader& x) { x.bytes[512 + 32 + 20] = 'X'; }},
        {"page past end", [](MdxHeader& x) { PutU32(&x.bytes[512 + 32], 99); }},
        {"page in header", [](MdxHeader& x) { PutU32(&x.bytes[512 + 32], 1); }},
    };
    h.addTagEntry("T", 4, 'C');
    EXPECT_EQ(CheckMdxHeader(h, 3072), "");
    EXPECT_NE(CheckMdxHeader(h, 2048), "");
    for (const auto& [what, damage] : damages) {
        MdxHeader d = h;
        damage(d);
        EXPECT_NE(CheckMdxHeader(d, 3072), "") << what;
    }
}

TEST_F(MdxFileTest, NodesAndAnchorsAreReadAndWrittenThroughTheTag) {
    ASSERT_TRUE(CreateMdxHeader(tmp.file("n.mdx")));
    MdxArea& area = *CurrentMdxArea();
    // A 4-byte character tag: header page at block 4, an empty root leaf at block 6.
    const std::string zeros(2048, '\0');
    ASSERT_EQ(area.file.writeAt(2048, zeros.data(), zeros.size()), 0);
    area.header.addTagEntry("T", 4, 'C');
    auto tag = std::make_unique<MdxTag>();
    tag->number = 1;
    tag->name = "T";
    tag->header = TagHeader::make({"T", "code", "", false, false}, 'C', 4, 6, false);
    ASSERT_TRUE(WriteAnchor(area, *tag));
    area.tags[1] = std::move(tag);
    MdxTag& t = *area.tags[1];

    uint8_t node[1024] = {};
    PutU32(node, 1);
    PutU32(node + 8, 42);
    std::memcpy(node + 12, "abcd", 4);
    node[kNodeChangedByte] = 1;  // the in-memory changed flag never reaches the file
    ASSERT_TRUE(SeekAndWrite(area, t, 6, node));
    uint8_t back[1024] = {};
    ASSERT_TRUE(SeekAndRead(area, t, 6, back));
    EXPECT_EQ(std::memcmp(back, node, 1024), 0);
    EXPECT_EQ(back[kNodeChangedByte], 0);

    // A node on the descent path is served from the path and refreshed by writes.
    t.path.push_back(MdxPathLevel{6, {}});
    std::memcpy(t.path[0].node.data(), node, 1024);
    t.path[0].node[12] = 'z';
    ASSERT_TRUE(SeekAndRead(area, t, 6, back));
    EXPECT_EQ(back[12], 'z');
    node[12] = 'y';
    ASSERT_TRUE(SeekAndWrite(area, t, 6, node));
    EXPECT_EQ(t.path[0].node[12], 'y');
    t.path.clear();

    // Blocks outside the file and nodes that do not fit the tag are corrupted index.
    EXPECT_FALSE(SeekAndRead(area, t, 8, back));
    EXPECT_EQ(LastError(), 222);
    EXPECT_FALSE(SeekAndRead(area, t, 2, back));
    EXPECT_EQ(LastError(), 222);
    PutU32(node, 300);
    ASSERT_TRUE(SeekAndWrite(area, t, 6, node));
    EXPECT_FALSE(SeekAndRead(area, t, 6, back));
    EXPECT_EQ(LastError(), 222);
    EXPECT_NE(ErrorMsg().find(" [tag: T] node count 300 above the maximum [SeekAndRead]"), std::string::npos);

    // Anchors: another station's change of the header page is read back.
    TagHeader changed = t.header;
    changed.setRoot(6);
    changed.setForSatisfied(true);
    ASSERT_EQ(area.file.writeAt(4 * 512, changed.bytes.data(), kTagHeaderCopySize), 0);
    t.header.setRoot(4);
    ASSERT_TRUE(ReadAnchorNodes());
    EXPECT_EQ(t.header.root(), 6u);
    ASSERT_TRUE(FlushMdxHeader(area));
    EXPECT_EQ(GetU32(&area.header.bytes[32]), 8u);  // the file's 4096 bytes
}

TEST_F(MdxFileTest, TheCheckedNodeReadReportsEveryFailureOnceAsCorruptedIndex) {
    ASSERT_TRUE(CreateMdxHeader(tmp.file("c.mdx")));
    MdxArea& area = *CurrentMdxArea();
    const std::string zeros(2048, '\0');
    ASSERT_EQ(area.file.writeAt(2048, zeros.data(), zeros.size()), 0);
    area.header.addTagEntry("T", 4, 'C');
    auto made = std::make_unique<MdxTag>();
    made->number = 1;
    made->name = "T";
    made->header = TagHeader::make({"T", "code", "", false, false}, 'C', 4, 6, false);
    ASSERT_TRUE(WriteAnchor(area, *made));
    area.tags[1] = std::move(made);
    const MdxTag& t = *area.tags[1];

    // A node at block 6: entries (pointer, 4-character key), then the u32 after them.
    auto write = [&](std::vector<std::pair<uint32_t, std::string>> entries, uint32_t trailer,
                     uint16_t count) {
        uint8_t n[1024] = {};
        PutU16(n, count);
        for (size_t i = 0; i < entries.size(); ++i) {
            PutU32(n + 8 + i * 8, entries[i].first);
            std::memcpy(n + 12 + i * 8, entries[i].second.data(), 4);
        }
        PutU32(n + 8 + entries.size() * 8, trailer);
        ASSERT_EQ(area.file.writeAt(6 * 512, n, sizeof n), 0);
        area.nodes.clear();
    };
    struct {
        const char* name;
        uint32_t block;
        std::function<void()> damage;
        const char* why;
    } cases[] = {
        {"block past the end", 8, [] {}, "block 8: [tag: T] outside the file [Caller]"},
        {"block in the header", 2, [] {}, "block 2: [tag: T] outside the file [Caller]"},
        {"count above the maximum", 6,
         [&] {
             write({{1, "abcd"}}, 0, 300);
         },
         "node count 300 above the maximum"},
        {"record 0 in a leaf", 6,
         [&] {
             write({{1, "abcd"}, {0, "bcde"}}, 0, 2);
         },
         "record number 0 in a leaf"},
        {"leaf keys out of order", 6,
         [&] {
             write({{1, "bbbb"}, {2, "aaaa"}}, 0, 2);
         },
         "leaf keys out of order at entry 1"},
        {"child outside the file", 6,
         [&] {
             write({{100000, "abcd"}}, 6, 1);
         },
         "child block 100000 outside"},
    };
    uint8_t back[1024] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write({{1, "abcd"}, {2, "bcde"}}, 0, 2);
        ASSERT_TRUE(ReadNode(area, t, 6, back, "Caller")) << ErrorMsg();  // sound, and now kept
        c.damage();
        EXPECT_FALSE(ReadNode(area, t, c.block, back, "Caller"));
        EXPECT_EQ(LastError(), 222);
        const std::string msg = ErrorMsg();
        EXPECT_NE(msg.find(c.why), std::string::npos) << msg;
        EXPECT_NE(msg.find("[Caller]"), std::string::npos) << msg;
        // What was refused is not kept: a second read refuses it again.
        EXPECT_FALSE(ReadNode(area, t, c.block, back, "Caller"));
    }
}

// A tag of a 4-byte key over hand-made nodes, for walks over damaged trees.
class MdxWalkTest : public xbtest::EngineTest {
public:
    static constexpr uint16_t kItem = 8;
    std::string file = std::string(2048, '\0');
    TagHeader header = TagHeader::make({"T", "code", "", false, false}, 'C', 4, 4, false);

    // A node at block: entries (pointer, 4-character key) and the u32 after them.
    void node(uint32_t block, const std::vector<std::pair<uint32_t, std::string>>& entries, uint32_t trailer) {
        if (file.size() < (block + 2) * 512) file.resize((block + 2) * 512, '\0');
        uint8_t n[1024] = {};
        PutU32(n, static_cast<uint32_t>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            PutU32(n + 8 + i * kItem, entries[i].first);
            std::memcpy(n + 12 + i * kItem, entries[i].second.data(), 4);
        }
        PutU32(n + 8 + entries.size() * kItem, trailer);
        std::memcpy(&file[block * 512], n, 1024);
    }
    std::string walk(std::vector<uint32_t>* records = nullptr) {
        xbtest::WriteFileBytes(tmp.file("w.mdx"), file);
        platform::File f;
        EXPECT_EQ(f.open(tmp.file("w.mdx"), platform::kModeSharedRead), 0);
        return WalkTag(f, header, [&](const uint8_t*, uint32_t r) {
            if (records) records->push_back(r);
            return true;
        });
    }
};

TEST_F(MdxWalkTest, ASoundTreeIsWalkedInOrderWithLeavesAtDifferentDepths) {
    node(4, {{1, "aaaa"}, {2, "bbbb"}}, 0);
    node(6, {{3, "cccc"}}, 0);
    node(8, {{4, "dddd"}}, 0);
    node(10, {{4, "bbbb"}}, 6);         // a branch over leaves 4 and 6
    node(12, {{10, "cccc"}}, 8);        // the root: a branch child and a leaf child
    header.setRoot(12);
    std::vector<uint32_t> records;
    EXPECT_EQ(walk(&records), "");
    EXPECT_EQ(records, (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST_F(MdxWalkTest, DamagedTreesAreReportedNotFollowed) {
    const std::vector<std::pair<std::string, std::function<void(MdxWalkTest&)>>> damages = {
        {"cycle", [](MdxWalkTest& t) { t.node(4, {{4, "aaaa"}}, 4); }},
        {"shared child", [](MdxWalkTest& t) {
             t.node(6, {{1, "aaaa"}}, 0);
             t.node(4, {{6, "aaaa"}}, 6);
         }},
        {"child past end", [](MdxWalkTest& t) { t.node(4, {{1000, "aaaa"}}, 6); }},
        {"child in header", [](MdxWalkTest& t) { t.node(4, {{0, "aaaa"}}, 2); }},
        {"count above maximum", [](MdxWalkTest& t) {
             t.node(4, {}, 0);
             PutU32(reinterpret_cast<uint8_t*>(&t.file[4 * 512]), 200);
         }},
        {"too deep", [](MdxWalkTest& t) {
             for (uint32_t b = 4; b < 4 + 2 * 40; b += 2) t.node(b, {}, b + 2);
             t.node(4 + 2 * 40, {{1, "aaaa"}}, 0);
         }},
    };
    for (const auto& [what, damage] : damages) {
        file.assign(2048, '\0');
        header.setRoot(4);
        damage(*this);
        EXPECT_NE(walk(), "") << what;
    }
}

}  // namespace
}  // namespace xb
