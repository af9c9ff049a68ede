// Driving the windows as a user does: clicks, typing, choices, the pick list, message boxes and Qt's file
// dialog.
#include "app/program/qt/road/road.h"

namespace road {

RecordingShell* g_shell = nullptr;

void Click(QWidget* w, const char* name) {
    QTest::mouseClick(Child<QAbstractButton>(w, name), Qt::LeftButton);
}
void Type(QWidget* w, const char* name, const QString& text) {
    QLineEdit* e = qobject_cast<QLineEdit*>(w->findChild<QWidget*>(QString::fromLatin1(name)));
    if (!e) e = Child<QComboBox>(w, name)->lineEdit();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, text);
}
void Choose(QWidget* w, const char* name, const QString& text) {
    QComboBox* c = Child<QComboBox>(w, name);
    const int i = c->findText(text);
    if (i < 0) throw std::runtime_error(std::string("no entry ") + text.toStdString() + " in " + name);
    c->setCurrentIndex(i);
}


std::function<bool()> NoModal() {
    return [] { return QApplication::activeModalWidget() == nullptr; };
}

// The pick list: the search typed, the first row chosen.
void PickFirst(const QString& search) {
    auto* d = Modal<app::Tfliste>();
    if (!search.isEmpty()) {
        auto* e = Child<QLineEdit>(d, "erecherche");
        e->clear();
        QTest::keyClicks(e, search);
        QTest::keyClick(e, Qt::Key_Return);
    }
    auto* grid = Child<QTableView>(d, "DBGrid1");
    const QModelIndex i = grid->model()->index(0, 1);
    const QPoint at = grid->visualRect(i).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

// A message box's button of the given role.
void Answer(QMessageBox::StandardButton button) {
    auto* box = Modal<QMessageBox>();
    QTest::mouseClick(box->button(button), Qt::LeftButton);
}

// Qt's file dialog: the folder shown, the name typed, as a user does.
void TypeFileName(const QString& path) {
    auto* d = Modal<QFileDialog>();
    // The whole path, set at once: typed letter by letter, the name's completer pops up over the dialog's
    // buttons; and a folder changed first is loaded later, which empties the name again.
    Child<QLineEdit>(d, "fileNameEdit")->setText(path);
}
void AcceptFileDialog(const QString& path) {
    // Set again: the dialog's first load of its folder may have emptied the name since.
    TypeFileName(path);
    auto* d = Modal<QFileDialog>();
    auto* buttons = Child<QDialogButtonBox>(d, "buttonBox");
    QAbstractButton* ok = buttons->button(QDialogButtonBox::Save);
    if (!ok) ok = buttons->button(QDialogButtonBox::Open);
    QTest::mouseClick(ok, Qt::LeftButton);
}

app::TMainForm* Main() {
    return app::MainForm;
}

// Adds to the road the steps of one picked entry: the click that opens the pick list, the pick.
void AddPick(Road& road, const std::string& name, std::function<void()> open, const QString& search) {
    road.add(name + " (open pick list)", NoModal(), std::move(open));
    road.add(name + " (pick)", ModalIs<app::Tfliste>(), [search] { PickFirst(search); });
}

}  // namespace road
