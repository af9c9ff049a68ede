// The parameters window driven offscreen: settings shown, edited, stored or dropped; edits kept while
// another window is active; the language choice hidden under a language file; texts in two languages.
#include "app/shell/qt/parameters_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <optional>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "tests/support/fixtures.h"

namespace app {
namespace {

class ParametersWindowTest : public ::testing::Test {
protected:
    ParametersWindowTest() {
        SetAppDir(QString::fromStdString(tmp.path()));
        LanguageIndex = 3;
        HideDrawsFlag = 1;
        HtmlHeaderText = QStringLiteral("<p>top</p>");
        HtmlFooterText = QStringLiteral("bottom");
        Params.goalsForLabel = QStringLiteral("BP");
        Params.goalsAgainstLabel = QStringLiteral("BC");
        Params.openAfterExport = 1;
    }
    ~ParametersWindowTest() override {
        SetAppDir({});
        SetLanguageManager(nullptr);
        LanguageIndex = 1;
        Params = ParamRecord{};
    }
    template <typename T>
    T* find(const char* name) {
        T* w = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void showAndWait(QWidget& w) {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    // The settings file as a station started now would read it; nullopt when there is none.
    std::optional<ParamRecord> stored() const {
        const std::string path = tmp.file(kParamFileName);
        if (!std::filesystem::exists(path)) return std::nullopt;
        const std::string bytes = xbtest::ReadFileBytes(path);
        EXPECT_EQ(bytes.size(), static_cast<size_t>(kParamRecordSize));
        return DecodeParamRecord(reinterpret_cast<const unsigned char*>(bytes.data()));
    }

    xbtest::TempDir tmp;
    Tfpara window;
};

TEST_F(ParametersWindowTest, ShowsEditsAndStoresOnOkKeepingEditsAcrossActivations) {
    showAndWait(window);
    EXPECT_TRUE(find<QRadioButton>("rportugais")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("cnul")->isChecked());
    EXPECT_EQ(find<QPlainTextEdit>("mhtml1")->toPlainText(), QStringLiteral("<p>top</p>"));
    EXPECT_EQ(find<QPlainTextEdit>("mhtml2")->toPlainText(), QStringLiteral("bottom"));
    EXPECT_EQ(find<QLineEdit>("Ebp")->text(), QStringLiteral("BP"));
    EXPECT_EQ(find<QLineEdit>("ebc")->text(), QStringLiteral("BC"));
    EXPECT_TRUE(find<QCheckBox>("clancenavigateur")->isChecked());
    EXPECT_TRUE(find<QGroupBox>("glangue")->isVisible());

    find<QRadioButton>("rcroatie")->setChecked(true);
    find<QCheckBox>("cnul")->setChecked(false);
    auto* header = find<QPlainTextEdit>("mhtml1");
    header->setPlainText(QString());
    header->insertPlainText(QStringLiteral("Č"));
    QTest::keyClicks(header, QStringLiteral("akovec"));
    find<QPlainTextEdit>("mhtml2")->setPlainText(QString(300, u'f'));  // a paste beyond the limit
    auto* ebp = find<QLineEdit>("Ebp");
    ebp->clear();
    QTest::keyClicks(ebp, QStringLiteral("PTS"));  // at most 2 characters
    find<QCheckBox>("clancenavigateur")->setChecked(false);

    // The main window takes the focus and gives it back: nothing typed is lost.
    QWidget mainWindow;
    showAndWait(mainWindow);
    showAndWait(window);
    EXPECT_EQ(header->toPlainText(), QStringLiteral("Čakovec"));
    EXPECT_TRUE(find<QRadioButton>("rcroatie")->isChecked());

    QTest::mouseClick(find<QPushButton>("bok"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(LanguageIndex, 6);
    EXPECT_EQ(HideDrawsFlag, 0);
    EXPECT_EQ(HtmlHeaderText, QStringLiteral("Čakovec"));
    EXPECT_EQ(HtmlFooterText, QString(255, u'f'));
    EXPECT_EQ(Params.goalsForLabel, QStringLiteral("PT"));
    EXPECT_EQ(Params.goalsAgainstLabel, QStringLiteral("BC"));
    EXPECT_EQ(Params.openAfterExport, 0);
    // OK wrote them: a kill now loses nothing.
    const std::optional<ParamRecord> file = stored();
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->language, 6);
    EXPECT_EQ(file->hideDraws, 0);
    EXPECT_EQ(file->htmlHeader, QStringLiteral("&#268;akovec"));  // as the page shows it
    EXPECT_EQ(file->goalsForLabel, QStringLiteral("PT"));
}

TEST_F(ParametersWindowTest, QuitKeepsTheSettingsAndTheNextShowingStartsFromThem) {
    showAndWait(window);
    find<QRadioButton>("rdanmark")->setChecked(true);
    find<QPlainTextEdit>("mhtml1")->setPlainText(QStringLiteral("dropped"));
    find<QLineEdit>("ebc")->setText(QStringLiteral("x"));
    QTest::mouseClick(find<QPushButton>("bquit"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(LanguageIndex, 3);
    EXPECT_EQ(HtmlHeaderText, QStringLiteral("<p>top</p>"));
    EXPECT_EQ(Params.goalsAgainstLabel, QStringLiteral("BC"));
    EXPECT_FALSE(stored().has_value());

    showAndWait(window);
    EXPECT_TRUE(find<QRadioButton>("rportugais")->isChecked());
    EXPECT_EQ(find<QPlainTextEdit>("mhtml1")->toPlainText(), QStringLiteral("<p>top</p>"));
    EXPECT_EQ(find<QLineEdit>("ebc")->text(), QStringLiteral("BC"));
}

TEST_F(ParametersWindowTest, ALanguageFileHidesTheChoiceAndKeepsTheLanguage) {
    xbtest::TempDir tmp;
    std::string file = "LANGUE;Deutsch\nAUTEUR;Someone\nVERSION;3\n";
    for (int i = 0; i < 7; ++i) file += "RESERVE;" + std::to_string(i) + "\n";
    for (int n = 1; n <= 224; ++n) file += std::to_string(n) + ";Text " + std::to_string(n) + "\n";
    xbtest::WriteFileBytes(tmp.file("pelmorad.lg"), file);
    Tgerelanguage manager(QString::fromStdString(tmp.file("pelmorad.lg")));
    ASSERT_TRUE(manager.Load());
    SetLanguageManager(&manager);
    LanguageIndex = 6;

    showAndWait(window);
    EXPECT_FALSE(find<QGroupBox>("glangue")->isVisible());
    EXPECT_EQ(find<QPushButton>("bquit")->text(), QStringLiteral("Text 46"));
    QTest::mouseClick(find<QPushButton>("bok"), Qt::LeftButton);
    EXPECT_EQ(LanguageIndex, 6);
}

TEST_F(ParametersWindowTest, TakesItsTextsInTheCurrentLanguage) {
    for (int language : {1, 2}) {
        SCOPED_TRACE(language);
        LanguageIndex = language;
        window.FormActivate();
        for (const WindowText& entry : Tfpara::Texts()) {
            EXPECT_EQ(ShownWindowText(&window, entry), GetLangText(entry.text)) << entry.objectName;
            EXPECT_FALSE(GetLangText(entry.text).isEmpty()) << entry.objectName;
        }
    }
    // English after the loop.
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Parameters"));
    EXPECT_EQ(find<QTabWidget>("PageControl1")->tabText(1), QStringLiteral("Html Exportation"));
    LanguageIndex = 1;
    window.FormActivate();
    EXPECT_EQ(find<QPushButton>("bquit")->text(), QStringLiteral("Quitter"));
    EXPECT_EQ(find<QTabWidget>("PageControl1")->tabText(0), QStringLiteral("Général"));
}

}  // namespace
}  // namespace app
