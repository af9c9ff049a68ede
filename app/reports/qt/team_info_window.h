// The team-information window: one team's season in a championship as a line of its rank after every
// matchday, six pies of its results and goals (all, home, away matches) and its scorers; printed on one
// page and exported as a page with the seven charts. The figures come from team_info.h.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfinfoequipe;
}
class QChartView;
class QLineSeries;
class QPieSeries;

namespace app {

class LeagueReading;
class ReportGrid;
class ReportSelectionPanel;

class Tfinfoequipe : public QWidget {
    Q_OBJECT
public:
    explicit Tfinfoequipe(QWidget* parent = nullptr);
    ~Tfinfoequipe() override;

    static const std::vector<WindowText>& Texts();

    void SetInfoEquipeChartTitles();
    void TranslateInfoEquipeForm();
    void InfoEqReloadTeams();
    void ComputeTeamInfo();
    void ComputeTeamScorers(LeagueReading& reading, int championship, int year, int team);
    void SetupScorerGrid();
    bool PrintTeamInfo();

    ReportSelectionPanel& selection() { return *m_selection; }
    ReportGrid* scorerGrid() const;
    // The seven charts in page order (rank line, goals, results, home goals, home results, away goals,
    // away results).
    QList<QChartView*> charts() const;

    QLineSeries* Series1 = nullptr;
    QPieSeries *Series2 = nullptr, *Series3 = nullptr, *PieSeries1 = nullptr;  // PieSeries1 stays empty
    QPieSeries *PieSeries3 = nullptr, *PieSeries4 = nullptr, *PieSeries6 = nullptr, *PieSeries7 = nullptr;

public slots:
    void FormShow();
    void FormActivate();
    void enumchampChange();
    void eanneeChange();
    void bafficheClick();
    void bimpClick();
    void bhtmClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::unique_ptr<Ui::Tfinfoequipe> ui;
    ReportSelectionPanel* m_selection = nullptr;
};

Tfinfoequipe* finfoequipe();

}  // namespace app
