#include "app/shell/qt/interface_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <cstring>

#include "app/settings/lang_texts.h"

namespace app {

QString QtCatalogueName(int language) {
    static const char* const kLocales[kLanguageCount] = {"fr", "en", "pt_PT", "es", "it", "hr", "sv", "da"};
    if (language < 1 || language > kLanguageCount) return {};
    return QStringLiteral("qt_") + QString::fromLatin1(kLocales[language - 1]);
}

namespace {

// Yes and No are the two words of the table's "Yes No" text; a language file that does not give two words
// leaves them to Qt.
QString YesOrNo(int which) {
    const QStringList words = GetLangText(Text::YesNo).split(u' ', Qt::SkipEmptyParts);
    return words.size() == 2 ? words[which] : QString();
}

}  // namespace

QString InterfaceTranslator::translate(const char* context, const char* sourceText,
                                       const char* disambiguation, int n) const {
    if (context && sourceText && std::strcmp(context, "QPlatformTheme") == 0) {
        QString own;
        if (std::strcmp(sourceText, "&Yes") == 0) own = YesOrNo(0);
        if (std::strcmp(sourceText, "&No") == 0) own = YesOrNo(1);
        if (std::strcmp(sourceText, "OK") == 0) own = GetLangText(Text::OkButton);
        if (std::strcmp(sourceText, "Cancel") == 0) own = GetLangText(Text::Cancel);
        if (!own.isEmpty()) return own;
    }
    if (LanguageIndex < 1 || LanguageIndex > kLanguageCount) return {};
    const std::unique_ptr<QTranslator>& catalogue = m_catalogues[static_cast<size_t>(LanguageIndex - 1)];
    return catalogue ? catalogue->translate(context, sourceText, disambiguation, n) : QString();
}

InterfaceTranslator::InterfaceTranslator(QObject* parent) : QTranslator(parent) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (int language = 1; language <= kLanguageCount; ++language) {
        if (language == 2) continue;  // English is Qt's own
        auto catalogue = std::make_unique<QTranslator>();
        // Portuguese falls back on Brazilian Portuguese when the system lacks the European catalogue.
        if (catalogue->load(QtCatalogueName(language), dir) ||
            (language == 3 && catalogue->load(QStringLiteral("qt_pt_BR"), dir)))
            m_catalogues[static_cast<size_t>(language - 1)] = std::move(catalogue);
    }
}

void InstallInterfaceTranslator() {
    static InterfaceTranslator* installed = nullptr;
    if (installed || !QCoreApplication::instance()) return;
    installed = new InterfaceTranslator(QCoreApplication::instance());
    QCoreApplication::installTranslator(installed);
}

}  // namespace app
