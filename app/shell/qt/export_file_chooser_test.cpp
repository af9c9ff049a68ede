// The export-file chooser driven offscreen: prepared as ChooseExportFile prepares it, answered after OK,
// cancel or close, with the Yes/No question for an existing file going through the scripted UI.
#include "app/shell/qt/export_file_chooser.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/shell/qt/modal_seam.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_ui.h"

namespace app {
namespace {

class ChooserTest : public ::testing::Test {
protected:
    ChooserTest() : startDir(QDir::currentPath()) {
        SetAppDir(QString::fromStdString(tmp.path()));
        LanguageIndex = 2;
    }
    ~ChooserTest() override {
        SetAppDir(QString());
        LanguageIndex = 1;
    }
    template <typename T>
    T* find(const char* name) {
        T* w = chooser->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void open(bool withType) {
        chooser = std::make_unique<Tfgestfic>();
        chooser->prepare(withType);
        chooser->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(chooser.get()));
    }
    void typeName(const QString& name) {
        auto* edit = find<QLineEdit>("Edit1");
        edit->clear();
        QTest::keyClicks(edit, name);
    }
    void ok() { QTest::mouseClick(find<QPushButton>("boutok"), Qt::LeftButton); }

    xbtest::TempDir tmp;
    xbtest::ScriptedUi ui;
    QString startDir;
    std::unique_ptr<Tfgestfic> chooser;
};

TEST_F(ChooserTest, AnswersTheChosenFileAndItsType) {
    open(true);
    EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Enter the name of the file that will be create"));
    EXPECT_EQ(find<QLineEdit>("Edit1")->text(), QStringLiteral("*"));
    EXPECT_TRUE(find<QGroupBox>("gtype")->isVisible());
    EXPECT_EQ(find<QRadioButton>("rtype2")->text(), QStringLiteral("Type 2"));
    EXPECT_EQ(find<QPushButton>("boutannule")->text(), QStringLiteral("Cancel"));
    typeName(QStringLiteral("table"));
    ok();
    EXPECT_FALSE(chooser->isVisible());
    ExportFileChoice choice;
    ASSERT_TRUE(chooser->answer(choice));
    const QString dir = QString::fromStdString(tmp.path()) + u'/';
    EXPECT_EQ(choice.directory, dir);
    EXPECT_EQ(choice.fileName, QStringLiteral("table"));
    EXPECT_EQ(choice.fullPath, dir + QStringLiteral("table"));
    EXPECT_EQ(choice.type, 1);

    chooser->prepare(true);
    chooser->show();
    find<QRadioButton>("rtype2")->setChecked(true);
    typeName(QStringLiteral("other"));
    ok();
    ASSERT_TRUE(chooser->answer(choice));
    EXPECT_EQ(choice.type, 2);

    // Without the type choice the group stays hidden and the type is 1.
    chooser->prepare(false);
    chooser->show();
    EXPECT_FALSE(find<QGroupBox>("gtype")->isVisible());
    typeName(QStringLiteral("x"));
    ok();
    ASSERT_TRUE(chooser->answer(choice));
    EXPECT_EQ(choice.type, 1);
    EXPECT_EQ(QDir::currentPath(), startDir);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ChooserTest, CancelAndClosingAnswerFalse) {
    open(false);
    typeName(QStringLiteral("table"));
    QTest::mouseClick(find<QPushButton>("boutannule"), Qt::LeftButton);
    ExportFileChoice choice;
    EXPECT_EQ(chooser->Tag, -1);
    EXPECT_FALSE(chooser->answer(choice));

    chooser->prepare(false);
    chooser->show();
    typeName(QStringLiteral("table"));
    chooser->close();
    EXPECT_FALSE(chooser->answer(choice));

    chooser->prepare(false);
    chooser->show();
    typeName(QStringLiteral("table"));
    QTest::keyClick(chooser.get(), Qt::Key_Escape);
    EXPECT_FALSE(chooser->isVisible());
    EXPECT_FALSE(chooser->answer(choice));
}

TEST_F(ChooserTest, AnExistingFileAsksYesOrNo) {
    xbtest::WriteFileBytes(tmp.file("old.htm"), "x");
    for (int button : {xb::platform::kIdNo, xb::platform::kIdYes}) {
        SCOPED_TRACE(button);
        open(false);
        typeName(QStringLiteral("old.htm"));
        ok();
        ui.messages.clear();
        ui.boxAnswers = {button};
        ExportFileChoice choice;
        EXPECT_EQ(chooser->answer(choice), button == xb::platform::kIdYes);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Continue ?");
        EXPECT_EQ(ui.messages[0].caption, "This File exists!!");
        EXPECT_EQ(ui.messages[0].flags & 0x0F, xb::platform::kMbYesNo);
    }
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("old.htm")), "x");
}

TEST_F(ChooserTest, RefusesWildcardsEmptyNamesAndDirectoriesAndStays) {
    QDir(QString::fromStdString(tmp.path())).mkdir(QStringLiteral("sub"));
    open(false);
    for (const char* name : {"*", "", "a*", "pa?e", "sub", "missing/x.htm", "  "}) {
        SCOPED_TRACE(name);
        ui.messages.clear();
        typeName(QString::fromUtf8(name));
        ok();
        EXPECT_TRUE(chooser->isVisible());
        EXPECT_EQ(chooser->Tag, -1);
        ASSERT_EQ(ui.messages.size(), 1u);
        // A folder's name is said to be one, not answered with the window's title.
        if (std::string(name) == "sub")
            EXPECT_EQ(ui.messages[0].text,
                      GetLangText(Text::NameIsFolder)
                          .arg(QDir::toNativeSeparators(QString::fromStdString(tmp.path()) + QStringLiteral("/sub")))
                          .toStdString());
    }
    // A name typed with a directory is split into the two.
    typeName(QStringLiteral("sub/page.htm"));
    ok();
    ExportFileChoice choice;
    ASSERT_TRUE(chooser->answer(choice));
    const QString sub = QString::fromStdString(tmp.path()) + QStringLiteral("/sub/");
    EXPECT_EQ(choice.directory, sub);
    EXPECT_EQ(choice.fileName, QStringLiteral("page.htm"));
    EXPECT_EQ(choice.fullPath, sub + QStringLiteral("page.htm"));
    EXPECT_EQ(QDir::currentPath(), startDir);
}

TEST_F(ChooserTest, PlacesListHomeDataAndRootAndAnUnreadablePlaceFallsBackHome) {
    open(false);
    auto* places = find<QComboBox>("DriveComboBox1");
    QStringList shown;
    for (int i = 0; i < places->count(); ++i) shown << places->itemData(i).toString();
    EXPECT_TRUE(shown.contains(QDir::homePath() + u'/'));
    EXPECT_TRUE(shown.contains(GetAppDir()));
    EXPECT_TRUE(shown.contains(QStringLiteral("/")));
    EXPECT_EQ(chooser->currentDirectory(), GetAppDir());

    places->addItem(QStringLiteral("/no/such/volume/"), QStringLiteral("/no/such/volume/"));
    chooser->changelect(places->count() - 1);
    EXPECT_EQ(chooser->currentDirectory(), QDir::homePath() + u'/');
    EXPECT_EQ(places->currentData().toString(), QDir::homePath() + u'/');
}

// ChooseExportFile shows the real window through the modal seam: a test's script answers it, and
// closing it without OK answers false.
TEST_F(ChooserTest, ChooseExportFileRunsTheChooserThroughTheModalSeam) {
    int shown = 0;
    bool typeShown = false;
    ModalDriverScope driver([&](QDialog& dialog) {
        ++shown;
        auto* window = qobject_cast<Tfgestfic*>(&dialog);
        ASSERT_NE(window, nullptr);
        typeShown = window->findChild<QGroupBox*>(QStringLiteral("gtype"))->isVisible();
        auto* edit = window->findChild<QLineEdit*>(QStringLiteral("Edit1"));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("x.htm"));
        window->findChild<QRadioButton*>(QStringLiteral("rtype2"))->setChecked(true);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("boutok")), Qt::LeftButton);
    });
    ExportFileChoice choice;
    EXPECT_TRUE(ChooseExportFile(true, choice));
    EXPECT_TRUE(typeShown);
    EXPECT_EQ(choice.fullPath, QString::fromStdString(tmp.path()) + QStringLiteral("/x.htm"));
    EXPECT_EQ(choice.type, 2);

    ModalDriverScope closeOnly([&](QDialog& dialog) {
        ++shown;
        typeShown = dialog.findChild<QGroupBox*>(QStringLiteral("gtype"))->isVisible();
        dialog.close();
    });
    EXPECT_FALSE(ChooseExportFile(false, choice));
    EXPECT_FALSE(typeShown);
    EXPECT_EQ(shown, 2);
}

}  // namespace
}  // namespace app
