// The matchday results window: the matches of one matchday of a championship season, listed, printed and
// exported as a page; in entry mode also created, modified and deleted through the match entry window.
// Shown modelessly; it keeps the results table open from its show to its close (ResultFormOpen), and
// other windows that need that table close it first with CloseResultFormIfOpen.
#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/editing/match_entry.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfsairesultat;
}
namespace xb {
class TXbDbf;
}

namespace app {

class ReportGrid;

class Tfsairesultat : public QWidget {
    Q_OBJECT
public:
    explicit Tfsairesultat(QWidget* parent = nullptr);
    ~Tfsairesultat() override;

    static const std::vector<WindowText>& Texts();

    // 1 entry mode (new, modify, delete), 2 view mode; set before showing.
    void ptypeec(int type) { m_type = type; }
    int windowType() const { return m_type; }

    bool OpenResultsTable();
    void InitResultsForm();
    // Lists the matchday of the selection (nothing unless championship, year and matchday are non-zero).
    void FillMatchdayGrid(int championship, int year, int matchday);
    void RefreshMatchdayGrid();
    void ModifySelectedMatch();
    void PrintMatchday();
    // Writes the page of the listed matchday (style 1 or 2); true when written.
    bool ExportMatchdayHtml(const QString& fullPath, int style);
    // The matches listed, as the grid holds them.
    std::vector<MatchdayLine> listed() const { return m_listed; }
    xb::TXbDbf* resultsTable() const { return m_results.get(); }

public slots:
    void bafficherClick();
    void bnouveauClick();
    void bmodifClick() { ModifySelectedMatch(); }
    void grilleresultatDblClick();
    void bsupprimeClick();
    void bimpClick() { PrintMatchday(); }
    void bhtmClick();
    void bquitClick() { close(); }
    void bchamppreClick();
    void bchampsuiClick();
    void inumeroClick() { pickChampionship(3); }
    void inomClick() { pickChampionship(4); }
    void SpeedButton1Click() { stepSeason(-1); }
    void SpeedButton2Click() { stepSeason(+1); }
    void SpeedButton3Click() { stepMatchday(-1); }
    void SpeedButton4Click() { stepMatchday(+1); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void FillMatchdayTeamNames();
    void fillDayList();
    void pickChampionship(int mode);
    void showChampionship(int n);
    void stepSeason(int step);
    void stepMatchday(int step);
    // The selection as numbers (0 when not a number).
    int championship() const;
    int year() const;
    int matchday() const;
    void relistForOutput();
    // The season and matchday of the listing as the printout and the page name them.
    QString listedSeasonText() const;
    QString listedMatchdayText() const;
    // The listed matches as the printout and the page show them: home name, home goals, away goals, away name.
    std::vector<QStringList> listedRows() const;
    // The match of the selected listed row; false when no data row is selected.
    bool selectedMatch(MatchKey& key) const;
    bool showEntry(int mode, const MatchKey& key);

    std::unique_ptr<Ui::Tfsairesultat> ui;
    std::unique_ptr<xb::TXbDbf> m_results;
    int m_type = 1;
    bool m_busy = false;
    bool m_open = false;
    // What the grid lists: its selection and its matches; modify and delete act on these.
    int m_listedChampionship = 0, m_listedYear = 0, m_listedMatchday = 0;
    std::vector<MatchdayLine> m_listed;
};

// The window the main window shows (created on first use, living as long as the program).
Tfsairesultat* fsairesultat();
// Shows it modelessly in entry (1) or view (2) mode; the main window's results and matchday entries.
void ShowMatchdayResults(int type);

}  // namespace app
