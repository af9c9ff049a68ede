#include "app/exchange/qt/import_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "app/exchange/qt/import_champ_window.h"
#include "app/settings/lang_texts.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "platform/ui.h"
#include "ui_Tfimport.h"

namespace app {

std::vector<WindowText> Tfimport::Texts() {
    using R = TextRole;
    return {{"Tfimport", Text::ImportTitle, R::kCaption},
            {"bselect", Text::ImportSelectFile, R::kCaption},
            {"bselect", Text::ImportSelectFileHint, R::kHint},
            {"bimport", Text::ImportRun, R::kCaption},
            {"bimport", Text::ImportRunHint, R::kHint},
            {"bquit", Text::Quit, R::kCaption},
            {"bquit", Text::CloseWindowHint, R::kHint},
            {"gfichier", Text::ImportFileSelected, R::kCaption}};
}

Tfimport::Tfimport(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Tfimport>()) {
    ui->setupUi(this);
    chooseFile = [](QWidget* owner) {
        return QFileDialog::getOpenFileName(owner, QString(), QString(), "*");
    };
    connect(ui->bselect, &QPushButton::clicked, this, Guarded([this] { bselectClick(); }));
    connect(ui->bimport, &QPushButton::clicked, this, Guarded([this] { bimportClick(); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
}

Tfimport::~Tfimport() = default;

void Tfimport::TranslateImportForm() {
    ApplyWindowTexts(this, Texts());
}

void Tfimport::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) TranslateImportForm();
}

void Tfimport::bselectClick() {
    const QString name = chooseFile ? chooseFile(this) : QString();
    if (name.isEmpty()) return;
    m_fileName = name;
    ui->lfic->setText(name);
}

void Tfimport::showStatus(const QString& text) {
    ui->letat->setText(text);
    ui->letat->repaint();
}

void Tfimport::bimportClick() {
    if (m_fileName.isEmpty()) return;
    ImportHooks hooks;
    hooks.status = [this](const QString& text) { showStatus(text); };
    hooks.confirm = [this] {
        const bool yes =
            xb::platform::CurrentUi().messageBox(
                GetLangText(Text::EraseAllData).toStdString(), GetLangText(Text::PleaseConfirm).toStdString(),
                xb::platform::kMbYesNo | xb::platform::kMbIconWarning | xb::platform::kMbDefButton2) ==
            xb::platform::kIdYes;
        // Nothing of this program may keep a table open, or rows of the old database, across the swap.
        if (yes) CloseWorkingWindows(this);
        return yes;
    };
    hooks.goOnWithout = [this](const QString& text) {
        QApplication::restoreOverrideCursor();
        const bool yes =
            xb::platform::CurrentUi().messageBox(
                (text + QStringLiteral("\n\n") + GetLangText(Text::ImportGoOnWithout)).toStdString(),
                windowTitle().toStdString(),
                xb::platform::kMbYesNo | xb::platform::kMbIconWarning | xb::platform::kMbDefButton2) ==
            xb::platform::kIdYes;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return yes;
    };
    hooks.chooseChampionship = [](const QString& name, const std::string& dir) {
        QApplication::restoreOverrideCursor();
        const int answer = AskImportChampionship(name, QString::fromStdString(dir));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return answer;
    };
    {
        HourGlass wait;
        m_outcome = ImportOldFile(m_fileName.toStdString(), hooks);
    }
    switch (m_outcome.result) {
        case ImportResult::Done:
            break;
        case ImportResult::Cancelled:
            // Stopped at a question: a stop over names the database cannot hold says what stopped it.
            showStatus(m_outcome.message);
            break;
        case ImportResult::Refused:
        case ImportResult::Failed:
            showStatus(m_outcome.message);
            ShowMessage(m_outcome.message, windowTitle(), xb::platform::kMbIconStop);
            break;
    }
}

void Tfimport::bquitClick() {
    close();
}

Tfimport* fimport() {
    static Tfimport* window = new Tfimport();
    return window;
}

}  // namespace app
