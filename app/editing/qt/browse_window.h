// The pattern the master-data windows share (championships, teams, players): a window mode 'V' browsing,
// 'C' creating, 'M' modifying; the four browsing buttons; New, Modify, OK, Cancel, Delete and Quit; a
// season combo with its previous and next buttons; the window's own table, opened when the window is
// shown and closed when it closes.
//
// A derived window builds its layout, then calls `bindStandardControls`, which finds the shared
// controls by their object names (bpremier, bprecedent, bsuivant, bdernier, bnouveau, bmodif, bok,
// bannule, bsupprime, bquit; eannee, banneepre, banneesui when the window has a season) and connects
// them. Every handler runs under RunGuarded: an exception becomes a message and the window stays.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "engine/dataset/xb_file_dataset.h"

class QAbstractButton;
class QComboBox;

namespace app {

class BrowseWindow : public QWidget {
    Q_OBJECT
public:
    explicit BrowseWindow(QWidget* parent = nullptr);
    ~BrowseWindow() override;

    char mode() const { return m_mode; }
    bool editing() const { return m_editing; }
    // The window's table while the window is shown; nullptr otherwise.
    xb::TXbDbf* table() const { return m_table.get(); }

    // Browsing: 1 first, 2 previous unless at the beginning, 3 next unless at the end, 4 last; then the
    // record is shown. Nothing moves on an empty table.
    void GoTo(int n);
    virtual void SetEditMode();
    virtual void SetViewMode();

    // The season year of the combo (its first four characters); 0 when they are no number.
    int seasonYear() const;

public slots:
    void bpremierClick() { GoTo(1); }
    void bprecedentClick() { GoTo(2); }
    void bsuivantClick() { GoTo(3); }
    void bdernierClick() { GoTo(4); }
    void bokClick();
    void bannuleClick();
    void bquitClick() { close(); }
    void banneepreClick();
    void banneesuiClick();

protected:
    // Opens the window's table (with its table definition), positioned as browsing wants it.
    virtual std::unique_ptr<xb::TXbDbf> openTable() = 0;
    // Shows the current record (an empty table shows nothing).
    virtual void ShowRecord() = 0;
    // Saves what the edit mode changed; false keeps the window in edit mode (nothing or all written).
    virtual bool Save() = 0;
    // The season changed in the combo.
    virtual void seasonChanged() { ShowRecord(); }
    // After the table opened on show: the texts and the first record.
    virtual void prepareShow() {}

    void setMode(char mode) { m_mode = mode; }
    // After a save refused because the record is gone or changed (LastWriteRefusal): says so when it is
    // gone and leaves the edit for browsing from the first record, answering true; false for any other
    // refusal.
    bool leaveEditWhenGone();
    // True when the table holds a record that browsing shows.
    bool hasRecords() const;
    // As a save does, a delete takes the record only as the window showed it: unchanged since (same
    // tells, on the stored row find put the table on), or changed by another station and the user,
    // having seen it as stored (storedNow, read after the window shows it again), says so. A record
    // deleted meanwhile is said gone and the window moves to the first one.
    bool ConfirmDeleteAsShown(const std::function<bool()>& find, const std::function<bool(xb::TXbDbf&)>& same,
                              const std::function<QString()>& storedNow);

    void bindStandardControls();
    QAbstractButton* button(const char* name) const;
    QComboBox* seasonCombo() const { return m_season; }
    // Fills the season combo (1900 to 2100, the current season chosen) without a change event.
    void fillSeasonCombo();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setBrowsingEnabled(bool on);
    void eanneeChange(int index);

    std::unique_ptr<xb::TXbDbf> m_table;
    char m_mode = 'V';
    bool m_editing = false;
    bool m_fillingSeason = false;
    QComboBox* m_season = nullptr;
};

}  // namespace app
