// The prediction window: the user chooses a championship, a season, a matchday, the home team (team 1)
// and the away team (team 2) and a method, and sees the forecast as a pie of three percentages. It
// computes nothing itself (prevision.h). Printing and the page are not offered (their buttons stay
// disabled).
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

class QPieSeries;

namespace Ui {
class Tfprevision;
}

namespace app {

class ReportSelectionPanel;

class Tfprevision : public QWidget {
    Q_OBJECT
public:
    explicit Tfprevision(QWidget* parent = nullptr);
    ~Tfprevision() override;

    static const std::vector<WindowText>& Texts();

    void TranslatePrevisionForm();
    // The forecast of the window's choices into the pie; choices that give no forecast change nothing.
    void ComputePrevision();
    // Both team boxes refilled with the season's teams.
    void PrevisionReloadTeams();
    // The matchday box refilled with the season's matchdays.
    void FillPrevisionDays();

    ReportSelectionPanel& selection() { return *m_selection; }
    QPieSeries* Series2() const { return m_series; }

public slots:
    void FormShow();
    void bafficherClick();
    void bquitClick();
    void enumchampChange();
    void canneeChange();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::Tfprevision> ui;
    ReportSelectionPanel* m_selection = nullptr;
    QPieSeries* m_series = nullptr;
};

// The window the main window shows (created on first use).
Tfprevision* fprevision();

}  // namespace app
