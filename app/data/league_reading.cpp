#include "app/data/league_reading.h"

#include <algorithm>
#include <exception>

#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/table_scopes.h"
#include "engine/dataset/xb_file_dataset.h"

namespace app {

namespace {

// How many rows a name walk steps over towards the next number it wants before it seeks that number
// instead: a step of a walk reads nothing new most of the time, a seek reads its path and its row.
constexpr int kWalkAhead = 32;

QString fieldText(xb::TXbDbf& t, const char* field) {
    std::string s = t.FieldGetStr(field);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return QString::fromStdString(s);
}

// A numeric tag is sought by the number's decimal text.
std::string numericKey(int n) {
    return n > 0 ? std::to_string(n) : std::string();
}

}  // namespace

struct LeagueReading::NameSource {
    const char* file;
    const char* tag;  // in number order
    const char* numberField;
    const char* nameField;
    std::string (*key)(int);
};

LeagueReading::LeagueReading(SmallTables small) : m_uncaught(std::uncaught_exceptions()), m_small(small) {}

LeagueReading::~LeagueReading() {
    const bool keep = std::uncaught_exceptions() == m_uncaught;
    for (auto& [file, table] : m_tables) DoneWithLeagueTable(std::move(table), keep);
}

xb::TXbDbf& LeagueReading::Table(const std::string& file, const std::string& tag) {
    std::unique_ptr<xb::TXbDbf>& slot = m_tables[file];
    if (!slot) {
        try {
            // Every routine puts its order before it seeks: where a kept table stands does not matter.
            TableUse use;
            use.fromFirstRow = false;
            slot = TakeLeagueTable(("lr" + file.substr(0, file.find('.'))).c_str(), file, use);
            // A computation shows the rows as they stood at its last look: its seeks on rows it read
            // within that moment read nothing again.
            slot->SetSeeksTakeScans(true);
        } catch (...) {
            m_tables.erase(file);
            throw;
        }
    }
    if (!tag.empty()) slot->SetOrderForSeek(tag);
    return *slot;
}

bool LeagueReading::readWhole(const std::string& file, const std::function<void(xb::TXbDbf&)>& visit) {
    const auto known = m_readWhole.find(file);
    if (known != m_readWhole.end()) return known->second;
    return m_readWhole[file] =
               m_small == SmallTables::kReadWhole && !m_tables.count(file) && ReadWholeSmallTable(file, visit);
}

namespace {

// The row's rules as a computation uses them: a stored matchday count of 0 is 2 x teams - 2.
SeasonRules rulesOfRow(xb::TXbDbf& t) {
    SeasonRules r = StoredSeasonRules(t);
    r.matchdays = std::clamp(r.matchdays == 0 ? 2 * r.teams - 2 : r.matchdays, 0, 99);
    return r;
}

}  // namespace

SeasonRules LeagueReading::SeasonParams(int championship, int year) {
    const auto known = m_rules.find({championship, year});
    if (known != m_rules.end()) return known->second;
    const std::string key = NumberKey({{year, 4}, {championship, 3}});
    if (key.empty()) return m_rules[{championship, year}] = SeasonRules{};
    // Read whole, every season's rules are known at once: the first row of each season.
    std::map<std::pair<int, int>, SeasonRules> all;
    if (readWhole("champan.dbf", [&](xb::TXbDbf& t) {
            all.emplace(std::make_pair(t.FieldGetInt("NUCHAMP"), t.FieldGetInt("ANNEE")), rulesOfRow(t));
        })) {
        all.merge(m_rules);
        m_rules.swap(all);
        return m_rules[{championship, year}];
    }
    SeasonRules r;
    xb::TXbDbf& t = Table("champan.dbf", "ANNEECHAMP");
    if (t.FindExact(key)) r = rulesOfRow(t);
    return m_rules[{championship, year}] = r;
}

std::vector<int> LeagueReading::SeasonTeams(int year, int championship) {
    const auto known = m_seasonTeams.find({year, championship});
    if (known != m_seasonTeams.end()) return known->second;
    const std::string key = NumberKey({{year, 4}, {championship, 3}});
    if (key.empty()) return m_seasonTeams[{year, championship}] = {};
    // Read whole, every season's list is known at once, each in record order (its key's order).
    std::map<std::pair<int, int>, std::vector<int>> all;
    if (readWhole("eqchamp.dbf", [&](xb::TXbDbf& t) {
            all[{t.FieldGetInt("ANNEE"), t.FieldGetInt("NUCHAMP")}].push_back(t.FieldGetInt("NUEQUIPE"));
        })) {
        all.merge(m_seasonTeams);
        m_seasonTeams.swap(all);
        return m_seasonTeams[{year, championship}];
    }
    std::vector<int> out;
    xb::TXbDbf& t = Table("eqchamp.dbf", "ANNEECHAMP");
    ForEachRow(t, key, "ANNEE=" + std::to_string(year) + " .AND. NUCHAMP=" + std::to_string(championship),
               [&] { out.push_back(t.FieldGetInt("NUEQUIPE")); });
    return m_seasonTeams[{year, championship}] = out;
}

void LeagueReading::names(const NameSource& source, std::vector<QString>& out,
                          const std::vector<int>& numbers) {
    std::map<int, QString>& known = m_names[source.file];
    std::vector<int> wanted;
    for (int n : numbers)
        if (n > 0 && !known.count(n)) wanted.push_back(n);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    if (!wanted.empty()) {
        // Read whole, every name of the table is known from then on (the first row of each number):
        // a number it does not hold has none.
        std::map<int, QString> all;
        if (readWhole(source.file, [&](xb::TXbDbf& t) {
                all.emplace(t.FieldGetInt(source.numberField), fieldText(t, source.nameField));
            })) {
            known.merge(all);
            for (int n : wanted) known.emplace(n, QString());
            wanted.clear();
        }
    }
    if (!wanted.empty()) {
        xb::TXbDbf& t = Table(source.file, source.tag);
        // One walk in number order; a number far ahead of the walk is sought instead.
        size_t i = 0;
        bool onRow = false;  // the table stands on a row at or before wanted[i]
        int stepped = 0;
        while (i < wanted.size()) {
            if (!onRow) {
                const std::string key = source.key(wanted[i]);
                onRow = !key.empty() && t.Find(key);
                stepped = 0;
                if (!onRow) {
                    known[wanted[i++]] = QString();
                    continue;
                }
            }
            if (t.IsEof()) {
                while (i < wanted.size()) known[wanted[i++]] = QString();
                break;
            }
            const int n = t.FieldGetInt(source.numberField);
            if (n >= wanted[i]) {
                const bool hit = n == wanted[i];
                known[wanted[i++]] = hit ? fieldText(t, source.nameField) : QString();
                if (!hit) continue;
                stepped = 0;
            } else if (++stepped > kWalkAhead) {
                onRow = false;
                continue;
            }
            t.Skip(1);
        }
    }
    if (out.size() < numbers.size()) out.resize(numbers.size());
    for (size_t i = 0; i < numbers.size(); ++i)
        if (numbers[i] > 0) out[i] = known[numbers[i]];
}

void LeagueReading::TeamNames(std::vector<QString>& out, const std::vector<int>& numbers) {
    names({"equipe.dbf", "NUMERO", "NUEQUIPE", "NOMEQUIPE", numericKey}, out, numbers);
}

void LeagueReading::PlayerNames(std::vector<QString>& out, const std::vector<int>& numbers) {
    names({"joueur.dbf", "NU", "NUJOUEUR", "NOMJOUEUR",
           [](int n) {
               return NumberKey({{n, 5}});
           }},
          out, numbers);
}

void LeagueReading::ChampionshipNames(std::vector<QString>& out, const std::vector<int>& numbers) {
    names({"champion.dbf", "NUCHAMP", "NUCHAMP", "NOMCHAMP", numericKey}, out, numbers);
}

QString LeagueReading::TeamName(int team) {
    std::vector<QString> out;
    TeamNames(out, {team});
    return out.front();
}

void ForEachRow(xb::TXbDbf& t, const std::string& key, const std::string& condition,
                const std::function<void()>& visit) {
    if (key.empty() || !t.Find(key)) return;
    WhileScope scope(t, condition);
    for (; !t.IsEof(); t.Skip(1)) visit();
}

}  // namespace app
