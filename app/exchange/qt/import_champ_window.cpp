#include "app/exchange/qt/import_champ_window.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_lookups.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/window_guards.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/ui.h"
#include "ui_Tfimportchamp.h"

namespace app {

Tfimportchamp::Tfimportchamp(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfimportchamp>()) {
    ui->setupUi(this);
    SetKeyRule(ui->enumero, KeyRule::kDigits, 3);
    connect(ui->inumero, &QToolButton::clicked, this, Guarded([this] { inumeroClick(); }));
    connect(ui->inom, &QToolButton::clicked, this, Guarded([this] { inomClick(); }));
    connect(ui->bnouveau, &QPushButton::clicked, this, Guarded([this] { bnouveauClick(); }));
    connect(ui->bok, &QPushButton::clicked, this, Guarded([this] { bokClick(); }));
}

Tfimportchamp::~Tfimportchamp() = default;

void Tfimportchamp::SetImportChampName(const QString& name) {
    m_name = name;
}

void Tfimportchamp::SetImportChampTable(const QString& directory) {
    m_directory = directory;
}

void Tfimportchamp::TranslateForm() {
    ui->Label1->setText(GetLangText(Text::ImportChampLeague).arg(m_name));
    ui->Memo1->setPlainText(QStringList{GetLangText(Text::ImportChampNotInDatabase),
                                        GetLangText(Text::ImportChampSelect),
                                        GetLangText(Text::ImportChampOrCreate)}
                                .join('\n'));
    ui->bnouveau->setText(GetLangText(Text::ImportChampCreate));
    ui->bok->setToolTip(GetLangText(Text::ImportChampOkHint));
    setWindowTitle(GetLangText(Text::ImportTitle));
}

void Tfimportchamp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Closing the window without an answer skips the division.
    m_result = 0;
    TranslateForm();
    ui->enumero->setText(QStringLiteral("0"));
    ui->enom->clear();
}

QString Tfimportchamp::championshipName(int number) const {
    std::unique_ptr<xb::TXbDbf> table;
    if (!OpenTable(table, (m_directory + QStringLiteral("champion.dbf")).toStdString())) return {};
    QString name;
    RunGuarded([&] { name = GetChampionshipNameT(*table, number); });
    CloseTable(table);
    return name;
}

void Tfimportchamp::pick(int mode) {
    const int picked = PickFromList(mode, m_directory);
    if (picked == 0) return;
    ui->enumero->setText(QString::number(picked));
    ui->enom->setText(championshipName(picked));
}

void Tfimportchamp::inumeroClick() {
    pick(3);
}

void Tfimportchamp::inomClick() {
    pick(4);
}

void Tfimportchamp::bnouveauClick() {
    m_result = -1;
    accept();
}

void Tfimportchamp::bokClick() {
    // Only a championship of the new database: anything else is refused here and the window stays.
    const auto number = ParseInteger(ui->enumero->text().trimmed());
    const QString name = number && *number > 0 ? championshipName(*number) : QString();
    if (name.isEmpty()) {
        ShowMessage(GetLangText(Text::ImportChampNoSuchNumber), windowTitle(), xb::platform::kMbIconWarning);
        ui->enumero->setFocus();
        return;
    }
    m_result = *number;
    accept();
}

Tfimportchamp* fimportchamp() {
    static Tfimportchamp* window = new Tfimportchamp();
    return window;
}

int AskImportChampionship(const QString& name, const QString& directory) {
    Tfimportchamp& w = *fimportchamp();
    w.SetImportChampName(name);
    w.SetImportChampTable(directory);
    ShowModal(w);
    return w.ImportChampResult();
}

}  // namespace app
