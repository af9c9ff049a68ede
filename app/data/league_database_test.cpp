// The league database made in an empty directory, checked by an independent reader; opening it again.
#include "app/data/league_database.h"

#include <map>
#include <set>
#include <sstream>

#include "app/data/league_tables.h"
#include "app/data/league_test_support.h"
#include "platform/paths.h"
#include "tests/support/run_command.h"

namespace {

using leaguetest::LeagueTest;
using xbtest::RunCommand;
using xbtest::ShellQuote;

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string noBlanks(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
    return s;
}

using DatabaseTest = LeagueTest;

TEST_F(DatabaseTest, AnEmptyDirectoryBecomesTheNineTablesAndOpeningAgainChangesNoIndexByte) {
    {
        app::Tfsysteme fsysteme;
        for (xb::TXbDbf* t : fsysteme.tables()) EXPECT_TRUE(t->Active()) << t->Name;
    }
    namespace p = xb::platform;
    EXPECT_EQ(p::ListMatching(tmp.path(), "*.dbf").size(), 9u);
    EXPECT_EQ(p::ListMatching(tmp.path(), "*.mdx").size(), 9u);
    EXPECT_EQ(p::ListMatching(tmp.path(), "*.dbt"), std::vector<std::string>{"joueur.dbt"});

    std::map<std::string, std::string> mdx;
    for (const auto& d : app::LeagueTables())
        mdx[d.file] = xbtest::ReadFileBytes(tmp.file(d.stem() + ".mdx"));

    int perl = 0;
    RunCommand("perl -MXBase -e 1 2>/dev/null", &perl);
    for (const auto& d : app::LeagueTables()) {
        SCOPED_TRACE(d.file);
        // The fields as an independent reader sees them: "name, T, width, decimals".
        if (perl == 0) {
            const std::string got = RunCommand(
                "perl -MXBase -e '$t = XBase->new(shift) or die; for $i (0..$t->last_field) { print "
                "lc(($t->field_names)[$i]), "
                "\",\", ($t->field_types)[$i], \",\", ($t->field_lengths)[$i], \",\", "
                "($t->field_decimals)[$i], \"\\n\" }' " +
                ShellQuote(tmp.file(d.file)));
            std::string want;
            for (const auto& f : d.fields) want += noBlanks(f) + "\n";
            EXPECT_EQ(got, want);
        }
        // The tags as the peer's index reader lists them (a file without a tag named lists its tags).
        std::istringstream dump(
            RunCommand("index_dump " + ShellQuote(tmp.file(d.stem() + ".mdx")) + " 2>&1"));
        std::set<std::string> got, want;
        for (std::string line; std::getline(dump, line);) got.insert(upper(line));
        for (const auto& tag : d.tags) want.insert(tag.substr(0, tag.find(',')));
        EXPECT_EQ(got, want);
    }

    // A second start opens what is there.
    {
        app::Tfsysteme again;
        app::CloseSystemTables(again);
        for (xb::TXbDbf* t : again.tables()) EXPECT_FALSE(t->Active()) << t->Name;
    }
    for (const auto& d : app::LeagueTables())
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file(d.stem() + ".mdx")), mdx[d.file]) << d.file;
}

TEST_F(DatabaseTest, AFileThatIsNotATableLeavesNoTableOpen) {
    xbtest::WriteFileBytes(tmp.file("joueq.dbf"), "not a table");
    EXPECT_ANY_THROW(app::Tfsysteme());
    // Nothing of the failed start keeps a table: the first six can be taken exclusively.
    for (const auto& d : app::LeagueTables()) {
        if (d.file == "joueq.dbf") break;
        auto t = app::MakeLeagueDataset("probe", d.file);
        t->SetExclusive(true);
        EXPECT_NO_THROW(t->Open()) << d.file;
        t->Close();
    }
}

}  // namespace
