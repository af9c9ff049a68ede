// Real seasons carried by a version-1.27 file: written under a year the format holds, with the names cut to
// its ten characters, imported, they give through the standings engine the final tables the test works out
// from the season files themselves, and England's published points row for row.
#include <QString>
#include <algorithm>
#include <map>

#include "app/exchange/old_import.h"
#include "app/reports/standings.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "tests/support/league_fill.h"
#include "tests/support/old_file_writer.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

// A season placed in the file: its matches under division `division` (1..5) of year `year`, its teams
// numbered from `firstTeam`.
struct PlacedSeason {
    const char* csv;
    const char* name;
    int year, division, firstTeam;
};

// The ten-character names of a season's teams, distinct: a name cut onto an earlier one ends in a digit.
std::vector<QString> TenCharacterNames(const std::vector<std::string>& teams) {
    std::vector<QString> out;
    for (const std::string& t : teams) {
        QString n = QString::fromStdString(t).left(10).trimmed();
        for (int k = 2; std::find(out.begin(), out.end(), n) != out.end(); ++k)
            n = QString::fromStdString(t).left(9).trimmed() + QString::number(k);
        out.push_back(n);
    }
    return out;
}

struct Line {
    QString name;
    int team = 0;
    StandingsCounters c;
};

// The final table worked out from the season file alone: three points a win, one a draw; points, goal
// difference and goals scored, then the name without case, then the number.
std::vector<Line> FinalTable(const xbtest::CsvSeason& s, const std::vector<QString>& names, int firstTeam) {
    std::map<int, Line> lines;
    for (size_t i = 0; i < names.size(); ++i)
        lines[firstTeam + static_cast<int>(i)] = {names[i], firstTeam + static_cast<int>(i), {}};
    for (const auto& m : s.matches) {
        auto add = [&](int team, int gf, int ga) {
            StandingsCounters& c = lines[firstTeam - 1 + team].c;
            ++c.played, c.goalsFor += gf, c.goalsAgainst += ga;
            c.wins += gf > ga, c.draws += gf == ga, c.defeats += gf < ga;
            c.points += gf > ga ? 3 : gf == ga ? 1 : 0;
        };
        add(m.home, m.homeGoals, m.awayGoals);
        add(m.away, m.awayGoals, m.homeGoals);
    }
    std::vector<Line> out;
    for (auto& [n, l] : lines) out.push_back(l);
    std::sort(out.begin(), out.end(), [](const Line& a, const Line& b) {
        const auto ka = std::tuple(a.c.points, a.c.diff(), a.c.goalsFor);
        const auto kb = std::tuple(b.c.points, b.c.diff(), b.c.goalsFor);
        if (ka != kb) return ka > kb;
        const int byName = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.team < b.team;
    });
    return out;
}

int ChampionshipNamed(const QString& name) {
    std::unique_ptr<xb::TXbDbf> t;
    if (!OpenTable(t, "champion.dbf")) return 0;
    const int n = FindChampionshipNumber(*t, name);
    CloseTable(t);
    return n;
}

class ImportedSeasonTest : public leaguetest::LeagueTest {};

TEST_F(ImportedSeasonTest, RealSeasonsGiveTheirFinalTables) {
    xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
    const PlacedSeason placed[] = {{"fr-2014-15.csv", "Ligue 1", 1995, 1, 1},
                                   {"en-2012-13.csv", "Premiership", 2006, 2, 21}};
    xbtest::OldFileModel file;
    std::vector<xbtest::CsvSeason> seasons;
    std::vector<std::vector<QString>> names;
    for (const PlacedSeason& p : placed) {
        seasons.push_back(xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/" + p.csv));
        const auto& s = seasons.back();
        names.push_back(TenCharacterNames(s.teams));
        auto& div = file.seasons[p.year - kOldYearBase - 1][p.division - 1];
        div.name = p.name;
        div.scheme = 3;  // three points a win, one a draw
        div.teamCount = static_cast<int>(s.teams.size());
        for (size_t i = 0; i < s.teams.size(); ++i) {
            const int number = p.firstTeam + static_cast<int>(i);
            const QByteArray cp1252 = names.back()[i].toLatin1();  // these names are all Latin-1
            file.teams[number] = cp1252.toStdString();
            div.teams.push_back(number);
        }
        for (const auto& m : s.matches)
            file.matches.push_back({kOldDivisionCodes[p.division - 1], p.year, m.matchday,
                                    p.firstTeam - 1 + m.home, p.firstTeam - 1 + m.away, m.homeGoals,
                                    m.awayGoals,
                                    m.homeGoals > m.awayGoals   ? 1
                                    : m.homeGoals < m.awayGoals ? 2
                                                                : 0});
    }
    const std::string path = tmp.path() + "/seasons.dat";
    xbtest::WriteOldFile(path, xbtest::EncodeOldFile(file));

    ImportHooks hooks;
    hooks.confirm = [] { return true; };
    hooks.chooseChampionship = [](const QString&, const std::string&) { return 0; };
    const ImportOutcome out = ImportOldFile(path, hooks);
    ASSERT_EQ(out.result, ImportResult::Done) << out.message.toStdString();
    EXPECT_EQ(out.counts.matches, 760);

    for (size_t k = 0; k < std::size(placed); ++k) {
        const PlacedSeason& p = placed[k];
        SCOPED_TRACE(p.csv);
        const int c = ChampionshipNamed(QString::fromLatin1(p.name));
        ASSERT_GT(c, 0);
        ASSERT_EQ(GetSeasonParams(c, p.year).matchdays, 38);
        const StandingsResult got = ComputeStandingsGrid({c, p.year, 1, 38, kOrderPoints, kSideAll});
        const std::vector<Line> want = FinalTable(seasons[k], names[k], p.firstTeam);
        ASSERT_EQ(got.rows.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(std::to_string(i + 1) + " " + want[i].name.toStdString());
            EXPECT_EQ(got.rows[i].team, want[i].team);
            EXPECT_EQ(got.rows[i].name.trimmed(), want[i].name);
            EXPECT_EQ(got.rows[i].c, want[i].c);
        }
    }
    // England's published points, first to last: the cut names changed no place.
    const int published[] = {89, 78, 75, 73, 72, 63, 61, 49, 46, 46, 44, 43, 42, 41, 41, 41, 39, 36, 28, 25};
    const StandingsResult england =
        ComputeStandingsGrid({ChampionshipNamed("Premiership"), 2006, 1, 38, kOrderPoints, kSideAll});
    ASSERT_EQ(england.rows.size(), std::size(published));
    for (size_t i = 0; i < std::size(published); ++i) EXPECT_EQ(england.rows[i].c.points, published[i]) << i;
    // The accents of the French names came through Windows-1252.
    EXPECT_TRUE(std::any_of(names[0].begin(), names[0].end(),
                            [](const QString& n) { return n == QStringLiteral("Évian Thon"); }));
}

}  // namespace
