// The results grid window: the user chooses a championship and a season and sees the season's results
// as a team x team table (row: home team, column: away team); the table exports as an HTML page. It
// computes nothing itself (results_grid.h).
#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfgrilleresult;
}

namespace app {

class ReportGrid;
class ReportSelectionPanel;

class Tfgrilleresult : public QWidget {
    Q_OBJECT
public:
    explicit Tfgrilleresult(QWidget* parent = nullptr);
    ~Tfgrilleresult() override;

    static const std::vector<WindowText>& Texts();

    void TranslateGrilleForm();
    // An empty grid that shows nothing.
    void ResetResultsGrid();
    // Builds the grid of the chosen season; a choice that is not a number leaves the grid as it is.
    void BuildResultsGrid();
    // Every cell of the grid, row 0 included.
    std::vector<QStringList> GridCells() const;

    ReportSelectionPanel& selection() { return *m_selection; }
    ReportGrid* grid() const;

public slots:
    void FormShow();
    void FormActivate();
    void bappelleClick();
    void bhtmClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void drawCell(QPainter& painter, int col, int row, const QRect& rect) const;

    std::unique_ptr<Ui::Tfgrilleresult> ui;
    ReportSelectionPanel* m_selection = nullptr;
};

// The window the main window shows (created on first use).
Tfgrilleresult* fgrilleresult();

}  // namespace app
