// The program as a process: two stations started from one copied executable on one data directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "app/exchange/database_archive.h"
#include "app/exchange/database_swap.h"
#include "app/shell/lang_texts.h"
#include "app/shell/league_database.h"
#include "app/shell/league_lookups.h"
#include "app/shell/league_test_support.h"
#include "app/shell/league_writes.h"
#include "app/shell/param_file.h"
#include "tests/support/fixtures.h"

extern char** environ;

namespace app {
namespace {

namespace fs = std::filesystem;

pid_t startStation(const std::string& exe, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
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
    const std::string log = testing::TempDir() + "/readonly-station-" + std::to_string(::getpid()) + ".log";
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
    fs::remove(log);
}

}  // namespace
}  // namespace app
