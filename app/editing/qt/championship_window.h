// The championship window: browses, creates, renames and deletes championships, and for the season of
// its season combo edits the season's rules and the teams that play it. Shown modelessly.
#pragma once

#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "app/editing/qt/browse_window.h"
#include "app/data/match_points.h"
#include "app/shell/qt/window_texts.h"

namespace Ui {
class Tfgestchamp;
}

namespace app {

class Tfgestchamp : public BrowseWindow {
    Q_OBJECT
public:
    explicit Tfgestchamp(QWidget* parent = nullptr);
    ~Tfgestchamp() override;

    // The window's texts (TranslateForm applies them).
    static const std::vector<WindowText>& Texts();

    void SuggestDayCount();
    void FillDayNumbers();
    void TranslateForm();
    // Stores the rules shown for (championship, year); false, with a message, when a value is out of its
    // range or the row could not be written.
    bool SaveSeasonParams(int championship, int year);
    void ShowSeasonParams(int championship, int year);
    void InitCombos();
    int NextChampionshipNumber();
    void SetEditMode() override;
    void SetViewMode() override;
    bool SaveChampionship();
    void ShowChampionship();

public slots:
    void FormActivate() {}
    void bnouveauClick();
    void bmodifClick();
    void bsupprimeClick();
    void inumeroClick() { pickChampionship(3); }
    void inomClick() { pickChampionship(4); }
    void bajoutequipeClick();
    void bsuppequipeClick();
    void enbequipeChange();

protected:
    std::unique_ptr<xb::TXbDbf> openTable() override;
    void prepareShow() override;
    void ShowRecord() override { ShowChampionship(); }
    bool Save() override { return SaveChampionship(); }

private:
    void pickChampionship(int mode);
    // Makes the championship numbered n the current record, browsing on in name order; false when it is
    // not stored.
    bool seekNumber(int n);
    void fillTeams();
    // The rule values shown, checked against their ranges (a message names the first refused one).
    bool ruleValues(std::vector<int>& values) const;
    // The texts of the rule combos, in SeasonRuleFields order.
    QStringList ruleTexts() const;

    std::unique_ptr<Ui::Tfgestchamp> ui;
    // What was read for the championship and season shown, what a save must find still stored, and the
    // rules as shown: only rules the user changed are written.
    QString m_shownName;
    std::optional<SeasonRules> m_shownSeason;
    QStringList m_shownRuleTexts;
};

// The window the main window shows (created on first use, living as long as the program).
Tfgestchamp* fgestchamp();

}  // namespace app
