#include "app/data/league_writes.h"

#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "engine/dataset/xb_file_dataset.h"

namespace app {

namespace {

constexpr int kMaxYear = 9999;
constexpr int kMaxMatchday = 99;
constexpr int kMaxNumber = 99999;  // team and player

bool within(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}
bool validChampionship(int c) {
    return within(c, 1, kMaxChampionship);
}
bool validYear(int y) {
    return within(y, 1, kMaxYear);
}
bool validNumber(int n) {
    return within(n, 1, kMaxNumber);
}
// A number in a numeric field of width w without decimals.
bool fits(int v, int width) {
    return static_cast<int>(std::to_string(v).size()) <= width;
}

std::string text(const QString& s) {
    return s.toStdString();
}
// Text fields keep at most their width in characters.
bool fitsText(const QString& s, int width) {
    return s.size() <= width;
}

std::string num(int n) {
    return std::to_string(n);
}

bool validMatch(const MatchRow& m) {
    return validChampionship(m.championship) && validYear(m.year) && within(m.matchday, 1, kMaxMatchday) &&
           validNumber(m.home) && validNumber(m.away) && fits(m.homeGoals, 3) && fits(m.awayGoals, 3) &&
           m.homeGoals >= 0 && m.awayGoals >= 0 && !m.code.empty() && m.code.size() <= 2 &&
           fits(m.homePoints, 3) && fits(m.awayPoints, 3);
}

bool finished(const DeleteOutcome& d) {
    return d.complete;
}

// Deletes the team's rows of a goal or card table, first as home team, then as away team.
bool deleteTeamEvents(const char* component, const char* file, int team, int year, int championship,
                      int matchday) {
    // The key narrows from the left: a later part without the one before it is not a key.
    const bool accepted = validNumber(team) && (year != 0 || (championship == 0 && matchday == 0)) &&
                          (championship != 0 || matchday == 0);
    if (!accepted) return false;
    std::vector<std::pair<int, int>> parts = {{team, 5}};
    std::string condition;
    if (year != 0) {
        parts.push_back({year, 4});
        condition += " .AND. ANNEE= " + num(year);
    }
    if (championship != 0) {
        parts.push_back({championship, 5});
        condition += " .AND. NUCHAMP= " + num(championship);
    }
    if (matchday != 0) {
        parts.push_back({matchday, 2});
        condition += " .AND. NUJOURNEE= " + num(matchday);
    }
    std::string key;
    for (const auto& [n, w] : parts) {
        const std::string part = NumberKey({{n, w}});
        if (part.empty()) return false;
        key += part;
    }
    LeagueTableScope t(component, file);
    const bool home = finished(DeleteWhile(*t, {"NUEQUIPE1", key, "NUEQ1=" + num(team) + condition}));
    return home && finished(DeleteWhile(*t, {"NUEQUIPE2", key, "NUEQ2=" + num(team) + condition}));
}

}  // namespace

// ---- inserts and updates ----

namespace {

void fillMatchRow(xb::TXbDbf& r, const MatchRow& m) {
    r.FieldPutInt("NUCHAMP", m.championship);
    r.FieldPutInt("ANNEE", m.year);
    r.FieldPutInt("NUJOURNEE", m.matchday);
    r.FieldPutInt("NUEQ1", m.home);
    r.FieldPutInt("NUEQ2", m.away);
    r.FieldPutInt("BEQ1", m.homeGoals);
    r.FieldPutInt("BEQ2", m.awayGoals);
    r.FieldPutStr("CODER", m.code);
    r.FieldPutInt("PTEQ1", m.homePoints);
    r.FieldPutInt("PTEQ2", m.awayPoints);
}

}  // namespace

namespace {

// A text field as a write puts it: the field pads it with blanks ("N" is stored "N ").
std::string storedText(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Positions the open resultat table on the match's row: a home team may play twice on a matchday, so the
// row is the one with this away team.
bool findMatchRow(xb::TXbDbf& t, const MatchRow& m) {
    const std::string key = NumberKey({{m.championship, 3}, {m.year, 4}, {m.matchday, 3}, {m.home, 5}});
    const std::string condition = "ANNEE=" + num(m.year) + " .AND. NUCHAMP=" + num(m.championship) +
                                  " .AND. NUJOURNEE=" + num(m.matchday) + " .AND. NUEQ1=" + num(m.home);
    t.SetOrderUnlessCurrent("CHANJOEQ1");
    bool found = false;
    if (t.Find(key)) {
        t.SetWhileTo(condition);
        while (!t.IsEof() && !found) {
            found = t.FieldGetInt("NUEQ2") == m.away;
            if (!found) t.Skip(1);
        }
        t.SetWhileTo("");
    }
    return found;
}

}  // namespace

bool SaveMatchResult(xb::TXbDbf& t, const MatchRow& m) {
    if (!validMatch(m)) return false;
    return WriteRow(t, [&] { return findMatchRow(t, m); }, [&](xb::TXbDbf& r) { fillMatchRow(r, m); });
}

AppendOutcome AppendNewMatchResult(xb::TXbDbf& t, const MatchRow& m) {
    if (!validMatch(m)) return AppendOutcome::kFailed;
    return AppendMissingRow(t, [&] { return findMatchRow(t, m); }, [&](xb::TXbDbf& r) { fillMatchRow(r, m); });
}

bool RewriteMatchResult(xb::TXbDbf& t, const MatchRow& m) {
    // A row stored as it is (a match saved again unchanged) is not written again.
    const auto unchanged = [&m](xb::TXbDbf& r) {
        return r.FieldGetInt("BEQ1") == m.homeGoals && r.FieldGetInt("BEQ2") == m.awayGoals &&
               storedText(r.FieldGetStr("CODER")) == m.code && r.FieldGetInt("PTEQ1") == m.homePoints &&
               r.FieldGetInt("PTEQ2") == m.awayPoints && r.FieldGetInt("NUCHAMP") == m.championship &&
               r.FieldGetInt("ANNEE") == m.year && r.FieldGetInt("NUJOURNEE") == m.matchday &&
               r.FieldGetInt("NUEQ1") == m.home && r.FieldGetInt("NUEQ2") == m.away;
    };
    return validMatch(m) && RewriteLockedRow(t, [&](xb::TXbDbf& r) { fillMatchRow(r, m); }, unchanged);
}

namespace {

bool findSeason(xb::TXbDbf& t, int championship, int year) {
    const std::string key = NumberKey({{year, 4}, {championship, 3}});
    t.SetOrderToTag("ANNEECHAMP");
    return !key.empty() && t.FindExact(key);
}

// A stored text as a window shows it: without the blanks that pad the field.
QString shownText(xb::TXbDbf& t, const char* field) {
    return QString::fromStdString(t.FieldGetStr(field)).trimmed();
}
}  // namespace

std::optional<SeasonRules> ReadSeasonRow(xb::TXbDbf& t, int championship, int year) {
    if (!findSeason(t, championship, year)) return std::nullopt;
    return StoredSeasonRules(t);
}

bool SaveSeasonParams(xb::TXbDbf& t, int championship, int year, const SeasonRules& r, Matchdays matchdays,
                      const std::optional<SeasonRules>* loaded) {
    if (!validChampionship(championship) || !validYear(year)) return false;
    for (int v : {r.win, r.draw, r.defeat, r.forfeitWin, r.forfeitDefeat, r.teams, r.matchdays})
        if (!fits(v, 2)) return false;
    if (r.teams < 0 || r.matchdays < 0) return false;
    LoadedRow was;
    if (loaded) {
        was.stored = loaded->has_value();
        was.same = [loaded](xb::TXbDbf& s) { return StoredSeasonRules(s) == **loaded; };
    }
    return WriteRow(
        t, [&] { return findSeason(t, championship, year); },
        [&](xb::TXbDbf& s) {
            s.FieldPutInt("NUCHAMP", championship);
            s.FieldPutInt("ANNEE", year);
            s.FieldPutInt("NBEQUIPE", r.teams);
            if (matchdays == Matchdays::kWritten) s.FieldPutInt("NBJOURNEE", r.matchdays);
            s.FieldPutInt("PTV", r.win);
            s.FieldPutInt("PTN", r.draw);
            s.FieldPutInt("PTD", r.defeat);
            s.FieldPutInt("PTFV", r.forfeitWin);
            s.FieldPutInt("PTFD", r.forfeitDefeat);
        },
        WhenFound::Update, loaded ? &was : nullptr);
}

bool SaveChampionship(xb::TXbDbf& t, int championship, const QString& name, const QString* loadedName) {
    if (!validChampionship(championship) || !fitsText(name, 30) || !StorableTexts(t, {text(name)})) return false;
    auto find = [&] {
        t.SetOrderToTag("NUCHAMP");
        return t.FindExact(num(championship));
    };
    LoadedRow was;
    if (loadedName)
        was.same = [loadedName](xb::TXbDbf& c) { return shownText(c, "NOMCHAMP") == *loadedName; };
    return WriteRow(
        t, find,
        [&](xb::TXbDbf& c) {
            c.FieldPutInt("NUCHAMP", championship);
            c.FieldPutStr("NOMCHAMP", text(name));
        },
        WhenFound::Update, loadedName ? &was : nullptr);
}

int CreateChampionship(xb::TXbDbf& t, const QString& name) {
    if (!fitsText(name, 30) || !StorableTexts(t, {text(name)})) return 0;
    return AppendNumberedRow(t, kChampionshipNumbers,
                             [&](xb::TXbDbf& c) { c.FieldPutStr("NOMCHAMP", text(name)); });
}

int CreateTeam(xb::TXbDbf& t, const QString& name) {
    if (!fitsText(name, 20) || !StorableTexts(t, {text(name)})) return 0;
    return AppendNumberedRow(t, kTeamNumbers, [&](xb::TXbDbf& e) { e.FieldPutStr("NOMEQUIPE", text(name)); });
}

namespace {
bool writeTeam(xb::TXbDbf& t, int team, const QString& name, bool append, const QString* loadedName) {
    if (!validNumber(team) || !fitsText(name, 20) || !StorableTexts(t, {text(name)})) return false;
    auto find = [&] {
        t.SetOrderToTag("NUMERO");
        return t.FindExact(num(team));
    };
    LoadedRow was;
    if (loadedName)
        was.same = [loadedName](xb::TXbDbf& e) { return shownText(e, "NOMEQUIPE") == *loadedName; };
    // Without a loaded name WriteRow would append a missing row: a team deleted meanwhile stays deleted.
    if (!append && !loadedName && !find()) return false;
    return WriteRow(
        t, find,
        [&](xb::TXbDbf& e) {
            e.FieldPutInt("NUEQUIPE", team);
            e.FieldPutStr("NOMEQUIPE", text(name));
        },
        WhenFound::Update, loadedName ? &was : nullptr);
}
}  // namespace

bool RenameTeam(xb::TXbDbf& t, int team, const QString& name, const QString* loadedName) {
    return writeTeam(t, team, name, false, loadedName);
}

bool SaveTeam(xb::TXbDbf& t, int team, const QString& name) {
    return writeTeam(t, team, name, true, nullptr);
}

bool AddTeamToChampionshipT(xb::TXbDbf& t, int year, int championship, bool anyChampionship, int team) {
    if (!validChampionship(championship) || !validYear(year) || !validNumber(team)) return false;
    auto find = [&] { return ChampionshipTeamExists(t, year, team, anyChampionship ? 0 : championship); };
    return WriteRow(
        t, find,
        [&](xb::TXbDbf& e) {
            e.FieldPutInt("ANNEE", year);
            e.FieldPutInt("NUCHAMP", championship);
            e.FieldPutInt("NUEQUIPE", team);
        },
        WhenFound::Keep);
}

bool AddTeamToChampionship(int year, int championship, int team) {
    if (!validChampionship(championship) || !validYear(year) || !validNumber(team)) return false;
    LeagueTableScope t("m20eqchamp", "eqchamp.dbf");
    return AddTeamToChampionshipT(*t, year, championship, false, team);
}

bool AddPlayerToTeam(int year, int team, int player) {
    if (!validYear(year) || !validNumber(team) || !validNumber(player)) return false;
    LeagueTableScope t("m20joueq", "joueq.dbf");
    return WriteRow(
        *t, [&] { return RosterEntryExists(*t, team, player, year); },
        [&](xb::TXbDbf& j) {
            j.FieldPutInt("ANNEE", year);
            j.FieldPutInt("NUJO", player);
            j.FieldPutInt("NUEQ", team);
        },
        WhenFound::Keep);
}

// ---- deletes ----

bool DeleteMatchResult(xb::TXbDbf& t, int championship, int year, int matchday, int home, int away) {
    const std::string key = NumberKey({{championship, 3}, {year, 4}, {matchday, 3}, {home, 5}});
    if (key.empty()) return false;
    return finished(DeleteWhile(t, {"CHANJOEQ1", key,
                                    "ANNEE=" + num(year) + " .AND. NUCHAMP=" + num(championship) +
                                        " .AND. NUJOURNEE=" + num(matchday) + " .AND. NUEQ1=" + num(home),
                                    [away](xb::TXbDbf& r) { return r.FieldGetInt("NUEQ2") == away; }}));
}

bool DeleteChampionship(int championship) {
    if (!validChampionship(championship)) return false;
    const std::string key3 = NumberKey({{championship, 3}}), key5 = NumberKey({{championship, 5}});
    const std::string condition = "NUCHAMP=" + num(championship);
    struct Step {
        const char* component;
        const char* file;
        const char* tag;
        const std::string& key;
    };
    const Step dependents[] = {
        {"m30resultat", "resultat.dbf", "CHANJOEQ1", key3}, {"m30eqchamp", "eqchamp.dbf", "CHAMPANNEE", key3},
        {"m30champan", "champan.dbf", "CHAMPANNEE", key3},  {"m30but", "but.dbf", "NUCHAMP", key5},
        {"m30carton", "carton.dbf", "NUCHAMP", key5},
    };
    for (const Step& s : dependents) {
        LeagueTableScope t(s.component, s.file);
        if (!finished(DeleteWhile(*t, {s.tag, s.key, condition}))) return false;
    }
    LeagueTableScope t("m30champion", "champion.dbf");
    DeleteRange range{"NUCHAMP", num(championship), {}};
    range.single = true;
    return finished(DeleteWhile(*t, range));
}

bool DeleteTeam(int team) {
    if (!validNumber(team)) return false;
    const std::string key = NumberKey({{team, 5}});
    {
        LeagueTableScope t("m31eqchamp", "eqchamp.dbf");
        if (!finished(DeleteWhile(*t, {"EQANCHAMP", key, "NUEQUIPE=" + num(team)}))) return false;
    }
    {
        LeagueTableScope t("m31resultat", "resultat.dbf");
        if (!finished(DeleteWhile(*t, {"EQ1EQ2", key, "NUEQ1=" + num(team)}))) return false;
        if (!finished(DeleteWhile(*t, {"EQ2EQ1", key, "NUEQ2=" + num(team)}))) return false;
    }
    LeagueTableScope t("m31equipe", "equipe.dbf");
    DeleteRange range{"NUMERO", num(team), {}};
    range.single = true;
    return finished(DeleteWhile(*t, range));
}

bool DeletePlayer(int player) {
    if (!validNumber(player)) return false;
    const std::string key = NumberKey({{player, 5}});
    for (const auto& [component, file] : {std::pair{"m32but", "but.dbf"}, {"m32carton", "carton.dbf"}}) {
        LeagueTableScope t(component, file);
        if (!finished(DeleteWhile(*t, {"NUJOUEUR", key, "NUJOUEUR=" + num(player)}))) return false;
    }
    {
        LeagueTableScope t("m32joueq", "joueq.dbf");
        if (!finished(DeleteWhile(*t, {"NUJO", key, "NUJO=" + num(player)}))) return false;
    }
    LeagueTableScope t("m32joueur", "joueur.dbf");
    DeleteRange range{"NU", key, {}};
    range.single = true;
    return finished(DeleteWhile(*t, range));
}

bool DeleteTeamGoals(int team, int year, int championship, int matchday) {
    return deleteTeamEvents("m33but", "but.dbf", team, year, championship, matchday);
}

bool DeleteTeamCards(int team, int year, int championship, int matchday) {
    return deleteTeamEvents("m33carton", "carton.dbf", team, year, championship, matchday);
}

bool DeleteMatchEventsT(xb::TXbDbf& t, int championship, int year, int matchday, int home, int away) {
    const std::string key = NumberKey({{championship, 5}, {year, 4}, {matchday, 2}, {home, 5}, {away, 5}});
    if (key.empty()) return false;
    return finished(DeleteWhile(t, {"NUCHAMP", key,
                                    "NUCHAMP=" + num(championship) + " .AND. ANNEE=" + num(year) +
                                        " .AND. NUJOURNEE=" + num(matchday) + " .AND. NUEQ1=" + num(home) +
                                        " .AND. NUEQ2=" + num(away)}));
}

bool DeleteMatchGoals(int championship, int year, int matchday, int home, int away) {
    LeagueTableScope t("m34but", "but.dbf");
    return DeleteMatchEventsT(*t, championship, year, matchday, home, away);
}

bool DeleteMatchCards(int championship, int year, int matchday, int home, int away) {
    LeagueTableScope t("m34carton", "carton.dbf");
    return DeleteMatchEventsT(*t, championship, year, matchday, home, away);
}

bool DeleteRosterEntries(int player, int team, int year) {
    if (!validNumber(team) || player < 0 || year < 0) return false;
    // The key narrows as far as the tag's order allows; the condition names every part given, so a player
    // without a year deletes him from the team's squads of every year.
    std::string key = NumberKey({{team, 5}});
    if (year != 0) key += NumberKey({{year, 4}});
    if (year != 0 && player != 0) key += NumberKey({{player, 5}});
    std::string condition = "NUEQ=" + num(team);
    if (year != 0) condition += " .AND. ANNEE=" + num(year);
    if (player != 0) condition += " .AND. NUJO=" + num(player);
    if (key.size() != 5 + (year ? 4u : 0u) + (year && player ? 5u : 0u)) return false;
    LeagueTableScope t("m35joueq", "joueq.dbf");
    const DeleteOutcome d = DeleteWhile(*t, {"NUEQ", key, condition});
    return d.complete && d.deleted > 0;
}

bool RemoveTeamFromChampionship(SeasonYear year, TeamNumber team, ChampionshipNumber championship) {
    const std::string key = NumberKey({{year.value, 4}, {team.value, 5}, {championship.value, 3}});
    if (key.empty()) return false;
    LeagueTableScope t("m36eqchamp", "eqchamp.dbf");
    DeleteRange range{"ANEQCHAMP", key, {}};
    range.single = true;
    const DeleteOutcome d = DeleteWhile(*t, range);
    return d.complete && d.deleted > 0;
}

}  // namespace app
