// The match entry and matchday results windows driven offscreen by object name on the tables of a real
// season (38 matchdays of 10 matches) in a temporary directory: entry through New and Modify, codes and
// event placement, refusals that leave the tables' bytes alone, printing to PDF and the page in both
// styles.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QPrinter>
#include <QRadioButton>
#include <QRegularExpression>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <set>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/editing/match_entry.h"
#include "app/editing/qt/match_entry_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/settings/session_format.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/qt/engine_windows_qt.h"
#include "tests/support/fixtures.h"
#include "tests/support/gui_child.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/season_csv.h"

namespace app {
namespace {

constexpr int kYear = 2012, kLeague = 1;
constexpr int kParis = 21, kBothPlayer = 9000;

std::string Num(int n) {
    return std::to_string(n);
}

// The nine tables of the season of the CSV: its 20 teams numbered by name and "Paris SG" as team 21,
// three players a team (player 100 t + k), player 9000 in the squads of Paris SG and team 1, no results.
std::vector<xbtest::SeasonTable> CsvTables(const xbtest::CsvSeason& s) {
    std::vector<xbtest::SeasonTable> t;
    t.push_back({"champan.dbf",
                 {"annee", "nuchamp", "ptv", "ptn", "ptd", "ptfv", "ptfd", "nbequipe", "nbjournee"},
                 {{Num(kYear), Num(kLeague), "3", "1", "0", "3", "0", "20", "38"}}});
    t.push_back({"champion.dbf", {"nuchamp", "nomchamp"}, {{Num(kLeague), "Premier League"}}});
    xbtest::SeasonTable eqchamp{"eqchamp.dbf", {"annee", "nuchamp", "nuequipe"}, {}};
    xbtest::SeasonTable equipe{"equipe.dbf", {"nuequipe", "nomequipe"}, {}};
    xbtest::SeasonTable joueur{
        "joueur.dbf", {"nujoueur", "nomjoueur", "datenais", "poste", "infodivers", "nation"}, {}};
    xbtest::SeasonTable joueq{"joueq.dbf", {"annee", "nueq", "nujo"}, {}};
    auto team = [&](int n, const std::string& name) {
        eqchamp.rows.push_back({Num(kYear), Num(kLeague), Num(n)});
        equipe.rows.push_back({Num(n), name});
        for (int k = 1; k <= 3; ++k) {
            const int p = 100 * n + k;
            joueur.rows.push_back({Num(p), "Player " + Num(p), "", "1", "", ""});
            joueq.rows.push_back({Num(kYear), Num(n), Num(p)});
        }
    };
    for (size_t i = 0; i < s.teams.size(); ++i) team(static_cast<int>(i) + 1, s.teams[i]);
    team(kParis, "Paris SG");
    joueur.rows.push_back({Num(kBothPlayer), "Both Squads", "", "1", "", ""});
    joueq.rows.push_back({Num(kYear), Num(kParis), Num(kBothPlayer)});
    joueq.rows.push_back({Num(kYear), "1", Num(kBothPlayer)});
    t.push_back(eqchamp);
    const std::vector<std::string> resultFields = {"nuchamp", "annee", "nujournee", "nueq1", "nueq2",
                                                   "beq1",    "beq2",  "coder",     "pteq1", "pteq2"};
    t.push_back({"resultat.dbf", resultFields, {}});
    t.push_back(equipe);
    t.push_back(joueur);
    t.push_back(joueq);
    const std::vector<std::string> eventFields = {"nuchamp",  "annee",   "nujournee", "nueq1", "nueq2",
                                                  "nujoueur", "nueqben", "minute",    "type"};
    t.push_back({"but.dbf", eventFields, {}});
    t.push_back({"carton.dbf", eventFields, {}});
    return t;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class MatchWindowsTest : public xbtest::EngineTest {
protected:
    MatchWindowsTest() : season(xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/en-2012-13.csv")) {
        xb::InstallEngineUnits(engine());
        xbtest::FillLeagueTables(tmp.path(), CsvTables(season));
        SetAppDir(QString::fromStdString(tmp.path() + "/"));
        CurrentSeasonYear = kYear;
        LanguageIndex = 2;
        HtmlHeaderText.clear();
        HtmlFooterText.clear();
    }
    ~MatchWindowsTest() override {
        fsairesultat()->close();
        LanguageIndex = 1;
        SetAppDir(QString());
    }

    template <typename T>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static void click(QWidget& w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    static void typeInto(QWidget& w, const char* name, const QString& text) {
        QLineEdit* e = child<QComboBox>(w, name)->lineEdit();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    static void choose(QWidget& w, const char* name, const QString& text) {
        QComboBox* c = child<QComboBox>(w, name);
        const int i = c->findText(text);
        ASSERT_GE(i, 0) << name << " " << text.toStdString();
        c->setCurrentIndex(i);
    }
    static QString teamName(const xbtest::CsvSeason& s, int n) {
        return QString::fromStdString(s.teams[n - 1]);
    }

    Tfsairesultat& results(int type = 1) {
        Tfsairesultat& w = *fsairesultat();
        w.close();
        w.ptypeec(type);
        w.show();
        child<QLineEdit>(w, "enumchamp")->setText(QString::number(kLeague));
        choose(w, "eannee", QStringLiteral("2012 - 2013"));
        return w;
    }
    void showMatchday(Tfsairesultat& w, int day) {
        choose(w, "ejournee", QString::number(day));
        click(w, "bafficher");
    }
    // One match typed into the entry window: teams (mode 1), score, goals and cards.
    struct Typed {
        int home = 0, away = 0;
        QString g1, g2;
        std::vector<MatchEvent> goals, cards;
        const char* radio = nullptr;
    };
    void typeMatch(QDialog& d, const Typed& m) {
        if (m.home) choose(d, "eequipe1", GetTeamName(m.home));
        if (m.away) choose(d, "eequipe2", GetTeamName(m.away));
        typeInto(d, "ebeq1", m.g1);
        typeInto(d, "ebeq2", m.g2);
        ui.dialogAnswers.clear();
        for (const MatchEvent& e : m.goals) {
            child<QComboBox>(d, "Combjoub")->setEditText(GetPlayerName(e.player));
            typeInto(d, "Combminuteb", QString::number(e.minute));
            child<QComboBox>(d, "Combtypeb")->setCurrentIndex(e.type);
            click(d, "boutajbut");
        }
        for (const MatchEvent& e : m.cards) {
            child<QComboBox>(d, "Combjouc")->setEditText(GetPlayerName(e.player));
            typeInto(d, "combminutec", QString::number(e.minute));
            child<QComboBox>(d, "Combtypec")->setCurrentIndex(e.type);
            click(d, "boutAjcart");
        }
        if (m.radio) child<QRadioButton>(d, m.radio)->setChecked(true);
    }
    std::optional<MatchRow> stored(int day, int home, int away) {
        std::unique_ptr<xb::TXbDbf> t;
        EXPECT_TRUE(OpenTable(t, "resultat.dbf"));
        auto r = ReadMatch(*t, {kLeague, kYear, day, home, away});
        CloseTable(t);
        return r;
    }
    int resultRows() {
        LeagueTableScope t("count", "resultat.dbf");
        int n = 0;
        for (t->First(); !t->Eof(); t->Next()) ++n;
        return n;
    }
    ReportGrid& grid(QWidget& w, const char* name) { return *child<ReportGrid>(w, name); }
    // Selects the listed match against this away team.
    void selectAway(QWidget& w, int away) {
        ReportGrid& g = grid(w, "grilleresultat");
        for (int r = 1; r < g.RowCount(); ++r)
            if (g.Cells(1, r).toInt() == away) return g.SetRow(r);
        ADD_FAILURE() << "no match against " << away;
    }

    xbtest::CsvSeason season;
    xbtest::ScriptedUi ui;
};

TEST_F(MatchWindowsTest, AMatchdayTypedThroughNewAndEveryMatchdayListed) {
    Tfsairesultat& w = results();
    showMatchday(w, 1);
    std::vector<xbtest::CsvMatch> day1;
    for (const auto& m : season.matches)
        if (m.matchday == 1) day1.push_back(m);
    ASSERT_EQ(day1.size(), 10u);
    // Each match: its score, one goal of each side's player when scored, one yellow card of the home side.
    for (const auto& m : day1) {
        Typed t{m.home, m.away, QString::number(m.homeGoals), QString::number(m.awayGoals), {}, {}};
        for (int g = 0; g < m.homeGoals; ++g) t.goals.push_back({100 * m.home + 1 + g % 3, 10 + g, 0, 1});
        for (int g = 0; g < m.awayGoals; ++g) t.goals.push_back({100 * m.away + 1 + g % 3, 50 + g, 1, 2});
        t.cards.push_back({100 * m.home + 2, 33, 0, 1});
        ModalDriverScope driver([&](QDialog& d) {
            typeMatch(d, t);
            click(d, "bok");
        });
        click(w, "bnouveau");
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.back().text;
    }
    EXPECT_EQ(resultRows(), 10);
    for (const auto& m : day1) {
        const auto r = stored(1, m.home, m.away);
        ASSERT_TRUE(r) << m.home << "-" << m.away;
        EXPECT_EQ(r->homeGoals, m.homeGoals);
        EXPECT_EQ(r->awayGoals, m.awayGoals);
        const MatchKey key{kLeague, kYear, 1, m.home, m.away};
        const auto goals = LoadMatchEvents(EventTable::Goals, key);
        ASSERT_EQ(goals.size(), static_cast<size_t>(m.homeGoals + m.awayGoals));
        for (const MatchEvent& g : goals) EXPECT_EQ(g.player / 100, g.team == 1 ? m.home : m.away);
        EXPECT_EQ(LoadMatchEvents(EventTable::Cards, key),
                  (std::vector<MatchEvent>{{100 * m.home + 2, 33, 0, 1}}));
    }

    // The rest of the season through the library, one forfeit and one other outcome among them; then
    // every matchday listed.
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        for (const auto& m : season.matches) {
            if (m.matchday == 1) continue;
            MatchRow r{kLeague,     kYear,
                       m.matchday,  m.home,
                       m.away,      m.homeGoals,
                       m.awayGoals, CodeOfChoice(ChoiceOfScore(m.homeGoals, m.awayGoals)),
                       0,           0};
            if (m.matchday == 2 && r.code == "V1") r.code = "F1";
            if (m.matchday == 3 && r.code == "N") r.code = "AU";
            ASSERT_TRUE(SaveMatchResult(*t, r));
        }
        CloseTable(t);
    }
    ReportGrid& g = grid(w, "grilleresultat");
    int forfeits = 0, others = 0;
    for (int day = 1; day <= 38; ++day) {
        SCOPED_TRACE(day);
        showMatchday(w, day);
        ASSERT_EQ(g.RowCount(), 11);
        for (int r = 1; r <= 10; ++r) {
            const int home = g.Cells(0, r).toInt(), away = g.Cells(1, r).toInt();
            const auto m = std::find_if(season.matches.begin(), season.matches.end(), [&](const auto& x) {
                return x.matchday == day && x.home == home && x.away == away;
            });
            ASSERT_NE(m, season.matches.end());
            EXPECT_EQ(g.Cells(2, r), teamName(season, home));
            EXPECT_EQ(g.Cells(5, r), teamName(season, away));
            EXPECT_EQ(g.Cells(3, r).toInt(), m->homeGoals);
            EXPECT_EQ(g.Cells(4, r).toInt(), m->awayGoals);
            const QString sign = g.Cells(6, r);
            forfeits += sign == "F1";
            others += sign == "*";
            if (day > 3) EXPECT_EQ(sign, QString());
        }
    }
    EXPECT_GT(forfeits, 0);
    EXPECT_GT(others, 0);
    // An empty matchday: one empty row.
    child<QLineEdit>(w, "enumchamp")->setText(QStringLiteral("1"));
    choose(w, "eannee", QStringLiteral("2013 - 2014"));
    EXPECT_EQ(child<QComboBox>(w, "ejournee")->count(), 0);
}

TEST_F(MatchWindowsTest, CodesFollowTheScoreOnlyWhenItChanges) {
    Tfsairesultat& w = results();
    showMatchday(w, 5);
    struct Case {
        Typed typed;
        const char* code;
        int points1, points2;
    };
    Case cases[] = {
        {{1, 2, "2", "2", {}, {}, "rforfait2"}, "F2", 0, 0}, {{3, 4, "1", "0", {}, {}, "rautre"}, "AU", 0, 3},
        {{5, 6, "0", "0", {}, {}, nullptr}, "N ", 0, 0},     {{7, 8, "3", "1", {}, {}, nullptr}, "V1", 0, 0},
        {{9, 10, "0", "0", {}, {}, nullptr}, "N ", 0, 0},  // right after a V1: the radio follows the new
                                                           // score
    };
    for (const Case& c : cases) {
        ModalDriverScope driver([&](QDialog& d) {
            typeMatch(d, c.typed);
            if (std::string(c.code) == "AU") typeInto(d, "epteq2", QStringLiteral("3"));
            click(d, "bok");
        });
        click(w, "bnouveau");
        const auto r = stored(5, c.typed.home, c.typed.away);
        ASSERT_TRUE(r) << c.code;
        EXPECT_EQ(r->code, c.code);
        EXPECT_EQ(r->homePoints, c.points1);
        EXPECT_EQ(r->awayPoints, c.points2);
    }
    // F1 chosen survives leaving the boxes, a card and a goal type; a changed score replaces it.
    ModalDriverScope driver([&](QDialog& d) {
        typeMatch(d, {11, 12, "1", "1", {}, {{1101, 12, 0, 1}}, "rforfait1"});
        QTest::keyClick(child<QComboBox>(d, "ebeq1")->lineEdit(), Qt::Key_Tab);
        typeInto(d, "combminutec", QStringLiteral("44"));
        child<QComboBox>(d, "Combtypeb")->setCurrentIndex(3);
        typeInto(d, "ebeq1", QStringLiteral("1"));  // the same score typed again
        EXPECT_TRUE(child<QRadioButton>(d, "rforfait1")->isChecked());
        typeInto(d, "ebeq2", QStringLiteral("2"));
        EXPECT_TRUE(child<QRadioButton>(d, "rv2")->isChecked());
        child<QRadioButton>(d, "rforfait1")->setChecked(true);
        click(d, "bok");
    });
    click(w, "bnouveau");
    EXPECT_EQ(stored(5, 11, 12)->code, "F1");
    // Modify shows the stored code and points.
    grid(w, "grilleresultat").SetRow(2);
    ModalDriverScope modify([&](QDialog& d) {
        EXPECT_FALSE(child<QComboBox>(d, "eequipe1")->isEnabled());
        EXPECT_TRUE(child<QRadioButton>(d, "rautre")->isChecked());
        EXPECT_EQ(child<QComboBox>(d, "epteq2")->currentText(), "3");
        EXPECT_EQ(grid(d, "sgbut").Cells(4, 0), GetTeamName(3));  // the teams head the goal columns
        EXPECT_EQ(grid(d, "sgbut").Cells(6, 0), GetTeamName(4));
    });
    QTest::mouseClick(child<QAbstractButton>(w, "bmodif"), Qt::LeftButton);
}

TEST_F(MatchWindowsTest, GoalsAreOrderedByMinuteAndCreditedToTheirTeam) {
    Tfsairesultat& w = results();
    showMatchday(w, 6);
    ModalDriverScope driver([&](QDialog& d) {
        choose(d, "eequipe1", QStringLiteral("Paris SG"));
        choose(d, "eequipe2", GetTeamName(1));
        for (int minute : {20, 30, 20, 25, 10}) {
            child<QComboBox>(d, "Combjoub")->setEditText(GetPlayerName(100 * kParis + 1));
            typeInto(d, "Combminuteb", QString::number(minute));
            child<QComboBox>(d, "Combtypeb")->setCurrentIndex(0);
            click(d, "boutajbut");
        }
        ReportGrid& g = grid(d, "sgbut");
        QStringList minutes;
        for (int r = 1; r < g.RowCount(); ++r) minutes << g.Cells(3, r);
        EXPECT_EQ(minutes, QStringList({"10", "20", "20", "25", "30"}));
        // A home player's own goal is the away side's, named in column 6.
        child<QComboBox>(d, "Combjoub")->setEditText(GetPlayerName(100 * kParis + 2));
        typeInto(d, "Combminuteb", QStringLiteral("90"));
        child<QComboBox>(d, "Combtypeb")->setCurrentIndex(kOwnGoal);
        click(d, "boutajbut");
        EXPECT_EQ(g.Cells(6, 6), GetPlayerName(100 * kParis + 2));
        EXPECT_EQ(g.Cells(4, 6), QString());
        EXPECT_EQ(g.Cells(2, 6), "2");
        // A player of both squads: the first button credits team 1, closing the question adds nothing.
        child<QComboBox>(d, "Combjoub")->setEditText(GetPlayerName(kBothPlayer));
        typeInto(d, "Combminuteb", QStringLiteral("91"));
        child<QComboBox>(d, "Combtypeb")->setCurrentIndex(kOwnGoal);
        ui.dialogAnswers = {'A', ' '};
        click(d, "boutajbut");
        EXPECT_EQ(g.RowCount(), 8);
        EXPECT_EQ(g.Cells(2, 7), "1");
        EXPECT_EQ(g.Cells(4, 7), GetPlayerName(kBothPlayer));
        EXPECT_EQ(ui.messages.back().caption, GetLangText(Text::PlayerOnBothTeams).toStdString());
        click(d, "boutajbut");
        EXPECT_EQ(g.RowCount(), 8);
        // Removing a row, and an incomplete input said so.
        g.SetRow(1);
        click(d, "boutsupbut");
        EXPECT_EQ(g.Cells(3, 1), "20");
        const size_t before = ui.messages.size();
        child<QComboBox>(d, "Combjoub")->setEditText(QStringLiteral("Nobody"));
        click(d, "boutajbut");
        ASSERT_EQ(ui.messages.size(), before + 1);
        EXPECT_EQ(ui.messages.back().caption, GetLangText(Text::UnableToValidate).toStdString());
        typeInto(d, "ebeq1", QStringLiteral("7"));
        typeInto(d, "ebeq2", QStringLiteral("1"));
        ui.boxAnswers = {xb::platform::kIdYes};  // saved although the goals do not match (its default is No)
        click(d, "bok");
    });
    click(w, "bnouveau");
    const auto goals = LoadMatchEvents(EventTable::Goals, {kLeague, kYear, 6, kParis, 1});
    ASSERT_EQ(goals.size(), 6u);
    EXPECT_EQ(goals.front().minute, 20);
    EXPECT_EQ(std::count_if(goals.begin(), goals.end(), [](const MatchEvent& e) { return e.team == 2; }), 1);
}

TEST_F(MatchWindowsTest, BadInputIsRefusedAndLeavesTheTables) {
    Tfsairesultat& w = results();
    showMatchday(w, 7);
    auto snapshot = [&] {
        std::string all;
        for (const char* f :
             {"resultat.dbf", "resultat.mdx", "but.dbf", "but.mdx", "carton.dbf", "carton.mdx"})
            all += FileBytes(tmp.path() + "/" + f);
        return all;
    };
    const std::string before = snapshot();
    struct Case {
        const char* what;
        std::function<void(QDialog&)> type;
        Text text;  // the message's text, Text::None: a text of its own
    };
    const Case cases[] = {
        {"empty score",
         [&](QDialog& d) {
             typeMatch(d, {1, 2, "", "1"});
         },
         Text::ScoreIncorrect},
        {"team against itself",
         [&](QDialog& d) {
             typeMatch(d, {3, 3, "1", "1"});
         },
         Text::TeamsIncorrect},
        {"points out of range",
         [&](QDialog& d) {
             typeMatch(d, {1, 2, "1", "1", {}, {}, "rautre"});
             typeInto(d, "epteq1", QStringLiteral("-"));  // no number: refused, not stored as 0
         },
         Text::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t messages = ui.messages.size();
        ModalDriverScope driver([&](QDialog& d) {
            c.type(d);
            click(d, "bok");
            EXPECT_TRUE(d.isVisible());  // the window stays open
        });
        click(w, "bnouveau");
        ASSERT_EQ(ui.messages.size(), messages + 1);
        EXPECT_EQ(ui.messages.back().caption, GetLangText(Text::UnableToValidate).toStdString());
        if (c.text != Text::None) EXPECT_EQ(ui.messages.back().text, GetLangText(c.text).toStdString());
    }
    // Letters and signs never reach a score or the points, typed or pasted: each is refused with a message
    // that names it, a paste whole; a minute beyond 120 is refused.
    ModalDriverScope driver([&](QDialog& d) {
        struct Refusal {
            const char* field;
            const char* text;
            bool paste;
            const char* kept;
            const char* named;
        } refusals[] = {
            {"ebeq1", "1a2", false, "12", "a"},
            {"ebeq1", "-1", false, "1", "-"},  // a score has no sign: -1 is not stored as 1 silently
            {"ebeq2", "x3y", true, "", "x"},
        };
        for (const Refusal& r : refusals) {
            SCOPED_TRACE(r.text);
            QLineEdit* e = child<QComboBox>(d, r.field)->lineEdit();
            const size_t before = ui.messages.size();
            if (r.paste) {
                e->clear();
                QApplication::clipboard()->setText(QString::fromUtf8(r.text));
                e->paste();
            } else {
                typeInto(d, r.field, QString::fromUtf8(r.text));
            }
            EXPECT_EQ(e->text().toStdString(), r.kept);
            QCoreApplication::processEvents();
            ASSERT_EQ(ui.messages.size(), before + 1);
            EXPECT_EQ(ui.messages.back().text, GetLangText(Text::DigitsOnly).arg(r.named).toStdString());
        }
        typeInto(d, "ebeq1", QStringLiteral("1000"));  // three digits at most: no overflow to store
        EXPECT_EQ(child<QComboBox>(d, "ebeq1")->currentText(), "100");
        const size_t messages = ui.messages.size();
        child<QComboBox>(d, "Combjoub")->setEditText(GetPlayerName(101));
        typeInto(d, "Combminuteb", QStringLiteral("200"));
        child<QComboBox>(d, "Combtypeb")->setCurrentIndex(0);
        click(d, "boutajbut");
        EXPECT_EQ(ui.messages.size(), messages + 1);
        EXPECT_EQ(grid(d, "sgbut").Cells(0, 1), QString());
    });
    click(w, "bnouveau");
    // Matchday 39 of 38: the entry does not open.
    const size_t messages = ui.messages.size();
    EXPECT_FALSE(StartMatchEntry(kYear, kLeague, 39, 1, 2, 1));
    ASSERT_EQ(ui.messages.size(), messages + 1);
    EXPECT_EQ(ui.messages.back().caption, GetLangText(Text::UnableToValidate).toStdString());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(MatchWindowsTest, ModifyAndDeleteActOnTheListedMatch) {
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        // Team 1 plays twice at home on matchday 8.
        ASSERT_EQ(StoreMatch(*t, {kLeague, kYear, 8, 1, 2, 1, 0, "V1", 0, 0}, {{101, 5, 0, 1}},
                             {{102, 6, 0, 1}}, false),
                  StoreOutcome::Saved);
        ASSERT_EQ(StoreMatch(*t, {kLeague, kYear, 8, 1, 3, 0, 2, "V2", 0, 0},
                             {{301, 7, 0, 2}, {302, 9, 0, 2}}, {{103, 6, 1, 1}}, false),
                  StoreOutcome::Saved);
        CloseTable(t);
    }
    Tfsairesultat& w = results();
    showMatchday(w, 8);
    ReportGrid& g = grid(w, "grilleresultat");
    ASSERT_EQ(g.RowCount(), 3);
    // The selection fields changed since the listing: Modify still opens the listed match.
    selectAway(w, 3);
    choose(w, "ejournee", QStringLiteral("9"));
    ModalDriverScope driver([&](QDialog& d) {
        EXPECT_EQ(grid(d, "sgbut").RowCount(), 3);
        EXPECT_EQ(child<QComboBox>(d, "ebeq2")->currentText(), "2");
        click(d, "bok");
    });
    click(w, "bmodif");
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, {kLeague, kYear, 8, 1, 3}).size(), 2u);
    EXPECT_EQ(resultRows(), 2);
    // View mode: the editing buttons are hidden, yet a double click opens the row's match to modify,
    // and the championship's name follows a number typed in.
    {
        Tfsairesultat& v = results(2);
        EXPECT_FALSE(child<QWidget>(v, "bnouveau")->isVisible());
        showMatchday(v, 8);
        child<QLineEdit>(v, "enumchamp")->setText(QString::number(kLeague));
        EXPECT_EQ(child<QLineEdit>(v, "enomchamp")->text(), GetChampionshipName(kLeague));
        EXPECT_FALSE(child<QLineEdit>(v, "enomchamp")->text().isEmpty());
        showMatchday(v, 8);
        selectAway(v, 3);
        QString opened;
        ModalDriverScope driver([&](QDialog& d) {
            opened = child<QComboBox>(d, "ebeq2")->currentText();
            click(d, "bannule");
        });
        v.grilleresultatDblClick();
        EXPECT_EQ(opened, "2");
    }
    Tfsairesultat& e = results(1);
    showMatchday(e, 8);
    selectAway(e, 3);
    ui.boxAnswers = {xb::platform::kIdYes};
    click(e, "bsupprime");
    EXPECT_FALSE(stored(8, 1, 3));
    EXPECT_TRUE(LoadMatchEvents(EventTable::Goals, {kLeague, kYear, 8, 1, 3}).empty());
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, {kLeague, kYear, 8, 1, 2}).size(), 1u);
    EXPECT_EQ(LoadMatchEvents(EventTable::Cards, {kLeague, kYear, 8, 1, 2}).size(), 1u);
    EXPECT_EQ(grid(e, "grilleresultat").RowCount(), 2);

    // A modify of a match deleted meanwhile by another station stores nothing.
    showMatchday(e, 8);
    selectAway(e, 2);
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        ASSERT_TRUE(DeleteMatch(*t, {kLeague, kYear, 8, 1, 2}));
        CloseTable(t);
    }
    const size_t messages = ui.messages.size();
    ModalDriverScope gone([&](QDialog& d) {
        QTest::qWait(20);
        if (d.isVisible()) click(d, "bok");
    });
    click(e, "bmodif");
    EXPECT_EQ(ui.messages.size(), messages + 1);
    EXPECT_EQ(resultRows(), 0);
    EXPECT_TRUE(LoadMatchEvents(EventTable::Goals, {kLeague, kYear, 8, 1, 2}).empty());
}

TEST_F(MatchWindowsTest, PrintedAndExported) {
    // 120 matches on matchday 10 (team pairs), printed: the list goes on to a second page.
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        int n = 0;
        for (int h = 1; h <= 20 && n < 120; ++h)
            for (int a = 1; a <= 20 && n < 120; ++a)
                if (h != a) n += SaveMatchResult(*t, {kLeague, kYear, 10, h, a, h % 5, a % 4, "V1", 0, 0});
        ASSERT_EQ(n, 120);
        ASSERT_TRUE(SaveMatchResult(*t, {kLeague, kYear, 11, 1, 2, 2, 1, "V1", 0, 0}));
        CloseTable(t);
    }
    Tfsairesultat& w = results();
    showMatchday(w, 10);
    ASSERT_EQ(grid(w, "grilleresultat").RowCount(), 121);
    const xbtest::TempDir printed;
    const std::string out = printed.path();
    const QString pdf = QString::fromStdString(out + "/matchday10.pdf");
    SetReportPrinterFactory([&] {
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(pdf);
        p->setResolution(300);
        return p;
    });
    click(w, "bimp");
    SetReportPrinterFactory({});
    const std::string bytes = FileBytes(pdf.toStdString());
    size_t pages = 0;
    for (size_t at = 0; (at = bytes.find("/Type /Page\n", at)) != std::string::npos; ++at) ++pages;
    for (size_t at = 0; (at = bytes.find("/Type /Page ", at)) != std::string::npos; ++at) ++pages;
    EXPECT_GE(pages, 2u);

    showMatchday(w, 11);
    for (int style : {1, 2}) {
        const QString page = QString::fromStdString(out + "/day11-style" + std::to_string(style) + ".htm");
        ASSERT_TRUE(w.ExportMatchdayHtml(page, style));
        const QString html = QString::fromUtf8(QByteArray::fromStdString(FileBytes(page.toStdString())));
        EXPECT_TRUE(html.contains(teamName(season, 1).toHtmlEscaped())) << style;
        EXPECT_TRUE(html.contains(QStringLiteral("Week: 11<br>")));
        EXPECT_EQ(html.contains(QStringLiteral("League: Premier League<br>")), style == 1);
    }
}

}  // namespace
}  // namespace app

namespace app {
namespace {

// Two stations, each a process of its own with the windows offscreen, enter one matchday's ten matches
// at the same time through New; both enter the first of them with other events. Every match is stored
// once with its own events, the match both entered holds one station's events exactly (the second is
// asked before it saves over the first), and every index tag is sound. A Modify of a match the other station
// deleted since the listing stores nothing.
TEST_F(MatchWindowsTest, TwoStationsEnterAMatchdayInterleaved) {
    constexpr int kDay = 4;
    std::vector<xbtest::CsvMatch> day;
    for (const auto& m : season.matches)
        if (m.matchday == kDay) day.push_back(m);
    ASSERT_EQ(day.size(), 10u);
    // A station's events of a match: one goal per goal scored, minutes and cards its own.
    struct Events {
        std::vector<MatchEvent> goals, cards;
        std::string text(const std::vector<MatchEvent>& list) const {
            std::string out;
            for (const MatchEvent& e : list)
                out += (out.empty() ? "" : ",") + Num(e.player) + ":" + Num(e.minute) + ":" + Num(e.type);
            return out.empty() ? "-" : out;
        }
    };
    auto eventsOf = [](const xbtest::CsvMatch& m, int station) {
        Events e;
        for (int g = 0; g < m.homeGoals; ++g)
            e.goals.push_back({100 * m.home + 1 + g % 3, 10 * station + g, 0, 1});
        for (int g = 0; g < m.awayGoals; ++g)
            e.goals.push_back({100 * m.away + 1 + g % 3, 50 + station + g, 1, 2});
        for (int c = 0; c < station; ++c) e.cards.push_back({100 * m.home + 2, 30 + 10 * c + station, c, 1});
        auto order = [](const MatchEvent& a, const MatchEvent& b) {
            return std::pair(a.minute, a.player) < std::pair(b.minute, b.player);
        };
        std::sort(e.goals.begin(), e.goals.end(), order);
        std::sort(e.cards.begin(), e.cards.end(), order);
        return e;
    };
    auto newLine = [&](const xbtest::CsvMatch& m, int station) {
        const Events e = eventsOf(m, station);
        return "new " + Num(m.home) + " " + Num(m.away) + " " + Num(m.homeGoals) + " " + Num(m.awayGoals) +
               " " + e.text(e.goals) + " " + e.text(e.cards);
    };
    auto expectListing = [](const std::string& answer, const std::string& what) {
        EXPECT_TRUE(answer.starts_with("L ") && answer.find(" MSG ") == std::string::npos)
            << what << ": " << answer;
    };

    xbtest::GuiChild a(tmp.path(), kYear), b(tmp.path(), kYear);
    const std::string show = "matchday " + Num(kLeague) + " " + Num(kYear) + " " + Num(kDay);
    ASSERT_EQ(a.ask(show), "L 0");
    ASSERT_EQ(b.ask(show), "L 0");
    // The first match by both at once, then the others two at a time: odd ones on A, even ones on B.
    std::vector<int> stationOf(day.size(), 0);
    ASSERT_TRUE(a.send(newLine(day[0], 1)));
    ASSERT_TRUE(b.send(newLine(day[0], 2)));
    // The second to store it is told that the other station stored the match since its window opened,
    // and saves its own over it (the question's Yes); or, when the other stored it before its window
    // opened, that the match is stored already, and stores nothing.
    const std::string bothA = a.receive(), bothB = b.receive();
    const std::string changed = " MSG " + BuiltInText(Text::ChangedByAnotherStation, 1).toStdString();
    const std::string duplicate =
        " MSG " + BuiltInText(Text::MatchAlreadyStored, 1).section(QLatin1Char('('), 0, 0).toStdString();
    auto told = [&](const std::string& answer) {
        return answer.find(changed) != std::string::npos || answer.find(duplicate) != std::string::npos;
    };
    EXPECT_TRUE(bothA.starts_with("L ") && bothB.starts_with("L ")) << bothA << " / " << bothB;
    EXPECT_NE(told(bothA), told(bothB)) << bothA << " / " << bothB;
    for (size_t i = 1; i < day.size(); i += 2) {
        stationOf[i] = 1;
        ASSERT_TRUE(a.send(newLine(day[i], 1)));
        if (i + 1 < day.size()) {
            stationOf[i + 1] = 2;
            ASSERT_TRUE(b.send(newLine(day[i + 1], 2)));
        }
        expectListing(a.receive(), "A " + Num(static_cast<int>(i)));
        if (i + 1 < day.size()) expectListing(b.receive(), "B " + Num(static_cast<int>(i + 1)));
    }
    EXPECT_EQ(a.ask("list"), "L 10");
    EXPECT_EQ(b.ask("list"), "L 10");

    EXPECT_EQ(resultRows(), 10);
    for (size_t i = 0; i < day.size(); ++i) {
        const auto& m = day[i];
        SCOPED_TRACE(Num(m.home) + "-" + Num(m.away));
        const auto r = stored(kDay, m.home, m.away);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->homeGoals, m.homeGoals);
        EXPECT_EQ(r->awayGoals, m.awayGoals);
        const MatchKey key{kLeague, kYear, kDay, m.home, m.away};
        const auto goals = LoadMatchEvents(EventTable::Goals, key);
        const auto cards = LoadMatchEvents(EventTable::Cards, key);
        if (stationOf[i]) {
            const Events want = eventsOf(m, stationOf[i]);
            EXPECT_EQ(goals, want.goals);
            EXPECT_EQ(cards, want.cards);
        } else {
            // Both stations: one station's goals and cards, not a mixture.
            const Events one = eventsOf(m, 1), two = eventsOf(m, 2);
            EXPECT_TRUE((goals == one.goals && cards == one.cards) ||
                        (goals == two.goals && cards == two.cards))
                << goals.size() << " goals, " << cards.size() << " cards";
        }
    }
    for (const LeagueTable& t : LeagueTables()) {
        const xbtest::MdxReport r = xbtest::CheckMdxFile(tmp.path() + "/" + t.stem() + ".mdx", {false, 0});
        EXPECT_TRUE(r.ok()) << t.file << "\n" << r.text();
    }

    // A lists the matchday, B deletes a match, A's Modify of it stores nothing.
    const auto& gone = day[1];
    EXPECT_EQ(a.ask("list"), "L 10");
    EXPECT_EQ(b.ask("delete " + Num(gone.home) + " " + Num(gone.away)), "L 9");
    const std::string modify = a.ask("modify " + Num(gone.home) + " " + Num(gone.away) + " 7 7");
    // The other station runs in French.
    EXPECT_NE(modify.find(" MSG " + BuiltInText(Text::MatchNoLongerStored, 1).toStdString()),
              std::string::npos)
        << modify;
    EXPECT_FALSE(stored(kDay, gone.home, gone.away));
    EXPECT_TRUE(LoadMatchEvents(EventTable::Goals, {kLeague, kYear, kDay, gone.home, gone.away}).empty());
    EXPECT_TRUE(LoadMatchEvents(EventTable::Cards, {kLeague, kYear, kDay, gone.home, gone.away}).empty());
    EXPECT_EQ(resultRows(), 9);
    EXPECT_EQ(a.ask("quit"), "bye");
    EXPECT_EQ(b.ask("quit"), "bye");
    EXPECT_EQ(a.finish(), 0);
    EXPECT_EQ(b.finish(), 0);
}

// What another station deleted, added and changed since this station listed a matchday shows at the next
// "View" on screen, in print and on the page, even after this station opened and cancelled the match the
// other one deleted; a delete of a match the other station changed since the listing asks first, shows
// the stored score, and deletes nothing unless told to.
TEST_F(MatchWindowsTest, AnotherStationsChangesShowAtViewAndADeleteAsksFirst) {
    constexpr int kDay = 6;
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        for (const auto& [h, a, g1, g2] : std::vector<std::array<int, 4>>{{1, 2, 2, 2}, {3, 4, 1, 0}, {5, 6, 0, 0}})
            ASSERT_EQ(StoreMatch(*t, {kLeague, kYear, kDay, h, a, g1, g2, g1 > g2 ? "V1" : "N", 0, 0},
                                 {}, {}, false),
                      StoreOutcome::Saved);
        CloseTable(t);
    }
    Tfsairesultat& w = results();
    showMatchday(w, kDay);
    ASSERT_EQ(w.listed().size(), 3u);
    // The match B deletes is opened here first and the entry cancelled.
    selectAway(w, 4);
    ModalDriverScope cancel([&](QDialog& d) { click(d, "bannule"); });
    click(w, "bmodif");

    const xbtest::TempDir printed;
    const std::string out = printed.path();
    SetReportPrinterFactory([&] {
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(QString::fromStdString(out + "/day.pdf"));
        return p;
    });
    // The matches "home g1:g2 away" (team numbers) shown by the grid, and as the printout and the page show
    // them (team names and goals); teams of no listed match appear in neither.
    ReportGrid& g = grid(w, "grilleresultat");
    auto expectShown = [&](const std::vector<std::array<int, 4>>& want) {
        click(w, "bimp");
        const QString printed = QString::fromStdString(
            xbtest::RunCommand("pdftotext -layout " + xbtest::ShellQuote(out + "/day.pdf") + " -"));
        ASSERT_TRUE(w.ExportMatchdayHtml(QString::fromStdString(out + "/day.htm"), 1));
        const QString page = QString::fromUtf8(QByteArray::fromStdString(FileBytes(out + "/day.htm")));
        const QString pageText = QString(page).remove(QRegularExpression(QStringLiteral("<[^>]*>"))).simplified();
        QStringList lines;
        for (const QString& l : printed.split(QLatin1Char('\n')))
            if (l.contains(teamName(season, want.front()[0])) || lines.size()) lines << l.simplified();
        std::set<int> listed;
        for (size_t i = 0; i < want.size(); ++i) {
            const auto& [home, g1, g2, away] = want[i];
            listed.insert(home);
            listed.insert(away);
            const QString line = teamName(season, home) + QStringLiteral(" %1 %2 ").arg(g1).arg(g2) + teamName(season, away);
            EXPECT_TRUE(i < size_t(lines.size()) && lines[qsizetype(i)] == line) << line.toStdString() << "\n" << printed.toStdString();
            EXPECT_TRUE(pageText.contains(line.toHtmlEscaped())) << line.toStdString();
        }
        for (int team = 1; team <= 8; ++team) {
            const QString name = teamName(season, team);
            EXPECT_EQ(printed.contains(name), listed.count(team) > 0) << name.toStdString();
            EXPECT_EQ(page.contains(name.toHtmlEscaped()), listed.count(team) > 0) << name.toStdString();
        }
        // Under the matchday they were listed for.
        const QString day = LabelledText(GetLangText(Text::Matchday), QString::number(kDay));
        EXPECT_TRUE(printed.contains(day)) << printed.toStdString();
        EXPECT_TRUE(page.contains(day.toHtmlEscaped() + QStringLiteral("<br>")));
        std::vector<std::array<int, 4>> shown;
        for (int r = 1; r < g.RowCount(); ++r)
            shown.push_back({g.Cells(0, r).toInt(), g.Cells(3, r).toInt(), g.Cells(4, r).toInt(), g.Cells(1, r).toInt()});
        EXPECT_EQ(shown, want);
    };

    // B deletes the match A opened; A's View alone must show it gone.
    xbtest::GuiChild b(tmp.path(), kYear);
    ASSERT_EQ(b.ask("matchday " + Num(kLeague) + " " + Num(kYear) + " " + Num(kDay)), "L 3");
    EXPECT_EQ(b.ask("delete 3 4"), "L 2");
    click(w, "bafficher");
    expectShown({{1, 2, 2, 2}, {5, 0, 0, 6}});
    // B adds one and changes one.
    EXPECT_EQ(b.ask("new 7 8 3 1 - -"), "L 3");
    EXPECT_EQ(b.ask("modify 5 6 4 0"), "L 3");
    click(w, "bafficher");
    expectShown({{1, 2, 2, 2}, {5, 4, 0, 6}, {7, 3, 1, 8}});
    // Printed and exported with no "View" after B's next change and with another matchday chosen
    // meanwhile: the listed matchday as stored now.
    EXPECT_EQ(b.ask("modify 5 6 1 1"), "L 3");
    choose(w, "ejournee", QString::number(kDay + 1));
    expectShown({{1, 2, 2, 2}, {5, 1, 1, 6}, {7, 3, 1, 8}});
    choose(w, "ejournee", QString::number(kDay));
    SetReportPrinterFactory({});

    // B stores 4:0 for the match A lists as 2:2; A's delete asks, shows 4:0, and No keeps the match.
    EXPECT_EQ(b.ask("modify 1 2 4 0"), "L 3");
    selectAway(w, 2);
    ui.messages.clear();
    ui.boxAnswers = {xb::platform::kIdYes, xb::platform::kIdNo};
    click(w, "bsupprime");
    ASSERT_EQ(ui.messages.size(), 2u);
    const std::string asked = ui.messages[1].text;
    EXPECT_NE(asked.find(GetLangText(Text::ChangedByAnotherStation).toStdString()), std::string::npos) << asked;
    EXPECT_NE(asked.find(" 4 : 0 "), std::string::npos) << asked;
    EXPECT_TRUE(ui.messages[1].flags & xb::platform::kMbDefButton2);
    ASSERT_TRUE(stored(kDay, 1, 2));
    EXPECT_EQ(stored(kDay, 1, 2)->homeGoals, 4);
    // The listing shows the stored match; deleting it now asks nothing more.
    selectAway(w, 2);
    EXPECT_EQ(g.Cells(3, g.Row()), "4");
    ui.messages.clear();
    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bsupprime");
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(stored(kDay, 1, 2));
    // A match B deleted meanwhile: said gone, nothing else happens.
    EXPECT_EQ(b.ask("delete 7 8"), "L 1");
    selectAway(w, 8);
    ui.messages.clear();
    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bsupprime");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, GetLangText(Text::MatchNoLongerStored).toStdString());
    EXPECT_EQ(w.listed().size(), 1u);
    EXPECT_EQ(b.ask("quit"), "bye");
    EXPECT_EQ(b.finish(), 0);
}

// The two windows as a person sees them, written beside the test's other output for a look.
TEST_F(MatchWindowsTest, Screens) {
    {
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        ASSERT_EQ(StoreMatch(*t, {kLeague, kYear, 12, 1, 2, 2, 1, "V1", 0, 0},
                             {{101, 12, 0, 1}, {201, 40, 1, 2}, {102, 77, 5, 1}},
                             {{103, 30, 0, 1}, {202, 85, 1, 2}}, false),
                  StoreOutcome::Saved);
        for (int h = 3; h <= 19; h += 2)
            ASSERT_TRUE(SaveMatchResult(
                *t, {kLeague, kYear, 12, h, h + 1, h % 3, h % 2, h == 5 ? "F2" : "V1", 0, 0}));
        CloseTable(t);
    }
    const xbtest::TempDir printed;
    const std::string out = printed.path();
    Tfsairesultat& w = results();
    w.resize(640, 420);
    showMatchday(w, 12);
    QTest::qWait(50);
    EXPECT_TRUE(w.grab().save(QString::fromStdString(out + "/listing.png")));
    grid(w, "grilleresultat").SetRow(1);
    ModalDriverScope driver([&](QDialog& d) {
        QTest::qWait(50);
        EXPECT_TRUE(d.grab().save(QString::fromStdString(out + "/entry-goals.png")));
        // The goal grid with the keyboard's focus: its current row framed.
        QApplication::setActiveWindow(&d);
        grid(d, "sgbut").setFocus();
        grid(d, "sgbut").SetRow(2);
        QTest::qWait(50);
        EXPECT_TRUE(d.grab().save(QString::fromStdString(out + "/entry-goals-focus.png")));
        child<QTabWidget>(d, "PageControl1")->setCurrentIndex(1);
        QTest::qWait(50);
        EXPECT_TRUE(d.grab().save(QString::fromStdString(out + "/entry-cards.png")));
    });
    click(w, "bmodif");
    ASSERT_TRUE(w.ExportMatchdayHtml(QString::fromStdString(out + "/day12.htm"), 1));
    ASSERT_TRUE(w.ExportMatchdayHtml(QString::fromStdString(out + "/day12-2.htm"), 2));

    // The program's own message boxes (not the tests' stand-in), each pictured and answered with Enter,
    // in French, Croatian and English: a match typed again through New is a duplicate, not another
    // station's change; deleting or saving over a match another station changed asks, and Enter keeps
    // the colleague's match.
    xb::QtEngineUi real;
    std::vector<QString> boxes;
    std::string shot;  // the pictures' names: box-LANGUAGE-N.png
    QTimer enter;
    enter.setInterval(20);
    QObject::connect(&enter, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        boxes.push_back(box->text());
        EXPECT_TRUE(box->grab().save(QString::fromStdString(out + shot + std::to_string(boxes.size()) + ".png")));
        // The deletion question is answered Yes with the mouse: Enter would keep the match.
        if (box->text() == GetLangText(Text::DeleteSelectedMatch)) {
            EXPECT_EQ(box->defaultButton(), qobject_cast<QPushButton*>(box->button(QMessageBox::No)));
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
            return;
        }
        QTest::keyClick(box, Qt::Key_Return);
    });
    enter.start();
    for (int language : {1, 6, 2}) {
        SCOPED_TRACE(language);
        LanguageIndex = language;
        shot = "/box-" + std::to_string(language) + "-";
        boxes.clear();
        {
            ModalDriverScope driver([&](QDialog& d) {
                typeMatch(d, {3, 4, "1", "1"});
                click(d, "bok");
                click(d, "bannule");
            });
            click(w, "bnouveau");
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].startsWith(GetLangText(Text::MatchAlreadyStored).section(QLatin1Char('('), 0, 0)))
            << boxes[0].toStdString();
        EXPECT_EQ(stored(12, 3, 4)->homeGoals, 0);  // as stored, not the 1:1 typed
        // Another station stores 4:language, and 5:5 while this one modifies the match.
        auto storeElsewhere = [&](int g1, int g2) {
            std::unique_ptr<xb::TXbDbf> t;
            ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
            ASSERT_TRUE(SaveMatchResult(*t, {kLeague, kYear, 12, 1, 2, g1, g2, "V1", 0, 0}));
            CloseTable(t);
        };
        storeElsewhere(4, language);
        selectAway(w, 2);
        click(w, "bsupprime");
        ASSERT_EQ(boxes.size(), 3u);  // the question (Yes), then another station's change (Enter: No)
        EXPECT_TRUE(boxes[2].startsWith(GetLangText(Text::ChangedByAnotherStation))) << boxes[2].toStdString();
        ASSERT_TRUE(stored(12, 1, 2));
        EXPECT_EQ(stored(12, 1, 2)->awayGoals, language);
        EXPECT_EQ(grid(w, "grilleresultat").Cells(4, 1), QString::number(language));
        {
            ModalDriverScope driver([&](QDialog& d) {
                storeElsewhere(5, 5);
                // The score of the goals listed, so that only the other station's change is asked about.
                typeInto(d, "ebeq1", QStringLiteral("2"));
                typeInto(d, "ebeq2", QStringLiteral("1"));
                click(d, "bok");
                // Enter kept the colleague's result, now shown in place of the one typed.
                EXPECT_EQ(child<QComboBox>(d, "ebeq1")->currentText(), "5");
                click(d, "bannule");
            });
            click(w, "bmodif");
        }
        ASSERT_EQ(boxes.size(), 4u);
        EXPECT_TRUE(boxes[3].startsWith(GetLangText(Text::ChangedByAnotherStation))) << boxes[3].toStdString();
        EXPECT_EQ(stored(12, 1, 2)->homeGoals, 5);
    }
    QTest::qWait(50);
    EXPECT_TRUE(w.grab().save(QString::fromStdString(out + "/listing-after.png")));
}

}  // namespace
}  // namespace app

namespace app {
namespace {

// The focus moved by Tab, as a user presses it, until it is on the control named (or inside it).
bool tabTo(QDialog& d, const char* name) {
    QWidget* target = d.findChild<QWidget*>(QString::fromLatin1(name));
    for (int i = 0; i < 40 && target; ++i) {
        QWidget* f = QApplication::focusWidget();
        if (f && (f == target || target->isAncestorOf(f))) return true;
        QTest::keyClick(f ? f : &d, Qt::Key_Tab);
    }
    QWidget* f = QApplication::focusWidget();
    ADD_FAILURE() << "Tab did not reach " << name << "; the focus is on "
                  << (f ? f->objectName().toStdString() + " " + f->metaObject()->className() : "nothing");
    return false;
}

void press(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key);
}

// The focused list box moved by the arrow keys until it shows text.
bool arrowTo(QDialog& d, const char* name, const QString& text) {
    auto* combo = d.findChild<QComboBox*>(QString::fromLatin1(name));
    press(Qt::Key_Home);
    for (int i = 0; i < 60 && combo->currentText() != text; ++i) press(Qt::Key_Down);
    return combo->currentText() == text;
}

// A match entered by keyboard alone: Tab reaches every input, the grid and OK; Enter adds a goal from
// its inputs once and gives the focus back to the emptied player, and adds nothing from the grid. The
// buttons carry mnemonics of their own in every language.
TEST_F(MatchWindowsTest, AMatchIsEnteredByKeyboardAloneAndEnterAddsAGoalOnce) {
    Tfsairesultat& w = results();
    showMatchday(w, 8);
    const int home = 3, away = 4;
    ModalDriverScope driver([&](QDialog& d) {
        d.activateWindow();
        if (!QTest::qWaitForWindowActive(&d, 1000)) QApplication::setActiveWindow(&d);
        ASSERT_EQ(QApplication::activeWindow(), &d);
        ASSERT_TRUE(tabTo(d, "eequipe1"));
        ASSERT_TRUE(arrowTo(d, "eequipe1", GetTeamName(home)));
        ASSERT_TRUE(tabTo(d, "ebeq1"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1"));
        ASSERT_TRUE(tabTo(d, "ebeq2"));
        press(Qt::Key_Backspace);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("0"));
        ASSERT_TRUE(tabTo(d, "eequipe2"));
        ASSERT_TRUE(arrowTo(d, "eequipe2", GetTeamName(away)));
        ASSERT_EQ(child<QComboBox>(d, "eequipe1")->currentText(), GetTeamName(home));
        ASSERT_EQ(child<QComboBox>(d, "eequipe2")->currentText(), GetTeamName(away));
        ASSERT_TRUE(tabTo(d, "Combjoub"));
        QTest::keyClicks(QApplication::focusWidget(), GetPlayerName(100 * home + 1));
        ASSERT_TRUE(tabTo(d, "Combminuteb"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12"));
        ASSERT_TRUE(tabTo(d, "Combtypeb"));
        press(Qt::Key_Down);
        ReportGrid& goals = grid(d, "sgbut");
        press(Qt::Key_Return);
        EXPECT_EQ(goals.Cells(0, 1), QString::number(100 * home + 1));
        EXPECT_TRUE(child<QComboBox>(d, "Combjoub")->isAncestorOf(QApplication::focusWidget()) ||
                    QApplication::focusWidget() == child<QComboBox>(d, "Combjoub"));
        EXPECT_TRUE(child<QComboBox>(d, "Combjoub")->currentText().isEmpty());
        EXPECT_TRUE(child<QComboBox>(d, "Combminuteb")->currentText().isEmpty());
        // Enter again on the emptied inputs, then in the grid: nothing is added, nothing is said.
        const size_t said = ui.messages.size();
        press(Qt::Key_Return);
        ASSERT_TRUE(tabTo(d, "sgbut"));
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        press(Qt::Key_Enter);
        EXPECT_EQ(goals.RowCount(), 2);
        EXPECT_EQ(ui.messages.size(), said);
        // The grid is left by Tab for the buttons; Space on OK saves.
        ASSERT_TRUE(tabTo(d, "bok"));
        press(Qt::Key_Space);
    });
    click(w, "bnouveau");
    const auto r = stored(8, home, away);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::make_pair(r->homeGoals, r->awayGoals), std::make_pair(1, 0));
    EXPECT_EQ(LoadMatchEvents(EventTable::Goals, {kLeague, kYear, 8, home, away}).size(), 1u);

    Tfsaimatch& entry = *fsaimatch();
    for (int language = 1; language <= kLanguageCount; ++language) {
        LanguageIndex = language;
        entry.InitMatchForm();
        for (const auto& tab : {std::vector<const char*>{"bok", "bannule", "boutajbut", "boutsupbut"},
                                std::vector<const char*>{"bok", "bannule", "boutAjcart", "boutSupcart"}}) {
            QString keys;
            for (const char* name : tab) {
                const QString text = child<QAbstractButton>(entry, name)->text();
                const QKeySequence key = QKeySequence::mnemonic(text);
                EXPECT_FALSE(key.isEmpty()) << language << " " << name << " " << text.toStdString();
                keys += key.toString().right(1).toLower();
            }
            EXPECT_EQ(QSet<QChar>(keys.begin(), keys.end()).size(), 4)
                << language << " " << keys.toStdString();
        }
    }
    LanguageIndex = 2;
}

// The goals listed do not add up to the score: the window says both counts and asks; No keeps it open
// with nothing stored.
TEST_F(MatchWindowsTest, GoalsThatDoNotMatchTheScoreAreAskedAbout) {
    Tfsairesultat& w = results();
    showMatchday(w, 9);
    int asked = 0;
    ModalDriverScope driver([&](QDialog& d) {
        typeMatch(d, {5, 6, "2", "1", {{501, 10, 0, 1}, {601, 20, 0, 2}}, {}, nullptr});
        const size_t before = ui.messages.size();
        ui.boxAnswers = {xb::platform::kIdNo};
        click(d, "bok");
        ASSERT_EQ(ui.messages.size(), before + 1);
        const std::string question = ui.messages.back().text;
        EXPECT_EQ(question,
                  BuiltInText(Text::GoalsDoNotMatchScore, 2).arg(1).arg(1).arg(2).arg(1).toStdString());
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(stored(9, 5, 6));
        ++asked;
        // The score typed again to agree: no question.
        typeInto(d, "ebeq1", QStringLiteral("1"));
        click(d, "bok");
        EXPECT_EQ(ui.messages.size(), before + 1);
    });
    click(w, "bnouveau");
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(stored(9, 5, 6));
    EXPECT_EQ(stored(9, 5, 6)->homeGoals, 1);
}

}  // namespace
}  // namespace app
