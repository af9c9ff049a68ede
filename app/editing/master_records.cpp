#include "app/editing/master_records.h"

#include <algorithm>

#include "app/data/league_access.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "engine/core/errors.h"
#include "engine/dataset/xb_file_dataset.h"

namespace app {

namespace {

QString rightTrimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return QString::fromStdString(s);
}

std::vector<std::string> utf8Lines(const QStringList& lines) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(lines.size()));
    for (const QString& l : lines) out.push_back(l.toStdString());
    return out;
}

// The fields of a player but the number and the memo.
void putPlayerFields(xb::TXbDbf& t, const PlayerRecord& p) {
    t.FieldPutStr("NOMJOUEUR", StoredName(p.name).toStdString());
    t.FieldPutStr("DATENAIS", p.birthDate.toStdString());
    t.FieldPutInt("POSTE", p.position);
    t.FieldPutStr("NATION", rightTrimmed(p.nation.toStdString()).toStdString());
}

// True when the team appears in a squad of any season.
bool teamHasSquadRows(int team) {
    LeagueTableScope t("m26joueq", "joueq.dbf", "NUEQ");
    const std::string key = NumberKey({{team, 5}});
    return !key.empty() && t->Find(key);
}

}  // namespace

QString StoredName(const QString& typed) {
    return typed.trimmed();
}

NameVerdict JudgeName(const QString& name, int own, int holder) {
    if (StoredName(name).isEmpty()) return NameVerdict::kEmpty;
    return holder != 0 && holder != own ? NameVerdict::kTaken : NameVerdict::kAccepted;
}

// ---- teams ----

void PendingSquad::add(int year, int player) {
    const std::pair<int, int> row{year, player};
    if (std::find(m_rows.begin(), m_rows.end(), row) == m_rows.end()) m_rows.push_back(row);
}

void PendingSquad::remove(int year, int player) {
    m_rows.erase(std::remove(m_rows.begin(), m_rows.end(), std::pair<int, int>{year, player}), m_rows.end());
}

std::vector<int> PendingSquad::players(int year) const {
    std::vector<int> out;
    for (const auto& [y, p] : m_rows)
        if (y == year) out.push_back(p);
    return out;
}

CreatedTeam CreateTeamWithSquad(xb::TXbDbf& equipe, const QString& name, const PendingSquad& squad) {
    CreatedTeam out;
    out.number = CreateTeam(equipe, StoredName(name));
    if (out.number == 0) return out;
    for (const auto& [year, player] : squad.rows())
        if (!AddPlayerToTeam(year, out.number, player)) out.squadStored = false;
    return out;
}

bool DeleteTeamAndDependants(int team) {
    // The team row goes last: while it stands the team can be shown and deleted again.
    if (!DeleteTeamGoals(team) || !DeleteTeamCards(team)) return false;
    if (!DeleteRosterEntries(0, team, 0) && teamHasSquadRows(team)) return false;
    return DeleteTeam(team);
}

// ---- players ----

PlayerRecord ReadPlayer(xb::TXbDbf& t) {
    PlayerRecord p;
    p.number = t.FieldGetInt("NUJOUEUR");
    p.name = rightTrimmed(t.FieldGetStr("NOMJOUEUR"));
    p.birthDate = QString::fromStdString(t.FieldGetStr("DATENAIS"));
    p.position = t.FieldGetInt("POSTE");
    p.nation = rightTrimmed(t.FieldGetStr("NATION"));
    std::vector<std::string> lines;
    {
        xb::TrappingOff quiet;
        try {
            t.GetMField("INFODIVERS", lines);
        } catch (const std::exception&) {
            p.notesDamaged = true;
        }
        if (xb::LastError() != 0) p.notesDamaged = true;
        if (p.notesDamaged) {
            lines.clear();
            xb::TakeErrorMessage();
            xb::SetIoResult(0);
        }
    }
    for (const std::string& l : lines) p.notes << QString::fromStdString(l);
    return p;
}

QStringList PlayerFieldsTooLong(const PlayerRecord& p) {
    QStringList out;
    if (StoredName(p.name).size() > kPlayerNameWidth) out << QStringLiteral("NOMJOUEUR");
    if (p.birthDate.size() > kBirthDateWidth) out << QStringLiteral("DATENAIS");
    if (p.position < -9 || p.position > 99) out << QStringLiteral("POSTE");
    if (rightTrimmed(p.nation.toStdString()).size() > kNationWidth) out << QStringLiteral("NATION");
    return out;
}

namespace {
// Every text of the player, memo lines included, fits the table's code page.
bool storablePlayer(xb::TXbDbf& t, const PlayerRecord& p) {
    return StorableTexts(t, {p.name.toStdString(), p.birthDate.toStdString(), p.nation.toStdString(),
                             p.notes.join(QLatin1Char('\n')).toStdString()});
}
}  // namespace

int CreatePlayer(xb::TXbDbf& t, const PlayerRecord& p) {
    if (!PlayerFieldsTooLong(p).isEmpty() || !storablePlayer(t, p)) return 0;
    // The whole row, memo included, in the one append.
    return AppendNumberedRow(t, kPlayerNumbers, [&](xb::TXbDbf& r) {
        putPlayerFields(r, p);
        if (!p.notes.isEmpty()) r.PutMField("INFODIVERS", utf8Lines(p.notes));
    });
}

QString PlayerSummary(const PlayerRecord& p) {
    QStringList parts{p.name};
    if (!p.birthDate.trimmed().isEmpty() && p.birthDate.trimmed() != QStringLiteral("/  /"))
        parts << p.birthDate;
    if (!p.nation.isEmpty()) parts << p.nation;
    QString out = parts.join(QStringLiteral(", "));
    if (!p.notes.isEmpty()) out += QStringLiteral(" | ") + p.notes.join(QStringLiteral(" / "));
    return out;
}

bool SamePlayerValues(const PlayerRecord& a, const PlayerRecord& b) {
    return a.number == b.number && a.name == b.name && a.birthDate == b.birthDate &&
           a.position == b.position && a.nation == b.nation && a.notes == b.notes &&
           a.notesDamaged == b.notesDamaged;
}

bool SavePlayer(xb::TXbDbf& t, const PlayerRecord& p, const PlayerRecord* loaded) {
    if (!PlayerFieldsTooLong(p).isEmpty() || !storablePlayer(t, p)) return false;
    const std::string key = NumberKey({{p.number, 5}});
    auto find = [&] {
        t.SetOrderToTag("NU");
        return !key.empty() && t.FindExact(key);
    };
    LoadedRow was;
    if (loaded) was.same = [loaded](xb::TXbDbf& r) { return SamePlayerValues(ReadPlayer(r), *loaded); };
    // A player deleted meanwhile by another station is not brought back (with loaded, WriteRow says so).
    if (!loaded && !find()) return false;
    return WriteRow(
        t, find,
        [&](xb::TXbDbf& r) {
            r.FieldPutInt("NUJOUEUR", p.number);
            putPlayerFields(r, p);
            if (!p.notesDamaged || !p.notes.isEmpty()) r.PutMField("INFODIVERS", utf8Lines(p.notes));
        },
        WhenFound::Update, loaded ? &was : nullptr);
}

}  // namespace app
