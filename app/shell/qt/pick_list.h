// The pick list: a modal window listing teams, championships or players in one of five modes, from
// which the user picks one by a double click. Callers use PickFromList; the two globals are the
// hand-over the windows of the other subsystems know.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "engine/dataset/xb_file_dataset.h"

namespace Ui {
class Tfliste;
}
namespace xb {
class TDataSetTableModel;
}

namespace app {

class StripedRowsModel;

// Set by the caller before showing: 1 teams by number, 2 teams by name, 3 championships by number,
// 4 championships by name, 5 players by name.
extern int PickListMode;
// After the window closed: the picked number, 0 when nothing was picked (Quit, Escape, title bar).
extern int PickedNumber;

class Tfliste : public QDialog {
    Q_OBJECT
public:
    explicit Tfliste(QWidget* parent = nullptr);
    ~Tfliste() override;

    void SetupList();
    // Opens the mode's table in its tag; a non-blank search lists the names starting with it.
    void OpenList(int mode, const QString& search);
    // The table the grid shows while the window is open.
    xb::TXbDbf* XbDbf1() const { return m_table.get(); }
    // Where the tables are taken until the next change; empty: the data directory.
    void setDirectory(const QString& directory) { m_directory = directory; }

public slots:
    void Factivate();
    void dbleclick(const QModelIndex& index);
    void bquitClick();
    void brechercheClick();
    void fclose();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    std::unique_ptr<Ui::Tfliste> ui;
    std::unique_ptr<xb::TXbDbf> m_table;
    xb::TDataSetTableModel* m_model;
    StripedRowsModel* m_grid;
    int m_openMode = 0;
    QString m_directory;
};

// The pick list's window (created on first use, living as long as the program).
Tfliste* fliste();

// Sets the mode, shows the pick list modally and returns PickedNumber (0: nothing picked). The list comes
// from the tables of directory (ending "/") when one is given, else from the data directory.
int PickFromList(int mode, const QString& directory = {});

}  // namespace app
