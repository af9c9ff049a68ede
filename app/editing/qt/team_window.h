// The team window: browses, creates, renames and deletes teams, and edits the squad of the shown team for
// the season of its season combo. Shown modelessly.
#pragma once

#include <memory>
#include <vector>

#include "app/editing/master_records.h"
#include "app/editing/qt/browse_window.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfgestequipe;
}

namespace app {

class Tfgestequipe : public BrowseWindow {
    Q_OBJECT
public:
    explicit Tfgestequipe(QWidget* parent = nullptr);
    ~Tfgestequipe() override;

    // The window's texts (TranslateForm applies them).
    static const std::vector<WindowText>& Texts();

    void TranslateForm();
    // The number a new team is offered: one past the highest (0 when the numbers are exhausted). The
    // record shown stays current. The number stored is taken again under the append lock at OK.
    int NextTeamNumber();
    void SetEditMode() override;
    void SetViewMode() override;
    bool SaveTeam();
    void ShowTeam();
    // True when the typed name may be stored; otherwise a message says why and nothing is written.
    bool CheckTeamName();

public slots:
    void FormShow() {}
    void FormActivate() { TranslateForm(); }
    void FormClose() {}
    void bnouveauClick();
    void bmodifClick();
    void bsupprimeClick();
    void inumeroClick() { pickTeam(1); }
    void inomClick() { pickTeam(2); }
    void bajoutejoueurClick();
    void bsuppjoueurClick();
    void enomKeyPress() {}

protected:
    std::unique_ptr<xb::TXbDbf> openTable() override;
    void prepareShow() override;
    void ShowRecord() override { ShowTeam(); }
    bool Save() override;
    void seasonChanged() override;
    bool event(QEvent* event) override;

private:
    void pickTeam(int mode);
    // Makes the team numbered n current; browsing goes on in name order unless numberOrder.
    bool seekNumber(int n, bool numberOrder = false);
    // The squad of the shown team for the season of the combo: as stored, or the players chosen while
    // creating (pending).
    void fillSquad(bool pending);
    int shownNumber() const;

    std::unique_ptr<Ui::Tfgestequipe> ui;
    PendingSquad m_pending;
    QString m_shownName;  // the name as read for the team shown: what a rename must find still stored
};

// The window the main window shows (created on first use, living as long as the program).
Tfgestequipe* fgestequipe();

}  // namespace app
