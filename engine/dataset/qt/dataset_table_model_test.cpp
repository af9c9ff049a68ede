// The grid model shows the rows the dataset's cursor visits, in its order.
#include <gtest/gtest.h>

#include "engine/core/navigation.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/dataset/qt/dataset_table_model.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/fake_units.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;

class TableModelTest : public xbtest::EngineTest {
protected:
    QStringList column(const TDataSetTableModel& m, int c) {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r) out << m.data(m.index(r, c)).toString();
        return out;
    }
    xbtest::ScriptedUi ui;
};

TEST_F(TableModelTest, ShowsAFilteredOrderedTableExactly) {
    TXbDbf t;
    t.Name = "tequipe";
    t.SetDbfFileName(tmp.file("equipe.dbf"));
    t.DbfFields = {"nuequipe, N, 5, 0", "nomequipe, C, 20, 0"};
    t.Open();
    const char* teams[] = {"Lyon", "Paris SG", "Nantes", "Brest", "Lens"};
    for (int i = 0; i < 5; ++i) {
        t.Append();
        t.FieldByName("nuequipe").SetAsInteger(i + 1);
        t.FieldByName("nomequipe").SetAsString(teams[i]);
        t.Post();
    }
    auto& index = xbtest::InstallFakeIndex(engine());
    index.order = {4, 5, 1, 3, 2};  // by name
    auto& parser = xbtest::InstallFakeParser(engine());
    parser.predicates["nuequipe <> 3"] = [] { return TypedGetInt(FieldAddress(1)) != 3; };
    ASSERT_TRUE(t.BeginOperation("test"));
    ASSERT_TRUE(Set_Filter_To("nuequipe <> 3"));
    t.First();
    t.Next();  // the model keeps the dataset where it was

    TDataSetTableModel model(&t);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "NOMEQUIPE");
    EXPECT_EQ(column(model, 1), (QStringList{"Brest", "Lens", "Lyon", "Paris SG"}));
    EXPECT_EQ(column(model, 0), (QStringList{"4", "5", "1", "2"}));
    EXPECT_EQ(t.FieldByName("nomequipe").GetAsString(), "Lens");

    t.GotoBookmark(model.bookmarkAt(3));
    EXPECT_EQ(t.FieldByName("nuequipe").GetAsInteger(), 2);

    t.Close();
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
