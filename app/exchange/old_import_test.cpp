// The import of a version-1.27 file on real tables: every table read back against the model the file was
// written from, two imports giving the same bytes, damaged files, a station holding a table, and answers
// to the championship question.
#include "app/exchange/old_import.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "app/exchange/database_archive.h"
#include "app/exchange/database_swap.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/league_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/old_file_writer.h"

namespace {

using namespace app;
namespace fs = std::filesystem;
using xbtest::OldFileModel;

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Two seasons of five divisions, the fourth of the first unnamed; schemes 1 to 4, results 0 to 4, a
// division of 26 teams; the second season's second division has a new name under a taken number.
OldFileModel twoSeasons() {
    OldFileModel m;
    for (int i = 1; i <= 60; ++i) m.teams[i] = "Club " + std::to_string(i);
    m.teams[61] = "S\xE8te";     // Windows-1252 accent
    m.teams[62] = "ABCDEFGHIJ";  // full field
    const char* first[] = {"Ligue A", "Ligue B", "Ligue C", "", "Ligue E"};
    const char* second[] = {"Ligue A", "Coupe", "Ligue C", "Ligue D", "Ligue E"};
    const int sizes[] = {26, 6, 8, 4, 6};
    std::mt19937 rng(7);
    int next = 1;
    for (int s = 0; s < 2; ++s) {
        for (int d = 0; d < 5; ++d) {
            auto& div = m.seasons[s][d];
            div.name = s == 0 ? first[d] : second[d];
            div.scheme = 1 + (d + s) % 4;
            div.teamCount = sizes[d];
            for (int k = 0; k < sizes[d]; ++k) div.teams.push_back(1 + (next++ % 60));
            if (d == 1) div.teams[0] = 61, div.teams[1] = 62;
            if (div.name.empty()) continue;
            for (int k = 0; k + 1 < sizes[d]; k += 2)
                for (int day = 1; day <= 3; ++day) {
                    const int hg = static_cast<int>(rng() % 5), ag = static_cast<int>(rng() % 5);
                    m.matches.push_back({static_cast<int>(kOldDivisionCodes[d]), 1987 + s, day, div.teams[k],
                                         div.teams[k + 1], hg, ag, static_cast<int>((k + day) % 5)});
                }
        }
    }
    return m;
}

// True when a staging folder is left in the data directory dir (ending "/").
bool stagingLeft(const std::string& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("restore.new", 0) == 0) return true;
    return false;
}

class ImportTest : public leaguetest::LeagueTest {
protected:
    void SetUp() override {
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        m_path = tmp.path() + "/old.dat";
    }
    std::string file(const OldFileModel& m) {
        xbtest::WriteOldFile(m_path, xbtest::EncodeOldFile(m));
        return m_path;
    }
    ImportHooks hooks() {
        ImportHooks h;
        h.status = [this](const QString& s) { statuses << s; };
        h.confirm = [] { return true; };
        h.chooseChampionship = [this](const QString& name, const std::string& dir) {
            asked << name;
            EXPECT_EQ(dir.rfind(tmp.path() + "/restore.new.", 0), 0u) << dir;
            return answer;
        };
        return h;
    }
    // The data files' bytes, by name.
    std::map<std::string, std::string> files() {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::directory_iterator(tmp.path()))
            if (e.path().filename() != "old.dat") out[e.path().filename().string()] = bytesOf(e.path());
        return out;
    }
    std::set<std::string> rowSet(const std::string& table, const std::vector<std::string>& fields) {
        auto r = rows(table, fields);
        return {r.begin(), r.end()};
    }

    std::string m_path;
    QStringList statuses, asked;
    int answer = -1;
};

std::string pad(int n, int w) {
    std::string s = std::to_string(n);
    return std::string(w > static_cast<int>(s.size()) ? w - s.size() : 0, ' ') + s;
}

TEST_F(ImportTest, EveryTableHoldsTheModel) {
    const OldFileModel m = twoSeasons();
    const std::string joueur = bytesOf(tmp.path() + "/joueur.dbf");
    const ImportOutcome out = ImportOldFile(file(m), hooks());
    ASSERT_EQ(out.result, ImportResult::Done) << out.message.toStdString();

    // Teams: names as written, the accent and the full ten letters kept.
    std::set<std::string> teams;
    for (const auto& [n, name] : m.teams) {
        QString utf = n == 61 ? QStringLiteral("Sète") : QString::fromStdString(name);
        teams.insert("NUEQUIPE=" + pad(n, 5) + " NOMEQUIPE=" + utf.leftJustified(20).toStdString());
    }
    EXPECT_EQ(rowSet("equipe.dbf", {"NUEQUIPE", "NOMEQUIPE"}), teams);

    // Championships: by name, else the division's number when free, else the answer (-1: the next).
    EXPECT_EQ(asked, QStringList{"Coupe"});
    const std::map<std::string, int> numbers = {{"Ligue A", 1}, {"Ligue B", 2}, {"Ligue C", 3},
                                                {"Ligue D", 4}, {"Ligue E", 5}, {"Coupe", 6}};
    std::set<std::string> champs;
    for (const auto& [name, n] : numbers)
        champs.insert("NUCHAMP=" + pad(n, 5) +
                      " NOMCHAMP=" + QString::fromStdString(name).leftJustified(30).toStdString());
    EXPECT_EQ(rowSet("champion.dbf", {"NUCHAMP", "NOMCHAMP"}), champs);

    // Season rules, links and matches of every named division.
    const char* codes[] = {"N ", "V1", "V2", "F2", "F1"};
    std::set<std::string> links, results;
    int seasons = 0;
    for (int s = 0; s < 2; ++s)
        for (int d = 0; d < 5; ++d) {
            const auto& div = m.seasons[s][d];
            if (div.name.empty()) continue;
            ++seasons;
            const int c = numbers.at(div.name), year = 1987 + s;
            SeasonRules want = PointsOfScheme(div.scheme);
            want.teams = div.teamCount;
            want.matchdays = 2 * div.teamCount - 2;
            EXPECT_EQ(GetSeasonParams(c, year), want) << div.name << " " << year;
            for (int t : div.teams) links.insert(pad(year, 5) + pad(c, 5) + pad(t, 5));
        }
    for (const auto& x : m.matches) {
        const int d = x.division == 10 ? 0 : x.division - 19;
        const int c = numbers.at(m.seasons[x.year - 1987][d].name);
        results.insert(pad(c, 3) + pad(x.year, 4) + pad(x.matchday, 2) + pad(x.home, 5) + pad(x.away, 5) +
                       pad(x.homeGoals, 3) + pad(x.awayGoals, 3) + codes[x.result] + pad(0, 3) + pad(0, 3));
    }
    auto flat = [&](const std::string& t, const std::vector<std::string>& f) {
        std::set<std::string> out;
        for (std::string r : rows(t, f)) {
            std::string v;
            for (size_t i = 0; i < r.size();) {
                const size_t eq = r.find('=', i);
                // Field values may hold blanks: take each value up to the next " NAME=".
                size_t end = r.size();
                for (const auto& name : f) {
                    const size_t at = r.find(" " + name + "=", eq);
                    if (at != std::string::npos && at < end) end = at;
                }
                v += r.substr(eq + 1, end - eq - 1);
                i = end == r.size() ? end : end + 1;
            }
            out.insert(v);
        }
        return out;
    };
    EXPECT_EQ(flat("eqchamp.dbf", {"ANNEE", "NUCHAMP", "NUEQUIPE"}), links);
    EXPECT_EQ(flat("resultat.dbf", {"NUCHAMP", "ANNEE", "NUJOURNEE", "NUEQ1", "NUEQ2", "BEQ1", "BEQ2",
                                    "CODER", "PTEQ1", "PTEQ2"}),
              results);
    EXPECT_EQ(count("champan.dbf"), seasons);
    for (const char* t : {"but.dbf", "carton.dbf", "joueq.dbf"}) EXPECT_EQ(count(t), 0) << t;
    EXPECT_EQ(bytesOf(tmp.path() + "/joueur.dbf"), joueur);
    EXPECT_GT(count("joueur.dbf"), 0);
    EXPECT_FALSE(stagingLeft(tmp.path() + "/"));

    EXPECT_EQ(out.counts.matches, static_cast<int>(m.matches.size()));
    EXPECT_EQ(out.counts.championshipsCreated, 6);
    EXPECT_EQ(statuses.front(), GetLangText(Text::ImportReadingFile));
    for (Text step : {Text::ImportClearingData, Text::ImportCreatingTeams, Text::ImportTransferChampionship,
                      Text::ImportCreatingChampionship, Text::ImportCreatingSeasonRules,
                      Text::ImportLinkingTeams, Text::ImportTransferMatches})
        EXPECT_TRUE(statuses.contains(GetLangText(step))) << GetLangText(step).toStdString();
    EXPECT_TRUE(statuses.back().startsWith(GetLangText(Text::OperationFinished)))
        << statuses.back().toStdString();
}

// A database written in code page 852 keeps its page and its letters through a backup and a restore, and
// through an import, which refuses a name the page cannot hold rather than store it cut.
TEST_F(ImportTest, ACroatianDatabaseKeepsItsCodePageAndLettersThroughRestoreAndImport) {
    for (const auto& e : fs::directory_iterator(tmp.path())) fs::remove(e.path());
    engine().settings.newTableCodePage = 852;  // made by a Croatian session
    xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
    engine().settings.newTableCodePage = 0;
    {
        auto j = xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef("joueur.dbf"));
        j->Open();
        xbtest::PostRows(*j, {"nujoueur", "nomjoueur"}, {{"900", "Ćiro Blažević"}});
        j->Close();
    }
    const auto stamps = [&] {
        std::string out;
        for (const LeagueTable& t : LeagueTables()) out += bytesOf(tmp.path() + "/" + t.file).at(29);
        return out;
    };
    const std::string croatian(LeagueTables().size(), '\x64');
    ASSERT_EQ(stamps(), croatian);
    const std::string player = "NOMJOUEUR=" + QStringLiteral("Ćiro Blažević").leftJustified(30).toStdString();
    const auto players = [&] {
        const std::vector<std::string> r = rows("joueur.dbf", {"NOMJOUEUR"});
        return std::count(r.begin(), r.end(), player);
    };
    ASSERT_EQ(players(), 1);

    // Backed up, the live tables then stamped as another page, restored: the archive's bytes come back.
    const std::string archive = tmp.path() + "/hr.kvx";
    ASSERT_TRUE(BackupDatabase(tmp.path() + "/", archive).ok);
    for (const LeagueTable& t : LeagueTables()) {
        std::string b = bytesOf(tmp.path() + "/" + t.file);
        b[29] = 0x02;
        xbtest::WriteFileBytes(tmp.path() + "/" + t.file, b);
    }
    ASSERT_EQ(RestoreDatabase(tmp.path() + "/", archive).outcome, RestoreOutcome::kRestored);
    fs::remove(archive);
    EXPECT_EQ(stamps(), croatian);
    EXPECT_EQ(players(), 1);

    // The import's new tables take the database's page; the old file's Windows-1252 names that it holds
    // are stored right. One it cannot hold ("è") is named with its letter before anything is written:
    // stopped there, nothing changes; gone on, the team goes with every row that refers to it.
    OldFileModel m = twoSeasons();
    m.teams[61] = "\x8Aibenik";  // Šibenik
    m.teams[62] = "S\xE8te";
    const auto before = files();
    QStringList said;
    ImportHooks h = hooks();
    h.goOnWithout = [&](const QString& text) {
        said << text;
        return false;
    };
    ImportOutcome out = ImportOldFile(file(m), h);
    EXPECT_EQ(out.result, ImportResult::Cancelled);
    ASSERT_EQ(said.size(), 1);
    for (const QString& part :
         {QStringLiteral("852"), QStringLiteral("62"), QStringLiteral("Sète"), QStringLiteral("è »")})
        EXPECT_TRUE(said[0].contains(part)) << said[0].toStdString();
    EXPECT_EQ(files(), before);

    h.goOnWithout = [](const QString&) { return true; };
    out = ImportOldFile(file(m), h);
    ASSERT_EQ(out.result, ImportResult::Done) << out.message.toStdString();
    EXPECT_EQ(out.counts.writesRefused, 0);
    EXPECT_GT(out.counts.plan.matchesLeftOut, 0);
    EXPECT_TRUE(out.message.contains(QStringLiteral("Sète"))) << out.message.toStdString();
    EXPECT_TRUE(out.message.contains(GetLangText(Text::ImportMatchesLeftOut) + QLatin1Char(' ') +
                                     QString::number(out.counts.plan.matchesLeftOut)))
        << out.message.toStdString();
    EXPECT_EQ(stamps(), croatian);
    EXPECT_EQ(players(), 1);
    const std::vector<std::string> teams = rows("equipe.dbf", {"NUEQUIPE", "NOMEQUIPE"});
    EXPECT_NE(
        std::find(teams.begin(), teams.end(),
                  "NUEQUIPE=   61 NOMEQUIPE=" + QStringLiteral("Šibenik").leftJustified(20).toStdString()),
        teams.end());
    for (const std::string& t : teams) EXPECT_EQ(t.find("NUEQUIPE=   62"), std::string::npos) << t;
    // No row anywhere names the team left out; its division partner's other matches stay.
    for (const auto& [table, fields] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{{"eqchamp.dbf", {"NUEQUIPE"}},
                                                                       {"resultat.dbf", {"NUEQ1", "NUEQ2"}},
                                                                       {"but.dbf", {"NUEQ1", "NUEQ2"}},
                                                                       {"carton.dbf", {"NUEQ1", "NUEQ2"}}})
        for (const std::string& r : rows(table, fields))
            for (const std::string& f : fields)
                EXPECT_EQ(r.find(f + "=   62"), std::string::npos) << table << " " << r;
    EXPECT_GT(rows("resultat.dbf", {"NUEQ1"}).size(), 0u);
}

TEST_F(ImportTest, TheSameFileTwiceGivesTheSameBytes) {
    const std::string path = file(twoSeasons());
    ASSERT_EQ(ImportOldFile(path, hooks()).result, ImportResult::Done);
    const auto first = files();
    ASSERT_EQ(ImportOldFile(path, hooks()).result, ImportResult::Done);
    const auto second = files();
    ASSERT_EQ(first.size(), second.size());
    for (const auto& [name, bytes] : first) {
        if (name.ends_with(".dbf") || name.ends_with(".DBF")) {
            // The header's date of last update (bytes 1..3) may move on at midnight.
            std::string a = bytes, b = second.at(name);
            a.replace(1, 3, "   ");
            b.replace(1, 3, "   ");
            EXPECT_EQ(a, b) << name;
        } else {
            EXPECT_EQ(bytes, second.at(name)) << name;
        }
    }
    for (const LeagueTable& t : LeagueTables()) {
        const auto report = xbtest::CheckMdxFile(tmp.path() + "/" + t.stem() + ".mdx", {false, 0});
        EXPECT_TRUE(report.ok()) << t.file << "\n" << report.text();
    }
}

TEST_F(ImportTest, DamagedFilesChangeNothingOrImportWithinBounds) {
    const auto before = files();
    auto damaged = [&](std::function<void(std::vector<uint8_t>&)> f) {
        auto b = xbtest::EncodeOldFile(twoSeasons());
        f(b);
        xbtest::WriteOldFile(m_path, b);
        return m_path;
    };
    const std::vector<uint8_t> good = xbtest::EncodeOldFile(twoSeasons());
    const struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    } refused[] = {
        {"a byte short", [](auto& b) { b.pop_back(); }},
        {"a byte long", [](auto& b) { b.push_back(0); }},
        {"count -1", [](auto& b) { b[0] = b[1] = b[2] = b[3] = 0xFF; }},
        {"count 16000", [](auto& b) { b[0] = 0x80, b[1] = 0x3E, b[2] = b[3] = 0; }},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        statuses.clear();
        const ImportOutcome out = ImportOldFile(damaged(c.damage), hooks());
        EXPECT_EQ(out.result, ImportResult::Refused);
        EXPECT_FALSE(out.message.isEmpty());
        EXPECT_EQ(files(), before);
    }

    OldFileModel m = twoSeasons();
    auto& a = m.seasons[0][0];
    a.teamCount = 30;  // clamped to 26
    m.seasons[0][1].teamCount = -1;
    m.seasons[0][2].scheme = 9;
    m.seasons[0][2].teams[0] = 250;
    m.matches[0].result = 7;  // by the score
    m.matches[1].matchday = 150;
    m.matches[2].homeGoals = 1000;
    m.matches[3].away = 250;
    m.matches.push_back(m.matches[4]);  // held twice
    m.matches.back().homeGoals = 9;
    m.rawTeamFields[63] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};          // control bytes only: no team
    m.rawTeamFields[64] = {3, 'N', 'i', 'm', 'e', 's', 0, 0, 0, 0, 0};  // stale tail
    m.seasons[1][3].rawName = std::array<uint8_t, 21>{20,  'L', 'i', 'g',  'u', 'e', ' ', 'D', ' ', 'c', 'o',
                                                      'm', 'p', 'l', 0xE8, 't', 'e', ' ', 'x', 'y', 'z'};
    const ImportOutcome out = ImportOldFile(file(m), hooks());
    ASSERT_EQ(out.result, ImportResult::Done) << out.message.toStdString();
    EXPECT_EQ(out.counts.plan.teamCountsClamped, 2);
    EXPECT_EQ(out.counts.plan.schemesDefaulted, 1);
    EXPECT_EQ(out.counts.plan.resultsDefaulted, 1);
    EXPECT_EQ(out.counts.plan.matchesSkipped, 3);
    EXPECT_EQ(out.counts.duplicates, 1);
    EXPECT_EQ(out.counts.matches, static_cast<int>(m.matches.size()) - 4);
    EXPECT_EQ(GetSeasonParams(1, 1987).teams, 26);
    EXPECT_EQ(GetSeasonParams(2, 1987).teams, 0);
    EXPECT_EQ(GetSeasonParams(3, 1987), (SeasonRules{3, 1, 0, 0, 0, 8, 14}));
    EXPECT_EQ(GetTeamName(63), "");
    EXPECT_EQ(GetTeamName(64), "Nim");
    EXPECT_EQ(GetChampionshipName(4), QStringLiteral("Ligue D complète xyz"));
    // The match held twice: its later score, once.
    const auto& twice = m.matches.back();
    const auto r = rows("resultat.dbf", {"ANNEE", "NUJOURNEE", "NUEQ1", "NUEQ2", "BEQ1"});
    const std::string key = "ANNEE=" + pad(twice.year, 4) + " NUJOURNEE=" + pad(twice.matchday, 2) +
                            " NUEQ1=" + pad(twice.home, 5) + " NUEQ2=" + pad(twice.away, 5) + " BEQ1=";
    EXPECT_EQ(std::count(r.begin(), r.end(), key + "  9"), 1);
    EXPECT_EQ(std::count(r.begin(), r.end(), key + pad(m.matches[4].homeGoals, 3)), 0);
    for (const char* part : {"matchs hors limites 3", "matchs en double 1", "barèmes remplacés par le 3 1"})
        EXPECT_TRUE(out.message.contains(QString::fromUtf8(part))) << out.message.toStdString();
}

TEST_F(ImportTest, AStationHoldingATableRefusesTheImport) {
    const auto before = files();
    xbtest::ChildProcess child;
    ASSERT_EQ(child.ask("open e " + tmp.path() + "/resultat.dbf 66"), "0");
    const ImportOutcome out = ImportOldFile(file(twoSeasons()), hooks());
    EXPECT_EQ(out.result, ImportResult::Refused);
    EXPECT_TRUE(out.message.contains("resultat.dbf")) << out.message.toStdString();
    auto after = files();
    after.erase("old.dat");
    EXPECT_EQ(after, before);
    EXPECT_FALSE(stagingLeft(tmp.path() + "/"));
}

TEST_F(ImportTest, AnswersToTheChampionshipQuestion) {
    OldFileModel m;
    m.teams = {{1, "A"}, {2, "B"}};
    m.seasons[0][0] = {"Nord", 3, 2, {1, 2}, {}};
    m.seasons[1][0] = {"Sud", 3, 2, {1, 2}, {}};
    m.matches = {{10, 1987, 1, 1, 2, 1, 0, 1}, {10, 1988, 1, 2, 1, 1, 0, 1}};
    const struct {
        int answer;
        int champion;  // the championship of 1988's season, 0 when none
        int skipped;
    } cases[] = {{1, 1, 0}, {-1, 2, 0}, {0, 0, 1}, {7, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        answer = c.answer;
        const ImportOutcome out = ImportOldFile(file(m), hooks());
        ASSERT_EQ(out.result, ImportResult::Done) << out.message.toStdString();
        EXPECT_EQ(out.counts.divisionsSkipped, c.skipped);
        EXPECT_EQ(GetSeasonParams(c.champion, 1988).teams, c.champion ? 2 : 0);
        EXPECT_EQ(count("resultat.dbf"), c.champion ? 2 : 1);
    }
}

TEST_F(ImportTest, NoConfirmationChangesNothing) {
    const auto before = files();
    ImportHooks h = hooks();
    h.confirm = [] { return false; };
    EXPECT_EQ(ImportOldFile(file(twoSeasons()), h).result, ImportResult::Cancelled);
    auto after = files();
    EXPECT_EQ(after, before);
}

// An import killed at random moments, and while its question waits for an answer: after the start-up
// recovery the directory holds the old database byte for byte, or the imported one whole.
class ImportKillTest : public ImportTest {
protected:
    using Files = std::map<std::string, std::string>;
    std::string dir() const { return tmp.path() + "/"; }
    Files snapshot() const {
        Files out;
        for (const auto& n : DatabaseFileNames())
            if (fs::exists(dir() + n)) out[n] = xbtest::ReadFileBytes(dir() + n);
        return out;
    }
    void put(const Files& files) const {
        for (const auto& [n, b] : files) xbtest::WriteFileBytes(dir() + n, b);
    }
    std::map<std::string, std::vector<std::string>> allRows() {
        std::map<std::string, std::vector<std::string>> out;
        for (const LeagueTable& def : LeagueTables()) {
            std::vector<std::string> names;
            for (const auto& f : def.fields) names.push_back(f.substr(0, f.find(',')));
            out[def.file] = rows(def.file, names);
        }
        // Closed as after their idle time: the imports of other processes below need the files alone.
        ReleaseKeptTables();
        return out;
    }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(tmp.path())) {
            const std::string n = e.path().filename().string();
            if (n.rfind("restore.", 0) == 0) out.push_back(n);
        }
        return out;
    }
    void expectIndexesSound() {
        for (const LeagueTable& def : LeagueTables()) {
            const xbtest::MdxReport r = xbtest::CheckMdxFile(dir() + def.stem() + ".mdx", {false, 0});
            EXPECT_TRUE(r.ok()) << def.stem() << "\n" << r.text();
        }
    }
    // Runs the import in a child process; the child tells `ready` (one byte) when the question comes and
    // then waits for it to be answered, which never happens.
    pid_t startImport(const std::string& path, int ready) {
        const pid_t child = fork();
        if (child != 0) return child;
        ImportHooks h;
        h.confirm = [] { return true; };
        h.chooseChampionship = [ready](const QString&, const std::string&) {
            if (ready < 0) return -1;
            const char b = 'q';
            if (write(ready, &b, 1) != 1) _exit(3);
            for (;;) pause();
            return -1;
        };
        ImportOldFile(path, h);
        _exit(0);
    }
};

TEST_F(ImportKillTest, KilledImportsLeaveTheOldDatabaseOrTheNewOneWhole) {
    const std::string path = file(twoSeasons());
    const Files old = snapshot();
    const auto oldRows = allRows();

    // The imported database, and how long an import takes here, so that the kills fall all over it.
    answer = -1;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(ImportOldFile(path, hooks()).result, ImportResult::Done);
    const auto span =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const auto newRows = allRows();
    ASSERT_NE(newRows, oldRows);
    put(old);

    // While the question waits: the database is the old one, byte for byte.
    for (int i = 0; i < 3; ++i) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = startImport(path, pipeFds[1]);
        ASSERT_GT(child, 0);
        close(pipeFds[1]);
        pollfd p{pipeFds[0], POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 60000), 1) << "no question";
        char b = 0;
        ASSERT_EQ(read(pipeFds[0], &b, 1), 1);
        close(pipeFds[0]);
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20 * i));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        EXPECT_EQ(snapshot(), old) << "question " << i << ", before recovery";
        ASSERT_TRUE(RecoverInterruptedRestore(dir()));
        EXPECT_TRUE(leftovers().empty());
        EXPECT_FALSE(stagingLeft(dir()));
        ASSERT_EQ(snapshot(), old) << "question " << i;
    }

    // At random moments over the whole run, a third of them after it ended.
    std::mt19937 random(33);
    int sawOld = 0, sawNew = 0;
    const int kills = 40;
    for (int i = 0; i < kills; ++i) {
        const pid_t child = startImport(path, -1);
        ASSERT_GT(child, 0);
        // Every eighth import runs to its end, whatever the machine's load makes of the measured span: the
        // recovery after a finished import is met every run.
        if (i % 8 != 7) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % (span.count() * 3 / 2 + 1)));
            kill(child, SIGKILL);
        }
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(RecoverInterruptedRestore(dir()));
        EXPECT_TRUE(leftovers().empty()) << i;
        EXPECT_FALSE(stagingLeft(dir())) << i;
        if (snapshot() == old) {
            ++sawOld;
            continue;
        }
        ASSERT_EQ(allRows(), newRows) << "kill " << i;
        expectIndexesSound();
        ++sawNew;
        put(old);
    }
    EXPECT_EQ(sawOld + sawNew, kills);
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    RecordProperty("old", sawOld);
    RecordProperty("new", sawNew);
}

}  // namespace
