// The head-to-head window: every recorded meeting of two teams over all championships and seasons (team 1
// at home only, or both ways), with the wins, draws and goals of each side in a pie and a bar chart;
// printed and exported as a page. The figures come from head_to_head.h.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tffaceaface;
}
class QPieSeries;
class QStackedBarSeries;

namespace app {

class ReportGrid;

class Tffaceaface : public QWidget {
    Q_OBJECT
public:
    explicit Tffaceaface(QWidget* parent = nullptr);
    ~Tffaceaface() override;

    static const std::vector<WindowText>& Texts();

    // Captions, hints and the grid's titles; the list and the charts keep the last computation.
    void TranslateFaceAFaceForm();
    // Shows team (0: none) in the edit of side 1 or 2: its name, the number kept beside it.
    void SetTeam(int side, int team);
    int Team(int side) const { return side == 1 ? m_team1 : m_team2; }
    // Computes the meetings of the two chosen teams and shows the list and both charts from that one result.
    void ComputeHeadToHead();
    bool PrintHeadToHead();

    ReportGrid* grid() const;
    QPieSeries* Series3 = nullptr;
    QStackedBarSeries* Series1 = nullptr;

public slots:
    void FormActivate();
    void iequipe1Click();
    void iequipe2Click();
    void bafficherClick();
    void bimpClick();
    void bhtmClick();
    void bquitClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    void pickTeam(int side);

    std::unique_ptr<Ui::Tffaceaface> ui;
    int m_team1 = 0, m_team2 = 0;
    // What the shown list was computed for: printout and page use these, not the edits as they stand now.
    QString m_name1, m_name2;
    bool m_sameConfiguration = false;
};

// The window the main window shows (created on first use).
Tffaceaface* ffaceaface();

}  // namespace app
