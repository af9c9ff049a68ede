#include "app/reports/standings.h"

#include <algorithm>
#include <numeric>

#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/data/table_scopes.h"
#include "engine/dataset/xb_vfile_dataset.h"

namespace app {

namespace {

const std::vector<std::string> kStandingsFields = {"nueq,N,5,0", "pt,N,5,0",      "j,N,5,0",  "g,N,5,0",
                                                   "n,N,5,0",    "p,N,5,0",       "bp,N,5,0", "bc,N,5,0",
                                                   "diff,N,5,0", "chclass,C,16,0"};
const std::vector<std::string> kSideFields = {"gd,N,5,0", "nd,N,5,0", "Pd,N,5,0", "bpd,N,5,0", "bcd,N,5,0",
                                              "ge,N,5,0", "ne,N,5,0", "pe,N,5,0", "bpe,N,5,0", "bce,N,5,0"};
constexpr size_t kKeyWidth = 16;

// Zero-padded decimal text of a non-negative number, at least width characters.
std::string zeroPadded(int v, int width) {
    std::string s = std::to_string(v);
    return s.size() < static_cast<size_t>(width) ? std::string(width - s.size(), '0') + s : s;
}
std::string blankPadded(const std::string& s, int width) {
    return s.size() < static_cast<size_t>(width) ? std::string(width - s.size(), ' ') + s : s;
}

// A signed count that orders by value in byte order: "+" and the magnitude for 0 and more, "*" and
// the complemented zero-padded magnitude below 0 (so that a smaller loss sorts higher).
std::string signedPart(int v, int width, bool blanksWhenPositive) {
    if (v >= 0)
        return "+" + (blanksWhenPositive ? blankPadded(std::to_string(v), width) : zeroPadded(v, width));
    return "*" + DescendingKey(zeroPadded(-static_cast<long long>(v) > 99999 ? 99999 : -v, width));
}

// The columns of one side of a row (home "d", away "e").
struct SideColumns {
    const char *wins, *draws, *defeats, *goalsFor, *goalsAgainst;
};
constexpr SideColumns kHome{"gd", "nd", "Pd", "bpd", "bcd"};
constexpr SideColumns kAway{"ge", "ne", "pe", "bpe", "bce"};

int& countOf(StandingsCounters& c, int i) {
    int* f[] = {&c.wins, &c.draws, &c.defeats, &c.goalsFor, &c.goalsAgainst};
    return *f[i];
}

int nextTableNumber() {
    static int n = 0;
    return ++n % 100000;
}

}  // namespace

// ---- keys ----

std::string DescendingKey(std::string text) {
    for (char& ch : text)
        if (ch >= '0' && ch <= '9') ch = static_cast<char>('9' - (ch - '0'));
    return text;
}

std::string StandingsOrderKey(int sortType, const StandingsCounters& c) {
    switch (sortType) {
        case kOrderAttack:
            return zeroPadded(c.goalsFor, 5);
        case kOrderDefence:
            return blankPadded(c.goalsAgainst == 0 ? "0" : "-" + std::to_string(c.goalsAgainst), 5);
        case kOrderWins:
            return blankPadded(std::to_string(c.wins), 5);
        case kOrderDraws:
            return blankPadded(std::to_string(c.draws), 5);
        case kOrderDefeats:
            return blankPadded(std::to_string(c.defeats), 5);
        default:
            return signedPart(c.points, 5, true) + signedPart(c.diff(), 4, false) + zeroPadded(c.goalsFor, 5);
    }
}

bool StandingsDescending(int sortType) {
    return sortType != kOrderDefence && sortType != kOrderDefeats;
}

std::vector<int> TieRanks(const std::vector<QString>& names, const std::vector<int>& numbers) {
    std::vector<size_t> order(numbers.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int byName = QString::compare(names[a], names[b], Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : numbers[a] < numbers[b];
    });
    std::vector<int> rank(numbers.size());
    for (size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<int>(i);
    return rank;
}

std::vector<QString> FillStandingsTeamNames(LeagueReading& reading, const std::vector<int>& teams) {
    std::vector<QString> names;
    if (!teams.empty()) reading.TeamNames(names, teams);
    names.resize(teams.size());
    return names;
}

// ---- the work table ----

StandingsWorkTable::StandingsWorkTable(int sortType, bool withSides)
    : m_sortType(sortType >= kOrderPoints && sortType <= kOrderDefeats ? sortType : kOrderPoints),
      m_withSides(withSides),
      m_table(std::make_unique<xb::TXbVFile>()) {
    m_table->Name = "tabclass" + std::to_string(nextTableNumber());
    m_table->SetDbfFileName("tabclass");
    m_table->DbfFields = kStandingsFields;
    if (withSides)
        m_table->DbfFields.insert(m_table->DbfFields.end(), kSideFields.begin(), kSideFields.end());
    m_table->Open();
}

StandingsWorkTable::~StandingsWorkTable() {
    try {
        m_table->Close();
    } catch (...) {
        // Nothing of a work table outlives it.
    }
}

void StandingsWorkTable::InitStandingsWorkTable(LeagueReading& reading, int championship, int year) {
    for (int team : reading.SeasonTeams(year, championship))
        if (team > 0 && std::find(m_teams.begin(), m_teams.end(), team) == m_teams.end())
            m_teams.push_back(team);
    m_names = FillStandingsTeamNames(reading, m_teams);
    const std::vector<int> ranks = TieRanks(m_names, m_teams);
    const std::string zeroKey = StandingsOrderKey(m_sortType, {});
    for (size_t i = 0; i < m_teams.size(); ++i) {
        m_tieRank[m_teams[i]] = ranks[i];
        m_table->Append();
        for (int f = 0; f < m_table->FieldCount(); ++f) m_table->Fields(f).SetAsInteger(0);
        m_table->FieldByName("nueq").SetAsInteger(m_teams[i]);
        m_table->FieldByName("chclass").SetAsString(zeroKey);
        m_table->Post();
    }
}

bool StandingsWorkTable::gotoTeam(int team) {
    if (!m_tieRank.count(team)) return false;
    m_table->GoTop();
    for (int i = 0; i < rowCount() && !m_table->IsEof(); ++i) {
        if (m_table->FieldGetInt("nueq") == team) return true;
        m_table->Skip(1);
    }
    return false;
}

void StandingsWorkTable::AddMatchToStandingsRow(int team, const StandingsCounters& match, int side) {
    if (!gotoTeam(team)) return;
    xb::TXbVFile& t = *m_table;
    StandingsCounters c;
    c.points = t.FieldGetInt("pt") + match.points;
    c.played = t.FieldGetInt("j") + match.played;
    c.wins = t.FieldGetInt("g") + match.wins;
    c.draws = t.FieldGetInt("n") + match.draws;
    c.defeats = t.FieldGetInt("p") + match.defeats;
    c.goalsFor = t.FieldGetInt("bp") + match.goalsFor;
    c.goalsAgainst = t.FieldGetInt("bc") + match.goalsAgainst;
    if (m_withSides && (side == kSideHome || side == kSideAway)) {
        const SideColumns& cols = side == kSideHome ? kHome : kAway;
        const char* names[] = {cols.wins, cols.draws, cols.defeats, cols.goalsFor, cols.goalsAgainst};
        StandingsCounters m = match;
        for (int i = 0; i < 5; ++i) t.FieldPutInt(names[i], t.FieldGetInt(names[i]) + countOf(m, i));
    }
    t.FieldPutInt("pt", c.points);
    t.FieldPutInt("j", c.played);
    t.FieldPutInt("g", c.wins);
    t.FieldPutInt("n", c.draws);
    t.FieldPutInt("p", c.defeats);
    t.FieldPutInt("bp", c.goalsFor);
    t.FieldPutInt("bc", c.goalsAgainst);
    t.FieldPutInt("diff", c.diff());
    t.FieldPutStr("chclass", StandingsOrderKey(m_sortType, c));
    t.ReplaceRec();
}

std::string StandingsWorkTable::StandingsSortKey() {
    if (m_keyField.empty()) return "NO KEY";
    std::string key = m_table->FieldByName(m_keyField).GetAsString();
    key.resize(kKeyWidth, ' ');
    // The tie part: ascending (name, number) whichever way the table is read.
    const auto it = m_tieRank.find(m_table->FieldByName("nueq").GetAsInteger());
    const std::string tie = zeroPadded(it == m_tieRank.end() ? 99999 : it->second, 5);
    return key + (StandingsDescending(m_sortType) ? DescendingKey(tie) : tie);
}

void StandingsWorkTable::sort() {
    m_table->KeyMaker = [this] { return StandingsSortKey(); };
    m_table->SetAppendMode(StandingsDescending(m_sortType) ? xb::LStatusType::DESCENDING
                                                           : xb::LStatusType::ASCENDING);
}

std::vector<StandingsRow> StandingsWorkTable::SortedRows() {
    std::vector<StandingsRow> rows;
    if (m_teams.empty()) return rows;
    sort();
    xb::TXbVFile& t = *m_table;
    for (t.GoTop(); !t.IsEof(); t.Skip(1)) {
        StandingsRow r;
        r.team = t.FieldGetInt("nueq");
        const auto at = std::find(m_teams.begin(), m_teams.end(), r.team);
        if (at != m_teams.end()) r.name = m_names[static_cast<size_t>(at - m_teams.begin())];
        r.c.points = t.FieldGetInt("pt");
        r.c.played = t.FieldGetInt("j");
        r.c.wins = t.FieldGetInt("g");
        r.c.draws = t.FieldGetInt("n");
        r.c.defeats = t.FieldGetInt("p");
        r.c.goalsFor = t.FieldGetInt("bp");
        r.c.goalsAgainst = t.FieldGetInt("bc");
        rows.push_back(r);
    }
    return rows;
}

int StandingsWorkTable::StandingsReadRow(int team, StandingsCounters bySide[3]) {
    if (m_teams.empty() || !m_tieRank.count(team)) return 0;
    sort();
    xb::TXbVFile& t = *m_table;
    int place = 0;
    for (t.GoTop(); !t.IsEof(); t.Skip(1)) {
        ++place;
        if (t.FieldGetInt("nueq") != team) continue;
        StandingsCounters& all = bySide[0];
        all = {};
        all.points = t.FieldGetInt("pt");
        all.played = t.FieldGetInt("j");
        all.wins = t.FieldGetInt("g");
        all.draws = t.FieldGetInt("n");
        all.defeats = t.FieldGetInt("p");
        all.goalsFor = t.FieldGetInt("bp");
        all.goalsAgainst = t.FieldGetInt("bc");
        for (int s = 1; s <= 2 && m_withSides; ++s) {
            const SideColumns& cols = s == kSideHome ? kHome : kAway;
            const char* names[] = {cols.wins, cols.draws, cols.defeats, cols.goalsFor, cols.goalsAgainst};
            bySide[s] = {};
            for (int i = 0; i < 5; ++i) countOf(bySide[s], i) = t.FieldGetInt(names[i]);
        }
        return place;
    }
    return 0;
}

// ---- the scan ----

std::pair<StandingsCounters, StandingsCounters> MatchCounters(const SeasonMatch& m,
                                                              const SeasonRules& rules) {
    StandingsCounters home, away;
    home.played = away.played = 1;
    home.goalsFor = away.goalsAgainst = m.homeGoals;
    home.goalsAgainst = away.goalsFor = m.awayGoals;
    if (const auto pts =
            PointsOfResult(m.code, m.homeGoals, m.awayGoals, m.homePoints, m.awayPoints, rules)) {
        auto apply = [](StandingsCounters& c, const SideResult& r) {
            c.points = r.points;
            (r.outcome == MatchOutcome::Win    ? c.wins
             : r.outcome == MatchOutcome::Draw ? c.draws
                                               : c.defeats) = 1;
        };
        apply(home, pts->home);
        apply(away, pts->away);
    }
    return {home, away};
}

void ScanSeasonResults(LeagueReading& reading, int championship, int year, int lastDay,
                       const std::function<void(const SeasonMatch&)>& visit) {
    const std::string key = NumberKey({{championship, 3}, {year, 4}});
    if (key.empty()) return;
    xb::TXbDbf& t = reading.Table("resultat.dbf", "CHANJOEQ1");
    if (!t.Find(key)) return;
    WhileScope range(t, "ANNEE=" + std::to_string(year) + " .AND. NUCHAMP=" + std::to_string(championship) +
                            " .AND. NUJOURNEE<=" + std::to_string(lastDay));
    for (; !t.IsEof(); t.Skip(1)) {
        // A while-condition that the sought row already fails leaves the table on the last row before
        // the range, not at its end; such a row is no row of the range.
        if (t.FieldGetInt("NUCHAMP") != championship || t.FieldGetInt("ANNEE") != year ||
            t.FieldGetInt("NUJOURNEE") > lastDay)
            break;
        SeasonMatch m;
        m.matchday = t.FieldGetInt("NUJOURNEE");
        m.home = t.FieldGetInt("NUEQ1");
        m.away = t.FieldGetInt("NUEQ2");
        m.homeGoals = t.FieldGetInt("BEQ1");
        m.awayGoals = t.FieldGetInt("BEQ2");
        m.code = t.FieldGetStr("CODER");
        m.homePoints = t.FieldGetInt("PTEQ1");
        m.awayPoints = t.FieldGetInt("PTEQ2");
        visit(m);
    }
}

// ---- the standings ----

StandingsResult ComputeStandingsGrid(const StandingsRequest& request) {
    LeagueReading reading;
    return ComputeStandingsGrid(reading, request);
}

StandingsResult ComputeStandingsGrid(LeagueReading& reading, const StandingsRequest& request) {
    StandingsResult out;
    out.rules = reading.SeasonParams(request.championship, request.year);
    StandingsWorkTable tabclass(request.sortType, false);
    tabclass.InitStandingsWorkTable(reading, request.championship, request.year);
    if (tabclass.rowCount() > 0) {
        ScanSeasonResults(reading, request.championship, request.year, request.lastDay,
                          [&](const SeasonMatch& m) {
                              if (m.matchday < request.firstDay) return;
                              const auto [home, away] = MatchCounters(m, out.rules);
                              if (request.side != kSideAway) tabclass.AddMatchToStandingsRow(m.home, home);
                              if (request.side != kSideHome) tabclass.AddMatchToStandingsRow(m.away, away);
                          });
    }
    out.rows = tabclass.SortedRows();
    return out;
}

}  // namespace app
