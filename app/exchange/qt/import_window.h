// The import window: the user chooses a data file of version 1.27 and starts its import, which replaces
// the championship data of the database; the status label follows each step.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/exchange/old_import.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfimport;
}

namespace app {

class Tfimport : public QWidget {
    Q_OBJECT
public:
    explicit Tfimport(QWidget* parent = nullptr);
    ~Tfimport() override;

    // The window's captions and hints, from the language table.
    static std::vector<WindowText> Texts();
    void TranslateImportForm();

    // How the file is chosen; the program asks with an open dialog on all files. Tests replace it.
    std::function<QString(QWidget*)> chooseFile;
    // The outcome of the last import.
    const ImportOutcome& lastOutcome() const { return m_outcome; }

public slots:
    void bselectClick();
    void bimportClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showStatus(const QString& text);

    std::unique_ptr<Ui::Tfimport> ui;
    QString m_fileName;
    ImportOutcome m_outcome;
};

// The window, created on first use and living as long as the program.
Tfimport* fimport();

}  // namespace app
