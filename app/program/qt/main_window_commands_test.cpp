// Every entry of the main window, with the program's own windows bound as the executable binds them: each
// menu item, action and button reaches its window (shown, in the right mode) or its command (modal windows
// through the modal seam, file choosers scripted, web addresses recorded by the shell's stand-in).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>

#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/exchange/qt/import_window.h"
#include "app/program/qt/program.h"
#include "app/program/qt/program_windows.h"
#include "app/reports/qt/championship_stats_window.h"
#include "app/reports/qt/head_to_head_window.h"
#include "app/reports/qt/prevision_window.h"
#include "app/reports/qt/results_grid_window.h"
#include "app/reports/qt/standings_window.h"
#include "app/reports/qt/team_info_window.h"
#include "app/reports/qt/team_matches_window.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/shell/qt/about_box.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/file_dialogs.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/main_form.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/parameters_window.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "engine/dataset/engine_start.h"
#include "platform/network.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/old_file_writer.h"
#include "tests/support/recording_shell.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTestBaseUrl = "http://league.test:8080";

// Counts the close events a window receives (a window closed and shown again, not merely raised).
class CloseCounter : public QObject {
public:
    explicit CloseCounter(QWidget* watched) { watched->installEventFilter(this); }
    int closes = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Close) ++closes;
        return false;
    }
};

class MainWindowCommandsTest : public xbtest::EngineTest {
protected:
    MainWindowCommandsTest() : m_saved(xb::IndexServices()) {
        xb::InstallEngineUnits(engine());
        SetAppDir(QString::fromStdString(tmp.path()));
        LanguageIndex = 2;
        // The help pages beside the program, as the build puts them.
        fs::copy(LM_HELP_DIR, tmp.file("help"), fs::copy_options::recursive);
        m_driver.emplace([this](QDialog& dialog) {
            modalShown.push_back(dialog.objectName());
            if (auto* choice = qobject_cast<TForm10*>(&dialog)) {
                QTest::mouseClick(choice->languageButton(2), Qt::LeftButton);
                choice->bokClick();
            }
            if (onModal) onModal(dialog);
        });
        m_previousChooser = SetFileDialogChooser([this](const FileDialogRequest& r) {
            chooserAsked.push_back(r);
            return QString();
        });
    }
    ~MainWindowCommandsTest() override {
        if (windows) windows->mainForm()->close();
        windows.reset();
        SetFileDialogChooser(m_previousChooser);
        m_driver.reset();
        SetAppDir({});
        LanguageIndex = 1;
        xb::IndexServices() = m_saved;
        xb::platform::SetDefaultRouteAnswer(std::nullopt);
    }

    TMainForm* start(const std::string& baseUrl) {
        xb::platform::SetDefaultRouteAnswer(false);  // no exchange request leaves the test
        ExchangeSettings settings;
        settings.baseUrl = baseUrl;
        windows = std::make_unique<AppWindows>(settings, ProgramWindowEntries());
        TMainForm* form = windows->mainForm();
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form, 2000)) {
            QEvent activation(QEvent::WindowActivate);
            QApplication::sendEvent(form, &activation);
        }
        return form;
    }

    QObject* entry(const char* name) {
        QObject* found = windows->mainForm()->findChild<QObject*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool enabled(const char* name) {
        QObject* e = entry(name);
        if (auto* a = qobject_cast<QAction*>(e)) return a->isEnabled();
        return e && qobject_cast<QWidget*>(e)->isEnabled();
    }
    bool shown(const char* name) {
        QObject* e = entry(name);
        if (auto* a = qobject_cast<QAction*>(e)) return a->isVisible();
        return e && qobject_cast<QWidget*>(e)->isVisibleTo(windows->mainForm());
    }
    // Runs an entry as the user does: a menu item or action is triggered, a button clicked.
    void run(const char* name) {
        QObject* e = entry(name);
        if (auto* a = qobject_cast<QAction*>(e)) a->trigger();
        if (auto* b = qobject_cast<QAbstractButton*>(e)) QTest::mouseClick(b, Qt::LeftButton);
        QApplication::processEvents();
    }

    xbtest::ScriptedUi ui;
    xbtest::RecordingShell shell;
    std::vector<QString> modalShown;
    std::function<void(QDialog&)> onModal;
    std::vector<FileDialogRequest> chooserAsked;
    std::unique_ptr<AppWindows> windows;

private:
    std::optional<ModalDriverScope> m_driver;
    FileDialogChooser m_previousChooser;
    xb::DatasetIndexServices m_saved;
};

// The window entries of the table: the entry, the window it shows (null: a report window not built in this
// program yet, whose entry stays disabled until the program binds it), the class name such a window carries.
struct WindowRow {
    const char* entry;
    std::function<QWidget*()> window;
    const char* className;
};

QWidget* FindWindow(const char* className) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(className) || w->inherits(className)) return w;
    return nullptr;
}

TEST_F(MainWindowCommandsTest, EveryWindowEntryShowsItsWindowAndRaisesItWhenShown) {
    start("");
    const auto champ = [] { return static_cast<QWidget*>(fgestchamp()); };
    const auto teams = [] { return static_cast<QWidget*>(fgestequipe()); };
    const auto players = [] { return static_cast<QWidget*>(fgestjoueur()); };
    const auto standings = [] { return static_cast<QWidget*>(fclassement()); };
    const auto import = [] { return static_cast<QWidget*>(fimport()); };
    const auto params = [] { return static_cast<QWidget*>(fpara); };
    const auto teamMatches = [] { return static_cast<QWidget*>(fmatcheq()); };
    const auto teamInfo = [] { return static_cast<QWidget*>(finfoequipe()); };
    const auto headToHead = [] { return static_cast<QWidget*>(ffaceaface()); };
    const auto stats = [] { return static_cast<QWidget*>(fstatchamp()); };
    const auto grid = [] { return static_cast<QWidget*>(fgrilleresult()); };
    const auto prediction = [] { return static_cast<QWidget*>(fprevision()); };
    const WindowRow rows[] = {
        {"mChamp", champ, "Tfgestchamp"},
        {"agestchamp", champ, "Tfgestchamp"},
        {"bgestchamp", champ, "Tfgestchamp"},
        {"mequipe", teams, "Tfgestequipe"},
        {"agestequipe", teams, "Tfgestequipe"},
        {"bgestequipes", teams, "Tfgestequipe"},
        {"mjoueurs", players, "Tfgestjoueur"},
        {"bjoueurs", players, "Tfgestjoueur"},
        {"mclassement", standings, "Tfclassement"},
        {"aclassement", standings, "Tfclassement"},
        {"bclassement", standings, "Tfclassement"},
        {"mimportkvx127", import, "Tfimport"},
        {"mparametre", params, "Tfpara"},
        {"aparametre", params, "Tfpara"},
        {"mMatchsEquipe", teamMatches, "Tfmatcheq"},
        {"amatchequipe", teamMatches, "Tfmatcheq"},
        {"bmatcheq", teamMatches, "Tfmatcheq"},
        {"minfoequipe", teamInfo, "Tfinfoequipe"},
        {"ainfoequipe", teamInfo, "Tfinfoequipe"},
        {"binfoequipe", teamInfo, "Tfinfoequipe"},
        {"mfaceaface", headToHead, "Tffaceaface"},
        {"afaceaface", headToHead, "Tffaceaface"},
        {"bfaceaface", headToHead, "Tffaceaface"},
        {"mstatchamp", stats, "Tfstatchamp"},
        {"astatchamp", stats, "Tfstatchamp"},
        {"bstatleague", stats, "Tfstatchamp"},
        {"mgrilleresultats", grid, "Tfgrilleresult"},
        {"agrilleresultat", grid, "Tfgrilleresult"},
        {"bgrilleresultat", grid, "Tfgrilleresult"},
        {"mprevision", prediction, "Tfprevision"},
        {"bprevision", prediction, "Tfprevision"},
    };
    std::set<std::string> pending;
    for (const WindowRow& row : rows) {
        SCOPED_TRACE(row.entry);
        if (!row.window && !enabled(row.entry)) {
            // A report window this program does not bind yet: present, disabled, and running it shows
            // nothing.
            pending.insert(row.className);
            run(row.entry);
            EXPECT_EQ(FindWindow(row.className), nullptr);
            continue;
        }
        ASSERT_TRUE(enabled(row.entry));
        run(row.entry);
        QWidget* window = row.window ? row.window() : FindWindow(row.className);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        // Shown again while open: raised, the same window, not closed and built again.
        CloseCounter counter(window);
        run(row.entry);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(counter.closes, 0);
        EXPECT_EQ(row.window ? row.window() : FindWindow(row.className), window);
        window->close();
        EXPECT_FALSE(window->isVisible());
    }
    // Only the head-to-head window may still be unbound.
    EXPECT_TRUE(pending.empty() || pending == std::set<std::string>{"Tffaceaface"});
    EXPECT_TRUE(modalShown.empty() || modalShown == std::vector<QString>{QStringLiteral("TForm10")});
}

TEST_F(MainWindowCommandsTest, ResultsEntriesShowTheirModeMenuKeepsTheSameModeButtonsReopen) {
    start("");
    Tfsairesultat* results = fsairesultat();
    CloseCounter counter(results);
    struct Step {
        const char* entry;
        int mode;
        int closesAdded;  // 1: an open window was closed and shown again
    };
    const Step steps[] = {
        {"mresultat", 1, 0},  // nothing open: shown in entry mode
        {"aresultat", 1, 0},  // same mode: raised
        {"mjournee", 2, 1},   // other mode: reopened in view mode, not left in entry mode
        {"ajournee", 2, 0},   // same mode: raised
        {"bjournee", 2, 1},   // the button always closes and reopens
        {"bresultat", 1, 1},  // other mode by the button
        {"bresultat", 1, 1},  // same mode by the button: still closed first
        {"mjournee", 2, 1},  {"mresultat", 1, 1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.entry);
        const int before = counter.closes;
        run(s.entry);
        EXPECT_TRUE(results->isVisible());
        EXPECT_TRUE(ResultFormOpen);
        EXPECT_EQ(results->windowType(), s.mode);
        EXPECT_EQ(counter.closes - before, s.closesAdded);
    }
    results->close();
    EXPECT_FALSE(ResultFormOpen);
}

TEST_F(MainWindowCommandsTest, CommandsReachTheirDialogsChoosersAndAddresses) {
    TMainForm* form = start(kTestBaseUrl);
    const std::string help = "file://" + tmp.path() + "/help/";
    struct Row {
        const char* entry;
        const char* modal;  // the modal window shown, or null
        Text chooser;       // file dialogs asked: Text::None, or the title text of the one asked
        const char* url;    // the address handed to the shell (a help page: relative to help/)
        bool helpPage = false;
    };
    const Row rows[] = {
        {"msauvdonnees", nullptr, Text::EnterBackupFileName, nullptr},
        {"mrecharger", nullptr, Text::SelectBackupFile, nullptr},
        {"mtelecharge", "ftelecharge", Text::None, nullptr},
        {"bmaj", "ftelecharge", Text::None, nullptr},
        {"mapropos", "TAboutBox", Text::None, nullptr},
        {"HelpAbout1", "TAboutBox", Text::None, nullptr},
        {"msiteweb", nullptr, Text::None, "http://league.test:8080/"},
        {"blivescore", nullptr, Text::None, "http://league.test:8080/resultats-football.php"},
        {"mAide1", nullptr, Text::None, "pelmorad32.html", true},
        {"aidegenerale", nullptr, Text::None, "pelmorad32.html", true},
    };
    ui.boxAnswers.assign(4, xb::platform::kIdYes);  // the restore's question: Yes, then the chooser cancels
    for (const Row& r : rows) {
        SCOPED_TRACE(r.entry);
        EXPECT_TRUE(shown(r.entry));
        ASSERT_TRUE(enabled(r.entry));
        modalShown.clear();
        chooserAsked.clear();
        shell.opened.clear();
        run(r.entry);
        if (r.modal) {
            ASSERT_EQ(modalShown.size(), 1u);
            EXPECT_EQ(modalShown[0], QString::fromLatin1(r.modal));
        } else {
            EXPECT_TRUE(modalShown.empty());
        }
        if (r.chooser != Text::None) {
            ASSERT_EQ(chooserAsked.size(), 1u);
            EXPECT_EQ(chooserAsked[0].title, GetLangText(r.chooser));
            EXPECT_EQ(chooserAsked[0].filter, GetLangText(Text::BackupFilter));
        } else {
            EXPECT_TRUE(chooserAsked.empty());
        }
        if (r.url) {
            ASSERT_EQ(shell.opened.size(), 1u);
            const std::string expected = r.helpPage ? help + r.url : r.url;
            EXPECT_EQ(shell.opened[0], expected);
            if (r.helpPage) EXPECT_TRUE(fs::is_regular_file(tmp.file("help/") + r.url));
        } else {
            EXPECT_TRUE(shell.opened.empty());
        }
    }
    // The help follows the language: each of the eight opens its own page, which is written in it.
    const char* const pages[] = {"pelmorad32-fr.html", "pelmorad32.html",    "pelmorad32-pt.html",
                                 "pelmorad32-es.html", "pelmorad32-it.html", "pelmorad32-hr.html",
                                 "pelmorad32-sv.html", "pelmorad32-da.html"};
    const char* const langs[] = {"fr", "en", "pt", "es", "it", "hr", "sv", "da"};
    for (int language = 1; language <= kLanguageCount; ++language) {
        LanguageIndex = language;
        const std::string page = pages[language - 1];
        shell.opened.clear();
        run("mAide1");
        ASSERT_EQ(shell.opened.size(), 1u);
        EXPECT_EQ(shell.opened[0], help + page) << language;
        const std::string html = xbtest::ReadFileBytes(tmp.file("help/") + page);
        EXPECT_NE(html.find(std::string("<html lang=\"") + langs[language - 1] + "\""), std::string::npos)
            << page;
        // The page names the main window's entries as the window shows them in that language.
        EXPECT_NE(html.find(GetLangText(Text::BackupDatabase).toStdString()), std::string::npos) << page;
    }
    // Without a browser the user is told where the page is.
    LanguageIndex = 6;
    shell.answer = false;
    ui.messages.clear();
    run("mAide1");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(tmp.file("help/pelmorad32-hr.html")), std::string::npos)
        << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find(GetLangText(Text::BrowserDidNotStart).left(10).toStdString()),
              std::string::npos);
    shell.answer = true;
    LanguageIndex = 2;
    EXPECT_FALSE(form->isHidden());
}

// Every question whose Yes erases, overwrites or saves over data, reached as a user reaches it and left
// to its default button (Enter): each asks with No as its default, and the default leaves the data as it was.
TEST_F(MainWindowCommandsTest, EveryQuestionThatDestroysDataDefaultsToNo) {
    const auto season = xbtest::MakeSeason({4, 2, 6, 7});
    xbtest::FillLeagueTables(tmp.path(), season);
    const std::string oldFile = tmp.path() + "/old.dat";
    {
        xbtest::OldFileModel m;
        m.teams = {{1, "Alpha"}, {2, "Beta"}};
        m.seasons[0][0] = {"Nord", 1, 2, {1, 2}, {}};
        xbtest::WriteOldFile(oldFile, xbtest::EncodeOldFile(m));
    }
    const std::string exported = tmp.path() + "/standings.htm";
    { std::ofstream(exported) << "kept"; }
    start("");
    const QString championship = GetChampionshipName(1), team = GetTeamName(1);
    const auto matchday = [this] {
        Tfsairesultat& w = *fsairesultat();
        run("bresultat");
        w.findChild<QLineEdit*>(QStringLiteral("enumchamp"))->setText(QStringLiteral("1"));
        QTest::mouseClick(w.findChild<QAbstractButton*>(QStringLiteral("bafficher")), Qt::LeftButton);
        w.findChild<ReportGrid*>(QStringLiteral("grilleresultat"))->SetRow(1);
        return &w;
    };
    const std::string before = xbtest::ReadFileBytes(tmp.path() + "/resultat.dbf");
    const struct {
        const char* question;
        Text text;
        std::function<void()> ask;
        std::function<bool()> unchanged;
    } rows[] = {
        {"restore erases the database", Text::EraseAllData, [this] { run("mrecharger"); },
         [this] { return chooserAsked.empty(); }},
        {"import erases the database", Text::EraseAllData,
         [&] {
             Tfimport& w = *fimport();
             w.chooseFile = [&](QWidget*) { return QString::fromStdString(oldFile); };
             w.show();
             QTest::mouseClick(w.findChild<QAbstractButton*>(QStringLiteral("bselect")), Qt::LeftButton);
             QTest::mouseClick(w.findChild<QAbstractButton*>(QStringLiteral("bimport")), Qt::LeftButton);
             w.close();
         },
         [&] { return GetChampionshipName(1) == championship && GetTeamName(1) == team; }},
        {"a team deleted", Text::Deletion,
         [this] {
             run("bgestequipes");
             QTest::mouseClick(fgestequipe()->findChild<QAbstractButton*>(QStringLiteral("bsupprime")),
                               Qt::LeftButton);
             fgestequipe()->close();
         },
         [&] { return GetTeamName(1) == team; }},
        {"a match deleted", Text::DeleteSelectedMatch,
         [&] {
             QTest::mouseClick(matchday()->findChild<QAbstractButton*>(QStringLiteral("bsupprime")), Qt::LeftButton);
         },
         [&] { return xbtest::ReadFileBytes(tmp.path() + "/resultat.dbf") == before; }},
        {"a match saved with goals that do not match its score", Text::None,
         [&] {
             onModal = [](QDialog& d) {
                 QLineEdit* home = d.findChild<QComboBox*>(QStringLiteral("ebeq1"))->lineEdit();
                 home->setText(QString::number(home->text().toInt() + 1));
                 QTest::mouseClick(d.findChild<QAbstractButton*>(QStringLiteral("bok")), Qt::LeftButton);
                 QTest::mouseClick(d.findChild<QAbstractButton*>(QStringLiteral("bannule")), Qt::LeftButton);
             };
             QTest::mouseClick(matchday()->findChild<QAbstractButton*>(QStringLiteral("bmodif")), Qt::LeftButton);
             onModal = {};
             fsairesultat()->close();
         },
         [&] { return xbtest::ReadFileBytes(tmp.path() + "/resultat.dbf") == before; }},
        {"a page written over an existing file", Text::ContinueQuestion,
         [&] {
             Tfgestfic chooser;
             chooser.setDirectory(QString::fromStdString(tmp.path()));
             chooser.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("standings.htm"));
             chooser.Tag = 0;
             ExportFileChoice choice;
             EXPECT_FALSE(chooser.answer(choice));
         },
         [&] { return xbtest::ReadFileBytes(exported) == "kept"; }},
        {"a save over another station's change", Text::ChangedByAnotherStation,
         [] { EXPECT_FALSE(AskSaveOverChanged(QStringLiteral("1:0"), QStringLiteral("x"))); }, [] { return true; }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.question);
        ui.messages.clear();
        ui.boxAnswers.clear();  // every box answered by its default button
        r.ask();
        const auto asked = std::find_if(ui.messages.begin(), ui.messages.end(), [&](const auto& m) {
            return (m.flags & 0x0F) == xb::platform::kMbYesNo;
        });
        ASSERT_NE(asked, ui.messages.end());
        if (r.text != Text::None)
            EXPECT_NE(asked->text.find(GetLangText(r.text).toStdString()), std::string::npos) << asked->text;
        EXPECT_TRUE(asked->flags & xb::platform::kMbDefButton2) << asked->text;
        EXPECT_TRUE(r.unchanged());
    }
}

TEST_F(MainWindowCommandsTest, WithoutAServerTheWebAndDownloadEntriesAreHidden) {
    start("");
    for (const char* name : {"msiteweb", "blivescore", "mtelecharge", "bmaj"}) {
        EXPECT_FALSE(shown(name)) << name;
        EXPECT_FALSE(enabled(name)) << name;
    }
    for (const char* name : {"msauvdonnees", "mrecharger", "mimportkvx127", "mAide1", "mapropos"})
        EXPECT_TRUE(shown(name) && enabled(name)) << name;
}

TEST_F(MainWindowCommandsTest, AboutBoxShowsTheVersionAndItsButtonClosesIt) {
    start("");
    bool sawVersion = false;
    bool closedByButton = false;
    onModal = [&](QDialog& dialog) {
        if (dialog.objectName() != QLatin1String("TAboutBox")) return;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->isVisible() && label->text().contains(QStringLiteral("2.06"))) sawVersion = true;
        auto* ok = dialog.findChild<QAbstractButton*>(QStringLiteral("OKBUTTON"));
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
        closedByButton = !dialog.isVisible();
    };
    run("mapropos");
    EXPECT_TRUE(sawVersion);
    EXPECT_TRUE(closedByButton);
}

TEST_F(MainWindowCommandsTest, QuitButtonAndQuitActionRunTheShutdown) {
    for (const char* name : {"bquit", "aquitter"}) {
        SCOPED_TRACE(name);
        fs::remove(tmp.file("PELMORAD32.PAR"));
        TMainForm* form = start("");
        fgestchamp()->show();
        run(name);
        EXPECT_FALSE(form->isVisible());
        EXPECT_FALSE(fgestchamp()->isVisible()) << "the other windows are closed";
        EXPECT_TRUE(xb::platform::FileExists(tmp.file("PELMORAD32.PAR")));
        EXPECT_EQ(form->packResults().size(), 9u);
        windows.reset();
    }
}

// Every link of the help pages reaches a page that exists and, for a fragment, an element of that id.
TEST(HelpPages, EveryLinkResolves) {
    const QDir dir(QStringLiteral(LM_HELP_DIR));
    const QStringList pages = dir.entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_GE(pages.size(), 2);
    const auto read = [&](const QString& page) {
        QFile f(dir.filePath(page));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << page.toStdString();
        return QString::fromUtf8(f.readAll());
    };
    const QRegularExpression href(QStringLiteral(R"re(href="([^"]*)")re"));
    int links = 0;
    for (const QString& page : pages) {
        const QString text = read(page);
        EXPECT_TRUE(text.contains(QStringLiteral("<meta charset=\"utf-8\">"))) << page.toStdString();
        for (auto it = href.globalMatch(text); it.hasNext();) {
            const QString link = it.next().captured(1);
            ++links;
            const QString target = link.section(QLatin1Char('#'), 0, 0);
            const QString fragment = link.section(QLatin1Char('#'), 1);
            const QString targetPage = target.isEmpty() ? page : target;
            ASSERT_TRUE(dir.exists(targetPage)) << page.toStdString() << " -> " << link.toStdString();
            if (!fragment.isEmpty())
                EXPECT_TRUE(read(targetPage).contains(QStringLiteral("id=\"%1\"").arg(fragment)))
                    << page.toStdString() << " -> " << link.toStdString();
        }
    }
    EXPECT_GT(links, 40);
}

}  // namespace
}  // namespace app
