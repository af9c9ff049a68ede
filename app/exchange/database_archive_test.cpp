// Backup and restore of the whole database on real tables: round trips, damaged archives, failed renames,
// a restore killed at random moments, and another station holding or writing the tables.
#include "app/exchange/database_archive.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "app/exchange/backup_file.h"
#include "app/exchange/database_download.h"
#include "app/exchange/database_swap.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/league_test_support.h"
#include "app/data/league_writes.h"
#include "platform/file.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/season_csv.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

const std::string kSeason = std::string(LM_TEST_DATA) + "/en-2012-13.csv";
HttpLibraryScope g_http;

class DatabaseArchiveTest : public leaguetest::LeagueTest {
protected:
    // A data directory (ending "/") below the test's folder holding an empty database.
    std::string database(const std::string& name) {
        const std::string dir = tmp.path() + "/" + name + "/";
        fs::create_directories(dir);
        SetAppDir(QString::fromStdString(dir));
        { Tfsysteme made; }
        return dir;
    }
    // The season saved into the database of dir through the league library.
    void fillSeason(const std::string& dir, int championship = 1) {
        SetAppDir(QString::fromStdString(dir));
        const xbtest::CsvSeason s = xbtest::ReadSeasonCsv(kSeason);
        std::unique_ptr<xb::TXbDbf> results;
        ASSERT_TRUE(OpenTable(results, "resultat.dbf"));
        for (const auto& m : s.matches)
            ASSERT_TRUE(SaveMatchResult(*results, {championship, 2012, m.matchday, m.home, m.away,
                                                   m.homeGoals, m.awayGoals, "N", 1, 1}));
        CloseTable(results);
        for (int t = 1; t <= static_cast<int>(s.teams.size()); ++t)
            ASSERT_TRUE(AddTeamToChampionship(2012, championship, t));
        std::unique_ptr<xb::TXbDbf> champions;
        ASSERT_TRUE(OpenTable(champions, "champion.dbf"));
        EXPECT_GT(CreateChampionship(*champions, "PREMIER"), 0);
        CloseTable(champions);
    }
    // Six players with a note each, written as the player window writes them.
    void addPlayersWithNotes(const std::string& dir) {
        SetAppDir(QString::fromStdString(dir));
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "joueur.dbf"));
        for (int i = 1; i <= 6; ++i) {
            ASSERT_TRUE(t->ALock());
            t->AppendBlank();
            t->UnLock();
            ASSERT_TRUE(t->RLock());
            t->FieldPutInt("nujoueur", i);
            t->FieldPutStr("nomjoueur", "PLAYER " + std::to_string(i));
            t->SetMField("infodivers", {"Note of player " + std::to_string(i), std::string(300, 'n')});
            t->ReplaceRec();
            t->UnLock();
        }
        CloseTable(t);
    }
    // The season's database in a folder of its own, backed up into an archive; the archive's name.
    std::string seasonArchive() {
        const std::string source = database("source");
        fillSeason(source);
        const std::string archive = tmp.path() + "/a.pmz";
        EXPECT_TRUE(BackupDatabase(source, archive).ok);
        return archive;
    }
    static Files snapshot(const std::string& dir) {
        Files out;
        for (const auto& n : DatabaseFileNames())
            if (fs::exists(dir + n)) out[n] = xbtest::ReadFileBytes(dir + n);
        return out;
    }
    // Every live row of the nine tables, table by table.
    std::map<std::string, std::vector<std::string>> allRows(const std::string& dir) {
        SetAppDir(QString::fromStdString(dir));
        std::map<std::string, std::vector<std::string>> out;
        for (const LeagueTable& def : LeagueTables()) {
            std::vector<std::string> names;
            for (const auto& f : def.fields) names.push_back(f.substr(0, f.find(',')));
            out[def.file] = rows(def.file, names);
        }
        return out;
    }
    // What a failed or refused restore must not leave behind.
    static std::vector<std::string> leftovers(const std::string& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.rfind("restore.", 0) == 0 || n.find(".part") != std::string::npos) out.push_back(n);
        }
        return out;
    }
    static void expectIndexesSound(const std::string& dir) {
        for (const LeagueTable& def : LeagueTables()) {
            const xbtest::MdxReport r = xbtest::CheckMdxFile(dir + def.stem() + ".mdx", {false, 0});
            EXPECT_TRUE(r.ok()) << dir << def.stem() << "\n" << r.text();
        }
    }
    // An archive of exactly the given files (name -> bytes), made by the backup component.
    std::string archiveOf(const Files& files, const std::string& name) {
        const std::string src = tmp.path() + "/src-" + name + "/";
        fs::remove_all(src);
        fs::create_directories(src);
        for (const auto& [n, bytes] : files) xbtest::WriteFileBytes(src + n, bytes);
        TBackupFile b;
        b.OnError = [](TBackupFile&, int, const std::string&) {};
        const std::string archive = tmp.path() + "/" + name + ".pmz";
        EXPECT_TRUE(b.Backup({src + "*"}, archive));
        return archive;
    }
    xbtest::ScriptedUi ui;
};

TEST_F(DatabaseArchiveTest, SeasonBackedUpRestoresIntoAnEmptyDirectoryWithEqualRowsAndSoundIndexes) {
    const std::string live = database("live");
    fillSeason(live);
    xbtest::WriteFileBytes(live + "notes.txt", "kept");
    const std::string archive = tmp.path() + "/season.pmz";
    const BackupResult b = BackupDatabase(live, archive);
    ASSERT_TRUE(b.ok) << b.reason;
    EXPECT_FALSE(fs::exists(archive + ".part"));

    const std::string empty = tmp.path() + "/empty/";
    fs::create_directories(empty);
    const RestoreResult r = RestoreDatabase(empty, archive);
    ASSERT_EQ(r.outcome, RestoreOutcome::kRestored) << r.reason;
    EXPECT_EQ(snapshot(empty).size(), 19u);
    EXPECT_TRUE(leftovers(empty).empty());
    EXPECT_FALSE(fs::exists(empty + "notes.txt"));
    expectIndexesSound(empty);
    const auto want = allRows(live);
    EXPECT_EQ(allRows(empty), want);
    EXPECT_EQ(want.at("resultat.dbf").size(), 380u);

    // Restoring over a database replaces it and leaves the directory's other files alone.
    const std::string other = database("other");
    xbtest::WriteFileBytes(other + "mine.dbf.bak", "mine");
    ASSERT_EQ(RestoreDatabase(other, archive).outcome, RestoreOutcome::kRestored);
    EXPECT_EQ(allRows(other), want);
    EXPECT_EQ(xbtest::ReadFileBytes(other + "mine.dbf.bak"), "mine");
}

TEST_F(DatabaseArchiveTest, DamagedOrForeignArchivesRestoreNothingAndLoseNothing) {
    const std::string source = database("source");
    fillSeason(source);
    const std::string large = tmp.path() + "/large.pmz";
    ASSERT_TRUE(BackupDatabase(source, large).ok);
    const std::string smallDb = database("small");
    const std::string small = tmp.path() + "/small.pmz";
    ASSERT_TRUE(BackupDatabase(smallDb, small).ok);

    const std::string live = database("live");
    fillSeason(live, 7);
    const Files before = snapshot(live);
    const auto liveRows = allRows(live);
    auto expectUnchanged = [&](const std::string& archive, const std::string& what) {
        const RestoreResult r = RestoreDatabase(live, archive);
        EXPECT_NE(r.outcome, RestoreOutcome::kRestored) << what;
        EXPECT_FALSE(r.reason.empty()) << what;
        EXPECT_TRUE(snapshot(live) == before) << what;
        EXPECT_TRUE(leftovers(live).empty()) << what;
    };

    // Cut at every offset of the small archive and at sampled offsets of the large one.
    const std::string smallBytes = xbtest::ReadFileBytes(small);
    const std::string cut = tmp.path() + "/cut.pmz";
    for (size_t n = 0; n < smallBytes.size(); ++n) {
        xbtest::WriteFileBytes(cut, smallBytes.substr(0, n));
        const RestoreResult r = RestoreDatabase(live, cut);
        ASSERT_EQ(r.outcome, RestoreOutcome::kIncomplete) << "cut at " << n;
    }
    EXPECT_TRUE(snapshot(live) == before);
    EXPECT_TRUE(leftovers(live).empty());
    const std::string largeBytes = xbtest::ReadFileBytes(large);
    std::mt19937 random(32);
    for (int i = 0; i < 40; ++i) {
        const size_t n = random() % largeBytes.size();
        xbtest::WriteFileBytes(cut, largeBytes.substr(0, n));
        expectUnchanged(cut, "large cut at " + std::to_string(n));
    }

    // A flipped byte is either caught (nothing changes) or harmless (a date): then the rows are whole.
    const auto sourceRows = allRows(source);
    for (int i = 0; i < 30; ++i) {
        std::string bytes = largeBytes;
        const size_t at = random() % bytes.size();
        bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
        xbtest::WriteFileBytes(cut, bytes);
        const RestoreResult r = RestoreDatabase(live, cut);
        if (r.outcome == RestoreOutcome::kRestored) {
            EXPECT_EQ(allRows(live), sourceRows) << "flip at " << at;
            for (const auto& [n, b] : before) xbtest::WriteFileBytes(live + n, b);
        } else {
            EXPECT_TRUE(snapshot(live) == before) << "flip at " << at;
        }
        EXPECT_TRUE(leftovers(live).empty());
    }

    // Missing table, broken header, foreign files only.
    Files whole = snapshot(source);
    Files noResults = whole;
    noResults.erase("resultat.dbf");
    expectUnchanged(archiveOf(noResults, "noresults"), "no resultat.dbf");
    Files noMemo = whole;
    noMemo.erase("joueur.dbt");
    expectUnchanged(archiveOf(noMemo, "nomemo"), "no joueur.dbt");
    Files brokenHeader = whole;
    brokenHeader["equipe.dbf"][0] = '\x55';
    expectUnchanged(archiveOf(brokenHeader, "header"), "broken header");
    Files otherFields = whole;
    otherFields["champion.dbf"] = whole["equipe.dbf"];
    expectUnchanged(archiveOf(otherFields, "fields"), "a table with another table's fields");
    expectUnchanged(archiveOf({{"readme.txt", "x"}, {"x.so", "y"}}, "foreign"), "foreign files");
    const std::string missing = tmp.path() + "/none.pmz";
    expectUnchanged(missing, "no archive");

    // Names that are not the database's files are written nowhere, even beside a complete database.
    Files extras = whole;
    for (const char* n : {"pelmorad32", "x.so", "PELMORAD32.PAR", "pelmorad.lg", "e.dbf"}) extras[n] = "evil";
    ASSERT_EQ(RestoreDatabase(live, archiveOf(extras, "extras")).outcome, RestoreOutcome::kRestored);
    for (const char* n : {"pelmorad32", "x.so", "PELMORAD32.PAR", "pelmorad.lg", "e.dbf"}) {
        EXPECT_FALSE(fs::exists(live + n)) << n;
        EXPECT_FALSE(fs::exists(tmp.path() + "/" + n)) << n;
    }
    EXPECT_EQ(allRows(live), sourceRows);
    (void)liveRows;
}

// What a restore brings in is checked as the program opens its tables, before the swap: a table cut short,
// a note that points past the memo file, a table with another's fields, a memo file that inflates far past
// the archive's declared total, and a name that climbs out of the data folder are each refused with a
// message that names them, and the live database keeps every byte.
TEST_F(DatabaseArchiveTest, ArchivesWithDamagedTablesAreRefusedByNameAndTheLiveDatabaseKept) {
    const std::string source = database("source");
    fillSeason(source);
    addPlayersWithNotes(source);
    const Files whole = snapshot(source);
    const std::string live = database("live");
    fillSeason(live, 4);
    const Files before = snapshot(live);

    // The declared total of an archive made by the backup component, set to 1000 bytes.
    auto declaring1000 = [&](const std::string& archive) {
        std::string bytes = xbtest::ReadFileBytes(archive);
        const std::string total("\xE8\x03\0\0", 4);
        bytes.replace(4, 4, total);  // after the empty title's length
        xbtest::WriteFileBytes(archive, bytes);
        return archive;
    };
    // The stored name of the file "ab" ends with ".." instead: it would climb out of the folder.
    auto climbing = [&](const std::string& archive) {
        std::string bytes = xbtest::ReadFileBytes(archive);
        const size_t at = bytes.find("src-climb/ab");
        EXPECT_NE(at, std::string::npos);
        bytes.replace(at + 10, 2, "..");
        xbtest::WriteFileBytes(archive, bytes);
        return archive;
    };
    Files pastMemo = whole;
    // Each note takes the block after the one before (512 bytes each): the file's first 1024 bytes hold
    // the first note whole, and the second one's pointer leads past the end.
    pastMemo["joueur.dbt"] = whole.at("joueur.dbt").substr(0, 1024);
    Files cut = whole;
    cut["resultat.dbf"] = whole.at("resultat.dbf").substr(0, whole.at("resultat.dbf").size() / 2);
    Files otherFields = whole;
    otherFields["champion.dbf"] = whole.at("equipe.dbf");
    Files bomb = whole;
    bomb["joueur.dbt"] = whole.at("joueur.dbt") + std::string(24 << 20, '\0');
    Files extra = whole;
    extra["ab"] = "x";

    const struct {
        const char* what;
        std::string archive;
        std::string named;  // what the message must name
    } cases[] = {
        {"a note past the memo file", archiveOf(pastMemo, "pastmemo"),
         GetLangText(Text::MemoPointerOutside).arg("joueur.dbf", "2", "joueur.dbt").toStdString()},
        {"a table cut in half", archiveOf(cut, "cut"), "resultat.dbf"},
        {"another table's fields", archiveOf(otherFields, "fields"), "champion.dbf"},
        {"a memo file past the declared total", declaring1000(archiveOf(bomb, "bomb")),
         GetLangText(Text::ArchiveLargerThanDeclared).arg("1000").toStdString()},
        {"a name leaving the data folder", climbing(archiveOf(extra, "climb")), "/.."},
    };
    for (const auto& c : cases) {
        const RestoreResult r = RestoreDatabase(live, c.archive);
        EXPECT_EQ(r.outcome, RestoreOutcome::kIncomplete) << c.what << ": " << r.reason;
        EXPECT_NE(r.reason.find(c.named), std::string::npos) << c.what << ": " << r.reason;
        EXPECT_TRUE(snapshot(live) == before) << c.what;
        EXPECT_TRUE(leftovers(live).empty()) << c.what;
    }
    // The cut table's message says how many rows it declares and how many are whole.
    const std::string& half = cut.at("resultat.dbf");
    auto u16 = [&](size_t at) {
        return static_cast<unsigned char>(half[at]) | static_cast<unsigned char>(half[at + 1]) << 8;
    };
    const size_t wholeRows = (half.size() - u16(8)) / u16(10);
    const RestoreResult r = RestoreDatabase(live, tmp.path() + "/cut.pmz");
    EXPECT_EQ(r.reason,
              GetLangText(Text::TableCutShort).arg("resultat.dbf", "380", QString::number(wholeRows)).toStdString());

    // The sound archive of the same database restores, notes and all.
    ASSERT_EQ(RestoreDatabase(live, archiveOf(whole, "whole")).outcome, RestoreOutcome::kRestored);
    EXPECT_EQ(allRows(live), allRows(source));
}

// Each restore, import and download is one operation with its own staging folder: a program started
// in the middle of a restore leaves it whole, and a second restore or a download meanwhile is refused
// with a message, whichever stage the first one has reached.
TEST_F(DatabaseArchiveTest, ASecondStartOrRestoreDuringARestoreLeavesItWhole) {
    const std::string archive = seasonArchive();
    const auto newRows = allRows(tmp.path() + "/source/");
    const std::string live = database("live");
    const Files old = snapshot(live);
    // A staging folder of an operation killed long ago: the next start clears it.
    fs::create_directories(live + "restore.new.dead01");
    xbtest::WriteFileBytes(live + "restore.new.dead01/resultat.dbf", "left");

    for (const char* held : {"verified", "staged", "prepared"}) {
        SCOPED_TRACE(held);
        std::vector<std::string> seen;
        ExchangeOperation::StageHook() = [&](const std::string& stage) {
            seen.push_back(stage);
            if (stage != held) return;
            // What a second program does first at its start.
            EXPECT_TRUE(RecoverInterruptedRestore(live));
            EXPECT_FALSE(fs::exists(live + "restore.new.dead01"));
            const RestoreResult second = RestoreDatabase(live, archive);
            EXPECT_EQ(second.outcome, RestoreOutcome::kBusy);
            EXPECT_EQ(second.reason, GetLangText(Text::ExchangeBusy).toStdString());
            std::atomic<bool> cancel{false};
            DownloadRequest request;
            request.url = "http://127.0.0.1:9/none";
            request.dest = live + kDatabaseArchiveName;
            const DownloadResult download = DownloadFile(request, cancel);
            EXPECT_TRUE(download.busy);
            EXPECT_FALSE(fs::exists(request.dest));
        };
        const RestoreResult first = RestoreDatabase(live, archive);
        ExchangeOperation::StageHook() = nullptr;
        ASSERT_EQ(first.outcome, RestoreOutcome::kRestored) << first.reason;
        EXPECT_NE(std::find(seen.begin(), seen.end(), held), seen.end());
        EXPECT_EQ(allRows(live), newRows);
        EXPECT_TRUE(leftovers(live).empty());
        ReportRestoreResult(RestoreResult{RestoreOutcome::kBusy, GetLangText(Text::ExchangeBusy).toStdString()});
        for (const auto& [n, b] : old) xbtest::WriteFileBytes(live + n, b);
    }
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0].text, GetLangText(Text::ExchangeBusy).toStdString());
}

TEST_F(DatabaseArchiveTest, EachFailedRenameOfTheSwapLeavesTheDatabaseByteIdentical) {
    const std::string source = database("source");
    fillSeason(source);
    const std::string archive = tmp.path() + "/a.pmz";
    ASSERT_TRUE(BackupDatabase(source, archive).ok);
    const std::string live = database("live");
    fillSeason(live, 3);
    const Files before = snapshot(live);
    int failures = 0;
    for (int n = 1; n < 100; ++n) {
        xb::platform::InjectFault(xb::platform::FaultOp::Rename, n, xb::platform::kErrAccessDenied);
        const RestoreResult r = RestoreDatabase(live, archive);
        xb::platform::ClearFaults();
        if (r.outcome == RestoreOutcome::kRestored) break;
        ++failures;
        EXPECT_EQ(r.outcome, RestoreOutcome::kFailed) << n;
        ASSERT_TRUE(snapshot(live) == before) << "rename " << n;
        ASSERT_TRUE(leftovers(live).empty()) << "rename " << n;
    }
    EXPECT_GE(failures, 38);  // the journal's rename and two for each of the 19 files
    EXPECT_EQ(allRows(live), allRows(source));
}

TEST_F(DatabaseArchiveTest, RestoreKilledAtRandomMomentsLeavesTheOldOrTheNewDatabaseAfterRecovery) {
    const std::string archive = seasonArchive();
    const auto newRows = allRows(tmp.path() + "/source/");
    const std::string live = database("live");
    fillSeason(live, 5);
    const Files old = snapshot(live);
    const auto oldRows = allRows(live);

    // How long a restore takes here, so that the kills fall all over it.
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(RestoreDatabase(live, archive).outcome, RestoreOutcome::kRestored);
    const auto span =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    for (const auto& [n, b] : old) xbtest::WriteFileBytes(live + n, b);

    std::mt19937 random(50);
    int sawOld = 0, sawNew = 0;
    for (int i = 0; i < 50; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RestoreDatabase(live, archive);
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (span.count() + 1)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(RecoverInterruptedRestore(live));
        EXPECT_TRUE(leftovers(live).empty()) << i;
        if (i == 0) {
            // Once nothing is left, the next start's look costs one listing of the folder: no lock file
            // made and removed, nothing else asked.
            xb::platform::FileCallCounts before = xb::platform::FileCalls();
            std::vector<std::string> names;
            ASSERT_TRUE(xb::platform::ListDirectory(live, names));
            const uint64_t listing = (xb::platform::FileCalls() - before).total();
            before = xb::platform::FileCalls();
            ASSERT_TRUE(RecoverInterruptedRestore(live));
            EXPECT_EQ((xb::platform::FileCalls() - before).total(), listing);
        }
        if (snapshot(live) == old) {
            ++sawOld;
            continue;
        }
        ASSERT_EQ(allRows(live), newRows) << "kill " << i;
        expectIndexesSound(live);
        ++sawNew;
        for (const auto& [n, b] : old) xbtest::WriteFileBytes(live + n, b);
    }
    EXPECT_EQ(sawOld + sawNew, 50);
    (void)oldRows;
}

TEST_F(DatabaseArchiveTest, AnotherStationHoldingATableMakesTheRestoreRefuseAndItsLaterWritesLand) {
    const std::string source = database("source");
    fillSeason(source);
    const std::string archive = tmp.path() + "/a.pmz";
    ASSERT_TRUE(BackupDatabase(source, archive).ok);
    const std::string live = database("live");
    const Files before = snapshot(live);

    xbtest::ChildProcess station(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(station.ask("dir " + live), "0");
    ASSERT_EQ(station.ask("hold equipe.dbf alock"), "1");
    const RestoreResult r = RestoreDatabase(live, archive);
    EXPECT_EQ(r.outcome, RestoreOutcome::kInUse);
    EXPECT_EQ(r.reason, "equipe.dbf");
    EXPECT_TRUE(snapshot(live) == before);
    EXPECT_TRUE(leftovers(live).empty());
    ReportRestoreResult(r);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind(GetLangText(Text::DatabaseInUse).toStdString(), 0), 0u);
    // A refusal, not a finished operation.
    EXPECT_EQ(ui.messages[0].caption, GetLangText(Text::RestoreRefused).toStdString());

    EXPECT_EQ(station.ask("create 1 LATER"), "1 ");
    ASSERT_EQ(station.ask("release"), "0");
    SetAppDir(QString::fromStdString(live));
    const auto champions = rows("champion.dbf", {"nomchamp"});
    ASSERT_EQ(champions.size(), 1u);
    EXPECT_EQ(champions[0].rfind("nomchamp=LATER ", 0), 0u);
}

TEST_F(DatabaseArchiveTest, BackupsWhileAnotherStationSavesHoldIndexesEqualToAReindex) {
    const std::string live = database("live");
    fillSeason(live);
    xbtest::ChildProcess writer(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(writer.ask("dir " + live), "0");
    ASSERT_EQ(writer.ask("saveloop " + kSeason + " 2 2013"), "started");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 20; ++i) {
        const std::string archive = tmp.path() + "/b" + std::to_string(i) + ".pmz";
        const BackupResult b = BackupDatabase(live, archive);
        ASSERT_TRUE(b.ok) << i << ": " << b.reason;
        // The archive's own files, as stored.
        const std::string raw = tmp.path() + "/raw" + std::to_string(i) + "/";
        TBackupFile extract;
        ASSERT_TRUE(extract.Restore(archive, raw));
        const xbtest::MdxReport stored = xbtest::CheckMdxFile(raw + "resultat.mdx", {false, 0});
        ASSERT_TRUE(stored.ok()) << stored.text();
        // The same archive restored: every index built again from its table.
        const std::string copy = tmp.path() + "/copy" + std::to_string(i) + "/";
        fs::create_directories(copy);
        ASSERT_EQ(RestoreDatabase(copy, archive).outcome, RestoreOutcome::kRestored) << i;
        const xbtest::MdxReport rebuilt = xbtest::CheckMdxFile(copy + "resultat.mdx", {false, 0});
        ASSERT_EQ(stored.tags.size(), rebuilt.tags.size());
        // Equal keys may stand in another order in a tree grown by updates: compare them sorted.
        auto sorted = [](std::vector<xbtest::MdxEntry> e) {
            std::sort(e.begin(), e.end(), [](const auto& a, const auto& b) {
                return std::tie(a.key, a.record) < std::tie(b.key, b.record);
            });
            return e;
        };
        for (size_t t = 0; t < stored.tags.size(); ++t) {
            EXPECT_EQ(stored.tags[t].entries.size(), rebuilt.tags[t].entries.size())
                << i << " " << stored.tags[t].name;
            EXPECT_TRUE(sorted(stored.tags[t].entries) == sorted(rebuilt.tags[t].entries))
                << i << " tag " << stored.tags[t].name;
        }
        // Every match of both seasons once: no save lost or doubled, none half-written.
        SetAppDir(QString::fromStdString(copy));
        std::set<std::string> keys;
        size_t count = 0;
        for (const auto& row : rows("resultat.dbf", {"nuchamp", "annee", "nujournee", "nueq1", "nueq2"})) {
            keys.insert(row);
            ++count;
        }
        EXPECT_EQ(keys.size(), count) << i;
        EXPECT_GE(count, 380u) << i;
    }
    writer.kill();
}

TEST_F(DatabaseArchiveTest, FailedBackupLeavesTheEarlierArchiveAndRefusesADataFileAsArchive) {
    const std::string live = database("live");
    fillSeason(live);
    const std::string archive = tmp.path() + "/keep.pmz";
    xbtest::WriteFileBytes(archive, "earlier archive");
    // Failure points among the backup's writes (the archive's and the index semaphore's), all before its
    // last: as many as a backup makes here.
    const xb::platform::FileCallCounts counted = xb::platform::FileCalls();
    ASSERT_TRUE(BackupDatabase(live, tmp.path() + "/measure.pmz").ok);
    const int writes = static_cast<int>((xb::platform::FileCalls() - counted).write);
    ASSERT_GT(writes, 12);
    for (int n : {1, 3, 10, writes / 2, writes * 3 / 4}) {
        xb::platform::InjectFault(xb::platform::FaultOp::Write, n, xb::platform::kErrWriteFault);
        const BackupResult b = BackupDatabase(live, archive);
        xb::platform::ClearFaults();
        EXPECT_FALSE(b.ok) << n;
        EXPECT_FALSE(b.reason.empty()) << n;
        EXPECT_EQ(xbtest::ReadFileBytes(archive), "earlier archive") << n;
        EXPECT_FALSE(fs::exists(archive + ".part")) << n;
    }
    // A cancel through the progress leaves it too.
    const BackupResult cancelled = BackupDatabase(
        live, archive, [](const std::string&, int percent, bool& cont) { cont = percent < 50; });
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(xbtest::ReadFileBytes(archive), "earlier archive");

    const Files before = snapshot(live);
    for (const char* name : {"equipe.dbf", "JOUEUR.DBT", "other.mdx"}) {
        EXPECT_FALSE(BackupDatabase(live, live + name).ok) << name;
        EXPECT_TRUE(snapshot(live) == before) << name;
    }
    ASSERT_TRUE(BackupDatabase(live, archive).ok);
    EXPECT_NE(xbtest::ReadFileBytes(archive), "earlier archive");
}

// ---- The download, against the loopback server ----

class DatabaseDownloadTest : public DatabaseArchiveTest {
protected:
    DownloadResult download(const std::string& dir, xbtest::HttpReply reply,
                            uint64_t limit = kDownloadLimitBytes) {
        server.Script(std::move(reply));
        ExchangeSettings settings;
        settings.baseUrl = server.BaseUrl();
        DownloadRequest request = DatabaseDownloadRequest(settings, dir);
        request.maxBytes = limit;
        std::atomic<bool> cancel{false};
        return DownloadFile(request, cancel);
    }
    xbtest::LoopbackHttpServer server;
};

// Only a whole archive of a sound size replaces the earlier download; every refusal says why.
TEST_F(DatabaseDownloadTest, OnlyACompleteArchiveReplacesTheEarlierDownload) {
    const std::string source = database("source");
    fillSeason(source);
    ASSERT_TRUE(BackupDatabase(source, tmp.path() + "/server.pmz").ok);
    const std::string archive = xbtest::ReadFileBytes(tmp.path() + "/server.pmz");
    const std::string live = database("live");
    xbtest::WriteFileBytes(live + kDatabaseArchiveName, "earlier download");

    xbtest::HttpReply html = xbtest::HttpReply::Text(200, "<html><body>Not here</body></html>");
    html.headers = {{"Content-Type", "text/html"}};
    xbtest::HttpReply shortBody = xbtest::HttpReply::Text(200, archive.substr(0, archive.size() / 2));
    shortBody.contentLength = false;
    shortBody.headers = {{"Content-Length", std::to_string(archive.size())}};
    xbtest::HttpReply cutNoLength = xbtest::HttpReply::Text(200, archive.substr(0, archive.size() - 3));
    cutNoLength.contentLength = false;
    xbtest::HttpReply moved = xbtest::HttpReply::Text(302, "");
    moved.headers = {{"Location", server.BaseUrl() + "/download/base87.pmz"}};
    // 300 MB of zeros, with or without their length announced: far past any database archive.
    auto zeros = [](bool announced) {
        xbtest::HttpReply r = xbtest::HttpReply::Text(200, std::string(65536, '\0'));
        r.bodySize = uint64_t(300) << 20;
        r.contentLength = announced;
        return r;
    };
    const struct {
        const char* what;
        xbtest::HttpReply reply;
        QString why;  // the detail the message gives, when it is known in advance
        uint64_t limit = kDownloadLimitBytes;
    } refused[] = {
        {"404", xbtest::HttpReply::Text(404, "missing"), QStringLiteral("HTTP 404")},
        {"HTML page answered 200", html, {}},
        {"short body", shortBody, {}},
        {"cut body without a length", cutNoLength, {}},
        {"redirect", moved, QStringLiteral("HTTP 302")},
        {"closed", xbtest::HttpReply::Closed(), {}},
        {"300 MB announced", zeros(true), GetLangText(Text::DownloadTooLarge).arg(kDownloadLimitBytes >> 20)},
        {"300 MB past a 1 MB limit", zeros(false), GetLangText(Text::DownloadTooLarge).arg(1), uint64_t(1) << 20},
    };
    const std::string failed = GetLangText(Text::DownloadFailed).section(QStringLiteral("%1"), 0, 0).toStdString();
    for (const auto& c : refused) {
        const DownloadResult r = download(live, c.reply, c.limit);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_FALSE(r.cancelled) << c.what;
        if (c.why.isEmpty())
            EXPECT_EQ(r.reason.rfind(failed, 0), 0u) << c.what << ": " << r.reason;
        else
            EXPECT_EQ(r.reason, GetLangText(Text::DownloadFailed).arg(c.why).toStdString()) << c.what;
        EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), "earlier download") << c.what;
        EXPECT_TRUE(leftovers(live).empty()) << c.what;
    }
    EXPECT_LT(server.BodyBytesSent(), uint64_t(300) << 20) << "neither large reply was taken whole";
    ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(5)));
    const std::string request = server.Requests().front();
    EXPECT_EQ(request.rfind("GET /download/base87.pmz HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nAccept: text/html, */*\r\n"), std::string::npos) << request;

    xbtest::HttpReply good = xbtest::HttpReply::Text(200, archive);
    good.headers = {{"Content-Type", "application/octet-stream"}};
    const DownloadResult ok = download(live, good);
    ASSERT_TRUE(ok.ok) << ok.reason;
    EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), archive);

    // A server that is gone: the message says so, the archive stays.
    server.Stop();
    const DownloadResult dead = download(live, good);
    EXPECT_GT(dead.reason.size(), failed.size());
    EXPECT_EQ(dead.reason.rfind(failed, 0), 0u) << dead.reason;
    EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), archive);
}

TEST_F(DatabaseDownloadTest, CancelEndsAStalledTransferWithinASecondAndKeepsTheEarlierArchive) {
    const std::string live = database("live");
    xbtest::WriteFileBytes(live + kDatabaseArchiveName, "earlier download");
    xbtest::HttpReply stalled = xbtest::HttpReply::Text(200, std::string(4096, 'x'));
    stalled.bodySize = 10 << 20;
    stalled.stallAfter = 65536;
    server.Script(stalled);
    ExchangeSettings settings;
    settings.baseUrl = server.BaseUrl();
    DownloadRequest request = DatabaseDownloadRequest(settings, live);
    std::atomic<int64_t> total{-1}, received{0};
    request.onWorkBegin = [&](int64_t n) { total = n; };
    request.onWork = [&](int64_t n) { received = n; };
    std::atomic<bool> cancel{false};
    DownloadResult result;
    std::thread transfer([&] { result = DownloadFile(request, cancel); });
    for (int i = 0; i < 500 && received < 65536; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(total, 10 << 20);
    EXPECT_EQ(received, 65536);
    const auto t0 = std::chrono::steady_clock::now();
    cancel = true;
    transfer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), "earlier download");
    EXPECT_FALSE(fs::exists(live + kDatabaseArchiveName + ".part"));
}

}  // namespace
}  // namespace app
