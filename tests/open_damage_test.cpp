// Opening a table through the dataset component (the application's road) when its index is damaged,
// read-only, or refused: a damaged index is rebuilt at the open, a failed open leaves nothing behind, a
// read-only open changes no file, and a tag with a FOR condition as the current order never turns an
// append into an error. Every case runs with trapping on (an error halts) and off (it is raised).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/mdx_format.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"

namespace {

using namespace xb;

const std::vector<std::string> kFields = {"id, N, 8, 0", "name, C, 20, 0", "grp, N, 4, 0", "notes, M, 10, 0"};
const std::vector<std::string> kIndexList = {"ID,F,F,id", "", "NAME,F,F,name", "", "ODD,F,F,id", "grp = 1"};
constexpr int kRows = 200;

// An error that reached the halt with trapping on.
struct Halted {
    uint16_t code;
};

class OpenDamage : public xbtest::EngineTest, public ::testing::WithParamInterface<bool> {
public:
    OpenDamage() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~OpenDamage() override {
        IndexServices() = m_saved;
        SetHaltHandler(nullptr);
    }

    void SetUp() override {
        auto t = open();
        ASSERT_TRUE(t->Active()) << LastError() << " " << engine().errors.detail;
        for (int i = 1; i <= kRows; ++i) {
            ASSERT_TRUE(t->ALock());
            t->AppendBlank();
            t->UnLock();
            ASSERT_TRUE(t->RLock());
            t->FieldPutInt("id", i);
            t->FieldPutStr("name", "Team " + std::to_string((i * 37) % kRows));
            t->FieldPutInt("grp", i % 2);
            t->ReplaceRec();
            t->UnLock();
        }
        t.reset();
        trapping(GetParam());
    }

    // Trapping on: an error halts, which the test sees as Halted; off: the engine raises EEngineError.
    void trapping(bool on) {
        SetErrorTrap(on);
        SetHaltHandler([](const std::string&, uint16_t code) { throw Halted{code}; });
    }

    std::unique_ptr<TXbDbf> open(bool readOnly = false) {
        auto t = std::make_unique<TXbDbf>();
        t->Name = "tdamage";
        t->SetDbfFileName(tmp.file("damage.dbf"));
        t->DbfFields = kFields;
        t->IndexList = kIndexList;
        t->ShowProgress = false;
        t->ReadOnly = readOnly;
        t->Open();
        return t;
    }

    // Opens, catching what the open raised or halted with; the error code, 0 when the open went well.
    int tryOpen(std::unique_ptr<TXbDbf>& t, bool readOnly = false) {
        try {
            t = open(readOnly);
        } catch (const Halted& h) {
            return h.code;
        } catch (const EEngineError&) {
            return LastError() ? LastError() : -1;
        } catch (const EDatabaseError& e) {
            ADD_FAILURE() << "the open raised " << e.what();
            return LastError() ? LastError() : -1;
        }
        return t->Active() ? 0 : (LastError() ? LastError() : -1);
    }

    // The ids in the order of the ID tag.
    std::vector<int32_t> idsInOrder(TXbDbf& t) {
        std::vector<int32_t> ids;
        t.SetOrderToTag("ID");
        for (t.GoTop(); !t.IsEof(); t.Skip(1)) ids.push_back(t.FieldGetInt("id"));
        return ids;
    }

    std::string mdx() { return tmp.file("damage.mdx"); }

    // The block of the leftmost leaf of the ID tag and its item length.
    uint32_t firstLeaf(uint16_t& item) {
        const xbtest::MdxReport report = xbtest::CheckMdxFile(mdx(), {false, 0});
        EXPECT_TRUE(report.ok()) << report.text();
        const std::string bytes = xbtest::ReadFileBytes(mdx());
        uint32_t block = report.tags.at(0).root;
        item = static_cast<uint16_t>((report.tags.at(0).keyLength + 4 + 3) / 4 * 4);
        for (;;) {
            const uint8_t* node = reinterpret_cast<const uint8_t*>(bytes.data()) + block * 512ull;
            const uint16_t count = GetU16(node);
            if (GetU32(node + 8 + count * item) == 0) return block;
            block = GetU32(node + 8);
        }
    }

    void patch(uint64_t offset, const std::string& bytes) {
        std::string all = xbtest::ReadFileBytes(mdx());
        all.replace(offset, bytes.size(), bytes);
        xbtest::WriteFileBytes(mdx(), all);
    }

private:
    DatasetIndexServices m_saved;
};

std::string u32(uint32_t v) {
    std::string s(4, '\0');
    PutU32(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}

TEST_P(OpenDamage, ADamagedIndexIsRebuiltAtTheOpenAndNoRowChanges) {
    struct Case {
        const char* name;
        std::function<void(OpenDamage&)> damage;
    };
    const std::vector<Case> cases = {
        {"empty file", [](OpenDamage& f) { xbtest::WriteFileBytes(f.mdx(), ""); }},
        {"cut file",
         [](OpenDamage& f) {
             std::filesystem::resize_file(f.mdx(), std::filesystem::file_size(f.mdx()) / 2);
         }},
        {"garbled header", [](OpenDamage& f) { f.patch(0, std::string(300, 'Z')); }},
        {"missing file", [](OpenDamage& f) { std::filesystem::remove(f.mdx()); }},
        {"leaf count 0xFFFF",
         [](OpenDamage& f) {
             uint16_t item = 0;
             f.patch(f.firstLeaf(item) * 512ull, std::string("\xFF\xFF", 2));
         }},
        {"leaf record 0",
         [](OpenDamage& f) {
             uint16_t item = 0;
             f.patch(f.firstLeaf(item) * 512ull + 8, u32(0));
         }},
        {"leaf record 0xFFFFFFFF",
         [](OpenDamage& f) {
             uint16_t item = 0;
             f.patch(f.firstLeaf(item) * 512ull + 8, u32(0xFFFFFFFF));
         }},
        {"leaf keys out of order",
         [](OpenDamage& f) {
             uint16_t item = 0;
             const uint64_t at = f.firstLeaf(item) * 512ull + 8;
             const std::string bytes = xbtest::ReadFileBytes(f.mdx());
             f.patch(at, bytes.substr(at + item, item) + bytes.substr(at, item));
         }},
        {"child block past the end",
         [](OpenDamage& f) {
             const xbtest::MdxReport report = xbtest::CheckMdxFile(f.mdx(), {false, 0});
             f.patch(report.tags.at(0).root * 512ull + 8, u32(0x00FFFFF0));
         }},
    };
    const std::string dbfBefore = xbtest::ReadFileBytes(tmp.file("damage.dbf"));
    const std::string good = xbtest::ReadFileBytes(mdx());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xbtest::WriteFileBytes(mdx(), good);
        c.damage(*this);
        std::unique_ptr<TXbDbf> t;
        ASSERT_EQ(tryOpen(t), 0) << engine().errors.detail;
        std::vector<int32_t> want(kRows);
        for (int i = 0; i < kRows; ++i) want[static_cast<size_t>(i)] = i + 1;
        EXPECT_EQ(idsInOrder(*t), want);
        t.reset();
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("damage.dbf")), dbfBefore) << "a row was written";
        const xbtest::MdxReport report = xbtest::CheckMdxFile(mdx(), {true, kRows});
        EXPECT_TRUE(report.ok()) << report.text();
    }
}

TEST_P(OpenDamage, AFailedOpenLeavesNothingBehindAndTheNextOpenWorks) {
    // A read-only open cannot rebuild: it fails, and a writable open of the same component then repairs.
    patch(0, std::string(300, 'Z'));
    std::unique_ptr<TXbDbf> t;
    EXPECT_NE(tryOpen(t, true), 0);
    t.reset();
    ASSERT_EQ(tryOpen(t), 0) << engine().errors.detail;
    EXPECT_EQ(idsInOrder(*t).size(), static_cast<size_t>(kRows));
}

TEST_P(OpenDamage, AReadOnlyOpenOfAnIndexedTableWorksAndChangesNoFile) {
    const std::string dbf = xbtest::ReadFileBytes(tmp.file("damage.dbf"));
    const std::string index = xbtest::ReadFileBytes(mdx());
    std::unique_ptr<TXbDbf> t;
    ASSERT_EQ(tryOpen(t, true), 0) << engine().errors.detail;
    EXPECT_EQ(idsInOrder(*t).size(), static_cast<size_t>(kRows));
    EXPECT_TRUE(t->Find("150"));
    EXPECT_EQ(t->FieldGetInt("id"), 150);
    t.reset();
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("damage.dbf")), dbf);
    EXPECT_EQ(xbtest::ReadFileBytes(mdx()), index);
}

TEST_P(OpenDamage, ARowTheCurrentOrdersForConditionRejectsIsAppendedAndReplacedWithoutError) {
    std::unique_ptr<TXbDbf> t;
    ASSERT_EQ(tryOpen(t), 0);
    ASSERT_TRUE(t->SetOrderToTag("ODD"));
    try {
        ASSERT_TRUE(t->ALock());
        t->AppendBlank();  // grp 0: outside the order
        t->UnLock();
        ASSERT_TRUE(t->RLock());
        t->FieldPutInt("id", 500);
        t->ReplaceRec();
        t->UnLock();
        ASSERT_TRUE(t->ALock());
        t->AppendBlank();
        t->UnLock();
        ASSERT_TRUE(t->RLock());
        t->FieldPutInt("id", 501);
        t->FieldPutInt("grp", 1);
        t->ReplaceRec();
        t->UnLock();
    } catch (const Halted& h) {
        FAIL() << "halted with " << h.code << " " << engine().errors.detail;
    } catch (const EEngineError& e) {
        FAIL() << e.what();
    }
    EXPECT_EQ(t->RecCount(), kRows + 2);
    EXPECT_TRUE(t->Find("501"));
    t->SetOrderToTag("ID");
    EXPECT_TRUE(t->Find("500"));
}

INSTANTIATE_TEST_SUITE_P(Trapping, OpenDamage, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace
