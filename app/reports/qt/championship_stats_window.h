// The championship statistics window: the user chooses a championship and a season and sees two pies,
// goals scored at home against away, and home wins against away wins against draws; the page prints.
// It computes nothing itself (championship_stats.h).
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

class QChartView;
class QPieSeries;

namespace Ui {
class Tfstatchamp;
}

namespace app {

class ReportSelectionPanel;

class Tfstatchamp : public QWidget {
    Q_OBJECT
public:
    explicit Tfstatchamp(QWidget* parent = nullptr);
    ~Tfstatchamp() override;

    static const std::vector<WindowText>& Texts();

    void TranslateStatChampForm();
    // Fills both pies from the chosen season; a choice that is not a number changes nothing.
    void ComputeChampionshipStats();
    // One page: title, championship, season and both charts. False when nothing was printed.
    bool PrintChampionshipStats();

    ReportSelectionPanel& selection() { return *m_selection; }
    QPieSeries* Series2() const { return m_goals; }
    QPieSeries* Series3() const { return m_results; }

public slots:
    void FormShow();
    void FormActivate();
    void bafficheClick();
    void bimpClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::unique_ptr<Ui::Tfstatchamp> ui;
    ReportSelectionPanel* m_selection = nullptr;
    QPieSeries* m_goals = nullptr;
    QPieSeries* m_results = nullptr;
};

// The window the main window shows (created on first use).
Tfstatchamp* fstatchamp();

}  // namespace app
