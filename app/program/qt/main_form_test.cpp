// The main window in-process, offscreen, on a scratch data directory: its texts in two languages, the
// first-run language choice, the entries, the settings written at the close, and the program's ways of
// ending (the quit button, SIGTERM, an exception inside an event).
#include "app/shell/qt/main_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <fcntl.h>

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

#include "app/exchange/qt/database_commands.h"
#include "app/program/qt/program.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/settings/session_format.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/league_code_page.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/league_writes.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/application.h"
#include "app/shell/qt/file_dialogs.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/termination_signals.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/file.h"
#include "platform/locale_facts.h"
#include "platform/network.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/recording_shell.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

// The HTTP library's set-up, as the program's main keeps it, for the tests that start exchange threads.
const HttpLibraryScope g_http;

class MainFormTest : public xbtest::EngineTest {
protected:
    MainFormTest() : m_saved(xb::IndexServices()) {
        xb::InstallEngineUnits(engine());
        SetAppDir(QString::fromStdString(tmp.path()));
        LanguageIndex = 1;
        m_driver.emplace([this](QDialog& dialog) {
            modalShown.push_back(dialog.objectName());
            if (auto* choice = qobject_cast<TForm10*>(&dialog)) {
                QTest::mouseClick(choice->languageButton(chosenLanguage), Qt::LeftButton);
                choice->bokClick();
            }
        });
    }
    ~MainFormTest() override {
        windows.reset();
        m_driver.reset();
        SetAppDir({});
        LanguageIndex = 1;
        xb::IndexServices() = m_saved;
    }

    // Starts the program's windows and brings the main window up, as the program does.
    TMainForm* start(const WindowEntries& later = {}) {
        windows = std::make_unique<AppWindows>(BuiltInExchangeSettings(), later);
        TMainForm* form = windows->mainForm();
        form->show();
        activate(form);
        return form;
    }
    static void activate(TMainForm* form) {
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form, 2000)) {
            QEvent activation(QEvent::WindowActivate);
            QApplication::sendEvent(form, &activation);
        }
    }
    void stop() {
        if (windows) windows->mainForm()->close();
        windows.reset();
    }
    std::string file(const char* name) const { return tmp.file(name); }

    template <typename T>
    T* child(const char* name) {
        T* found = windows->mainForm()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    xbtest::ScriptedUi ui;
    xbtest::RecordingShell shell;
    std::vector<QString> modalShown;
    int chosenLanguage = 2;
    std::unique_ptr<AppWindows> windows;

private:
    std::optional<ModalDriverScope> m_driver;
    xb::DatasetIndexServices m_saved;
};

// Every caption and hint of the text table, and the fixed ones, as the user sees them.
void expectTexts(TMainForm* form, int language) {
    for (const MainFormText& t : MainFormTexts()) {
        const QString name = QString::fromLatin1(t.component);
        QString caption, hint;
        if (auto* menu = form->findChild<QMenu*>(name)) {
            caption = menu->title();
        } else if (auto* item = form->findChild<QAction*>(name)) {
            caption = item->text();
        } else if (auto* button = form->findChild<QPushButton*>(name)) {
            caption = button->text();
            hint = button->toolTip();
        } else {
            ADD_FAILURE() << "no component " << t.component;
            continue;
        }
        if (t.caption != Text::None)
            EXPECT_EQ(caption, BuiltInText(t.caption, language)) << t.component << " " << language;
        if (t.hint != Text::None && !t.hintSuffix)
            EXPECT_EQ(hint, BuiltInText(t.hint, language)) << t.component;
        EXPECT_FALSE(caption.isEmpty() && t.caption != Text::None) << t.component;
    }
    EXPECT_EQ(form->findChild<QAction*>("mimportkvx127")->text(), QStringLiteral("Pelmorad 1.27 import"));
}

TEST_F(MainFormTest, FirstRunAsksTheLanguageOnceAndTheTextsFollowIt) {
    chosenLanguage = 2;
    TMainForm* form = start();
    ASSERT_EQ(modalShown, std::vector<QString>{QStringLiteral("TForm10")});
    EXPECT_EQ(LanguageIndex, 2);
    // The choice is on disk at once: a kill now, or a second station started now, finds it.
    const std::string chosen = xbtest::ReadFileBytes(file("PELMORAD32.PAR"));
    ASSERT_EQ(chosen.size(), 548u);
    EXPECT_EQ(DecodeParamRecord(reinterpret_cast<const unsigned char*>(chosen.data())).language, 2);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("PELMORAD32"));
    expectTexts(form, 2);
    EXPECT_EQ(child<QPushButton>("bquit")->text(), QStringLiteral("Quit"));
    EXPECT_EQ(child<QPushButton>("bquit")->toolTip(), QStringLiteral("Quit Pelmorad32"));
    EXPECT_EQ(child<QMenu>("mfichier")->title(), QStringLiteral("Backup database"));

    // Activation events come again and again; the choice is not asked again, the texts are set again.
    LanguageIndex = 1;
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(form, &activation);
    QApplication::sendEvent(form, &activation);
    EXPECT_EQ(modalShown.size(), 1u);
    expectTexts(form, 1);
    EXPECT_EQ(child<QPushButton>("bquit")->toolTip(), QStringLiteral("Quitter Pelmorad32"));
    stop();

    // The close wrote the settings: the record of 548 bytes with the language last in use.
    const std::string par = xbtest::ReadFileBytes(file("PELMORAD32.PAR"));
    ASSERT_EQ(par.size(), 548u);
    EXPECT_EQ(par.substr(0, 4), std::string("\x03P32", 4));

    // The second run finds them: no question, French texts.
    LanguageIndex = 2;
    modalShown.clear();
    form = start();
    EXPECT_TRUE(modalShown.empty());
    EXPECT_EQ(LanguageIndex, 1);
    expectTexts(form, 1);
}

// The first start on an English machine: the nine tables are made in the locale's code page, and take the
// one the chosen language needs while they are empty; a later start in another language keeps it.
TEST_F(MainFormTest, TheFirstStartsLanguageGivesTheNewDatabaseItsCodePage) {
    const auto stamps = [&] {
        std::string out;
        for (const LeagueTable& t : LeagueTables()) out += xbtest::ReadFileBytes(file(t.file.c_str())).at(29);
        return out;
    };
    const xb::platform::LocaleFacts english = xb::platform::LocaleFactsFromName("C");
    engine().settings.ansiCodePage = english.ansiCodePage;
    engine().settings.oemCodePage = english.oemCodePage;
    chosenLanguage = kCroatianLanguage;
    start();
    EXPECT_EQ(LanguageIndex, kCroatianLanguage);
    EXPECT_EQ(stamps(), std::string(LeagueTables().size(), '\x64'));
    EXPECT_EQ(engine().settings.ansiCodePage, 1250);  // the letters of 852 fold case as themselves
    stop();
    // English at the next start: the tables keep 852, still empty or not.
    LanguageIndex = 2;
    WriteParamFile();
    start();
    EXPECT_EQ(stamps(), std::string(LeagueTables().size(), '\x64'));
}

TEST_F(MainFormTest, LanguageFileSkipsTheChoice) {
    xbtest::WriteFileBytes(
        file("pelmorad.lg"),
        "LANGUE;Test\nAUTEUR;x\nVERSION;1\na;1\nb;2\nc;3\nd;4\ne;5\nf;6\ng;7\n1;texte un\n");
    TMainForm* form = start();
    EXPECT_TRUE(modalShown.empty());
    ASSERT_TRUE(form->languageManager()->loaded());
    EXPECT_EQ(GetLangText(Text::PlayerOnBothTeams), QStringLiteral("texte un"));
    stop();
    EXPECT_TRUE(xb::platform::FileExists(file("PELMORAD32.PAR")));
}

TEST_F(MainFormTest, EntriesOfMissingWindowsAreDisabledAndTheirItemsFollowTheActions) {
    start();
    struct Entry {
        const char* name;
        bool enabled;
    };
    const Entry entries[] = {
        {"mChamp", false},    {"agestchamp", false},    {"bgestchamp", false}, {"mresultat", false},
        {"bjournee", false},  {"mimportkvx127", false}, {"bmaj", false},       {"mtelecharge", false},
        {"mparametre", true}, {"aparametre", true},     {"mapropos", true},    {"mAide1", true},
        {"aquitter", true},   {"bquit", true},
    };
    for (const Entry& e : entries) {
        QObject* entry = windows->mainForm()->findChild<QObject*>(QString::fromLatin1(e.name));
        ASSERT_NE(entry, nullptr) << e.name;
        const bool enabled = qobject_cast<QAction*>(entry) ? qobject_cast<QAction*>(entry)->isEnabled()
                                                           : qobject_cast<QWidget*>(entry)->isEnabled();
        EXPECT_EQ(enabled, e.enabled) << e.name;
    }
    auto* group = child<QActionGroup>("ActionList1");
    EXPECT_GE(group->actions().size(), 14);
    child<QAction>("agestchamp")->setEnabled(true);
    EXPECT_TRUE(child<QAction>("mChamp")->isEnabled());
}

// The executable hands the windows of later folders to the main window: their entries are enabled, the
// menu item, the action and the button show the window, and the main window's close closes it.
TEST_F(MainFormTest, EntriesOfLaterWindowsShowThemAndTheCloseClosesThem) {
    QWidget later;
    int shown = 0;
    const auto show = [&] {
        ++shown;
        later.show();
    };
    TMainForm* form = start({{QStringLiteral("agestchamp"), show}, {QStringLiteral("bgestchamp"), show}});
    for (const char* name : {"mChamp", "agestchamp"}) EXPECT_TRUE(child<QAction>(name)->isEnabled()) << name;
    EXPECT_TRUE(child<QWidget>("bgestchamp")->isEnabled());
    child<QAction>("mChamp")->trigger();
    child<QAction>("agestchamp")->trigger();
    QTest::mouseClick(child<QAbstractButton>("bgestchamp"), Qt::LeftButton);
    EXPECT_EQ(shown, 3);
    EXPECT_TRUE(later.isVisible());
    EXPECT_FALSE(child<QAction>("agestequipe")->isEnabled()) << "entries not handed over stay disabled";
    form->close();
    EXPECT_FALSE(later.isVisible());
}

TEST_F(MainFormTest, HelpOpensThePageBesideTheDataThroughTheShell) {
    start();
    child<QAction>("mAide1")->trigger();
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], "file://" + tmp.path() + "/help/pelmorad32.html");
}

TEST_F(MainFormTest, QuitButtonAndTerminationSignalsCloseTheWindowLikeQuit) {
    for (int signal : {0, SIGTERM, SIGINT}) {
        TMainForm* form = start();
        TerminationSignals termination(form);
        if (signal == 0) {
            QTest::mouseClick(child<QPushButton>("bquit"), Qt::LeftButton);
        } else {
            std::raise(signal);
            QTRY_COMPARE_WITH_TIMEOUT(form->isVisible(), false, 3000);
            EXPECT_EQ(termination.received(), 1);
        }
        EXPECT_FALSE(form->isVisible()) << signal;
        EXPECT_EQ(form->packResults().size(), 9u) << signal;
        windows.reset();
        ASSERT_TRUE(xb::platform::FileExists(file("PELMORAD32.PAR"))) << signal;
        std::remove(file("PELMORAD32.PAR").c_str());
    }
}

TEST_F(MainFormTest, SignalDuringTheFirstRunChoiceClosesTheChoiceThenTheWindow) {
    TMainForm* form = nullptr;
    std::unique_ptr<TerminationSignals> termination;
    ModalDriverScope driver([&](QDialog& dialog) {
        modalShown.push_back(dialog.objectName());
        termination = std::make_unique<TerminationSignals>(form);
        std::raise(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 3000))
            << "the signal closes the choice";
    });
    windows = std::make_unique<AppWindows>();
    form = windows->mainForm();
    form->show();
    activate(form);
    QTRY_COMPARE_WITH_TIMEOUT(form->isVisible(), false, 3000);
    EXPECT_EQ(modalShown.size(), 1u);
    termination.reset();
    windows.reset();
    // Nobody chose a language: nothing is written, and the next start asks again.
    EXPECT_FALSE(xb::platform::FileExists(file("PELMORAD32.PAR")));
}

// Rows numbered 1..n in a table's first numeric field, then the first of them deleted.
// The table is closed again, as a program that ended leaves it.
void addRowsDeletingTheFirst(const char* file, const char* field, int n) {
    {
        LeagueTableScope t("fill", file);
        for (int i = 1; i <= n; ++i) {
            t->Append();
            t->FieldByName(field).SetAsInteger(i);
            t->Post();
        }
        t->First();
        t->Delete();
    }
    ReleaseKeptTables();
}

// Rows in the file, deleted ones included.
int storedRows(const char* file) {
    LeagueTableScope t("count", file);
    return t->RecCount();
}

const char* const kTableFiles[] = {"champan", "champion", "eqchamp", "resultat", "equipe",
                                   "joueur",  "joueq",    "but",     "carton"};

TEST_F(MainFormTest, TablesExistBeforeTheFirstActivationAndTheClosePacksAllNine) {
    windows = std::make_unique<AppWindows>();
    for (const char* name : kTableFiles) {
        EXPECT_TRUE(xb::platform::FileExists(tmp.file(std::string(name) + ".dbf"))) << name;
        EXPECT_TRUE(xb::platform::FileExists(tmp.file(std::string(name) + ".mdx"))) << name;
    }
    EXPECT_TRUE(xb::platform::FileExists(file("joueur.dbt")));
    stop();

    addRowsDeletingTheFirst("champan.dbf", "nuchamp", 2);
    addRowsDeletingTheFirst("but.dbf", "nuchamp", 2);
    addRowsDeletingTheFirst("resultat.dbf", "nuchamp", 2);
    ASSERT_EQ(storedRows("champan.dbf"), 2);
    start();
    stop();
    EXPECT_EQ(storedRows("champan.dbf"), 1);
    EXPECT_EQ(storedRows("resultat.dbf"), 1);
    EXPECT_EQ(storedRows("but.dbf"), 1);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MainFormTest, TableHeldOpenByAnotherStationIsLeftForItWithoutMessageOrRebuild) {
    start();
    stop();
    addRowsDeletingTheFirst("champan.dbf", "nuchamp", 3);
    addRowsDeletingTheFirst("resultat.dbf", "nuchamp", 3);
    const std::string mdxBefore = xbtest::ReadFileBytes(file("resultat.mdx"));
    std::remove(file("PELMORAD32.PAR").c_str());

    TMainForm* form = start();
    xbtest::ChildProcess station;
    ASSERT_EQ(station.ask("use " + file("resultat.dbf")), "0");
    form->close();
    const std::vector<TablePackResult> results = form->packResults();
    EXPECT_EQ(station.finish(), 0);
    stop();

    ASSERT_EQ(results.size(), 9u);
    for (const TablePackResult& r : results) {
        const bool held = r.table == QStringLiteral("resultat");
        if (held)
            EXPECT_EQ(r.outcome, PackOutcome::InUse) << r.table.toStdString();
        else
            EXPECT_TRUE(r.outcome == PackOutcome::Packed || r.outcome == PackOutcome::AsItIs) << r.table.toStdString();
    }
    EXPECT_EQ(storedRows("resultat.dbf"), 3);
    EXPECT_EQ(storedRows("champan.dbf"), 2);
    EXPECT_EQ(xbtest::ReadFileBytes(file("resultat.mdx")), mdxBefore);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(xbtest::ReadFileBytes(file("PELMORAD32.PAR")).size(), 548u);
}

// Every file under dir and its bytes, by its path inside dir; a folder as "<dir>".
std::map<std::string, std::string> treeBytes(const std::string& dir) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().lexically_relative(dir).string();
        // Neither followed nor opened: a link (to itself, say) and a pipe are what they are.
        if (e.is_symlink())
            out[name] = "<link " + fs::read_symlink(e.path()).string() + ">";
        else if (e.is_fifo())
            out[name] = "<fifo>";
        else
            out[name] = e.is_directory() ? std::string("<dir>") : xbtest::ReadFileBytes(e.path().string());
    }
    return out;
}

// A file where the start would create a table, its memo or its index (a memo or index left without its
// table, a folder where a table is) is named in the start's one message: the user stops with nothing
// changed, or goes on with it moved, byte for byte, into the folder inside the data folder that the
// message names. It is never replaced by an empty file, and such a folder is no first start.
TEST_F(MainFormTest, FilesInTheWayOfATableAreNamedAndMovedAsideNeverOverwritten) {
    namespace fs = std::filesystem;
    chosenLanguage = 1;
    start();
    stop();
    {
        LeagueTableScope players("players", "joueur.dbf");
        for (int i = 1; i <= 6; ++i) {
            players->Append();
            players->FieldPutInt("NUJOUEUR", i);
            players->PutMField("INFODIVERS", {"the note of player " + std::to_string(i)});
            players->Post();
        }
    }
    ReleaseKeptTables();  // the folder is copied as a closed program leaves it
    const xbtest::TempDir kept;
    const std::string sound = kept.file("sound");
    fs::copy(tmp.path(), sound, fs::copy_options::recursive);
    auto restoreSound = [&] {
        for (const auto& e : fs::directory_iterator(tmp.path())) fs::remove_all(e.path());
        fs::copy(sound, tmp.path(), fs::copy_options::recursive);
    };
    struct Case {
        const char* what;
        std::function<void()> damage;
        std::vector<std::string> moved;  // named in the message and moved aside when the user goes on
        Text said = Text::None;          // the line naming the first of them, with what it is
        Text kind = Text::None;
        bool canGoOn = true;  // false: the notes would be out of reach, the user may only stop
    };
    const auto fifo = [&](const char* name) {
        fs::remove(file(name));
        ASSERT_EQ(::mkfifo(file(name).c_str(), 0644), 0) << name;
    };
    const std::vector<Case> cases = {
        {"every table and index gone, the notes left",
         [&] {
             for (const LeagueTable& t : LeagueTables()) {
                 fs::remove(file(t.file.c_str()));
                 fs::remove(file((t.stem() + ".mdx").c_str()));
             }
         },
         {"joueur.dbt"}},
        {"the players' table gone, its notes and index left",
         [&] { fs::remove(file("joueur.dbf")); },
         {"joueur.dbt", "joueur.mdx"}},
        {"a folder in place of the results table",
         [&] {
             fs::remove(file("resultat.dbf"));
             fs::create_directory(file("resultat.dbf"));
             xbtest::WriteFileBytes(file("resultat.dbf") + "/kept", "a file of the user's");
         },
         {"resultat.dbf", "resultat.mdx"}},
        // Whatever the start would open stands there as a named pipe: named, never opened (the open
        // would wait for a writer for ever).
        {"a pipe in place of the results' index", [&] { fifo("resultat.mdx"); }, {"resultat.mdx"},
         Text::NotAFileWhereDatabaseFile, Text::InTheWayPipe},
        {"a pipe in place of a semaphore", [&] { fifo("equipe.@s@"); }, {"equipe.@s@"},
         Text::NotAFileWhereDatabaseFile, Text::InTheWayPipe},
        {"a pipe in place of the settings", [&] { fifo("PELMORAD32.PAR"); }, {"PELMORAD32.PAR"},
         Text::NotAFileWhereSettings, Text::InTheWayPipe},
        {"a pipe in place of the language file", [&] { fifo("pelmorad.lg"); }, {"pelmorad.lg"},
         Text::NotAFileWhereLanguageFile, Text::InTheWayPipe},
        {"a pipe in place of the players' notes", [&] { fifo("joueur.dbt"); }, {"joueur.dbt"},
         Text::NotAFileWhereDatabaseFile, Text::InTheWayPipe, false},
        // The creation lock of a table to be made: never followed, never a folder.
        {"a folder at the results' creation lock",
         [&] {
             fs::remove(file("resultat.dbf"));
             fs::remove(file("resultat.mdx"));
             fs::create_directory(file(".resultat.dbf.lock"));
         },
         {".resultat.dbf.lock"}, Text::NotAFileWhereCreationLock, Text::InTheWayFolder},
        {"a link loop at the results' creation lock",
         [&] {
             fs::remove(file("resultat.dbf"));
             fs::remove(file("resultat.mdx"));
             fs::create_symlink(".resultat.dbf.lock", file(".resultat.dbf.lock"));
         },
         {".resultat.dbf.lock"}, Text::NotAFileWhereCreationLock, Text::InTheWayBrokenLink},
        {"a link out of the folder at the database's creation lock",
         [&] {
             fs::remove(file("resultat.dbf"));
             fs::create_symlink(sound + "/outside", file(".database.lock"));
         },
         {".database.lock", "resultat.mdx"}, Text::NotAFileWhereDatabaseFile, Text::InTheWayBrokenLink},
    };
    for (const Case& c : cases) {
        for (const int answer : {xb::platform::kIdNo, xb::platform::kIdYes}) {
            if (!c.canGoOn && answer == xb::platform::kIdYes) continue;
            SCOPED_TRACE(std::string(c.what) + (answer == xb::platform::kIdYes ? ", gone on" : ", stopped"));
            restoreSound();
            c.damage();
            const auto before = treeBytes(tmp.path());
            ui.messages.clear();
            ui.boxAnswers = {answer};
            bool runs = false;
            std::string stopped;
            try {
                start();
                stop();
                runs = true;
            } catch (const StartupError& e) {
                stopped = e.what();
                windows.reset();
            }
            ASSERT_EQ(ui.messages.size(), 1u);
            const std::string& said = ui.messages[0].text;
            for (const std::string& n : c.moved) EXPECT_NE(said.find(n), std::string::npos) << said;
            if (c.said != Text::None) {
                const QString line = BuiltInText(c.said, 1)
                                         .arg(QString::fromStdString(c.moved[0]), BuiltInText(c.kind, 1),
                                              QStringLiteral("resultat.dbf"));
                EXPECT_NE(said.find(line.toStdString()), std::string::npos) << said;
            }
            EXPECT_EQ(ui.messages[0].flags & xb::platform::kMbYesNo,
                      c.canGoOn ? xb::platform::kMbYesNo : xb::platform::kMbOk);
            EXPECT_FALSE(fs::exists(sound + "/outside"));
            if (answer == xb::platform::kIdNo) {
                EXPECT_FALSE(runs);
                EXPECT_EQ(treeBytes(tmp.path()), before);
                continue;
            }
            EXPECT_TRUE(runs) << stopped;
            std::vector<std::string> asides;
            for (const auto& e : fs::directory_iterator(tmp.path()))
                if (e.path().filename().string().starts_with("aside-")) asides.push_back(e.path().filename());
            ASSERT_EQ(asides.size(), 1u);
            EXPECT_NE(said.find(asides[0]), std::string::npos) << said;
            const auto after = treeBytes(tmp.path());
            for (const auto& [name, bytes] : before) {
                const bool wasMoved = std::any_of(c.moved.begin(), c.moved.end(), [&](const std::string& m) {
                    return name == m || name.starts_with(m + "/");
                });
                if (wasMoved) EXPECT_EQ(after.at(asides[0] + "/" + name), bytes) << name;
            }
        }
    }
    fs::remove_all(sound);
}

// A station that holds a table's creation lock (a restore, another start) keeps a start that would
// create that table waiting, saying so in a live window that names the lock, and the start goes on when
// it lets go; its Stop ends the start with nothing created.
TEST_F(MainFormTest, AStartWaitsForAnotherStationsCreationSayingSoAndStopsWhenAsked) {
    namespace fs = std::filesystem;
    start();
    stop();
    // A database in use: its missing table is asked about (an empty one is finished as a creation).
    addRowsDeletingTheFirst("champan.dbf", "nuchamp", 2);
    // In the settings' language, French then Croatian.
    for (const auto& [stopped, language] : {std::pair{true, 1}, std::pair{false, 6}}) {
        SCOPED_TRACE(stopped ? "stopped" : "waited");
        LanguageIndex = language;
        ASSERT_TRUE(WriteParamFile());
        fs::remove(file("resultat.dbf"));
        fs::remove(file("resultat.mdx"));
        auto held = std::make_unique<xb::platform::CreationLock>(file("resultat.dbf"));
        ASSERT_EQ(held->result(), 0);
        const auto before = treeBytes(tmp.path());
        QString shown;
        int polled = 0;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            ++polled;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || box->objectName() != "creationWait" || !box->isVisible()) continue;
                shown = box->text();
                if (const QString dir = qEnvironmentVariable("LM_SCREENSHOT_DIR"); !dir.isEmpty())
                    box->grab().save(dir + "/creation_wait_" + QString::number(LanguageIndex) + ".png");
                if (stopped)
                    box->buttons().front()->click();
                else
                    held.reset();
                look.stop();
            }
        });
        look.start(300);
        ui.boxAnswers = {xb::platform::kIdYes};
        ui.messages.clear();
        bool ran = false;
        try {
            start();
            stop();
            ran = true;
        } catch (const StartupStopped&) {
            windows.reset();
        }
        look.stop();
        EXPECT_EQ(shown, BuiltInText(Text::WaitingForCreation, language).arg(".resultat.dbf.lock"));
        EXPECT_GE(polled, 1);
        EXPECT_EQ(ran, !stopped);
        if (stopped) {
            EXPECT_TRUE(ui.messages.empty());
            EXPECT_EQ(treeBytes(tmp.path()), before);
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);  // the missing table, asked once the creator is done
            EXPECT_TRUE(fs::exists(file("resultat.dbf")));
        }
        held.reset();
    }
}

// A termination signal that comes while the start checks the tables, waits or opens them ends the start at
// its next step: no message, no window, no byte of the tables changed.
TEST_F(MainFormTest, AStopRequestedDuringTheStartEndsItWithNothingChanged) {
    start();
    stop();
    {
        LeagueTableScope players("players", "joueur.dbf");
        for (int i = 1; i <= 300; ++i) {
            players->Append();
            players->FieldPutInt("NUJOUEUR", i);
            players->PutMField("INFODIVERS", {"the note of player " + std::to_string(i)});
            players->Post();
        }
    }
    ReleaseKeptTables();  // the folder is copied as a closed program leaves it
    const auto tables = [&] {
        std::map<std::string, std::string> out;
        for (const auto& [name, bytes] : treeBytes(tmp.path()))
            if (!name.ends_with(".@s@")) out[name] = bytes;
        return out;
    };
    const auto before = tables();
    for (const int nth : {1, 2, 5, 12, 30}) {
        SCOPED_TRACE(nth);
        ui.messages.clear();
        xb::platform::InjectReadHook(nth, [] { xb::platform::RequestStop(); });
        EXPECT_THROW(start(), StartupStopped);
        windows.reset();
        xb::platform::ClearFaults();
        xb::platform::ForgetStopRequest();
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(tables(), before);
    }
}

// Every file of the data folder and its bytes.
std::map<std::string, std::string> folderBytes(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (const std::string& name : xb::platform::ListMatching(dir, "*.*"))
        out[name] = xbtest::ReadFileBytes(dir + "/" + name);
    return out;
}

// Damage from outside is named at the start in one message, before anything is created or packed; the
// user goes on or stops, and what the program cannot account for is still there after its shutdown.
TEST_F(MainFormTest, DamageIsNamedAtTheStartAndEveryByteOfItOutlivesTheRun) {
    start();
    stop();
    {
        LeagueTableScope players("players", "joueur.dbf");
        for (int i = 1; i <= 6; ++i) {
            players->Append();
            players->FieldPutInt("NUJOUEUR", i);
            players->PutMField("INFODIVERS", {"the note of player " + std::to_string(i)});
            players->Post();
        }
        players->First();
        players->Next();
        players->Delete();  // a deleted row, so that the shutdown has something to pack
    }
    addRowsDeletingTheFirst("resultat.dbf", "nuchamp", 3);
    const std::string sound = tmp.file("sound");
    ASSERT_EQ(::mkdir(sound.c_str(), 0755), 0);
    for (const auto& [name, bytes] : folderBytes(tmp.path()))
        xbtest::WriteFileBytes(sound + "/" + name, bytes);
    auto restoreSound = [&] {
        for (const std::string& name : xb::platform::ListMatching(tmp.path(), "*.*"))
            std::remove(file(name.c_str()).c_str());
        for (const auto& [name, bytes] : folderBytes(sound))
            xbtest::WriteFileBytes(file(name.c_str()), bytes);
    };
    auto patch = [&](const char* name, long offset, const std::string& bytes) {
        std::string all = xbtest::ReadFileBytes(file(name));
        all.replace(static_cast<size_t>(offset), bytes.size(), bytes);
        xbtest::WriteFileBytes(file(name), all);
    };
    // joueur's third row, its memo field (after the flag and 47 bytes of fields).
    const std::string players = xbtest::ReadFileBytes(file("joueur.dbf"));
    const long memoOfThird =
        static_cast<unsigned char>(players[8]) + 256 * static_cast<unsigned char>(players[9]) +
        2 * (static_cast<unsigned char>(players[10]) + 256 * static_cast<unsigned char>(players[11])) + 1 +
        47;

    struct Case {
        const char* what;
        std::function<void()> damage;
        int answer;                      // to the question; 0: a message without a choice
        std::vector<std::string> named;  // in the message
        bool runs;                       // the program goes on
    };
    const std::vector<Case> cases = {
        {"a table deleted beside the others, the user stops",
         [&] { std::remove(file("equipe.dbf").c_str()); },
         xb::platform::kIdNo,
         {"equipe.dbf"},
         false},
        {"a memo pointer past the end of the memo file and a table cut inside a row, the user goes on",
         [&] {
             patch("joueur.dbf", memoOfThird, "9999999999");
             const std::string results = xbtest::ReadFileBytes(file("resultat.dbf"));
             xbtest::WriteFileBytes(file("resultat.dbf"), results.substr(0, results.size() - 7));
         },
         xb::platform::kIdYes,
         {"joueur.dbf", "3", "resultat.dbf"},
         true},
        {"a field of another type",
         [&] { patch("equipe.dbf", 32 + 11, "C"); },
         0,
         {"equipe.dbf", "nuequipe"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restoreSound();
        c.damage();
        const auto before = folderBytes(tmp.path());
        ui.messages.clear();
        ui.boxAnswers = {c.answer};
        try {
            start();
            // A table kept read-only refuses a write, with a message, before the file sees it.
            LeagueTableScope results("results", "resultat.dbf");
            EXPECT_FALSE(WriteRow(
                *results, [] { return false; }, [](xb::TXbDbf& t) { t.FieldPutInt("NUCHAMP", 9); }));
            CloseQuietly(*results);
            stop();
            EXPECT_TRUE(c.runs);
        } catch (const StartupError& e) {
            EXPECT_FALSE(c.runs) << e.what();
            windows.reset();
        }
        ASSERT_EQ(ui.messages.size(), c.runs ? 2u : 1u);
        for (const std::string& n : c.named) EXPECT_NE(ui.messages[0].text.find(n), std::string::npos) << n;
        EXPECT_EQ(ui.messages[0].flags & xb::platform::kMbYesNo, c.answer ? xb::platform::kMbYesNo : 0u);
        if (c.runs)
            EXPECT_NE(ui.messages[1].text.find("resultat.dbf"), std::string::npos) << ui.messages[1].text;
        // Stopped: nothing changed. Gone on: the damaged tables and their notes as they were.
        std::vector<std::string> changed;
        const auto after = folderBytes(tmp.path());
        for (const auto& [name, bytes] : after)
            if (!before.count(name) || before.at(name) != bytes) changed.push_back(name);
        for (const auto& [name, bytes] : before)
            if (!after.count(name)) changed.push_back(name + " removed");
        for (const char* damaged : {"joueur.dbf", "joueur.dbt", "resultat.dbf"})
            if (c.runs) EXPECT_EQ(std::count(changed.begin(), changed.end(), damaged), 0) << damaged;
        if (!c.runs) EXPECT_EQ(changed, std::vector<std::string>{});
    }

    // A missing table that a full disk keeps from being created: the start says the disk is full, with
    // the system's reason, and no piece of the table is left behind.
    restoreSound();
    std::remove(file("equipe.dbf").c_str());
    std::remove(file("equipe.mdx").c_str());
    ui.boxAnswers = {xb::platform::kIdYes};
    xb::platform::InjectFault(xb::platform::FaultOp::Write, 1, xb::platform::kErrDiskFull);
    // The session is English (the settings'), whatever language the process had before the start.
    LanguageIndex = 1;
    try {
        start();
        ADD_FAILURE() << "the program started";
    } catch (const StartupError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(BuiltInText(Text::DiskFullNothingCreated, 2).toStdString()), std::string::npos)
            << text;
        EXPECT_NE(text.find("Error # 112 (No space left on device)"), std::string::npos) << text;
        EXPECT_EQ(text.find("Error # 2 "), std::string::npos) << text;
    }
    xb::platform::ClearFaults();
    windows.reset();
    for (const std::string& name : xb::platform::ListMatching(tmp.path(), "equipe*"))
        ADD_FAILURE() << name << " left behind";

    // A pointer damaged while the program runs stops the pack at the close, which says which row.
    restoreSound();
    ui.messages.clear();
    start();
    patch("joueur.dbf", memoOfThird, "9999999999");
    const std::string damagedTable = xbtest::ReadFileBytes(file("joueur.dbf"));
    stop();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("joueur.dbf"), std::string::npos) << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("Record # 3"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(xbtest::ReadFileBytes(file("joueur.dbf")), damagedTable);
    EXPECT_EQ(xbtest::ReadFileBytes(file("joueur.dbt")), xbtest::ReadFileBytes(sound + "/joueur.dbt"));
}

TEST_F(MainFormTest, WithoutAServerNoThreadStartsAndTheWebEntriesAreOff) {
    start();
    EXPECT_EQ(windows->exchange().RunningCount(), 0u);
    EXPECT_FALSE(child<QAction>("msiteweb")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("blivescore")->isEnabled());
}

TEST_F(MainFormTest, ClosingEndsAThreadStalledInItsRequestThroughTheStopFlag) {
    xbtest::LoopbackHttpServer server;
    server.Script(xbtest::HttpReply::Stalled());
    server.Script(xbtest::HttpReply::Stalled());
    xb::platform::SetDefaultRouteAnswer(true);
    ExchangeSettings settings;
    settings.baseUrl = server.BaseUrl();
    // Far beyond the test's time limit: only the stop flag can end the transfer in time.
    settings.connectTimeout = std::chrono::hours(1);
    settings.totalTimeout = std::chrono::hours(1);
    windows = std::make_unique<AppWindows>(settings);
    TMainForm* form = windows->mainForm();
    form->show();
    activate(form);
    ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(10)));
    EXPECT_EQ(windows->exchange().RunningCount(), 1u);
    EXPECT_NE(server.Requests()[0].find("vdivers=debut"), std::string::npos) << server.Requests()[0];
    EXPECT_TRUE(child<QAction>("msiteweb")->isEnabled());

    const auto before = std::chrono::steady_clock::now();
    form->close();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(windows->exchange().RunningCount(), 0u);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(form->packResults().size(), 9u);
    windows.reset();
    xb::platform::SetDefaultRouteAnswer(std::nullopt);
}

TEST(ExceptionReport, AnExceptionInAnEventBecomesAMessageAndTheProgramGoesOn) {
    xbtest::ScriptedUi ui;
    EXPECT_FALSE(
        DeliverReportingExceptions([]() -> bool { throw std::runtime_error("Dataset error: bad"); }));
    EXPECT_TRUE(DeliverReportingExceptions([] { return true; }));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Dataset error: bad");
    EXPECT_EQ(ui.messages[0].caption, "PELMORAD ");
    EXPECT_EQ(ui.messages[0].flags, xb::platform::kMbOk | xb::platform::kMbIconStop);
}

TEST_F(MainFormTest, BackupAndRestoreThroughTheMenuAskFirstAndChangeNothingWhenCancelled) {
    TMainForm* form = start();
    std::vector<FileDialogRequest> asked;
    QString answer;
    SetFileDialogChooser([&](const FileDialogRequest& r) {
        asked.push_back(r);
        return answer;
    });
    struct ChooserReset {
        ~ChooserReset() { SetFileDialogChooser({}); }
    } reset;
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "champion.dbf"));
        ASSERT_EQ(CreateChampionship(*t, "SAVED"), 1);
        CloseTable(t);
    }
    const std::string archive = tmp.path() + "/saved.pmz";

    // Cancelled save: nothing written.
    child<QAction>("msauvdonnees")->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].save);
    EXPECT_EQ(asked[0].title, GetLangText(Text::EnterBackupFileName));
    // The filter speaks the user's language and still picks the archives.
    EXPECT_EQ(asked[0].filter, GetLangText(Text::BackupFilter));
    for (int language = 1; language <= kLanguageCount; ++language)
        EXPECT_TRUE(BuiltInText(Text::BackupFilter, language).endsWith(QStringLiteral(" (*.pmz)")))
            << language;
    EXPECT_EQ(asked[0].defaultSuffix, QStringLiteral("pmz"));
    EXPECT_FALSE(xb::platform::FileExists(archive));

    answer = QString::fromStdString(archive);
    child<QAction>("msauvdonnees")->trigger();
    ASSERT_TRUE(LastMenuBackup().ok) << LastMenuBackup().reason;
    ASSERT_TRUE(xb::platform::FileExists(archive));
    // A backup that succeeds says so, naming the archive and its size.
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.back().text.find(archive), std::string::npos) << ui.messages.back().text;
    EXPECT_NE(ui.messages.back().text.find(ByteSizeText(uint64_t(std::filesystem::file_size(archive)), LanguageIndex)
                                           .toStdString()),
              std::string::npos)
        << ui.messages.back().text;
    ui.messages.clear();

    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "champion.dbf"));
        ASSERT_EQ(CreateChampionship(*t, "LATER"), 2);
        CloseTable(t);
    }
    // "No" asks for no file; a cancelled open dialog restores nothing.
    ui.boxAnswers = {xb::platform::kIdNo, xb::platform::kIdYes};
    answer.clear();
    child<QAction>("mrecharger")->trigger();
    child<QAction>("mrecharger")->trigger();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_FALSE(asked[2].save);
    EXPECT_EQ(asked[2].title, GetLangText(Text::SelectBackupFile));
    ASSERT_GE(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, GetLangText(Text::EraseAllData).toStdString());
    EXPECT_EQ(ui.messages[0].caption, GetLangText(Text::PleaseConfirm).toStdString());
    EXPECT_EQ(GetChampionshipName(2), QStringLiteral("LATER"));

    // Yes and the archive: the saved database comes back and "All is ok" is shown.
    ui.messages.clear();
    ui.boxAnswers = {xb::platform::kIdYes, xb::platform::kIdOk};
    answer = QString::fromStdString(archive);
    child<QAction>("mrecharger")->trigger();
    EXPECT_EQ(LastMenuRestore().outcome, RestoreOutcome::kRestored) << LastMenuRestore().reason;
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, GetLangText(Text::AllOk).toStdString());
    EXPECT_EQ(GetChampionshipName(1), QStringLiteral("SAVED"));
    EXPECT_EQ(GetChampionshipName(2), QString());
}

TEST_F(MainFormTest, DownloadEntriesAreOfferedOnlyWithAServer) {
    start();
    EXPECT_FALSE(child<QAction>("mtelecharge")->isVisible());
    EXPECT_FALSE(child<QPushButton>("bmaj")->isVisibleTo(windows->mainForm()));
    stop();
    ExchangeSettings settings;
    settings.baseUrl = "http://127.0.0.1:9";
    windows = std::make_unique<AppWindows>(settings);
    windows->mainForm()->show();
    EXPECT_TRUE(child<QAction>("mtelecharge")->isVisible());
    EXPECT_TRUE(child<QPushButton>("bmaj")->isVisibleTo(windows->mainForm()));
    QTest::mouseClick(child<QPushButton>("bmaj"), Qt::LeftButton);
    ASSERT_FALSE(modalShown.empty());
    EXPECT_EQ(modalShown.back(), QStringLiteral("ftelecharge"));
}

// The close on a disk with no room left: the tables with rows to pack stand as they were, files and all,
// and one message in the session's language names every table left unpacked and says why.
TEST_F(MainFormTest, AClosePackTheDiskRefusesNamesTheTablesAndLosesNothing) {
    start();
    stop();
    addRowsDeletingTheFirst("champan.dbf", "nuchamp", 3);
    addRowsDeletingTheFirst("resultat.dbf", "nuchamp", 3);
    const std::map<std::string, std::string> before = folderBytes(tmp.path());
    TMainForm* form = start();
    ui.messages.clear();
    xb::platform::InjectDiskFull(1);
    form->close();
    xb::platform::ClearFaults();
    const std::vector<TablePackResult> results = form->packResults();
    stop();
    QStringList unpacked;
    for (const TablePackResult& r : results) {
        // The tables with rows to drop meet the full disk; the others need no pack.
        EXPECT_TRUE(r.outcome == PackOutcome::NoSpace || r.outcome == PackOutcome::Packed ||
                    r.outcome == PackOutcome::AsItIs)
            << r.table.toStdString();
        if (r.outcome == PackOutcome::NoSpace) unpacked << r.table + QStringLiteral(".dbf");
    }
    EXPECT_TRUE(unpacked.contains(QStringLiteral("champan.dbf")) && unpacked.contains(QStringLiteral("resultat.dbf")));
    for (const char* name : {"champan.dbf", "champan.mdx", "resultat.dbf", "resultat.mdx"})
        EXPECT_TRUE(xbtest::ReadFileBytes(file(name)) == before.at(name)) << name;
    const std::string said = GetLangText(Text::PackStoppedDiskFull).arg(unpacked.join(QStringLiteral(", "))).toStdString();
    EXPECT_EQ(std::count_if(ui.messages.begin(), ui.messages.end(), [&](const auto& m) { return m.text == said; }), 1);
}

}  // namespace
}  // namespace app
