// The team-matches window: one team's matches in a championship season, filtered by a match type, with
// its counts, biggest win and defeat and two charts; printed, exported as a page, and a double click
// opens a listed match in the match-entry window. The figures come from team_matches.h.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfmatcheq;
}
class QPieSeries;
class QBarSeries;
class QStackedBarSeries;

namespace app {

class ReportGrid;
class ReportSelectionPanel;

class Tfmatcheq : public QWidget {
    Q_OBJECT
public:
    explicit Tfmatcheq(QWidget* parent = nullptr);
    ~Tfmatcheq() override;

    static const std::vector<WindowText>& Texts();

    void TranslateMatchEqForm();
    void MatchEqReloadTeams();
    void ShowTeamMatches();
    void OpenSelectedMatch();
    // Computes and shows the list, counters, margins and charts.
    void ComputeTeamMatches(int championship, int year, int team, int type);
    bool PrintTeamMatches();

    ReportSelectionPanel& selection() { return *m_selection; }
    ReportGrid* grid() const;
    QPieSeries* Series2 = nullptr;
    QBarSeries* BarSeries1 = nullptr;  // stays empty
    QStackedBarSeries* Series1 = nullptr;
    // What a double click calls (OpenMatch; tests put a script in its place).
    std::function<bool(int year, int championship, int matchday, int home, int away, int mode)>
        startMatchEntry;

public slots:
    void FormShow();
    void enumchampChange();
    void eanneeChange();
    void bafficheClick();
    void grilleresultatDblClick();
    void bimpClick();
    void bhtmClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::Tfmatcheq> ui;
    ReportSelectionPanel* m_selection = nullptr;
};

// The window the main window shows (created on first use).
Tfmatcheq* fmatcheq();

}  // namespace app
