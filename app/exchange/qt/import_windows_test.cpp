// The import's windows offscreen on real tables: the championship choice by number and by name, "Create
// new", refused answers and a close; the import window's road from the file choice to its last status
// line, with the question answered in the middle; every language's texts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app/exchange/qt/import_champ_window.h"
#include "app/exchange/qt/import_window.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/shell/qt/modal_seam.h"
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/league_fill.h"
#include "tests/support/old_file_writer.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace app;

int FindChampionshipNumberByName(const QString& name) {
    std::unique_ptr<xb::TXbDbf> t;
    if (!OpenTable(t, "champion.dbf")) return -1;
    const int n = FindChampionshipNumber(*t, name);
    CloseTable(t);
    return n;
}

class ImportWindowTest : public leaguetest::LeagueTest {
protected:
    void SetUp() override {
        xbtest::FillLeagueTables(tmp.path(), xbtest::MakeSeason());
        LanguageIndex = 1;
    }
    void TearDown() override { LanguageIndex = 1; }

    template <typename T>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static void click(QWidget& w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    static void pickRow(QDialog& list, int row) {
        auto* grid = child<QTableView>(list, "DBGrid1");
        const QModelIndex i = grid->model()->index(row, 1);
        const QPoint at = grid->visualRect(i).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }
    static QString rowName(QDialog& list, int row) {
        auto* grid = child<QTableView>(list, "DBGrid1");
        return grid->model()->index(row, 1).data().toString().trimmed();
    }

    xbtest::ScriptedUi ui;
};

TEST_F(ImportWindowTest, ChampionshipChoiceFillsRefusesAndAnswers) {
    const QString dir = QString::fromStdString(tmp.path() + "/");
    // The pick list answers its first row, the choice window runs the script.
    std::function<void(QDialog&)> script;
    QString pickedName;
    ModalDriverScope driver([&](QDialog& d) {
        if (d.objectName() == QLatin1String("Tfliste")) {
            pickedName = rowName(d, 1);
            pickRow(d, 1);
        } else {
            script(d);
        }
    });
    const struct {
        const char* what;
        std::function<void(QDialog&)> script;
        int answer;
        int refusals;
    } cases[] = {
        {"by number",
         [&](QDialog& d) {
             EXPECT_EQ(child<QLineEdit>(d, "enumero")->text(), "0");
             EXPECT_EQ(child<QLineEdit>(d, "enom")->text(), "");
             click(d, "inumero");
             const int n = child<QLineEdit>(d, "enumero")->text().toInt();
             EXPECT_EQ(n, FindChampionshipNumberByName(pickedName));
             EXPECT_EQ(child<QLineEdit>(d, "enom")->text(), pickedName);
             click(d, "bok");
         },
         0, 0},
        {"by name, after refusals",
         [&](QDialog& d) {
             for (const char* bad : {"x", "0", "999", ""}) {
                 auto* e = child<QLineEdit>(d, "enumero");
                 e->setText(QString::fromLatin1(bad));
                 click(d, "bok");
                 EXPECT_TRUE(d.isVisible()) << bad;
             }
             click(d, "inom");
             EXPECT_EQ(child<QLineEdit>(d, "enom")->text(), pickedName);
             click(d, "bok");
         },
         0, 4},
        {"create new", [&](QDialog& d) { click(d, "bnouveau"); }, -1, 0},
        {"closed", [&](QDialog& d) { d.close(); }, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        script = c.script;
        ui.messages.clear();
        const int answer = AskImportChampionship(QStringLiteral("Nouvelle"), dir);
        if (std::string(c.what).starts_with("by"))
            EXPECT_EQ(answer, FindChampionshipNumberByName(pickedName));
        else
            EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(static_cast<int>(ui.messages.size()), c.refusals);
    }
    EXPECT_EQ(child<QLabel>(*fimportchamp(), "Label1")->text(), "Le championnat Nouvelle");
}

TEST_F(ImportWindowTest, ImportFromChoiceToLastStatus) {
    xbtest::OldFileModel m;
    m.teams = {{1, "Alpha"}, {2, "Beta"}, {3, "Gamma"}, {4, "Delta"}};
    m.seasons[0][0] = {"Nord", 3, 4, {1, 2, 3, 4}, {}};
    m.seasons[1][0] = {"Sud", 1, 4, {1, 2, 3, 4}, {}};  // number 1 is Nord's: the question
    m.matches = {{10, 1987, 1, 1, 2, 2, 0, 1}, {10, 1988, 1, 3, 4, 0, 0, 0}};
    const std::string path = tmp.path() + "/old.dat";
    xbtest::WriteOldFile(path, xbtest::EncodeOldFile(m));

    Tfimport& w = *fimport();
    w.chooseFile = [&](QWidget*) { return QString::fromStdString(path); };
    w.show();
    click(w, "bimport");  // no file yet: nothing
    EXPECT_TRUE(ui.messages.empty());
    click(w, "bselect");
    EXPECT_EQ(child<QLabel>(w, "lfic")->text(), QString::fromStdString(path));

    const QString before = GetChampionshipName(1);
    ui.boxAnswers = {xb::platform::kIdNo};
    click(w, "bimport");
    EXPECT_EQ(w.lastOutcome().result, ImportResult::Cancelled);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, GetLangText(Text::EraseAllData).toStdString());
    EXPECT_EQ(ui.messages[0].caption, GetLangText(Text::PleaseConfirm).toStdString());
    EXPECT_EQ(GetChampionshipName(1), before) << "No changes nothing";

    QString asked;
    ModalDriverScope driver([&](QDialog& d) {
        asked = child<QLabel>(d, "Label1")->text();
        click(d, "bnouveau");
    });
    ui.boxAnswers = {xb::platform::kIdYes};
    click(w, "bimport");
    ASSERT_EQ(w.lastOutcome().result, ImportResult::Done) << w.lastOutcome().message.toStdString();
    EXPECT_EQ(asked, "Le championnat Sud");
    EXPECT_TRUE(child<QLabel>(w, "letat")->text().startsWith(GetLangText(Text::OperationFinished)));
    EXPECT_EQ(GetChampionshipName(1), "Nord");
    EXPECT_EQ(GetChampionshipName(2), "Sud");
    EXPECT_EQ(GetSeasonParams(2, 1988).win, 3);
    EXPECT_EQ(GetTeamName(3), "Gamma");
    click(w, "bquit");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ImportWindowTest, TextsOfEveryLanguage) {
    Tfimport& w = *fimport();
    QString frenchQuestion;
    for (int language = 1; language <= kLanguageCount; ++language) {
        SCOPED_TRACE(language);
        LanguageIndex = language;
        w.show();
        for (const WindowText& t : Tfimport::Texts()) {
            EXPECT_FALSE(WindowTextValue(t).isEmpty()) << t.objectName;
            EXPECT_EQ(ShownWindowText(&w, t), WindowTextValue(t)) << t.objectName;
        }
        // Every button speaks the language, the quit button included.
        const QString quit = w.findChild<QPushButton*>("bquit")->text();
        EXPECT_EQ(quit, BuiltInText(Text::Quit, language));
        if (language != 1) EXPECT_NE(quit, BuiltInText(Text::Quit, 1));
        w.close();
        // The championship question too: the name kept whole inside the sentence, three lines of its own.
        Tfimportchamp& q = *fimportchamp();
        q.SetImportChampName(QStringLiteral("Sud <b>&%1"));
        q.show();
        const QString label = child<QLabel>(q, "Label1")->text();
        const QString memo = child<QPlainTextEdit>(q, "Memo1")->toPlainText();
        EXPECT_TRUE(label.contains(QStringLiteral("Sud <b>&%1"))) << label.toStdString();
        EXPECT_EQ(memo.split('\n').size(), 3);
        EXPECT_FALSE(child<QPushButton>(q, "bnouveau")->text().isEmpty());
        if (language == 1) frenchQuestion = label + memo;
        else EXPECT_NE(label + memo, frenchQuestion);
        q.close();
    }
}

// Pictures of the import window after a run (its last status line with every count) and of the
// championship question, in French and in English, for a person to look at: written to
// $LM_SCREENSHOT_DIR when set (run under a real display server for the real look).
TEST_F(ImportWindowTest, PicturesOfTheImportWindows) {
    xbtest::OldFileModel m;
    m.teams = {{1, "Alpha"}, {2, "Beta"}, {3, "Gamma"}, {4, "Delta"}};
    m.seasons[0][0] = {"Nord", 3, 4, {1, 2, 3, 4}, {}};
    m.seasons[1][0] = {"Championnat du Sud", 9, 30, {1, 2, 3, 4, 250}, {}};
    m.matches = {{10, 1987, 1, 1, 2, 2, 0, 1}, {10, 1988, 1, 3, 4, 0, 0, 7}, {10, 1988, 150, 3, 4, 0, 0, 0}};
    const std::string path = tmp.path() + "/ancien_fichier_de_donnees.dat";
    xbtest::WriteOldFile(path, xbtest::EncodeOldFile(m));
    const QString dir = qEnvironmentVariable("LM_SCREENSHOT_DIR");
    for (int language : {1, 2}) {
        SCOPED_TRACE(language);
        LanguageIndex = language;
        Tfimport& w = *fimport();
        w.chooseFile = [&](QWidget*) { return QString::fromStdString(path); };
        w.show();
        click(w, "bselect");
        QImage question;
        ModalDriverScope driver([&](QDialog& d) {
            QTest::qWait(50);  // laid out with its texts, as the event loop shows it
            question = d.grab().toImage();
            click(d, "bnouveau");
        });
        ui.boxAnswers = {xb::platform::kIdYes};
        click(w, "bimport");
        ASSERT_EQ(w.lastOutcome().result, ImportResult::Done) << w.lastOutcome().message.toStdString();
        const QImage done = w.grab().toImage();
        // The last status line is shown whole: every count fits the window.
        auto* state = child<QLabel>(w, "letat");
        EXPECT_TRUE(state->text().startsWith(GetLangText(Text::OperationFinished)));
        EXPECT_LE(state->sizeHint().width(), state->width()) << state->text().toStdString();
        EXPECT_LE(state->heightForWidth(state->width()), state->height()) << state->text().toStdString();
        w.close();
        ASSERT_FALSE(question.isNull());
        if (!dir.isEmpty()) {
            const QString suffix = QString::number(language) + QStringLiteral(".png");
            EXPECT_TRUE(done.save(dir + QStringLiteral("/import_") + suffix));
            EXPECT_TRUE(question.save(dir + QStringLiteral("/import_question_") + suffix));
        }
    }
}

}  // namespace
