#include "app/reports/scorers.h"

#include <algorithm>

#include "app/data/league_access.h"
#include "app/data/league_lookups.h"
#include "engine/dataset/xb_vfile_dataset.h"

namespace app {

namespace {

int nextTableNumber() {
    static int n = 0;
    return ++n % 100000;
}

std::string zeroPadded(int v, int width) {
    std::string s = std::to_string(v < 0 ? 0 : v);
    return s.size() < static_cast<size_t>(width) ? std::string(width - s.size(), '0') + s : s;
}

}  // namespace

ScorerWorkTable::ScorerWorkTable(bool withTeam)
    : m_withTeam(withTeam), m_table(std::make_unique<xb::TXbVFile>()) {
    m_table->Name = "tabclassbuteur" + std::to_string(nextTableNumber());
    m_table->SetDbfFileName("tabclassbuteur");
    m_table->DbfFields = withTeam
                             ? std::vector<std::string>{"nujoueur,N,5,0", "nomjoueur,C,30,0",
                                                        "nuequipe,N,5,0", "nomequipe,C,30,0", "nbbut,N,5,0"}
                             : std::vector<std::string>{"nujoueur,N,5,0", "nomjoueur,C,30,0", "nbbut,N,5,0"};
    m_table->Open();
}

ScorerWorkTable::~ScorerWorkTable() {
    try {
        m_table->Close();
    } catch (...) {
    }
}

void ScorerWorkTable::AddScorerGoal(int player, int team) {
    xb::TXbVFile& t = *m_table;
    if (std::find(m_players.begin(), m_players.end(), player) != m_players.end()) {
        for (t.GoTop(); !t.IsEof(); t.Skip(1)) {
            if (t.FieldGetInt("nujoueur") != player) continue;
            t.FieldPutInt("nbbut", t.FieldGetInt("nbbut") + 1);
            t.ReplaceRec();
            return;
        }
    }
    m_players.push_back(player);
    t.Append();
    t.FieldByName("nujoueur").SetAsInteger(player);
    if (m_withTeam) t.FieldByName("nuequipe").SetAsInteger(team);
    t.FieldByName("nbbut").SetAsInteger(1);
    t.Post();
}

std::string ScorerWorkTable::ScorersSortKey() {
    const std::string goals = zeroPadded(m_table->FieldByName("nbbut").GetAsInteger(), 5);
    const auto it = m_tieRank.find(m_table->FieldByName("nujoueur").GetAsInteger());
    // Read from the highest key down: the tie part is complemented so that names still ascend.
    return goals + DescendingKey(zeroPadded(it == m_tieRank.end() ? 99999 : it->second, 5));
}

std::vector<ScorerRow> ScorerWorkTable::SortedRows(LeagueReading& reading) {
    std::vector<ScorerRow> rows;
    if (m_players.empty()) return rows;
    xb::TXbVFile& t = *m_table;
    std::vector<QString> names;
    reading.PlayerNames(names, m_players);
    names.resize(m_players.size());
    const std::vector<int> ranks = TieRanks(names, m_players);
    std::map<int, QString> nameOf;
    for (size_t i = 0; i < m_players.size(); ++i) {
        m_tieRank[m_players[i]] = ranks[i];
        nameOf[m_players[i]] = names[i];
    }
    std::map<int, QString> teamNameOf;
    if (m_withTeam) {
        std::vector<int> teams;
        for (t.GoTop(); !t.IsEof(); t.Skip(1)) teams.push_back(t.FieldGetInt("nuequipe"));
        const std::vector<QString> teamNames = FillStandingsTeamNames(reading, teams);
        for (size_t i = 0; i < teams.size(); ++i) teamNameOf[teams[i]] = teamNames[i];
    }
    for (t.GoTop(); !t.IsEof(); t.Skip(1)) {
        t.FieldPutStr("nomjoueur", nameOf[t.FieldGetInt("nujoueur")].left(30).toStdString());
        if (m_withTeam)
            t.FieldPutStr("nomequipe", teamNameOf[t.FieldGetInt("nuequipe")].left(30).toStdString());
        t.ReplaceRec();
    }
    t.KeyMaker = [this] { return ScorersSortKey(); };
    t.SetAppendMode(xb::LStatusType::DESCENDING);
    for (t.GoTop(); !t.IsEof(); t.Skip(1)) {
        ScorerRow r;
        r.player = t.FieldGetInt("nujoueur");
        r.name = nameOf[r.player];
        if (m_withTeam) {
            r.team = t.FieldGetInt("nuequipe");
            r.teamName = teamNameOf[r.team];
        }
        r.goals = t.FieldGetInt("nbbut");
        rows.push_back(r);
    }
    return rows;
}

std::vector<ScorerRow> BuildScorersTable(const StandingsRequest& request) {
    ScorerWorkTable tabclassbuteur(true);
    LeagueReading reading;
    xb::TXbDbf& t = reading.Table("but.dbf", "NUCHAMP");
    ForEachRow(
        t, NumberKey({{request.championship, 5}, {request.year, 4}}),
        "NUCHAMP=" + std::to_string(request.championship) + " .AND. ANNEE=" + std::to_string(request.year),
        [&] {
            const int player = t.FieldGetInt("NUJOUEUR");
            const int type = t.FieldGetInt("TYPE");
            const int credited = t.FieldGetInt("NUEQBEN");
            const int day = t.FieldGetInt("NUJOURNEE");
            const bool sideCounts = request.side == kSideHome   ? credited == 1
                                    : request.side == kSideAway ? credited != 1
                                                                : true;
            if (type != kOwnGoal && day >= request.firstDay && day <= request.lastDay && sideCounts)
                tabclassbuteur.AddScorerGoal(player,
                                             credited == 1 ? t.FieldGetInt("NUEQ1") : t.FieldGetInt("NUEQ2"));
        });
    return tabclassbuteur.SortedRows(reading);
}

}  // namespace app
