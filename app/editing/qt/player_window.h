// The player window: browses, creates, edits and deletes players, with date of birth, position,
// nationality and a free memo text. Squads are edited in the team window. Shown modelessly.
#pragma once

#include <QStringList>
#include <memory>
#include <vector>

#include "app/editing/master_records.h"
#include "app/editing/qt/browse_window.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfgestjoueur;
}

namespace app {

class Tfgestjoueur : public BrowseWindow {
    Q_OBJECT
public:
    explicit Tfgestjoueur(QWidget* parent = nullptr);
    ~Tfgestjoueur() override;

    // The window's texts (TranslateForm applies them and refills the position list).
    static const std::vector<WindowText>& Texts();
    // The position list's texts, in index order (0 goalkeeper .. 3 attacker).
    static const std::vector<Text>& PositionTexts();

    void ClearFields();
    // True when the typed name may be stored; otherwise a message says why and nothing is written.
    bool CheckPlayerName();
    void TranslateForm();
    // The number a new player is offered: one past the highest (0 when the numbers are exhausted). The
    // record shown stays current. The number stored is taken again under the append lock at OK.
    int NextPlayerNumber();
    void SetEditMode() override;
    void SetViewMode() override;
    bool SavePlayer();
    void ShowPlayer();

public slots:
    void FormShow() {}
    void FormActivate() { TranslateForm(); }
    void FormClose() {}
    void bnouveauClick();
    void bmodifClick();
    void bsupprimeClick();
    void inomClick();

protected:
    std::unique_ptr<xb::TXbDbf> openTable() override;
    void prepareShow() override;
    void ShowRecord() override { ShowPlayer(); }
    bool Save() override { return CheckPlayerName() && SavePlayer(); }
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_notesDamaged = false;  // the player shown has a note that cannot be read
    PlayerRecord m_shown;         // the player as read when shown: what a save must find still stored
    QStringList m_countries;      // the country list as the layout writes it

    // Makes the player numbered n current, browsing on in name order; false when he is not stored.
    bool seekNumber(int n);
    int shownNumber() const;
    // The record as the fields show it.
    PlayerRecord shownRecord() const;

    std::unique_ptr<Ui::Tfgestjoueur> ui;
};

// The window the main window shows (created on first use, living as long as the program).
Tfgestjoueur* fgestjoueur();

}  // namespace app
