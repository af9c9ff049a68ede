// The selection panel of the report windows: championship (number `enumchamp`, name `enomchamp`, pick
// list buttons `inumero` and `inom`, previous and next `bchamppre` and `bchampsui`), season (`eannee`
// with its previous and next buttons) and, where the window has one, team (`eequipe` with `bequipepre`
// and `bequipesui`; each item carries its team number). The panel finds the controls by object name in
// the window's layout, so each window keeps its own layout and names; a control the window lacks is
// simply not used. It also holds the window's busy flag.
#pragma once

#include <QObject>
#include <QString>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QWidget;

namespace app {

struct SelectionPanelNames {
    const char* seasonPrevious = "SpeedButton1";  // nullptr: the window has no such button
    const char* seasonNext = "SpeedButton2";
    const char* season = "eannee";
};

class ReportSelectionPanel : public QObject {
    Q_OBJECT
public:
    explicit ReportSelectionPanel(QWidget* window, SelectionPanelNames names = {});

    // The championship number of `enumchamp`, the year of the season (first four characters of
    // `eannee`), the number of the selected team; 0 when missing or not an integer.
    int championship() const;
    int year() const;
    int team() const;
    QString seasonText() const;
    QString championshipName() const;

    // `enumchamp` := n and `enomchamp` := its name.
    void SetChampionship(int n);
    // The 201 seasons, the current season year selected.
    void FillSeasonCombo();
    // Empties the team list and, when championship and year are at least 1, fills it with the season's
    // teams (names, each item carrying its number); failures leave it as filled so far.
    void ReloadTeams();
    // Selects the team with the number, when listed.
    bool SelectTeam(int team);

    // Set while a selection handler or a computation runs; the window clears it on every activation.
    bool busy = false;

public slots:
    void inumeroClick();
    void inomClick();
    void bchamppreClick();
    void bchampsuiClick();
    void seasonPreviousClick();
    void seasonNextClick();
    void bequipepreClick();
    void bequipesuiClick();

signals:
    // `enumchamp` changed (typed, picked or stepped).
    void championshipChanged();
    // The season entry changed; CurrentSeasonYear already follows it.
    void seasonChanged();

private:
    void pick(int mode);

    QLineEdit* m_number = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_season = nullptr;
    QComboBox* m_team = nullptr;
};

}  // namespace app
