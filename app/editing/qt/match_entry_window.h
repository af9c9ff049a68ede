// The match entry window: one match of a matchday, its score and outcome, its goals and cards. Shown
// modally (ShowModal) by the matchday results window and by StartMatchEntry; the caller hands it the
// match and its open results table through the setters first, and refreshes its own view afterwards.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "app/editing/match_entry.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfsaimatch;
}
namespace xb {
class TXbDbf;
}

namespace app {

class KeptTableHold;
class ReportGrid;

class Tfsaimatch : public QDialog {
    Q_OBJECT
public:
    explicit Tfsaimatch(QWidget* parent = nullptr);
    ~Tfsaimatch() override;

    // The window's texts (the grid headers are set with the grids).
    static const std::vector<WindowText>& Texts();

    // Each stores one value of the match to show; call them before showing the window.
    void SetNueq1(int team) { m_home = team; }
    void SetNueq2(int team) { m_away = team; }
    void SetNujournee(int matchday) { m_matchday = matchday; }
    void SetAnnee(int year) { m_year = year; }
    // Set before the window shows, cleared after: with the results table, the window holds the goals and
    // cards tables open (see m_eventTables).
    void SetResultTable(xb::TXbDbf* table);
    void SetNuchamp(int championship) { m_championship = championship; }
    // 1 a new match (teams chosen in the window), 2 the given match.
    void SetMode(int mode) { m_mode = mode; }
    int mode() const { return m_mode; }

    void InitMatchForm();
    // Shows the given match; false (after saying so) when it is no longer stored.
    bool LoadMatchIntoForm();
    void LoadMatchGoalsGrid();
    void LoadMatchCardsGrid();
    void UpdateOutcomeFromScore();
    void AddGoalFromInput();
    void AddCardFromInput();
    void AddGoalRow(int player, int minute, int type, int team);
    void AddCardRow(int player, int minute, int type, int team);
    // Where an event of this minute goes in the grid (see FindRowByMinute of match_entry.h).
    static int FindRowByMinute(const ReportGrid& grid, int minute);
    void RefreshMatchPlayers();
    void FillPlayerCombos();
    void ResetMatchEventGrids();
    // Checks and stores the match; false keeps the window open.
    bool ValidateAndSaveMatch();
    // The events the grids hold.
    std::vector<MatchEvent> SaveMatchGoals() const;
    std::vector<MatchEvent> SaveMatchCards() const;

public slots:
    void bokClick();
    void bannuleClick() { reject(); }
    void boutsupbutClick();
    void boutSupcartClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    // Enter adds a goal or a card from the inputs of its own tab, once; anywhere else it does nothing.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fshow() { m_firstActivation = true; }
    void factive();
    // The two teams: the setters' in mode 2, else the numbers of the combos' names.
    std::pair<int, int> teams() const;
    // The checked radio's code, or the score's when none is checked.
    std::string checkedCode(int homeGoals, int awayGoals) const;
    void checkChoice(ResultChoice choice);
    // The team credited for an event of this player: 1, 2, or 0 when the user closed the question.
    int creditedTeam(int player, bool ownGoal);
    void refuse(const QString& text);
    // After an add: the inputs of that tab emptied and the focus back on its player.
    void clearGoalInputs();
    void clearCardInputs();
    // The goals listed credited to home and away differ from the score: the user is asked, both counts
    // said; true to save.
    bool goalsAgreeWithScore(int homeGoals, int awayGoals);
    // Another station saved the match since it was loaded: true when the user saves over it (loaded then
    // holds what is stored now); false after showing the stored match again.
    bool askSaveOver(LoadedMatch& loaded);
    void setGoalHeaders();
    static void sgbutDrawCell(QPainter& painter, int col, int row, const QRect& rect, bool fixed);
    static void sgcartonDrawCell(QPainter& painter, int col, int row, const QRect& rect, bool fixed);

    std::unique_ptr<Ui::Tfsaimatch> ui;
    xb::TXbDbf* m_results = nullptr;
    // The goals and cards tables, held open while the caller hands the window its results table: a save
    // writes them without opening them. Taken before the window shows, so that the show waits for no open.
    std::unique_ptr<KeptTableHold> m_eventTables;
    int m_mode = 1, m_championship = 0, m_year = 0, m_matchday = 0, m_home = 0, m_away = 0;
    bool m_firstActivation = false;
    bool m_building = false;
    std::optional<std::pair<int, int>> m_lastScore;  // the score the radio was last set from
    std::pair<int, int> m_shownTeams{-1, -1};        // the teams the player lists were filled for
    LoadedMatch m_loaded;  // the match as read when shown (no row for a new match): what a save must find
    // A new match: the matches of the matchday stored when the window was shown. Typing one of them again
    // is a duplicate; one stored meanwhile is another station's change.
    std::set<std::pair<int, int>> m_storedAtShow;
};

// The window (created on first use, living as long as the program).
Tfsaimatch* fsaimatch();

// Opens a private results table and shows the match entry for it modally: mode 1 a new match, 2 the
// given one. Nothing happens unless year, championship, matchday and both teams are non-zero; a matchday
// outside the season is refused with a message. True when the window stored the match.
bool StartMatchEntry(int year, int championship, int matchday, int home, int away, int mode);

// A stored match as the boxes that name it show it: "home 2 : 1 away".
QString MatchSummary(const MatchRow& match);

// The matchday is one of the season's (1 to its matchday count); otherwise a message says so.
bool CheckMatchdayInSeason(int championship, int year, int matchday);

}  // namespace app
