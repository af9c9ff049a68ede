// The team and player windows driven offscreen by object name on the nine league tables of a seeded
// season: names, squads gathered while creating, deletes with everything that refers to the number,
// every player field read back by the window and by the Perl peer, locks held by another process, and two
// stations creating teams at once.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QRadioButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <set>

#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/settings/app_files.h"
#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_code_page.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/modal_seam.h"
#include "engine/core/errors.h"
#include "app/shell/qt/pick_list.h"
#include "engine/dataset/engine_start.h"
#include "platform/codepage.h"
#include "platform/locale_facts.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/gui_child.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

using Row = std::map<std::string, std::string>;

class MasterWindowTest : public xbtest::EngineTest {
protected:
    MasterWindowTest() {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
        CurrentSeasonYear = 2026;
        LanguageIndex = 1;
    }
    ~MasterWindowTest() override {
        if (m_team) m_team->close();
        if (m_player) m_player->close();
        fliste()->close();
    }

    std::vector<Row> rows(const std::string& file, const std::function<bool(xb::TXbDbf&)>& keep = {}) {
        LeagueTableScope t("testrows", file);
        std::vector<Row> out;
        for (t->First(); !t->Eof(); t->Next()) {
            if (keep && !keep(*t)) continue;
            Row row;
            for (int i = 0; i < t->FieldCount(); ++i)
                row[QString::fromStdString(t->Fields(i).FieldName()).toLower().toStdString()] =
                    t->Fields(i).GetAsString();
            out.push_back(row);
        }
        return out;
    }
    static int num(const Row& r, const char* field) {
        return std::stoi("0" + QString::fromStdString(r.at(field)).trimmed().toStdString());
    }

    template <typename W>
    W& shown(std::unique_ptr<W>& w) {
        if (!w) w = std::make_unique<W>();
        if (!w->isVisible()) {
            w->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        }
        return *w;
    }
    Tfgestequipe& team() { return shown(m_team); }
    Tfgestjoueur& player() { return shown(m_player); }

    template <typename T>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static void click(QWidget& w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    static QString text(QWidget& w, const char* name) { return child<QLineEdit>(w, name)->text(); }
    // Types text key by key; a character QTest has no key for is sent as the text of a key event.
    static void keys(QWidget* target, const QString& s) {
        for (const QChar c : s) {
            if (c.unicode() < 128) {
                QTest::keyClicks(target, QString(c));
                continue;
            }
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(target, &press);
            QApplication::sendEvent(target, &release);
        }
    }
    static void type(QWidget& w, const char* name, const QString& s) {
        QLineEdit* e = child<QLineEdit>(w, name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        keys(e, s);
    }
    static QStringList listed(QWidget& w) {
        QStringList out;
        auto* l = child<QListWidget>(w, "ljoueurequipe");
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    // Shows the player numbered n through the pick list.
    static void pickPlayer(Tfgestjoueur& w, int n) {
        ModalDriverScope driver(pickNumber(n));
        click(w, "inom");
        ASSERT_EQ(text(w, "enumero").toInt(), n);
    }
    // Browses the window to the record numbered n.
    static void browseTo(BrowseWindow& w, int n) {
        w.GoTo(1);
        for (int i = 0; i < 400 && text(w, "enumero").toInt() != n; ++i) w.GoTo(3);
        ASSERT_EQ(text(w, "enumero").toInt(), n);
    }
    // A pick list script that double-clicks the row of the number given.
    static ModalDriver pickNumber(int number) {
        return [number](QDialog& d) {
            auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
            for (int r = 0; r < grid->model()->rowCount(); ++r) {
                if (grid->model()->index(r, 0).data().toString().trimmed().toInt() != number) continue;
                const QModelIndex i = grid->model()->index(r, 1);
                grid->scrollTo(i);
                const QPoint at = grid->visualRect(i).center();
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
                return;
            }
            ADD_FAILURE() << "no row " << number << " of " << grid->model()->rowCount();
        };
    }
    void addPlayer(QWidget& w, int number) {
        ModalDriverScope driver(pickNumber(number));
        click(w, "bajoutejoueur");
    }
    std::vector<std::string> messages() {
        std::vector<std::string> out;
        for (const auto& m : ui.messages) out.push_back(m.caption + "|" + m.text);
        ui.messages.clear();
        return out;
    }
    std::string bytes(const std::string& file) { return xbtest::ReadFileBytes(tmp.file(file)); }
    // The engine as a station started in that locale sees it.
    void inLocale(const char* locale) {
        const xb::platform::LocaleFacts f = xb::platform::LocaleFactsFromName(locale);
        engine().settings.ansiCodePage = f.ansiCodePage;
        engine().settings.oemCodePage = f.oemCodePage;
    }
    static void paste(QLineEdit* e, const QString& s) {
        QApplication::clipboard()->setText(s);
        e->selectAll();
        e->paste();
    }

    xbtest::ScriptedUi ui;
    std::unique_ptr<Tfgestequipe> m_team;
    std::unique_ptr<Tfgestjoueur> m_player;
};

const std::string kRefused = "Validation impossible|";
// Indexes written key by key: nodes need not be full as after a bulk build.
const xbtest::MdxCheckOptions kWritten{false, 0};

TEST_F(MasterWindowTest, TeamNamesAreCheckedAndSquadsChosenWhileCreatingWaitForOk) {
    Tfgestequipe& w = team();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Gestion des équipes"));
    browseTo(w, 4);
    const QString own = text(w, "enom");
    const std::string equipe = bytes("equipe.dbf");

    // Its own name passes; another team's is refused and writes nothing; so is an empty name.
    click(w, "bmodif");
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_TRUE(messages().empty());
    for (const QString& name :
         {QStringLiteral("Stade Brestois"), QStringLiteral(" Stade Brestois  "), QStringLiteral("   ")}) {
        SCOPED_TRACE(name.toStdString());
        click(w, "bmodif");
        type(w, "enom", name);
        click(w, "bok");
        EXPECT_EQ(w.mode(), 'M');
        const bool empty = name.trimmed().isEmpty();
        EXPECT_EQ(messages(),
                  std::vector<std::string>{kRefused + (empty ? "Nom ?" : "L équipe existe déjà")});
        click(w, "bannule");
        EXPECT_EQ(text(w, "enom"), own);
    }
    EXPECT_EQ(bytes("equipe.dbf"), equipe);

    // A 21st character cannot be typed.
    click(w, "bnouveau");
    const QString proposed = text(w, "enumero");
    EXPECT_EQ(proposed, "21");
    type(w, "enom", "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(text(w, "enom"), "ABCDEFGHIJKLMNOPQRST");

    // Players chosen while creating are listed, and follow the season; number and name stay.
    addPlayer(w, 101);
    addPlayer(w, 202);
    EXPECT_EQ(listed(w).size(), 2);
    click(w, "banneepre");
    EXPECT_EQ(text(w, "enumero"), proposed);
    EXPECT_EQ(text(w, "enom"), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_TRUE(listed(w).isEmpty());
    addPlayer(w, 303);
    click(w, "banneesui");
    EXPECT_EQ(listed(w).size(), 2);

    // Cancel writes nothing: no squad row for the number proposed.
    click(w, "bannule");
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(text(w, "enumero").toInt(), 4);
    auto squadOf = [&](int n) {
        std::set<std::pair<int, int>> out;
        for (const Row& r : rows("joueq.dbf", [&](xb::TXbDbf& t) { return t.FieldGetInt("NUEQ") == n; }))
            out.insert({num(r, "annee"), num(r, "nujo")});
        return out;
    };
    EXPECT_TRUE(squadOf(21).empty());
    EXPECT_EQ(bytes("equipe.dbf"), equipe);

    // OK writes the team, then its squad rows under the number given.
    click(w, "bnouveau");
    type(w, "enom", QString::fromUtf8("  Nouvelle Équipe "));
    addPlayer(w, 101);
    addPlayer(w, 202);
    click(w, "banneepre");
    addPlayer(w, 303);
    click(w, "banneesui");
    click(w, "bok");
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(text(w, "enumero"), "21");
    EXPECT_EQ(text(w, "enom"), QString::fromUtf8("Nouvelle Équipe"));
    EXPECT_EQ(squadOf(21), (std::set<std::pair<int, int>>{{2026, 101}, {2026, 202}, {2025, 303}}));
    EXPECT_EQ(listed(w).size(), 2);
    EXPECT_EQ(EntryNumber(listed(w).value(0)) + EntryNumber(listed(w).value(1)), 303);
    EXPECT_TRUE(child<QAbstractButton>(w, "bajoutejoueur")->isHidden());

    // In Modify the squad is written at once; a player is taken out by his entry.
    click(w, "bmodif");
    addPlayer(w, 404);
    EXPECT_EQ(squadOf(21).count({2026, 404}), 1u);
    auto* list = child<QListWidget>(w, "ljoueurequipe");
    for (int i = 0; i < list->count(); ++i)
        if (EntryNumber(list->item(i)->text()) == 101) list->setCurrentRow(i);
    click(w, "bsuppjoueur");
    click(w, "bok");
    EXPECT_EQ(squadOf(21), (std::set<std::pair<int, int>>{{2026, 202}, {2026, 404}, {2025, 303}}));
    const auto report = xbtest::CheckMdxFile(tmp.file("joueq.mdx"), kWritten);
    EXPECT_TRUE(report.ok()) << report.text();
}

// Another station renames the team this window is modifying: OK says so with the name stored now; No
// shows that name in place of the typed one, to be changed from there; Yes saves over it. A team deleted
// meanwhile is said gone and not brought back.
TEST_F(MasterWindowTest, ATeamRenamedByAnotherStationIsShownAndSavedOverOnlyWhenAsked) {
    Tfgestequipe& w = team();
    auto renameElsewhere = [&](const char* name) {
        LeagueTableScope t("other", "equipe.dbf", "NUMERO");
        ASSERT_TRUE(RenameTeam(*t, 4, QString::fromLatin1(name)));
    };
    auto storedName = [&] {
        return QString::fromStdString(
            rows("equipe.dbf", [](xb::TXbDbf& t) { return t.FieldGetInt("NUEQUIPE") == 4; })
                .at(0)
                .at("nomequipe"));
    };
    const std::string changed = BuiltInText(Text::ChangedByAnotherStation, 1).toStdString();
    browseTo(w, 4);
    click(w, "bmodif");
    type(w, "enom", "MINE");
    renameElsewhere("THEIRS");
    ui.boxAnswers = {xb::platform::kIdNo};
    click(w, "bok");
    std::vector<std::string> said = messages();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(changed), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("THEIRS"), std::string::npos) << said[0];
    EXPECT_EQ(w.mode(), 'M');
    EXPECT_EQ(text(w, "enom"), "THEIRS");
    EXPECT_EQ(storedName(), "THEIRS");
    type(w, "enom", "MINE");
    click(w, "bok");
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(storedName(), "MINE");

    click(w, "bmodif");
    type(w, "enom", "OURS");
    renameElsewhere("OTHER");
    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bok");
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_EQ(storedName(), "OURS");

    click(w, "bmodif");
    type(w, "enom", "GONE");
    ASSERT_TRUE(DeleteTeam(4));
    click(w, "bok");
    said = messages();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(BuiltInText(Text::RecordNoLongerStored, 1).toStdString()), std::string::npos);
    EXPECT_EQ(w.mode(), 'V');
    EXPECT_TRUE(rows("equipe.dbf", [](xb::TXbDbf& t) { return t.FieldGetInt("NUEQUIPE") == 4; }).empty());
}

// A delete checks the row as a save does: a team or player another station renamed since the window
// showed it is deleted only after the user saw the stored name and said so (No, the default, keeps it and
// shows it as stored); one deleted meanwhile is said gone.
TEST_F(MasterWindowTest, ADeleteAsksWhenAnotherStationChangedTheRowSinceItWasShown) {
    const int playerNumber = num(rows("joueur.dbf").front(), "nujoueur");
    struct Case {
        const char* what;
        std::function<BrowseWindow&()> window;
        int number;
        std::function<void(const QString&)> renameElsewhere;
        std::function<bool()> stored;
    };
    const Case cases[] = {
        {"team", [&]() -> BrowseWindow& { return team(); }, 4,
         [](const QString& name) {
             LeagueTableScope t("other", "equipe.dbf", "NUMERO");
             ASSERT_TRUE(RenameTeam(*t, 4, name));
         },
         [&] { return !rows("equipe.dbf", [](xb::TXbDbf& t) { return t.FieldGetInt("NUEQUIPE") == 4; }).empty(); }},
        {"player", [&]() -> BrowseWindow& { return player(); }, playerNumber,
         [&](const QString& name) {
             LeagueTableScope t("other", "joueur.dbf", "NU");
             ASSERT_TRUE(t->FindExact(NumberKey({{playerNumber, 5}})));
             PlayerRecord p = ReadPlayer(*t);
             p.name = name;
             ASSERT_TRUE(SavePlayer(*t, p));
         },
         [&] {
             return !rows("joueur.dbf", [&](xb::TXbDbf& t) { return t.FieldGetInt("NUJOUEUR") == playerNumber; })
                         .empty();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BrowseWindow& w = c.window();
        browseTo(w, c.number);
        c.renameElsewhere(QStringLiteral("THEIRS"));
        ui.messages.clear();
        ui.boxAnswers = {xb::platform::kIdYes};  // the deletion question; the next box by its default
        click(w, "bsupprime");
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_NE(ui.messages[1].text.find(BuiltInText(Text::ChangedByAnotherStation, 1).toStdString()),
                  std::string::npos);
        EXPECT_NE(ui.messages[1].text.find("THEIRS"), std::string::npos) << ui.messages[1].text;
        EXPECT_TRUE(ui.messages[1].flags & xb::platform::kMbDefButton2);
        EXPECT_TRUE(c.stored());
        EXPECT_EQ(text(w, "enom"), "THEIRS");
        // Seen as stored, it is deleted at the next Yes without another question.
        ui.messages.clear();
        ui.boxAnswers = {xb::platform::kIdYes};
        click(w, "bsupprime");
        EXPECT_EQ(ui.messages.size(), 1u);
        EXPECT_FALSE(c.stored());
    }
    // Deleted by another station after it was shown: said gone, nothing else.
    Tfgestequipe& w = team();
    browseTo(w, 5);
    ASSERT_TRUE(DeleteTeam(5));
    ui.messages.clear();
    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bsupprime");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, BuiltInText(Text::RecordNoLongerStored, 1).toStdString());
}

TEST_F(MasterWindowTest, TeamDeleteLeavesNothingReferringToItAndCompletesWhenRunAgain) {
    // The team of the first goal row: another station holds that row's lock at the first delete.
    const int victim = num(rows("but.dbf").front(), "nueq1");
    auto refers = [&](const std::string& file, const Row& r) {
        if (file == "equipe.dbf" || file == "eqchamp.dbf") return num(r, "nuequipe") == victim;
        if (file == "joueq.dbf") return num(r, "nueq") == victim;
        if (file == "resultat.dbf" || file == "but.dbf" || file == "carton.dbf")
            return num(r, "nueq1") == victim || num(r, "nueq2") == victim;
        return false;
    };
    const std::vector<std::string> files = {"champan.dbf",  "champion.dbf", "eqchamp.dbf",
                                            "resultat.dbf", "equipe.dbf",   "joueur.dbf",
                                            "joueq.dbf",    "but.dbf",      "carton.dbf"};
    std::map<std::string, std::vector<Row>> others;
    for (const std::string& f : files) {
        for (const Row& r : rows(f)) {
            if (refers(f, r)) continue;
            others[f].push_back(r);
        }
    }

    Tfgestequipe& w = team();
    browseTo(w, victim);
    const QString name = text(w, "enom");
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    ASSERT_EQ(other.ask("hold but.dbf rlock"), "1");
    ui.boxAnswers = {xb::platform::kIdYes};  // the deletion question (its default is No)
    click(w, "bsupprime");
    EXPECT_EQ(ui.messages.front().caption, "Veuillez confirmer");
    EXPECT_EQ(ui.messages.front().text, "Suppression");
    ui.messages.erase(ui.messages.begin());
    EXPECT_EQ(messages(), std::vector<std::string>{kRefused + GetLangText(Text::LockFailed).toStdString()});
    EXPECT_EQ(text(w, "enumero").toInt(), victim);
    EXPECT_EQ(text(w, "enom"), name);
    EXPECT_FALSE(child<QAbstractButton>(w, "bsupprime")->isHidden());

    EXPECT_EQ(other.ask("release"), "0");
    ui.boxAnswers = {xb::platform::kIdYes};  // the deletion question (its default is No)
    click(w, "bsupprime");
    EXPECT_EQ(messages().size(), 1u);  // the question alone
    EXPECT_NE(text(w, "enumero").toInt(), victim);
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        const std::vector<Row> now = rows(f);
        for (const Row& r : now) EXPECT_FALSE(refers(f, r));
        EXPECT_EQ(now, others[f]);
        if (f == "champan.dbf" || f == "champion.dbf" || f == "joueur.dbf") continue;  // not written
        const std::string mdx = f.substr(0, f.size() - 4) + ".mdx";
        const auto report = xbtest::CheckMdxFile(tmp.file(mdx), kWritten);
        EXPECT_TRUE(report.ok()) << report.text();
    }
    EXPECT_EQ(other.finish(), 0);
}

TEST_F(MasterWindowTest, AllTeamsDeletedLeavesNothingToModify) {
    for (int i = 0; i < 20; ++i) {
        Tfgestequipe& w = team();
        ASSERT_FALSE(child<QAbstractButton>(w, "bsupprime")->isHidden());
        ui.boxAnswers = {xb::platform::kIdYes};  // the deletion question (its default is No)
        click(w, "bsupprime");
    }
    Tfgestequipe& w = team();
    EXPECT_TRUE(child<QAbstractButton>(w, "bmodif")->isHidden());
    EXPECT_TRUE(child<QAbstractButton>(w, "bsupprime")->isHidden());
    EXPECT_FALSE(child<QAbstractButton>(w, "bsuivant")->isEnabled());
    EXPECT_EQ(text(w, "enumero"), "");
    EXPECT_TRUE(rows("equipe.dbf").empty());
    EXPECT_TRUE(rows("joueq.dbf").empty());
    // The first team of an empty table is number 1.
    click(w, "bnouveau");
    EXPECT_EQ(text(w, "enumero"), "1");
}

// The player rows through the Perl peer, in record order: number|name|date|position|nation|memo, the
// memo's line ends written "/".
std::string PerlPlayers(const std::string& path) {
    int st = 0;
    xbtest::RunCommand("perl -MXBase -e 1 2>/dev/null", &st);
    if (st != 0) return "no Perl XBase";
    const std::string script =
        "use XBase; use Encode; binmode STDOUT, ':utf8'; "
        "my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr; "
        "for my $i (0 .. $t->last_record) { "
        "  my ($del, @v) = $t->get_record($i, qw(nujoueur nomjoueur datenais poste nation infodivers)); "
        "  next if $del || $v[0] < 2015; "
        "  $_ = decode('cp850', defined $_ ? $_ : 'undef') for @v; $v[5] =~ s/\\r\\n/\\//g; "
        "  print join('|', @v), \"\\n\"; }";
    return xbtest::RunCommand("perl -e " + xbtest::ShellQuote(script) + " " + xbtest::ShellQuote(path) +
                              " 2>&1");
}

TEST_F(MasterWindowTest, EveryPlayerFieldIsStoredAndReadBackByTheWindowAndThePeer) {
    Tfgestjoueur& w = player();
    EXPECT_EQ(w.windowTitle(), "Joueur");
    auto* date = child<QLineEdit>(w, "edate");
    auto* position = child<QComboBox>(w, "combposte");
    auto* nation = child<QComboBox>(w, "enation");
    auto* memo = child<QPlainTextEdit>(w, "memdivers");
    EXPECT_EQ(nation->count(), 192);
    EXPECT_EQ(nation->itemText(0), "Afghanistan ");
    EXPECT_EQ(nation->itemText(191), "Zimbabwe");
    EXPECT_EQ(position->itemText(0), "GOAL");

    struct Case {
        QString name, date;  // date: digits typed, "" none
        int position;        // -1: cleared with Delete
        int nationItem;      // -1: typed below
        QString nationTyped;
        QStringList memo;
        std::string stored;  // as the peer reads it: text fields without the blanks that pad them
    } cases[] = {
        {QString::fromUtf8("Zoé Ñandú"),
         "01021990",
         0,
         0,
         "",
         {QString::fromUtf8("première"), "", QString::fromUtf8("à la fin")},
         "2015|Zoé Ñandú|01/02/1990|0|Afghanistan|première//à la fin"},
        {"Bleu Sans Date", "", 1, -1, "  Perou  ", {}, "2016|Bleu Sans Date|  /  /|1|  Perou|undef"},
        {"Milieu Trois", "3112", 2, 191, "", {"une ligne"}, "2017|Milieu Trois|31/12/|2|Zimbabwe|une ligne"},
        {"Avant Centre", "05061988", 3, 27, "", {"", "deux"}, "2018|Avant Centre|05/06/1988|3|Brasil|/deux"},
        {"Sans Poste", "", -1, -1, "", {"x"}, "2019|Sans Poste|  /  /|-1||x"},
    };
    std::string want;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        click(w, "bnouveau");
        EXPECT_EQ(date->displayText(), "  /  /    ");
        EXPECT_EQ(position->currentIndex(), 0);
        type(w, "enom", c.name);
        date->setFocus();
        date->home(false);
        QTest::keyClicks(date, c.date);
        if (c.position >= 0) {
            position->setCurrentIndex(c.position);
        } else {
            QTest::keyClick(position, Qt::Key_Delete);
        }
        if (c.nationItem >= 0) {
            nation->setCurrentIndex(c.nationItem);
        } else {
            QTest::keyClicks(nation->lineEdit(), c.nationTyped);
        }
        memo->setFocus();
        for (int i = 0; i < c.memo.size(); ++i) {
            if (i > 0) QTest::keyClick(memo, Qt::Key_Return);
            keys(memo, c.memo[i]);
        }
        click(w, "bok");
        EXPECT_TRUE(messages().empty());
        EXPECT_EQ(w.mode(), 'V');
        want += c.stored + "\n";
    }
    // The window reads each back as it was given.
    for (int n = 2015; n <= 2019; ++n) {
        const Case& c = cases[n - 2015];
        SCOPED_TRACE(n);
        pickPlayer(w, n);
        EXPECT_EQ(text(w, "enom"), c.name);
        EXPECT_EQ(position->currentIndex(), c.position);
        EXPECT_EQ(position->currentText(), c.position < 0 ? "" : position->itemText(c.position));
        EXPECT_EQ(memo->toPlainText().split('\n'), c.memo.isEmpty() ? QStringList{""} : c.memo);
    }
    // The peer reads the table once the window has closed it.
    w.close();
    EXPECT_EQ(PerlPlayers(tmp.file("joueur.dbf")), want);
    player();

    // The position survives another window's activation and this one's, and a Modify.
    pickPlayer(w, 2017);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&team(), &activate);
    QApplication::sendEvent(&w, &activate);
    EXPECT_EQ(position->currentIndex(), 2);
    click(w, "bmodif");
    click(w, "bok");
    pickPlayer(w, 2019);
    QApplication::sendEvent(&w, &activate);
    click(w, "bmodif");
    click(w, "bok");
    w.close();
    EXPECT_EQ(PerlPlayers(tmp.file("joueur.dbf")), want);
    player();
    pickPlayer(w, 2019);

    // A name held by another player is refused, an own one passes.
    click(w, "bmodif");
    type(w, "enom", "  Zoé Ñandú ");
    click(w, "bok");
    EXPECT_EQ(messages(), std::vector<std::string>{kRefused + "Le joueur existe déjà"});
    type(w, "enom", "Sans Poste ");
    click(w, "bok");
    EXPECT_EQ(w.mode(), 'V');

    // After a pick, browsing goes on in name order from the player picked.
    int picked = 1207;
    {
        ModalDriverScope driver(pickNumber(picked));
        click(w, "inom");
    }
    EXPECT_EQ(text(w, "enumero").toInt(), picked);
    LeagueTableScope byName("testnames", "joueur.dbf", "NOM");
    byName->SetOrderToTag("NU");
    ASSERT_TRUE(byName->Find(PadNum(picked, 5)));
    byName->SetOrderToTag("NOM");
    byName->Skip(1);
    const QString following = QString::fromStdString(byName->FieldGetStr("NOMJOUEUR")).trimmed();
    click(w, "bsuivant");
    EXPECT_EQ(text(w, "enom"), following);
    EXPECT_NE(text(w, "enumero").toInt(), picked);
}

// A note whose pointer leads past the end of the memo file: the window says the note is damaged where it
// stands (no halt, with trapping on as in the program), keeps the pointer while other fields change, and
// takes a new note in its place; the old bytes stay in the memo file.
TEST_F(MasterWindowTest, ADamagedNoteIsShownAsDamagedAndANewOneTakesItsPlace) {
    Tfgestjoueur& w = player();
    auto* memo = child<QPlainTextEdit>(w, "memdivers");
    click(w, "bnouveau");
    type(w, "enom", "Note Perdue");
    memo->setFocus();
    keys(memo, "ancienne note");
    click(w, "bok");
    const int number = text(w, "enumero").toInt();
    w.close();

    // The new player is the last row; his memo field follows 48 bytes of flag and fields.
    auto memoField = [&] {
        const std::string t = bytes("joueur.dbf");
        const auto* h = reinterpret_cast<const unsigned char*>(t.data());
        const size_t count = h[4] | h[5] << 8 | h[6] << 16, hs = h[8] | h[9] << 8, rs = h[10] | h[11] << 8;
        return hs + (count - 1) * rs + 48;
    };
    std::string table = bytes("joueur.dbf");
    table.replace(memoField(), 10, "     99999");
    xbtest::WriteFileBytes(tmp.file("joueur.dbf"), table);
    const std::string oldMemo = bytes("joueur.dbt");

    xb::SetErrorTrap(true);
    xb::SetHaltHandler([](const std::string& message, uint16_t) { ADD_FAILURE() << "halted: " << message; });
    player();
    pickPlayer(w, number);
    EXPECT_EQ(memo->toPlainText(), QString());
    EXPECT_EQ(memo->placeholderText(), BuiltInText(Text::DamagedNotePlaceholder, 1));
    click(w, "bmodif");
    type(w, "enom", "Note Perdue Deux");
    click(w, "bok");
    EXPECT_EQ(bytes("joueur.dbf").substr(memoField(), 10), "     99999");

    click(w, "bmodif");
    memo->setFocus();
    keys(memo, "nouvelle note");
    click(w, "bok");
    EXPECT_TRUE(messages().empty());
    pickPlayer(w, number);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("nouvelle note"));
    EXPECT_EQ(memo->placeholderText(), QString());
    EXPECT_EQ(bytes("joueur.dbt").substr(0, oldMemo.size()).substr(512), oldMemo.substr(512));
    xb::SetErrorTrap(false);
    xb::SetHaltHandler(nullptr);
}

TEST_F(MasterWindowTest, PlayerDeleteTakesHisGoalsCardsAndSquadsAndFreesTheNumber) {
    // The highest-numbered player who scored; the players above him go first so that his number is the
    // one the next player gets.
    int scorer = 0;
    for (const Row& r : rows("but.dbf")) scorer = std::max(scorer, num(r, "nujoueur"));
    for (const Row& r : rows("joueur.dbf"))
        if (num(r, "nujoueur") > scorer) ASSERT_TRUE(DeletePlayer(num(r, "nujoueur")));
    auto of = [&](const char* file, const char* field) {
        return rows(file, [&](xb::TXbDbf& t) { return t.FieldGetInt(field) == scorer; }).size();
    };
    ASSERT_GT(of("but.dbf", "NUJOUEUR"), 0u);
    ASSERT_GT(of("joueq.dbf", "NUJO"), 0u);
    const size_t others = rows("but.dbf").size() - of("but.dbf", "NUJOUEUR");

    Tfgestjoueur& w = player();
    pickPlayer(w, scorer);
    ui.boxAnswers = {xb::platform::kIdYes};  // the deletion question (its default is No)
    click(w, "bsupprime");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Suppression\nToutes les données relatives à ce joueur seront détruites");
    ui.messages.clear();
    EXPECT_NE(text(w, "enumero").toInt(), scorer);
    EXPECT_EQ(of("joueur.dbf", "NUJOUEUR"), 0u);
    EXPECT_EQ(of("but.dbf", "NUJOUEUR"), 0u);
    EXPECT_EQ(of("carton.dbf", "NUJOUEUR"), 0u);
    EXPECT_EQ(of("joueq.dbf", "NUJO"), 0u);
    EXPECT_EQ(rows("but.dbf").size(), others);

    click(w, "bnouveau");
    type(w, "enom", "Nouveau Venu");
    click(w, "bok");
    EXPECT_EQ(text(w, "enumero").toInt(), scorer);
    EXPECT_EQ(of("but.dbf", "NUJOUEUR"), 0u);
    EXPECT_EQ(GetPlayerName(scorer), "Nouveau Venu");
}

TEST_F(MasterWindowTest, ARefusedAppendLockKeepsEditModeAndEveryByte) {
    struct Case {
        const char* table;
        std::vector<std::string> files;
    } cases[] = {{"equipe.dbf", {"equipe.dbf", "equipe.mdx"}},
                 {"joueur.dbf", {"joueur.dbf", "joueur.mdx", "joueur.dbt"}}};
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        BrowseWindow& w = std::string(c.table) == "equipe.dbf" ? static_cast<BrowseWindow&>(team())
                                                               : static_cast<BrowseWindow&>(player());
        ASSERT_EQ(other.ask(std::string("hold ") + c.table + " alock"), "1");
        std::map<std::string, std::string> before;
        for (const auto& f : c.files) before[f] = bytes(f);
        const QString shown = text(w, "enom");
        const int shownNumber = text(w, "enumero").toInt();
        click(w, "bnouveau");
        const QString proposed = text(w, "enumero");
        type(w, "enom", "Station Deux");
        click(w, "bok");
        EXPECT_EQ(messages(),
                  std::vector<std::string>{kRefused + GetLangText(Text::LockFailed).toStdString()});
        EXPECT_EQ(w.mode(), 'C');
        EXPECT_FALSE(child<QAbstractButton>(w, "bok")->isHidden());
        EXPECT_EQ(text(w, "enom"), "Station Deux");
        for (const auto& f : c.files) EXPECT_EQ(bytes(f), before[f]) << f;
        // The lock released, OK stores it under the number proposed; the shown record was not touched.
        EXPECT_EQ(other.ask("release"), "0");
        click(w, "bok");
        EXPECT_EQ(w.mode(), 'V');
        EXPECT_EQ(text(w, "enumero"), proposed);
        EXPECT_EQ(text(w, "enom"), "Station Deux");
        const bool teams = std::string(c.table) == "equipe.dbf";
        EXPECT_EQ(teams ? GetTeamName(shownNumber) : GetPlayerName(shownNumber), shown);
    }
    EXPECT_EQ(other.finish(), 0);
}

TEST_F(MasterWindowTest, TwoStationsCreateTeamsWithSquadsAtOnce) {
    std::map<std::string, std::set<int>> wanted;  // team name -> squad
    auto station = [&](int k) {
        xbtest::GuiChild child(tmp.path(), 2026);
        std::vector<std::string> answers;
        for (int i = 1; i <= 20; ++i) {
            const int a = i * 100 + 1 + k, b = i * 100 + 3 + k;
            answers.push_back(child.ask("team " + std::to_string(a) + "," + std::to_string(b) + " S" +
                                        std::to_string(k) + " T" + std::to_string(i)));
        }
        child.ask("quit");
        child.finish();
        return answers;
    };
    for (int k = 0; k < 2; ++k)
        for (int i = 1; i <= 20; ++i)
            wanted["S" + std::to_string(k) + " T" + std::to_string(i)] = {i * 100 + 1 + k, i * 100 + 3 + k};
    auto first = std::async(std::launch::async, station, 0);
    auto second = std::async(std::launch::async, station, 1);
    std::vector<std::string> answers = first.get();
    for (const std::string& a : second.get()) answers.push_back(a);
    std::set<int> numbers;
    for (const std::string& a : answers) {
        EXPECT_EQ(a.find_first_not_of("0123456789", 2), std::string::npos) << a;
        EXPECT_EQ(a.substr(0, 2), "V ") << a;
        numbers.insert(std::atoi(a.c_str() + 2));
    }
    EXPECT_EQ(numbers.size(), 40u);
    std::map<int, std::string> names;
    for (const Row& r : rows("equipe.dbf"))
        names[num(r, "nuequipe")] = QString::fromStdString(r.at("nomequipe")).trimmed().toStdString();
    for (int n : numbers) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(wanted.count(names[n]));
        std::set<int> squad;
        for (const Row& r : rows("joueq.dbf", [&](xb::TXbDbf& t) { return t.FieldGetInt("NUEQ") == n; })) {
            EXPECT_EQ(num(r, "annee"), 2026);
            squad.insert(num(r, "nujo"));
        }
        EXPECT_EQ(squad, wanted[names[n]]);
    }
    for (const char* mdx : {"equipe.mdx", "joueq.mdx"}) {
        const auto report = xbtest::CheckMdxFile(tmp.file(mdx), kWritten);
        EXPECT_TRUE(report.ok()) << mdx << report.text();
    }
}

}  // namespace
}  // namespace app

namespace app {
namespace {

// Both windows as a person sees them: every caption fits its control. With LM_SHOT_DIR set, pictures of
// the team window with a squad and the player window with date, nation and memo are saved there.
TEST_F(MasterWindowTest, CaptionsFitAndPicturesForAPerson) {
    Tfgestequipe& t = team();
    browseTo(t, 3);
    Tfgestjoueur& p = player();
    click(p, "bnouveau");
    type(p, "enom", QString::fromUtf8("Gaëtan Lefèvre"));
    child<QLineEdit>(p, "edate")->home(false);
    QTest::keyClicks(child<QLineEdit>(p, "edate"), "14071998");
    child<QComboBox>(p, "combposte")->setCurrentIndex(2);
    child<QComboBox>(p, "enation")->setCurrentIndex(63);
    keys(child<QPlainTextEdit>(p, "memdivers"), QString::fromUtf8("Formé au club."));
    QTest::keyClick(child<QPlainTextEdit>(p, "memdivers"), Qt::Key_Return);
    QTest::keyClick(child<QPlainTextEdit>(p, "memdivers"), Qt::Key_Return);
    keys(child<QPlainTextEdit>(p, "memdivers"), QString::fromUtf8("Prêté en 2025 à Évian."));
    click(p, "bok");
    EXPECT_EQ(child<QComboBox>(p, "enation")->currentText(), "France");
    for (QWidget* w : std::initializer_list<QWidget*>{&t, &p}) {
        w->resize(w->sizeHint().expandedTo(w->size()));
        QApplication::processEvents();
        for (auto* b : w->findChildren<QAbstractButton*>())
            if (b->isVisible())
                EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()))
                    << b->objectName().toStdString();
    }
    EXPECT_EQ(listed(t).size(), 14);
    const QByteArray dir = qgetenv("LM_SHOT_DIR");
    if (dir.isEmpty()) return;
    EXPECT_TRUE(t.grab().save(QString::fromLocal8Bit(dir) + "/team.png"));
    EXPECT_TRUE(p.grab().save(QString::fromLocal8Bit(dir) + "/player.png"));
}

// The names of a table's field as dbfread decodes them, by the code page the table's header names.
std::string PeerNames(const std::string& path, const char* field) {
    int st = 0;
    xbtest::RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &st);
    if (st != 0) return "no dbfread";
    const std::string script = std::string("import sys\nfrom dbfread import DBF\n") +
                               "for r in DBF(sys.argv[1], char_decode_errors='strict'):\n"
                               "    print(r['" + field + "'])\n";
    return xbtest::RunCommand("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c " + xbtest::ShellQuote(script) + " " +
                              xbtest::ShellQuote(path) + " 2>&1");
}

// A first start on an English machine with Croatian chosen: the new database takes code page 852, and the
// names typed and pasted into the player and team windows are stored as its bytes, shown back, found by the
// pick list and read by the peer; a station in another locale shows them the same.
TEST_F(MasterWindowTest, ACroatianSessionOnAnEnglishMachineKeepsEveryLetter) {
    const std::string dir = tmp.file("hr");
    ASSERT_TRUE(std::filesystem::create_directory(dir));
    SetAppDir(QString::fromStdString(dir + "/"));
    inLocale("C");
    {
        Tfsysteme firstStart;  // the nine tables made, empty, in the locale's page
        CloseSystemTables(firstStart);
    }
    {
        ModalDriverScope driver([](QDialog& d) {
            auto* choice = qobject_cast<TForm10*>(&d);
            ASSERT_NE(choice, nullptr);
            QTest::mouseClick(choice->languageButton(kCroatianLanguage), Qt::LeftButton);
            choice->bokClick();
        });
        TForm10 choice;
        ShowModal(choice);
    }
    ASSERT_EQ(LanguageIndex, kCroatianLanguage);
    EXPECT_EQ(SettleLeagueCodePage(LanguageIndex), 852);
    for (const LeagueTable& t : LeagueTables())
        EXPECT_EQ(static_cast<uint8_t>(xbtest::ReadFileBytes(dir + "/" + t.file).at(29)), 0x64) << t.file;

    const QString player = QStringLiteral("Ćiro Blažević"), notes = QStringLiteral("Đakovo, Čakovec");
    const QStringList teams = {QStringLiteral("Đurđevac"), QStringLiteral("Šibenik")};
    Tfgestjoueur& p = this->player();
    click(p, "bnouveau");
    type(p, "enom", player);
    auto* memo = child<QPlainTextEdit>(p, "memdivers");
    memo->setFocus();
    keys(memo, notes);
    click(p, "bok");
    // Every country the list offers is one the database can store: "Haïti" reads "Haiti" in 852.
    auto* countries = child<QComboBox>(p, "enation");
    ASSERT_GT(countries->count(), 100);
    for (int i = 0; i < countries->count(); ++i)
        EXPECT_TRUE(JudgeInput(countries->itemText(i), KeyRule::kText, 852).accepted())
            << countries->itemText(i).toStdString();
    EXPECT_NE(countries->findText(QStringLiteral("Haiti")), -1);
    Tfgestequipe& t = team();
    click(t, "bnouveau");
    type(t, "enom", teams[0]);
    click(t, "bok");
    click(t, "bnouveau");
    paste(child<QLineEdit>(t, "enom"), teams[1]);
    click(t, "bok");
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(text(t, "enom"), teams[1]);

    // The pick list finds the player by what is typed into its search, in either case.
    for (const QString& search : {QStringLiteral("Ći"), QStringLiteral("ćiro b")}) {
        SCOPED_TRACE(search.toStdString());
        int listedRows = -1;
        ModalDriverScope driver([&](QDialog& d) {
            auto* field = d.findChild<QLineEdit*>(QStringLiteral("erecherche"));
            keys(field, search);
            QTest::keyClick(field, Qt::Key_Return);
            auto* grid = d.findChild<QTableView*>(QStringLiteral("DBGrid1"));
            listedRows = grid->model()->rowCount();
            if (listedRows > 0) pickNumber(grid->model()->index(0, 0).data().toString().trimmed().toInt())(d);
        });
        click(p, "inom");
        EXPECT_EQ(listedRows, 1);
        EXPECT_EQ(text(p, "enom"), player);
        EXPECT_EQ(memo->toPlainText(), notes);
    }
    p.close();
    t.close();

    // Stored as code page 852 bytes, and read so by the peer from the header's byte alone.
    const std::string joueur = xbtest::ReadFileBytes(dir + "/joueur.dbf");
    const std::string equipe = xbtest::ReadFileBytes(dir + "/equipe.dbf");
    EXPECT_NE(joueur.find(xb::platform::FromUtf8(player.toStdString(), 852)), std::string::npos);
    for (const QString& n : teams)
        EXPECT_NE(equipe.find(xb::platform::FromUtf8(n.toStdString(), 852)), std::string::npos) << n.toStdString();
    if (const std::string peer = PeerNames(dir + "/joueur.dbf", "NOMJOUEUR"); peer != "no dbfread") {
        EXPECT_EQ(peer, player.toStdString() + "\n");
        EXPECT_EQ(PeerNames(dir + "/equipe.dbf", "NOMEQUIPE"), (teams.join('\n') + '\n').toStdString());
    }

    // A French station shows them unchanged.
    inLocale("fr_FR.UTF-8");
    Tfgestjoueur& again = this->player();
    pickPlayer(again, 1);
    EXPECT_EQ(text(again, "enom"), player);
    if (const QString shots = qEnvironmentVariable("LM_SCREENSHOT_DIR"); !shots.isEmpty()) {
        QDir().mkpath(shots);
        EXPECT_TRUE(again.grab().save(shots + QStringLiteral("/player-croatian.png"), "PNG"));
    }
    EXPECT_EQ(GetTeamName(1), teams[0]);
    EXPECT_EQ(GetTeamName(2), teams[1]);
}

// On a database written in code page 850, a letter it cannot hold is refused where it is typed or pasted,
// with a message naming it, and by the league library's writes; nothing is stored.
TEST_F(MasterWindowTest, ALetterTheDatabaseCannotHoldIsRefusedWhereverItComesFrom) {
    const std::string before = bytes("joueur.dbf") + bytes("joueur.dbt") + bytes("equipe.dbf");
    const auto refusal = [](char32_t c) { return kRefused + UnstorableCharMessage(c, 850).toStdString(); };
    struct Input {
        const char* what;
        bool teamWindow;
        const char* field;  // a line edit, or the player's notes
        bool pasted;
        QString text;
        QString kept;  // what the field holds afterwards
        char32_t named;
    } inputs[] = {
        {"typed name", false, "enom", false, QStringLiteral("Ivan Rakitić"), QStringLiteral("Ivan Rakiti"), U'ć'},
        {"pasted name", false, "enom", true, QStringLiteral("Ivan Rakitić"), QString(), U'ć'},
        {"typed notes", false, "memdivers", false, QStringLiteral("Split ć"), QStringLiteral("Split "), U'ć'},
        {"pasted team", true, "enom", true, QStringLiteral("Ćiro FC"), QString(), U'Ć'},
    };
    for (const Input& in : inputs) {
        SCOPED_TRACE(in.what);
        BrowseWindow& w = in.teamWindow ? static_cast<BrowseWindow&>(team()) : player();
        click(w, "bnouveau");
        if (auto* notes = w.findChild<QPlainTextEdit*>(QString::fromLatin1(in.field))) {
            notes->setFocus();
            keys(notes, in.text);
            EXPECT_EQ(notes->toPlainText(), in.kept);
        } else {
            if (in.pasted)
                paste(child<QLineEdit>(w, in.field), in.text);
            else
                type(w, in.field, in.text);
            EXPECT_EQ(text(w, in.field), in.kept);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(messages(), std::vector<std::string>{refusal(in.named)});
        click(w, "bannule");
    }

    // No road around the windows stores it cut.
    PlayerRecord rakitic;
    rakitic.name = QStringLiteral("Ivan Rakitić");
    rakitic.birthDate = QStringLiteral("  /  /    ");
    const std::function<bool(xb::TXbDbf&, xb::TXbDbf&)> writes[] = {
        [&](xb::TXbDbf& j, xb::TXbDbf&) { return CreatePlayer(j, rakitic) != 0; },
        [&](xb::TXbDbf& j, xb::TXbDbf&) {
            PlayerRecord p = ReadPlayer(j);
            p.notes = QStringList{QStringLiteral("ok"), QStringLiteral("ć")};
            return SavePlayer(j, p);
        },
        [&](xb::TXbDbf&, xb::TXbDbf& e) { return CreateTeam(e, QStringLiteral("Ćiro")) != 0; },
        [&](xb::TXbDbf&, xb::TXbDbf& e) { return RenameTeam(e, 1, QStringLiteral("Rijeka ć")); },
    };
    for (const auto& write : writes) {
        LeagueTableScope j("testjoueur", "joueur.dbf"), e("testequipe", "equipe.dbf");
        j->First();
        EXPECT_FALSE(write(*j, *e));
        const WriteRefusal why = LastWriteRefusal();
        EXPECT_EQ(why.kind, WriteRefusal::Kind::kCharacter);
        EXPECT_TRUE(why.character == U'ć' || why.character == U'Ć');
        EXPECT_EQ(why.codePage, 850);
    }
    EXPECT_EQ(bytes("joueur.dbf") + bytes("joueur.dbt") + bytes("equipe.dbf"), before);
    // The parameters window says why, should the user choose Croatian now.
    EXPECT_EQ(CodePageNotice(kCroatianLanguage), GetLangText(Text::DatabaseKeepsCodePage).arg(850));
}

}  // namespace
}  // namespace app
