// Qt's own texts in the program's language. The standard buttons of every message box and dialog (Yes,
// No, OK, Cancel) take the language table's texts, so they read right in all eight languages whatever the
// system holds; the rest of Qt's dialogs (the file chooser's labels) come from Qt's catalogue for the
// language, where the system has one. Both follow LanguageIndex as it changes.
#pragma once

#include <QString>
#include <QTranslator>
#include <array>
#include <memory>

#include "app/settings/lang_texts.h"

namespace app {

// Qt's catalogue file name for a language (1..8): "qt_fr", "qt_pt_BR" and the like.
QString QtCatalogueName(int language);

class InterfaceTranslator : public QTranslator {
public:
    // Loads Qt's catalogue of every language once: a translator may not load while Qt asks it for a text.
    explicit InterfaceTranslator(QObject* parent = nullptr);
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }

private:
    std::array<std::unique_ptr<QTranslator>, kLanguageCount> m_catalogues;
};

// Installs one InterfaceTranslator on the application (once).
void InstallInterfaceTranslator();

}  // namespace app
