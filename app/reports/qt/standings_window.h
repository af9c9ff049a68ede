// The standings window: the user chooses a championship, a season, a range of matchdays, all, home or
// away matches and an order, and sees the standings or the top scorers; the list prints and exports as
// an HTML page. It computes nothing itself (standings.h, scorers.h, standings_report.h).
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/reports/standings_report.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfclassement;
}

namespace app {

class ReportGrid;
class ReportSelectionPanel;

class Tfclassement : public QWidget {
    Q_OBJECT
public:
    explicit Tfclassement(QWidget* parent = nullptr);
    ~Tfclassement() override;

    static const std::vector<WindowText>& Texts();

    void InitStandingsForm();
    void SetupStandingsGrid();
    void SetupStandingsScorersGrid();
    void FillStandingsDayLists();
    void ShowStandings();
    void ShowScorersTable(const std::vector<ScorerRow>& scorers);
    // The grid's data rows as they stand (after any hand reordering).
    GridRows GridContents() const;
    StandingsPageInfo PageInfo() const;
    bool PrintStandings();

    ReportSelectionPanel& selection() { return *m_selection; }
    ReportGrid* grid() const;

public slots:
    void FormShow();
    void FormActivate();
    void inomClick();
    void eanneeChange();
    void enumchampChange();
    void bappelleclassementClick();
    void bimpClick();
    void bhtmClick();
    void bquitClick();
    void grilleclassementDblClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fillGrid(const GridRows& rows);

    std::unique_ptr<Ui::Tfclassement> ui;
    ReportSelectionPanel* m_selection = nullptr;
};

// The window the main window shows (created on first use).
Tfclassement* fclassement();

}  // namespace app
