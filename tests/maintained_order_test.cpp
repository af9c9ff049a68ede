// Tags kept up key by key, as the application fills its tables: the players' name tag holds 288 names
// over two thousand rows, so long runs of equal keys cross leaves and branch separators.
// Each tag must hold every row once, equal keys in record order (as a build files them), and the order
// must give every row walking from either end.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/work_areas.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"

namespace {

using namespace xb;

class MaintainedOrder : public xbtest::EngineTest {
protected:
    MaintainedOrder() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~MaintainedOrder() override { IndexServices() = m_saved; }

private:
    DatasetIndexServices m_saved;
};

TEST_F(MaintainedOrder, KeyByKeyTagsHoldEqualKeysInRecordOrderAndWalkBothWays) {
    const std::vector<xbtest::SeasonTable> season = xbtest::MakeSeason();
    xbtest::FillLeagueTables(tmp.path(), season);
    CloseAllDatabases();
    for (const xbtest::SeasonTable& s : season) {
        SCOPED_TRACE(s.file);
        const std::string mdx = tmp.file(s.file.substr(0, s.file.find('.')) + ".mdx");
        const auto rows = static_cast<uint32_t>(s.rows.size());
        const xbtest::MdxReport report = xbtest::CheckMdxFile(mdx, {false, rows});
        ASSERT_TRUE(report.ok()) << report.text();
        auto t = xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef(s.file));
        t->Open();
        ASSERT_TRUE(t->Active());
        for (const auto& tag : report.tags) {
            SCOPED_TRACE(tag.name);
            ASSERT_EQ(tag.entries.size(), rows);
            std::vector<int32_t> inTag;
            for (size_t i = 0; i < tag.entries.size(); ++i) {
                inTag.push_back(static_cast<int32_t>(tag.entries[i].record));
                if (i > 0 && tag.entries[i - 1].key == tag.entries[i].key)
                    EXPECT_LT(tag.entries[i - 1].record, tag.entries[i].record) << "entry " << i;
            }
            ASSERT_TRUE(t->SetOrderToTag(tag.name));
            std::vector<int32_t> forward, backward;
            for (t->First(); !t->Eof() && forward.size() <= rows; t->Next()) forward.push_back(t->RecNo());
            for (t->Last(); !t->Bof() && backward.size() <= rows; t->Prior()) backward.push_back(t->RecNo());
            std::reverse(backward.begin(), backward.end());
            EXPECT_EQ(forward, inTag);
            EXPECT_EQ(backward, inTag);
        }
        t->Close();
    }
}

}  // namespace
