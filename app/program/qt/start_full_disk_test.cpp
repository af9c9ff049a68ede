// The first start on a volume that fills while it makes the tables, in-process on a small volume of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

#include "app/data/league_tables.h"
#include "app/data/table_check.h"
#include "app/program/qt/program.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/modal_seam.h"
#include "engine/dataset/engine_start.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/small_volume.h"

namespace app {
namespace {

namespace fs = std::filesystem;

// With 12, 32 and 96 KB left, the first start makes what fits and stops saying so: the tables it made and
// the ones it did not, in the settings' language (never "nothing was created" beside tables it made).
// Once there is room, the next start makes the rest as the rest of a creation: no word of damage, nine
// whole tables, no creation lock or staging folder left.
TEST(StartOnAFullDisk, TheFirstStartSaysWhatItMadeAndTheNextMakesTheRestWithoutAWordOfDamage) {
    xbtest::ScriptedUi ui;
    ModalDriverScope noChoice([](QDialog& d) { ADD_FAILURE() << "asked " << d.objectName().toStdString(); });
    const auto english = [] {
        ParamRecord r;
        r.language = 2;
        r.seasonYear = 2026;
        return EncodeParamRecord(r);
    }();
    int partly = 0;
    for (const size_t kb : {12, 32, 96}) {
        SCOPED_TRACE(std::to_string(kb) + " KB left");
        xbtest::SmallVolume volume("1m");
        if (!volume.refused().empty()) GTEST_SKIP() << "no small volume to fill: " << volume.refused();
        const std::string folder = volume.dir() + "/";
        xbtest::WriteFileBytes(folder + "PELMORAD32.PAR", std::string(english.begin(), english.end()));
        volume.fill(kb * 1024);
        SetAppDir(QString::fromStdString(folder));
        const int language = LanguageIndex;
        {
            xb::Engine engine;
            xb::InstallEngineUnits(engine);
            std::string said;
            try {
                AppWindows windows;
                ADD_FAILURE() << "the start went on with " << kb << " KB";
            } catch (const StartupError& e) {
                said = e.what();
            }
            QStringList made, notMade;
            for (const LeagueTable& t : LeagueTables())
                (fs::exists(folder + t.file) ? made : notMade) << QString::fromStdString(t.file);
            ASSERT_FALSE(notMade.isEmpty());
            const QString expected =
                made.isEmpty() ? BuiltInText(Text::DiskFullNothingCreated, 2)
                               : BuiltInText(Text::DiskFullSomeCreated, 2)
                                     .arg(made.join(QStringLiteral(", ")), notMade.join(QStringLiteral(", ")));
            EXPECT_NE(said.find(expected.toStdString()), std::string::npos) << said;
            if (!made.isEmpty()) ++partly;
        }
        EXPECT_TRUE(ui.messages.empty());

        volume.free();
        {
            xb::Engine engine;
            xb::InstallEngineUnits(engine);
            AppWindows windows;
            windows.mainForm()->show();
            windows.mainForm()->close();
        }
        LanguageIndex = language;
        SetAppDir({});
        for (const auto& m : ui.messages) ADD_FAILURE() << m.text;
        ui.messages.clear();
        EXPECT_TRUE(CheckLeagueDatabase(folder).empty());
        for (const LeagueTable& t : LeagueTables()) EXPECT_TRUE(fs::exists(folder + t.file)) << t.file;
        for (const auto& e : fs::directory_iterator(folder)) {
            const std::string name = e.path().filename();
            EXPECT_FALSE(name.ends_with(".lock") || name.find("-new-") != std::string::npos) << name;
        }
    }
    // The sizes are those at which a start makes some of the tables and not the others.
    EXPECT_GE(partly, 2);
}

}  // namespace
}  // namespace app
