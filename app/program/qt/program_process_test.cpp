// The program as a process: two stations started from one copied executable on one data directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "app/exchange/database_archive.h"
#include "app/exchange/database_swap.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/data/league_writes.h"
#include "app/settings/param_file.h"
#include "app/data/table_check.h"
#include "engine/dataset/engine_start.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"

extern char** environ;

namespace app {
namespace {

namespace fs = std::filesystem;

pid_t startStation(const std::string& exe, const std::string& log, const std::string& measure = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string sw = "--measure";
    char* argv[] = {const_cast<char*>(exe.c_str()), measure.empty() ? nullptr : sw.data(),
                    const_cast<char*>(measure.c_str()), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The same as the user uid (>= 0): the station runs without the rights of the test's own user.
pid_t startStationAs(const std::string& exe, const std::string& log, int uid) {
    if (uid < 0) return startStation(exe, log);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 2) < 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(127);
        setenv("XDG_RUNTIME_DIR", "/tmp", 1);
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        execve(exe.c_str(), argv, environ);
        _exit(127);
    }
    return pid;
}

int endStation(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// The station's exit status once it ends by itself within limit; -1000 (and the station killed) when it
// does not.
int statusWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// SIGTERM, then the station's status if it ends within a few seconds (-1000 when it does not).
int endStationWithin(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    kill(pid, SIGTERM);
    return statusWithin(pid, limit);
}

bool waitForFile(const std::string& path, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(ProgramProcess, TwoStationsShareTheDatabaseAndEndOnSigterm) {
    xbtest::TempDir dir;
    const std::string exe = dir.file("pelmorad32");
    fs::copy_file(LM_PELMORAD32_PATH, exe);
    ParamRecord english;
    english.language = 2;
    english.seasonYear = 2026;
    const auto bytes = EncodeParamRecord(english);
    xbtest::WriteFileBytes(dir.file("PELMORAD32.PAR"),
                           std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));

    const pid_t first = startStation(exe, dir.file("first.log"));
    ASSERT_TRUE(waitForFile(dir.file("carton.mdx"), std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::vector<std::string> mdx;
    for (const char* name :
         {"champan", "champion", "eqchamp", "resultat", "equipe", "joueur", "joueq", "but", "carton"})
        mdx.push_back(xbtest::ReadFileBytes(dir.file(std::string(name) + ".mdx")));

    const pid_t second = startStation(exe, dir.file("second.log"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    size_t i = 0;
    for (const char* name :
         {"champan", "champion", "eqchamp", "resultat", "equipe", "joueur", "joueq", "but", "carton"})
        EXPECT_EQ(xbtest::ReadFileBytes(dir.file(std::string(name) + ".mdx")), mdx[i++]) << name;

    EXPECT_EQ(endStation(first), 0);
    EXPECT_EQ(endStation(second), 0);
    for (const char* log : {"first.log", "second.log"})
        EXPECT_EQ(xbtest::ReadFileBytes(dir.file(log)).find("Program halted"), std::string::npos) << log;
    EXPECT_EQ(xbtest::ReadFileBytes(dir.file("PELMORAD32.PAR")).size(), 548u);
}

// A station started while this process restores an archive into the same folder (held between the
// restore's stages) clears nothing of the restore at its start, and the restore then completes whole.
class ProgramRestoreTest : public leaguetest::LeagueTest {};

TEST_F(ProgramRestoreTest, AStationStartedDuringARestoreLeavesItWhole) {
    const std::string source = tmp.file("source") + "/";
    fs::create_directories(source);
    SetAppDir(QString::fromStdString(source));
    { Tfsysteme made; }
    {
        LeagueTableScope champions("champions", "champion.dbf");
        ASSERT_EQ(CreateChampionship(*champions, "RESTORED"), 1);
    }
    const std::string archive = tmp.file("a.pmz");
    ASSERT_TRUE(BackupDatabase(source, archive).ok);

    const std::string live = tmp.file("live") + "/";
    fs::create_directories(live);
    const std::string exe = live + "pelmorad32";
    fs::copy_file(LM_PELMORAD32_PATH, exe);
    ParamRecord english;
    english.language = 2;
    const auto bytes = EncodeParamRecord(english);
    xbtest::WriteFileBytes(live + "PELMORAD32.PAR",
                           std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    SetAppDir(QString::fromStdString(live));
    { Tfsysteme made; }

    int stations = 0;
    ExchangeOperation::StageHook() = [&](const std::string& stage) {
        if (stage != "staged") return;
        const pid_t station = startStation(exe, live + "station.log");
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(endStation(station), 0);
        ++stations;
    };
    const RestoreResult r = RestoreDatabase(live, archive);
    ExchangeOperation::StageHook() = nullptr;
    EXPECT_EQ(stations, 1);
    ASSERT_EQ(r.outcome, RestoreOutcome::kRestored) << r.reason;
    SetAppDir(QString::fromStdString(live));
    EXPECT_EQ(GetChampionshipName(1).trimmed(), QStringLiteral("RESTORED"));
}

// Waits until the station's log holds text (the start's message is logged as its box comes up; on a
// loaded machine that may take a while), then ends it as a user closing the box would.
std::string logWhenItSays(pid_t station, const std::string& log, const std::string& text, int* status) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (xbtest::ReadFileBytes(log).find(text) == std::string::npos &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    *status = endStation(station);
    return xbtest::ReadFileBytes(log);
}

TEST(ProgramProcess, DirectoryInPlaceOfATableEndsTheStartWithStatusOneAndNoSettings) {
    xbtest::TempDir dir;
    const std::string exe = dir.file("pelmorad32");
    fs::copy_file(LM_PELMORAD32_PATH, exe);
    fs::create_directory(dir.file("champan.dbf"));
    int status = 0;
    const std::string log = logWhenItSays(startStation(exe, dir.file("station.log")), dir.file("station.log"),
                                          "champan.dbf", &status);
    // The question (move it aside or stop) is closed without a Yes: nothing changes.
    EXPECT_EQ(status, 1);
    EXPECT_NE(log.find("champan.dbf"), std::string::npos) << log;
    EXPECT_TRUE(fs::is_directory(dir.file("champan.dbf")));
    EXPECT_FALSE(fs::exists(dir.file("PELMORAD32.PAR")));
    EXPECT_FALSE(fs::exists(dir.file("champion.dbf")));
}

// A data folder the station may not write: the start says so in the settings' language, naming the
// folder, and ends with every file as it was; no word of a restore.
TEST(ProgramProcess, AReadOnlyDataFolderIsNamedAsSuchAndNothingChanges) {
    xbtest::TempDir dir;
    const std::string exe = dir.file("pelmorad32");
    fs::copy_file(LM_PELMORAD32_PATH, exe);
    {
        SetAppDir(QString::fromStdString(dir.path()));
        xb::Engine engine;
        xb::InstallEngineUnits(engine);
        { Tfsysteme made; }
        const int language = LanguageIndex;
        LanguageIndex = 2;
        ASSERT_TRUE(WriteParamFile());
        LanguageIndex = language;
        SetAppDir({});
    }
    std::map<std::string, std::string> before;
    for (const auto& e : fs::directory_iterator(dir.path()))
        before[e.path().filename()] = xbtest::ReadFileBytes(e.path());
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // The log goes beside the folder, which the station may not write.
    const xbtest::TempDir logs;
    const std::string log = logs.file("station.log");
    // Root writes wherever it likes: the station runs as nobody then.
    const pid_t station = startStationAs(exe, log, ::geteuid() == 0 ? 65534 : -1);
    int status = 0;
    const std::string said = logWhenItSays(station, log, "read-only", &status);
    fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find(BuiltInText(Text::DataFolderReadOnly, 2)
                            .arg(QString::fromStdString(dir.path() + "/"))
                            .toStdString()),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("restore"), std::string::npos) << said;
    std::map<std::string, std::string> after;
    for (const auto& e : fs::directory_iterator(dir.path()))
        after[e.path().filename()] = xbtest::ReadFileBytes(e.path());
    EXPECT_EQ(after, before);
}

// A data folder beside its own link to the executable (the data folder is the executable's), with settings
// in language (1 French ... 6 Croatian), and the nine tables when made.
struct StationFolder {
    StationFolder(const std::string& dir, int language, bool made) : path(dir + "/") {
        fs::create_directories(dir);
        std::error_code linked;
        fs::create_hard_link(LM_PELMORAD32_PATH, exe, linked);
        if (linked) fs::copy_file(LM_PELMORAD32_PATH, exe);
        ParamRecord settings;
        settings.language = language;
        settings.seasonYear = 2026;
        const auto bytes = EncodeParamRecord(settings);
        xbtest::WriteFileBytes(path + "PELMORAD32.PAR",
                               std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (!made) return;
        SetAppDir(QString::fromStdString(path));
        xb::Engine engine;
        xb::InstallEngineUnits(engine);
        { Tfsysteme tables; }
        SetAppDir({});
    }
    // Every name of the folder with its bytes; a pipe, a link or a folder as what it is, never opened.
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::directory_iterator(path)) {
            const std::string name = e.path().filename();
            if (name.ends_with(".log") || name.ends_with(".@s@")) continue;
            out[name] = e.is_symlink()     ? "<link>"
                        : e.is_fifo()      ? "<fifo>"
                        : e.is_directory() ? "<dir>"
                                           : xbtest::ReadFileBytes(e.path());
        }
        return out;
    }
    std::string path;
    std::string exe = path + "pelmorad32";
};

// Whatever the start would open stands there as a named pipe, or a folder or a link loop stands at a
// creation lock: the station names it in its language at once (it opens none of them), and SIGTERM ends
// it within seconds with every file as it was.
TEST(ProgramProcess, APipeAtAnyFileTheStartOpensIsNamedAndTheStationStillEndsOnSigterm) {
    xbtest::TempDir dir;
    const StationFolder folder(dir.file("data"), 6, true);
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        Text line;
    };
    const auto pipe = [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); };
    const std::vector<Case> cases = {
        {"joueur.dbt", pipe, Text::NotAFileWhereDatabaseFile},
        {"resultat.mdx", pipe, Text::NotAFileWhereDatabaseFile},
        {"carton.dbf", pipe, Text::NotAFileWhereDatabaseFile},
        {"but.@s@", pipe, Text::NotAFileWhereDatabaseFile},
        {"pelmorad.lg", pipe, Text::NotAFileWhereLanguageFile},
        {"PELMORAD32.PAR", pipe, Text::NotAFileWhereSettings},
        {".joueq.dbf.lock", pipe, Text::NotAFileWhereCreationLock},
        {".equipe.dbf.lock", [](const std::string& p) { fs::create_directory(p); },
         Text::NotAFileWhereCreationLock},
        {".equipe.dbf.lock", [](const std::string& p) { fs::create_symlink(p, p); },
         Text::NotAFileWhereCreationLock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string at = folder.path + c.name;
        const std::string kept = folder.path + "kept";
        if (fs::exists(fs::symlink_status(at))) fs::rename(at, kept);
        c.make(at);
        const auto before = folder.files();
        const std::string log = folder.path + "station.log";
        int status = 0;
        const std::string said = logWhenItSays(startStation(folder.exe, log), log, c.name, &status);
        EXPECT_EQ(status, 1);
        EXPECT_NE(said.find(c.name), std::string::npos) << said;
        // In the settings' language, but for the settings themselves, which cannot be read.
        if (std::string(c.name) != "PELMORAD32.PAR")
            EXPECT_NE(
                QString::fromUtf8(said.c_str()).indexOf(BuiltInText(c.line, 6).section(u'%', 2, 2).mid(1)),
                -1)
                << said;
        EXPECT_EQ(folder.files(), before);
        fs::remove_all(at);
        if (fs::exists(kept)) fs::rename(kept, at);
    }
}

// A station that holds a table's creation lock keeps a starting station waiting: it says so, naming the
// lock, and ends on SIGTERM within seconds, having created nothing.
TEST(ProgramProcess, AStationWaitingForACreationSaysSoAndEndsOnSigterm) {
    xbtest::TempDir dir;
    const StationFolder folder(dir.file("data"), 1, true);
    fs::remove(folder.path + "resultat.dbf");
    fs::remove(folder.path + "resultat.mdx");
    const xb::platform::CreationLock held(folder.path + "resultat.dbf");
    ASSERT_EQ(held.result(), 0);
    const auto before = folder.files();
    const std::string log = folder.path + "station.log";
    const pid_t station = startStation(folder.exe, log);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const std::string waiting =
        BuiltInText(Text::WaitingForCreation, 1).arg(".resultat.dbf.lock").toStdString();
    while (xbtest::ReadFileBytes(log).find(waiting) == std::string::npos &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(xbtest::ReadFileBytes(log).find(waiting), std::string::npos) << xbtest::ReadFileBytes(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(endStationWithin(station), 1);
    EXPECT_EQ(folder.files(), before);
}

// Two stations starting on one new folder at nearly the same moment: the later one waits for the other's
// creation and finds the tables whole; neither calls a table damaged or moves a file aside.
TEST(ProgramProcess, TwoFirstStartsAtOnceMakeOneWholeDatabaseWithoutAWordOfDamage) {
    xbtest::TempDir dir;
    std::srand(static_cast<unsigned>(::getpid()));
    const std::string damaged = BuiltInText(Text::DamagedFilesHeading, 2).toStdString();
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const StationFolder folder(dir.file("round" + std::to_string(round)), 2, false);
        const pid_t first =
            startStation(folder.exe, folder.path + "first.log", folder.path + "first.measure");
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 100));
        const pid_t second =
            startStation(folder.exe, folder.path + "second.log", folder.path + "second.measure");
        EXPECT_EQ(statusWithin(first, std::chrono::seconds(60)), 0);
        EXPECT_EQ(statusWithin(second, std::chrono::seconds(60)), 0);
        for (const char* log : {"first.log", "second.log"}) {
            const std::string said = xbtest::ReadFileBytes(folder.path + log);
            EXPECT_EQ(said.find(damaged), std::string::npos) << said;
            EXPECT_EQ(said.find("aside-"), std::string::npos) << said;
        }
        for (const auto& [name, bytes] : folder.files()) EXPECT_FALSE(name.starts_with("aside-")) << name;
        EXPECT_TRUE(CheckLeagueDatabase(folder.path).empty());
        for (const LeagueTable& t : LeagueTables()) EXPECT_TRUE(fs::exists(folder.path + t.file)) << t.file;
    }
}

// SIGTERM at any moment of a start (while it creates the tables of a new folder, checks those of a
// filled one, or opens them) ends the station within seconds, and what it leaves is whole: every table
// there reads without a problem.
TEST(ProgramProcess, SigtermAtAnyMomentOfTheStartEndsItWithinSecondsLeavingTheTablesWhole) {
    xbtest::TempDir dir;
    const StationFolder filled(dir.file("filled"), 2, true);
    {
        SetAppDir(QString::fromStdString(filled.path));
        xb::Engine engine;
        xb::InstallEngineUnits(engine);
        LeagueTableScope players("players", "joueur.dbf");
        for (int i = 1; i <= 600; ++i) {
            players->Append();
            players->FieldPutInt("NUJOUEUR", i);
            players->PutMField("INFODIVERS", {"the note of player " + std::to_string(i)});
            players->Post();
        }
    }
    SetAppDir({});
    int round = 0;
    for (const int delay : {0, 60, 90, 120, 160, 400}) {
        for (const bool first : {true, false}) {
            SCOPED_TRACE(std::to_string(delay) + (first ? " ms into a first start" : " ms into a start"));
            const std::string path = first ? dir.file("new" + std::to_string(round++)) : filled.path;
            const StationFolder folder = first ? StationFolder(path, 2, false) : filled;
            const auto before = folder.files();
            const pid_t station = startStation(folder.exe, folder.path + "station.log");
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            const int status = endStationWithin(station);
            // Before its handlers are installed (the first tens of milliseconds, before any file is
            // touched) the signal ends the process as it ends any; afterwards the start stops (1) or,
            // its window up, the program closes as its quit button closes it (0).
            EXPECT_TRUE(status == 0 || status == 1 || status == -SIGTERM) << status;
            bool firstStart = false;
            std::vector<std::string> problems;
            for (const TableProblem& p : CheckLeagueDatabase(folder.path, &firstStart))
                if (p.kind != TableDamage::Missing || !first) problems.push_back(p.file);
            EXPECT_TRUE(problems.empty()) << problems.front();
            // Ended before its window, a start has changed no byte of a database that was there.
            if (!first && status == 1) EXPECT_EQ(folder.files(), before);
        }
    }
}

// The program started on its folder with a termination signal at one moment of its start, the language
// choice answered with language (0: left open); its status once it ends, its log in log.
int runStartStation(const std::string& folder, const char* moment, int language, const std::string& log,
                    const std::string& measure = {}) {
    const std::string exe = folder + "program_start_station";
    if (!fs::exists(exe)) {
        std::error_code linked;
        fs::create_hard_link(LM_START_STATION_PATH, exe, linked);
        if (linked) fs::copy_file(LM_START_STATION_PATH, exe);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string chosen = std::to_string(language);
    std::string sw = "--measure";
    char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>(moment), const_cast<char*>(chosen.c_str()),
                    measure.empty() ? nullptr : sw.data(), const_cast<char*>(measure.c_str()), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return statusWithin(pid, std::chrono::seconds(90));
}

// What a creation leaves while it runs: creation locks and staging folders.
std::vector<std::string> creationLitter(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename();
        if (name.ends_with(".lock") || name.find("-new-") != std::string::npos) out.push_back(name);
    }
    return out;
}

// A termination signal at each moment of a start (the main window being made, shown before its first
// activation, the language choice, the creation of the tables) stops it: the settings file stays byte for
// byte, or absent when nobody chose a language, and the next start runs without a box, asks the language
// only when none was chosen, and leaves a whole database with no creation lock or staging folder. A
// station killed in its creation leaves its locks and staging, which the next start clears.
TEST(ProgramProcess, ASignalAtAnyMomentOfTheStartWritesNothingNobodyChoseAndTheNextStartAsksNothing) {
    xbtest::TempDir dir;
    ParamRecord kept;
    kept.language = 6;
    kept.seasonYear = 1999;
    kept.htmlHeader = QStringLiteral("<b>top</b>");
    kept.htmlFooter = QStringLiteral("<i>bottom</i>");
    kept.hideDraws = 1;
    kept.goalsForLabel = QStringLiteral("BP");
    kept.goalsAgainstLabel = QStringLiteral("BC");
    kept.openAfterExport = 1;
    kept.announcedVersion = QStringLiteral("2.07");
    const auto keptBytes = EncodeParamRecord(kept);
    const std::string settings(reinterpret_cast<const char*>(keptBytes.data()), keptBytes.size());
    struct Case {
        const char* moment;
        bool firstStart;
        int status;
    };
    const Case cases[] = {
        {"made", true, 1},     {"shown", true, 1},    {"language", true, 1}, {"creation", true, 1},
        {"killed", true, -SIGKILL}, {"made", false, 1}, {"shown", false, 1},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.moment) + (c.firstStart ? " in a first start" : " in a start"));
        const std::string folder = dir.file("data" + std::to_string(round++)) + "/";
        fs::create_directories(folder);
        if (!c.firstStart) {
            SetAppDir(QString::fromStdString(folder));
            xb::Engine engine;
            xb::InstallEngineUnits(engine);
            { Tfsysteme tables; }
            SetAppDir({});
            xbtest::WriteFileBytes(folder + "PELMORAD32.PAR", settings);
        }
        EXPECT_EQ(runStartStation(folder, c.moment, 0, folder + "stopped.log"), c.status)
            << xbtest::ReadFileBytes(folder + "stopped.log");
        if (c.firstStart)
            EXPECT_FALSE(fs::exists(folder + "PELMORAD32.PAR"));
        else
            EXPECT_EQ(xbtest::ReadFileBytes(folder + "PELMORAD32.PAR"), settings);
        if (c.status != -SIGKILL) EXPECT_EQ(creationLitter(folder), std::vector<std::string>{});

        // The next start: English chosen when the language is asked; then it closes itself.
        const std::string log = folder + "next.log";
        EXPECT_EQ(runStartStation(folder, "none", 2, log, folder + "next.measure"), 0);
        const std::string said = xbtest::ReadFileBytes(log);
        EXPECT_EQ(said.find("BOX:"), std::string::npos) << said;
        EXPECT_TRUE(fs::exists(folder + "next.measure")) << said;
        const std::string written = xbtest::ReadFileBytes(folder + "PELMORAD32.PAR");
        ASSERT_EQ(written.size(), 548u);
        if (c.firstStart)
            EXPECT_EQ(DecodeParamRecord(reinterpret_cast<const unsigned char*>(written.data())).language, 2);
        else
            EXPECT_EQ(written, settings);
        EXPECT_TRUE(CheckLeagueDatabase(folder).empty());
        for (const LeagueTable& t : LeagueTables()) EXPECT_TRUE(fs::exists(folder + t.file)) << t.file;
        EXPECT_EQ(creationLitter(folder), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace app
