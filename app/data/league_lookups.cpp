#include "app/data/league_lookups.h"

#include <algorithm>
#include <functional>

#include "app/data/league_access.h"
#include "app/data/league_reading.h"
#include "app/data/league_text.h"
#include "engine/dataset/xb_file_dataset.h"

namespace app {

namespace {

// A lookup's small tables are read by their index and kept open for the next lookups (see LeagueReading):
// a window's lookups come many in a moment, each of a row or a few.
constexpr LeagueReading::SmallTables kLookup = LeagueReading::SmallTables::kByIndex;

// A text field without the blanks that pad it to its width.
QString fieldText(xb::TXbDbf& t, const char* field) {
    std::string s = t.FieldGetStr(field);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return QString::fromStdString(s);
}

// A name as the exact key of a text field of that width; empty when the name is longer than the field.
std::string nameKey(const QString& name, int width) {
    QString n = name;
    while (n.endsWith(QLatin1Char(' '))) n.chop(1);
    if (n.isEmpty() || n.size() > width) return {};
    return (n + Spaces(width - static_cast<int>(n.size()))).toStdString();
}

bool findKey(xb::TXbDbf& t, const std::string& key) {
    return !key.empty() && t.Find(key);
}
bool findExact(xb::TXbDbf& t, const std::string& key) {
    return !key.empty() && t.FindExact(key);
}

// A numeric tag is sought by the number's decimal text.
std::string numericKey(int n) {
    return n > 0 ? std::to_string(n) : std::string();
}

void namesFrom(xb::TXbDbf& t, std::vector<QString>& names, const std::vector<int>& numbers, const char* field,
               const std::function<std::string(int)>& key) {
    if (names.size() < numbers.size()) names.resize(numbers.size());
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] <= 0) continue;
        names[i] = findKey(t, key(numbers[i])) ? fieldText(t, field) : QString();
    }
}

QStringList entriesOf(const std::vector<int>& numbers, const std::vector<QString>& names, bool withNumbers) {
    QStringList out;
    for (size_t i = 0; i < numbers.size(); ++i)
        out << (withNumbers ? NumberedEntry(names[i], numbers[i]) : names[i]);
    return out;
}

}  // namespace

// ---- seasons ----

QStringList SeasonComboEntries() {
    QStringList out;
    for (int y = kFirstSeasonYear; y <= kLastSeasonYear; ++y)
        out << QString::number(y) + QStringLiteral(" - ") + QString::number(y + 1);
    return out;
}

int SeasonComboIndex(int year) {
    return year >= kFirstSeasonYear && year <= kLastSeasonYear ? year - kFirstSeasonYear : -1;
}

int SeasonOfComboIndex(int index) {
    return index + kFirstSeasonYear;
}

SeasonRules GetSeasonParams(int championship, int year) {
    return LeagueReading(kLookup).SeasonParams(championship, year);
}

QStringList DayListEntries(int year, int championship) {
    QStringList out;
    const int days = GetSeasonParams(championship, year).matchdays;
    for (int d = 1; d <= days; ++d) out << QString::number(d);
    return out;
}

// ---- lists ----

std::vector<int> SeasonTeamNumbers(int year, int championship) {
    return LeagueReading(kLookup).SeasonTeams(year, championship);
}

QStringList SeasonTeamEntries(int year, int championship, bool withNumbers) {
    LeagueReading reading(kLookup);
    const std::vector<int> numbers = reading.SeasonTeams(year, championship);
    std::vector<QString> names;
    reading.TeamNames(names, numbers);
    return entriesOf(numbers, names, withNumbers);
}

std::vector<int> TeamPlayerNumbers(int team, int year) {
    std::vector<int> out;
    const std::string key = NumberKey({{team, 5}, {year, 4}});
    LeagueTableScope t("m10joueq", "joueq.dbf", "NUEQ");
    ForEachRow(*t, key, "NUEQ=" + std::to_string(team) + " .AND. ANNEE=" + std::to_string(year),
               [&] { out.push_back(t->FieldGetInt("NUJO")); });
    return out;
}

QStringList TeamPlayerEntries(int team, int year, bool withNumbers) {
    const std::vector<int> numbers = TeamPlayerNumbers(team, year);
    std::vector<QString> names;
    LoadPlayerNames(names, numbers);
    return entriesOf(numbers, names, withNumbers);
}

// ---- lookups ----

QString GetTeamName(int team) {
    return LeagueReading(kLookup).TeamName(team);
}

int FindTeamNumber(const QString& name) {
    LeagueTableScope t("m11equipe", "equipe.dbf", "NOMEQUIPE");
    return findExact(*t, nameKey(name, 20)) ? t->FieldGetInt("NUEQUIPE") : 0;
}

QString GetPlayerName(int player) {
    std::vector<QString> names;
    LeagueReading(kLookup).PlayerNames(names, {player});
    return names.front();
}

int FindPlayerNumber(const QString& name) {
    LeagueTableScope t("m11joueur", "joueur.dbf", "NOM");
    return findExact(*t, nameKey(name, 30)) ? t->FieldGetInt("NUJOUEUR") : 0;
}

QString GetChampionshipName(int championship) {
    std::vector<QString> names;
    LeagueReading(kLookup).ChampionshipNames(names, {championship});
    return names.front();
}

bool PlayerInTeam(int player, int team, int year) {
    LeagueTableScope t("m12joueq", "joueq.dbf", "ANNE");
    return findKey(*t, NumberKey({{year, 4}, {team, 5}, {player, 5}}));
}

int TeamOfPlayer(int player, int year) {
    LeagueTableScope t("m13joueq", "joueq.dbf", "NUJO");
    return findKey(*t, NumberKey({{player, 5}, {year, 4}})) ? t->FieldGetInt("NUEQ") : 0;
}

// ---- a table the caller opens ----

bool OpenTable(std::unique_ptr<xb::TXbDbf>& table, const std::string& file) {
    // Every open component needs a name of its own: the engine refuses a second area of the same alias.
    static int opened = 0;
    std::string stem = file.substr(file.find_last_of('/') + 1);
    stem = stem.substr(0, stem.find('.'));
    const std::string name = "t" + stem + std::to_string(++opened % 10000);
    table = MakeLeagueDataset(name.c_str(), file);
    try {
        table->Open();
        return true;
    } catch (...) {
        CloseQuietly(*table);
        table.reset();
        return false;
    }
}

void CloseTable(std::unique_ptr<xb::TXbDbf>& table) {
    if (table) CloseQuietly(*table);
    table.reset();
}

QString GetChampionshipNameT(xb::TXbDbf& t, int championship) {
    t.SetOrderToTag("NUCHAMP");
    return findKey(t, numericKey(championship)) ? fieldText(t, "NOMCHAMP") : QString();
}

int FindChampionshipNumber(xb::TXbDbf& t, const QString& name) {
    t.SetOrderToTag("NOMCHAMP");
    return findExact(t, nameKey(name, 30)) ? t.FieldGetInt("NUCHAMP") : 0;
}

int NextChampionshipNumber(xb::TXbDbf& t) {
    return NextNumberProposal(t, kChampionshipNumbers);
}

bool RosterEntryExists(xb::TXbDbf& t, int team, int player, int year) {
    if (team == 0) {
        t.SetOrderToTag("NUJO");
        return findKey(t, NumberKey({{player, 5}, {year, 4}}));
    }
    t.SetOrderToTag("NUEQ");
    return findKey(t, NumberKey({{team, 5}, {year, 4}, {player, 5}}));
}

bool ChampionshipTeamExists(xb::TXbDbf& t, int year, int team, int championship) {
    if (championship == 0) {
        t.SetOrderToTag("ANNEEEQUIP");
        return findKey(t, NumberKey({{year, 4}, {team, 5}}));
    }
    t.SetOrderToTag("ANEQCHAMP");
    return findKey(t, NumberKey({{year, 4}, {team, 5}, {championship, 3}}));
}

// ---- name arrays ----

void LoadTeamNames(std::vector<QString>& names, const std::vector<int>& numbers) {
    LeagueReading(kLookup).TeamNames(names, numbers);
}

void LoadPlayerNames(std::vector<QString>& names, const std::vector<int>& numbers) {
    LeagueReading(kLookup).PlayerNames(names, numbers);
}

void GetTeamNames(xb::TXbDbf& t, std::vector<QString>& names, const std::vector<int>& numbers) {
    t.SetOrderToTag("NUMERO");
    namesFrom(t, names, numbers, "NOMEQUIPE", numericKey);
}

void GetChampionshipNames(xb::TXbDbf& t, std::vector<QString>& names, const std::vector<int>& numbers) {
    t.SetOrderToTag("NUCHAMP");
    namesFrom(t, names, numbers, "NOMCHAMP", numericKey);
}

}  // namespace app
