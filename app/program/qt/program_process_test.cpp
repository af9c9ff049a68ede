// The program as a process: two stations started from one copied executable on one data directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/exchange/database_archive.h"
#include "app/exchange/database_swap.h"
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

TEST(ProgramProcess, DirectoryInPlaceOfATableEndsTheStartWithStatusOneAndNoSettings) {
    xbtest::TempDir dir;
    const std::string exe = dir.file("pelmorad32");
    fs::copy_file(LM_PELMORAD32_PATH, exe);
    fs::create_directory(dir.file("champan.dbf"));
    const pid_t station = startStation(exe, dir.file("station.log"));
    // The failure is logged as its message box comes up; on a loaded machine that may take a while.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (xbtest::ReadFileBytes(dir.file("station.log")).find(dir.file("champan.dbf")) == std::string::npos &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The message box waits for its OK; the signal dismisses it as a user would.
    EXPECT_EQ(endStation(station), 1);
    const std::string log = xbtest::ReadFileBytes(dir.file("station.log"));
    EXPECT_NE(log.find(dir.file("champan.dbf")), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(dir.file("PELMORAD32.PAR")));
    EXPECT_FALSE(fs::exists(dir.file("champion.dbf")));
}

}  // namespace
}  // namespace app
