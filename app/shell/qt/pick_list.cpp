#include "app/shell/qt/pick_list.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <algorithm>

#include "app/data/editing_tables.h"
#include "app/shell/entry_rules.h"
#include "app/settings/lang_texts.h"
#include "app/shell/pick_modes.h"
#include "app/shell/qt/entry_validators.h"
#include "app/shell/qt/grid_colours.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/window_guards.h"
#include "engine/dataset/qt/dataset_table_model.h"
#include "ui_Tfliste.h"

namespace app {

int PickListMode = 0;
int PickedNumber = 0;

namespace {
// The longest name the tables hold (championships and players).
constexpr int kSearchWidth = 30;
}  // namespace

Tfliste::Tfliste(QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::Tfliste>()),
      m_model(new xb::TDataSetTableModel(nullptr, this)),
      m_grid(new StripedRowsModel(this)) {
    ui->setupUi(this);
    SetKeyRule(ui->erecherche, KeyRule::kText, kSearchWidth);
    m_grid->setSourceModel(m_model);
    ShowStriped(ui->DBGrid1, m_model);
    m_grid = static_cast<StripedRowsModel*>(ui->DBGrid1->model());
    ui->DBGrid1->verticalHeader()->setVisible(false);
    connect(ui->DBGrid1, &QAbstractItemView::doubleClicked, this,
            Guarded([this](const QModelIndex& i) { dbleclick(i); }));
    connect(ui->bquit, &QPushButton::clicked, this, Guarded([this] { bquitClick(); }));
    connect(ui->brecherche, &QToolButton::clicked, this, Guarded([this] { brechercheClick(); }));
    connect(ui->erecherche, &QLineEdit::returnPressed, this, Guarded([this] { brechercheClick(); }));
}

Tfliste::~Tfliste() {
    m_model->setDataSet(nullptr);
    if (m_table) RunGuarded([this] { m_table->Close(); });
}

void Tfliste::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Factivate();
}

void Tfliste::Factivate() {
    // A close by the title bar or Escape picks nothing, whatever an earlier showing picked.
    PickedNumber = 0;
    RunGuarded([this] {
        ui->erecherche->clear();
        SetupList();
        OpenList(PickListMode, QString());
    });
}

void Tfliste::SetupList() {
    const PickMode* m = FindPickMode(PickListMode);
    ui->p1->setVisible(m && m->searchField);
    ui->bquit->setText(GetLangText(Text::Quit));
}

void Tfliste::OpenList(int mode, const QString& search) {
    const PickMode* m = FindPickMode(mode);
    m_model->setDataSet(nullptr);
    if (!m) return;
    // Named after what it lists: a title bar without a title reads as a window of no one.
    setWindowTitle(GetLangText(m->name.titleText));
    // Each mode opens its table with its own definition: a missing file or index is made with the right
    // fields and tags, not another table's.
    if (!m_table || m_openMode != mode) {
        if (m_table) m_table->Close();
        m_table = OpenEditingTable(m->table, "fliste", m_directory.toStdString());
        m_openMode = mode;
    }
    xb::TXbDbf& t = *m_table;
    // The production index (the mode's index file) opened with the table.
    t.SetOrderToTag(m->tag);
    // A blank search, or no search at all, lists every row: no filter is left from an earlier search.
    t.SetFilterTo(m->searchField ? NameSearchFilter(m->searchField, search.toStdString()) : std::string());
    t.GoTop();
    t.First();
    for (int i = 0; i < t.FieldCount(); ++i) {
        xb::TField& f = t.Fields(i);
        const QString name = QString::fromStdString(f.FieldName()).toUpper();
        f.Visible = name == QLatin1String(m->number.field) || name == QLatin1String(m->name.field);
    }
    m_model->setDataSet(&t);
    QStringList titles;
    for (const PickColumn* c : {&m->number, &m->name})
        titles << (c->titleText != Text::None ? GetLangText(c->titleText) : QStringLiteral("N°"));
    m_grid->setTitles(titles);
    ui->DBGrid1->setColumnWidth(0, m->number.width);
    ui->DBGrid1->setColumnHidden(0, !m->number.shown);
    // The names read whole: the column is as wide as the longest one, never narrower than the mode's width.
    ui->DBGrid1->resizeColumnToContents(1);
    ui->DBGrid1->setColumnWidth(1, std::max(m->name.width, ui->DBGrid1->columnWidth(1)));
    ui->DBGrid1->setColumnHidden(1, !m->name.shown);
    if (m_model->rowCount() > 0) ui->DBGrid1->selectRow(0);
}

void Tfliste::dbleclick(const QModelIndex& index) {
    if (!index.isValid()) return;
    const QString number = m_model->index(index.row(), 0).data().toString().trimmed();
    PickedNumber = ParseInteger(number).value_or(0);
    accept();
}

void Tfliste::bquitClick() {
    PickedNumber = 0;
    reject();
}

void Tfliste::brechercheClick() {
    OpenList(PickListMode, ui->erecherche->text());
}

void Tfliste::fclose() {
    m_model->setDataSet(nullptr);
    if (m_table) m_table->Close();
    m_table.reset();
    m_openMode = 0;
}

void Tfliste::done(int result) {
    RunGuarded([this] { fclose(); });
    QDialog::done(result);
}

Tfliste* fliste() {
    static Tfliste* window = new Tfliste();
    return window;
}

int PickFromList(int mode, const QString& directory) {
    PickListMode = mode;
    fliste()->setDirectory(directory);
    ShowModal(*fliste());
    fliste()->setDirectory(QString());
    return PickedNumber;
}

}  // namespace app
