#include "app/exchange/qt/import_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "app/exchange/qt/import_champ_window.h"
#include "app/shell/lang_texts.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "platform/ui.h"
#include "ui_Tfimport.h"

namespace app {

namespace {

WindowText caption(const char* object, const char* text) {
    return {object, Text::None, TextRole::kCaption, text};
}
WindowText hint(const char* object, const char* text) {
    return {object, Text::None, TextRole::kHint, text};
}

}  // namespace

std::vector<WindowText> Tfimport::Texts(int language) {
    switch (language) {
        case 2:
            return {
                caption("Tfimport", "Importation"),
                caption("bselect", "Select the import file"),
                hint("bselect", "Click here to select the pelmorad v1.27 file to use for the importation"),
                caption("bimport", "Execute the importation operation"),
                hint("bimport", "Execute the importation with the pelmorad1.27 file selected"),
                hint("bquit", "Close this windows"),
                caption("gfichier", "File selected")};
        case 3:
            return {
                caption("Tfimport", "Importação"),
                caption("bselect", "Selecionar o ficheiro a importar"),
                hint("bselect", "Clique aqui para selecionar o ficheiro pelmorad v1.27 a usar na importação"),
                caption("bimport", "Executar a importação"),
                hint("bimport", "Executa a importação com o ficheiro pelmorad1.27 selecionado"),
                hint("bquit", "Fechar esta janela"),
                caption("gfichier", "Ficheiro selecionado")};
        case 4:
            return {caption("Tfimport", "Importación"),
                    caption("bselect", "Seleccionar el archivo a importar"),
                    hint("bselect",
                         "Haga clic aquí para seleccionar el archivo pelmorad v1.27 para la importación"),
                    caption("bimport", "Ejecutar la importación"),
                    hint("bimport", "Ejecuta la importación con el archivo pelmorad1.27 seleccionado"),
                    hint("bquit", "Cerrar esta ventana"),
                    caption("gfichier", "Archivo seleccionado")};
        default:
            return {caption("Tfimport", "Importation"),
                    caption("bselect", "Selectionner fichier"),
                    hint("bselect", "Cliquez ici pour sélectionner le fichier pelmorad v1.27 à importer"),
                    caption("bimport", "Lancer l'importation"),
                    hint("bimport", "Lance l'importation avec le fichier pelmorad1.27 sélectionné"),
                    hint("bquit", "Fermer cette fenêtre"),
                    caption("gfichier", "Fichier sélectionné")};
    }
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
    ApplyWindowTexts(this, Texts(LanguageIndex));
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
                xb::platform::kMbYesNo | xb::platform::kMbIconWarning) == xb::platform::kIdYes;
        // Nothing of this program may keep a table open, or rows of the old database, across the swap.
        if (yes) CloseWorkingWindows(this);
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
            showStatus(QString());
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
