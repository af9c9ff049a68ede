// Qt's own texts follow the program's language: the standard buttons from the language table in all
// eight languages, Qt's dialogs from its catalogue where the system has one.
#include "app/shell/qt/interface_language.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>

#include "app/settings/lang_texts.h"

namespace app {
namespace {

TEST(InterfaceLanguageTest, MessageBoxButtonsSpeakEveryLanguage) {
    InstallInterfaceTranslator();
    for (int language = 1; language <= kLanguageCount; ++language) {
        SCOPED_TRACE(language);
        LanguageIndex = language;
        const QStringList yesNo = BuiltInText(Text::YesNo, language).split(u' ');
        ASSERT_EQ(yesNo.size(), 2);
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
        // Buttons may carry a mnemonic ampersand; what is read is the text without it.
        auto shown = [&](QMessageBox::StandardButton b) { return box.button(b)->text().remove(u'&'); };
        EXPECT_EQ(shown(QMessageBox::Yes), yesNo[0]);
        EXPECT_EQ(shown(QMessageBox::No), yesNo[1]);
        EXPECT_EQ(shown(QMessageBox::Ok), BuiltInText(Text::OkButton, language));
        EXPECT_EQ(shown(QMessageBox::Cancel), BuiltInText(Text::Cancel, language));
    }
    // Qt's catalogue answers the rest: the file chooser of a Croatian or a French session is not English.
    for (int language : {1, 6}) {
        LanguageIndex = language;
        EXPECT_NE(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("File &name:"))
            << language;
    }
    LanguageIndex = 2;
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("File &name:"));
    LanguageIndex = 1;
}

}  // namespace
}  // namespace app
