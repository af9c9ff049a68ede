// A real league database damaged from outside, one way at a time, and what the check finds in it.
#include "app/data/table_check.h"

#include <filesystem>
#include <functional>
#include <string>

#include "app/data/league_database.h"
#include "app/data/league_test_support.h"
#include "engine/index/mdx_agreement.h"
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

// Every table missing, with the line of a file left without its table after that table's line.
std::vector<std::string> everyTableMissingBut(const std::string& left) {
    std::vector<std::string> out;
    for (const auto& d : app::LeagueTables()) {
        out.push_back(d.file + " missing 0   ");
        if (left.rfind(d.stem() + ".", 0) == 0) out.push_back(left);
    }
    return out;
}

struct Case {
    const char* what;
    std::function<void(TableCheckTest&)> damage;
    std::vector<std::string> found;  // "file kind row field found expected"
};

std::string text(const app::TableProblem& p) {
    static const char* kinds[] = {"missing",   "not-a-table", "cut",        "field",
                                  "memo-file", "memo",        "not-a-file", "without"};
    return p.file + " " + kinds[static_cast<int>(p.kind)] + " " + std::to_string(p.row) + " " + p.field +
           " " + p.found + " " + p.expected;
}

TEST_F(TableCheckTest, EachDamageIsFoundWhereItIsAndNothingElse) {
    // Offsets in joueur's record: flag 1, nujoueur 5, nomjoueur 30, datenais 10, poste 2, infodivers 10.
    constexpr int kMemoField = 1 + 5 + 30 + 10 + 2;
    const std::vector<Case> cases = {
        {"a sound database", [](TableCheckTest&) {}, {}},
        {"no league file at all is a first start",
         [](TableCheckTest& t) {
             for (const auto& d : app::LeagueTables()) {
                 fs::remove(t.at(d.file));
                 fs::remove(t.at(d.stem() + ".mdx"));
             }
             fs::remove(t.at("joueur.dbt"));
         },
         {}},
        {"every table and index gone, the notes left: no first start, the notes named",
         [](TableCheckTest& t) {
             for (const auto& d : app::LeagueTables()) {
                 fs::remove(t.at(d.file));
                 fs::remove(t.at(d.stem() + ".mdx"));
             }
         },
         everyTableMissingBut("joueur.dbt without 0   joueur.dbf")},
        {"one table gone, its index and notes left",
         [](TableCheckTest& t) { fs::remove(t.at("joueur.dbf")); },
         {"joueur.dbf missing 0   ", "joueur.mdx without 0   joueur.dbf",
          "joueur.dbt without 0   joueur.dbf"}},
        {"a folder in place of a table, and a link to one",
         [](TableCheckTest& t) {
             fs::remove(t.at("resultat.dbf"));
             fs::create_directory(t.at("resultat.dbf"));
             fs::remove(t.at("but.dbf"));
             fs::create_directory_symlink(t.at("resultat.dbf"), t.at("but.dbf"));
         },
         {"resultat.dbf not-a-file 0   ", "resultat.mdx without 0   resultat.dbf", "but.dbf not-a-file 0   ",
          "but.mdx without 0   but.dbf"}},
        {"one table deleted beside the others, with its index",
         [](TableCheckTest& t) {
             fs::remove(t.at("equipe.dbf"));
             fs::remove(t.at("equipe.mdx"));
         },
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
    for (const auto& d : app::LeagueTables()) {
        fs::copy(tmp.file(d.file), saved);
        fs::copy(tmp.file(d.stem() + ".mdx"), saved);
    }
    fs::copy(tmp.file("joueur.dbt"), saved);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& d : app::LeagueTables())
            if (!fs::is_regular_file(fs::symlink_status(at(d.file)))) fs::remove_all(at(d.file));
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
    const xb::platform::FileCallCounts before = xb::platform::FileCalls();
    EXPECT_TRUE(app::CheckLeagueDatabase(folder()).empty());
    // Each file's open (three calls), its reads and its close, and one listing: far fewer than a read a note.
    const xb::platform::FileCallCounts used = xb::platform::FileCalls() - before;
    EXPECT_LT(used.total(), 120u);
    // The nine tables and the memo file, each opened once: whether the database holds a row is told by
    // the same read of each header.
    EXPECT_EQ(used.open, 10u);

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

    // Most notes cut off: what the start shows names the kind once with the count of the others, the
    // details every row.
    fs::resize_file(at("joueur.dbt"), 512 * 4);
    const std::vector<app::TableProblem> problems = app::CheckLeagueDatabase(folder());
    ASSERT_GT(problems.size(), 200u);
    const QString summary = app::DescribeProblems(problems);
    EXPECT_LE(summary.count(QLatin1Char('\n')), 3) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QString::number(problems.size() - 1))) << summary.toStdString();
    EXPECT_EQ(static_cast<size_t>(app::DescribeProblemDetails(problems).count(QLatin1Char('\n')) + 1), problems.size());
    EXPECT_TRUE(app::DescribeProblemDetails({problems.front()}).isEmpty());
}

}  // namespace

namespace {

// What a write that failed half-way and was never repaired leaves: a key of a row the table lost, or a
// row without its keys. The start's opening of the tables finds it and rebuilds the index from the rows
// there and then, so every order shows every row once and the next start finds nothing.
TEST_F(TableCheckTest, AnIndexOutOfStepWithItsRowsIsFoundAndRebuiltAsItOpens) {
    // The orders of resultat walked under a check of the opens: what the check found, and the rows
    // each order showed.
    auto openAndWalk = [&](int rows) {
        app::ReleaseKeptTables();  // each walk on a fresh open: the files were written behind the engine
        xb::CheckIndexesAsOpened check;
        app::LeagueTableScope results("results", "resultat.dbf");
        for (const char* tag : {"CHANJOEQ1", "CHANJOEQ2", "ANCHJO", "EQ1EQ2", "EQ2EQ1"}) {
            EXPECT_TRUE(results->SetOrderToTag(tag)) << tag;
            int seen = 0;
            for (results->GoTop(); !results->IsEof(); results->Skip(1)) ++seen;
            EXPECT_EQ(seen, rows) << tag;
        }
        return check.found();
    };
    const std::string all = xbtest::ReadFileBytes(at("resultat.dbf"));
    const auto* h = reinterpret_cast<const uint8_t*>(all.data());
    const size_t header = xb::platform::GetU16(h + 8), record = xb::platform::GetU16(h + 10);
    EXPECT_TRUE(openAndWalk(static_cast<int>(xb::platform::GetU32(h + 4))).empty()) << "a sound database";
    const std::string saved = all;
    const std::string savedIndex = xbtest::ReadFileBytes(at("resultat.mdx"));
    struct Damage {
        const char* what;
        std::string table;
        int rows;
        const char* reason;
    };
    std::string lost = all.substr(0, header + 2 * record) + "\x1a";
    lost[4] = 2;
    std::string keyless = all.substr(0, header + 3 * record) + all.substr(header + 2 * record, record) + "\x1a";
    keyless[4] = 4;
    for (const Damage& d : {Damage{"the last row taken back after its keys", lost, 2, "past the table's end"},
                            Damage{"a row appended without its keys", keyless, 4, "has no key"}}) {
        SCOPED_TRACE(d.what);
        xbtest::WriteFileBytes(at("resultat.dbf"), d.table);
        xbtest::WriteFileBytes(at("resultat.mdx"), savedIndex);
        const std::vector<xb::IndexOutOfStepFound> found = openAndWalk(d.rows);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].indexPath, at("resultat.mdx"));
        EXPECT_NE(found[0].reason.find(d.reason), std::string::npos) << found[0].reason;
        EXPECT_TRUE(openAndWalk(d.rows).empty()) << "the index is not rebuilt";
    }
    xbtest::WriteFileBytes(at("resultat.dbf"), saved);
    xbtest::WriteFileBytes(at("resultat.mdx"), savedIndex);
}

}  // namespace

// What creations cut short left is cleared, and only that: the locks and staging folders of tables whose
// lock no live station holds (with the table's own staged files), the database's free lock; a live
// station's lock and staging, and a file that is not a staged one, stay. A folder of whole empty tables
// with the others missing is the rest of a creation; a row anywhere makes the missing ones damage.
TEST_F(TableCheckTest, WhatACutShortCreationLeftIsClearedAndItsRestIsMadeAsACreation) {
    const auto stage = [&](const std::string& table, const std::vector<std::string>& files) {
        const std::string dir = at("." + table + "-new-a1b2c3");
        fs::create_directory(dir);
        for (const std::string& f : files) xbtest::WriteFileBytes(dir + "/" + f, "staged");
        return dir;
    };
    for (const char* lock : {".champan.dbf.lock", ".equipe.dbf.lock", ".database.lock"})
        xbtest::WriteFileBytes(at(lock), "");
    stage("champan.dbf", {"champan.dbf", "champan.mdx"});
    const std::string foreign = stage("equipe.dbf", {"equipe.dbf", "notes.txt"});
    const xb::platform::CreationLock live(at("but.dbf"));
    ASSERT_EQ(live.result(), 0);
    const std::string livelyStaged = stage("but.dbf", {"but.dbf"});
    stage("carton.dbf", {});

    app::ClearCreationLeftovers(folder());
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(tmp.path()))
        if (e.path().filename().string().front() == '.') left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".but.dbf-new-a1b2c3", ".but.dbf.lock", ".equipe.dbf-new-a1b2c3"}));
    EXPECT_TRUE(fs::exists(livelyStaged + "/but.dbf"));
    EXPECT_TRUE(fs::exists(foreign + "/notes.txt"));
    EXPECT_FALSE(fs::exists(foreign + "/equipe.dbf"));

    // Two of the nine tables removed: beside rows, they are missing.
    for (const char* f : {"equipe.dbf", "equipe.mdx", "carton.dbf", "carton.mdx"}) fs::remove(at(f));
    bool firstStart = true;
    std::vector<std::string> missing;
    for (const app::TableProblem& p : app::CheckLeagueDatabase(folder(), &firstStart))
        if (p.kind == TableDamage::Missing) missing.push_back(p.file);
    EXPECT_EQ(missing, (std::vector<std::string>{"equipe.dbf", "carton.dbf"}));
    EXPECT_FALSE(firstStart);
    // The tables with rows gone too: what is left is whole and empty.
    for (const char* f : {"joueur.dbf", "joueur.dbt", "joueur.mdx", "resultat.dbf", "resultat.mdx"})
        fs::remove(at(f));
    EXPECT_TRUE(app::CheckLeagueDatabase(folder(), &firstStart).empty());
    EXPECT_TRUE(firstStart);
}
