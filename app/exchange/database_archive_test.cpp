// Backup and restore of the whole database on real tables: round trips, damaged archives, failed renames,
// a restore killed at random moments, and another station holding or writing the tables.
#include "app/exchange/database_archive.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
#include "app/shell/lang_texts.h"
#include "app/shell/league_database.h"
#include "app/shell/league_lookups.h"
#include "app/shell/league_tables.h"
#include "app/shell/league_test_support.h"
#include "app/shell/league_writes.h"
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
    const std::string source = database("source");
    fillSeason(source);
    const std::string archive = tmp.path() + "/a.pmz";
    ASSERT_TRUE(BackupDatabase(source, archive).ok);
    const auto newRows = allRows(source);
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
    // Failure points among the backup's writes (the archive's and the index semaphore's), all before its last.
    const std::string counted = tmp.path() + "/counted.pmz";
    const uint64_t writesBefore = xb::platform::FileCalls().write;
    ASSERT_TRUE(BackupDatabase(live, counted).ok);
    const int writes = static_cast<int>(xb::platform::FileCalls().write - writesBefore);
    ASSERT_GT(writes, 10);
    for (int n : {1, 3, 10, writes / 2, writes - 1}) {
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
    DownloadResult download(const std::string& dir, xbtest::HttpReply reply) {
        server.Script(std::move(reply));
        ExchangeSettings settings;
        settings.baseUrl = server.BaseUrl();
        DownloadRequest request = DatabaseDownloadRequest(settings, dir);
        std::atomic<bool> cancel{false};
        return DownloadFile(request, cancel);
    }
    xbtest::LoopbackHttpServer server;
};

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
    const struct {
        const char* what;
        xbtest::HttpReply reply;
    } refused[] = {
        {"404", xbtest::HttpReply::Text(404, "missing")},
        {"HTML page answered 200", html},
        {"short body", shortBody},
        {"cut body without a length", cutNoLength},
        {"redirect", moved},
        {"closed", xbtest::HttpReply::Closed()},
    };
    for (const auto& c : refused) {
        const DownloadResult r = download(live, c.reply);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(xbtest::ReadFileBytes(live + kDatabaseArchiveName), "earlier download") << c.what;
        EXPECT_FALSE(fs::exists(live + kDatabaseArchiveName + ".part")) << c.what;
    }
    ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(5)));
    const std::string request = server.Requests().front();
    EXPECT_EQ(request.rfind("GET /download/base87.pmz HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nAccept: text/html, */*\r\n"), std::string::npos) << request;

    xbtest::HttpReply good = xbtest::HttpReply::Text(200, archive);
    good.headers = {{"Content-Type", "application/octet-stream"}};
    const DownloadResult ok = download(live, good);
    ASSERT_TRUE(ok.ok) << ok.reason;
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
