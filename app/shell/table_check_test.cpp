// A real league database damaged from outside, one way at a time, and what the check finds in it.
#include "app/shell/table_check.h"

#include <filesystem>
#include <functional>
#include <string>

#include "app/shell/league_database.h"
#include "app/shell/league_test_support.h"
#include "platform/byte_order.h"
#include "platform/file.h"

namespace {

namespace fs = std::filesystem;
using app::TableDamage;

class TableCheckTest : public leaguetest::LeagueTest {
public:
    std::string at(const std::string& name) const { return tmp.file(name); }

protected:
    void SetUp() override {
        { app::Tfsysteme made; }
        {
            app::LeagueTableScope players("players", "joueur.dbf");
            for (int i = 1; i <= 4; ++i) {
                players->Append();
                players->FieldPutInt("NUJOUEUR", i);
                players->PutMField("INFODIVERS", {"note of player " + std::to_string(i)});
                players->Post();
            }
        }
        app::LeagueTableScope results("results", "resultat.dbf");
        for (int i = 1; i <= 3; ++i) {
            results->Append();
            results->FieldPutInt("NUCHAMP", i);
            results->Post();
        }
    }
    std::string folder() const { return tmp.path() + "/"; }

public:
    // Rewrites bytes of a file at offset; a negative offset counts from the end.
    void patch(const std::string& name, long offset, const std::string& bytes) {
        std::string all = xbtest::ReadFileBytes(tmp.file(name));
        if (offset < 0) offset += static_cast<long>(all.size());
        all.replace(static_cast<size_t>(offset), bytes.size(), bytes);
        xbtest::WriteFileBytes(tmp.file(name), all);
    }
    // Where a field of a row starts in a table file.
    long fieldAt(const std::string& name, int row, int fieldOffset) {
        const std::string all = xbtest::ReadFileBytes(tmp.file(name));
        const auto* h = reinterpret_cast<const uint8_t*>(all.data());
        return xb::platform::GetU16(h + 8) + long{row - 1} * xb::platform::GetU16(h + 10) + fieldOffset;
    }
};

struct Case {
    const char* what;
    std::function<void(TableCheckTest&)> damage;
    std::vector<std::string> found;  // "file kind row field found expected"
};

std::string text(const app::TableProblem& p) {
    static const char* kinds[] = {"missing", "not-a-table", "cut", "field", "memo-file", "memo"};
    return p.file + " " + kinds[static_cast<int>(p.kind)] + " " + std::to_string(p.row) + " " + p.field +
           " " + p.found + " " + p.expected;
}

TEST_F(TableCheckTest, EachDamageIsFoundWhereItIsAndNothingElse) {
    // Offsets in joueur's record: flag 1, nujoueur 5, nomjoueur 30, datenais 10, poste 2, infodivers 10.
    constexpr int kMemoField = 1 + 5 + 30 + 10 + 2;
    const std::vector<Case> cases = {
        {"a sound database", [](TableCheckTest&) {}, {}},
        {"no table at all is a first start",
         [](TableCheckTest& t) {
             for (const auto& d : app::LeagueTables()) fs::remove(t.at(d.file));
         },
         {}},
        {"one table deleted beside the others",
         [](TableCheckTest& t) { fs::remove(t.at("equipe.dbf")); },
         {"equipe.dbf missing 0   "}},
        {"a table cut inside its second row",
         [](TableCheckTest& t) {
             const long cut = t.fieldAt("resultat.dbf", 2, 7);
             fs::resize_file(t.at("resultat.dbf"), static_cast<uintmax_t>(cut));
         },
         {"resultat.dbf cut 1   "}},
        {"a header counting rows the file lacks",
         [](TableCheckTest& t) { t.patch("resultat.dbf", 4, std::string("\x09\0\0\0", 4)); },
         {"resultat.dbf cut 3   "}},
        {"a field of another type",
         [](TableCheckTest& t) { t.patch("equipe.dbf", 32 + 11, "C"); },
         {"equipe.dbf field 0 nuequipe nuequipe,C,5,0 nuequipe,N,5,0"}},
        {"a file shorter than a header",
         [](TableCheckTest& t) { fs::resize_file(t.at("but.dbf"), 20); },
         {"but.dbf not-a-table 0   "}},
        {"a memo pointer past the end of the memo file",
         [&](TableCheckTest& t) {
             t.patch("joueur.dbf", t.fieldAt("joueur.dbf", 3, kMemoField), "     99999");
         },
         {"joueur.dbf memo 3 infodivers  "}},
        {"a memo pointer to a block that starts no memo, and one that is no number",
         [&](TableCheckTest& t) {
             t.patch("joueur.dbt", 512 * 2, std::string(8, 'x'));
             t.patch("joueur.dbf", t.fieldAt("joueur.dbf", 4, kMemoField), "    12ab34");
         },
         {"joueur.dbf memo 2 infodivers  ", "joueur.dbf memo 4 infodivers  "}},
        {"a memo file whose last memo runs past its end",
         [](TableCheckTest& t) {
             fs::resize_file(t.at("joueur.dbt"), fs::file_size(t.at("joueur.dbt")) - 3);
         },
         {"joueur.dbf memo 4 infodivers  "}},
        {"the memo file deleted",
         [](TableCheckTest& t) { fs::remove(t.at("joueur.dbt")); },
         {"joueur.dbf memo-file 0   "}},
    };
    const std::string saved = tmp.file("saved");
    fs::create_directory(saved);
    for (const auto& d : app::LeagueTables()) fs::copy(tmp.file(d.file), saved);
    fs::copy(tmp.file("joueur.dbt"), saved);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : fs::directory_iterator(saved))
            fs::copy(entry.path(), tmp.path(), fs::copy_options::overwrite_existing);
        c.damage(*this);
        std::vector<std::string> got;
        for (const app::TableProblem& p : app::CheckLeagueDatabase(folder())) got.push_back(text(p));
        EXPECT_EQ(got, c.found);
    }
}

// Hundreds of notes cost the check a few reads of the memo file, not one a note, and a damaged note among
// them is still found: one whose header is overwritten in the middle of the file, and the last one, cut.
TEST_F(TableCheckTest, ManyNotesAreCheckedInAFewReadsAndTheDamagedOnesFound) {
    constexpr int kNotes = 300;
    {
        app::LeagueTableScope players("players", "joueur.dbf");
        for (int i = 5; i <= kNotes; ++i) {
            players->Append();
            players->FieldPutInt("NUJOUEUR", i);
            std::string note = "note of player " + std::to_string(i);
            if (i % 7 == 0) note += std::string(600, '-');  // longer than a block
            players->PutMField("INFODIVERS", {note});
            players->Post();
        }
    }
    const uint64_t before = xb::platform::FileCalls().total();
    EXPECT_TRUE(app::CheckLeagueDatabase(folder()).empty());
    EXPECT_LT(xb::platform::FileCalls().total() - before, 100u);

    // Row 150's note: where its pointer leads, its header is overwritten.
    constexpr int kMemoField = 1 + 5 + 30 + 10 + 2;
    const std::string row150 = xbtest::ReadFileBytes(at("joueur.dbf"))
                                   .substr(static_cast<size_t>(fieldAt("joueur.dbf", 150, kMemoField)), 10);
    patch("joueur.dbt", std::stol(row150) * 512, std::string(8, 'x'));
    fs::resize_file(at("joueur.dbt"), fs::file_size(at("joueur.dbt")) - 3);
    std::vector<std::string> got;
    for (const app::TableProblem& p : app::CheckLeagueDatabase(folder())) got.push_back(text(p));
    EXPECT_EQ(got, (std::vector<std::string>{"joueur.dbf memo 150 infodivers  ",
                                             "joueur.dbf memo " + std::to_string(kNotes) + " infodivers  "}));
}

}  // namespace
