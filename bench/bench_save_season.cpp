// Saving a season of matches the way the match entry does: for each match the home team's key is sought
// in tag CHANJOEQ1 of an empty "resultat" (five tags), the matchday's rows of that team are scanned under a
// while-condition for the away team, a row is appended under the append lock when there is none, and the
// ten fields are written under the record lock. Then every match is saved once more, which finds and
// updates its row. Beside it, in the same run, the physical limit: the same records written with plain
// write() and then rewritten once each with pwrite().
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/data/league_tables.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "platform/locale_facts.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTeams = 20;  // 38 matchdays of 10 matches: 380 matches

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::string padNum(int v, int width) {
    std::string s = std::to_string(v);
    return s.size() >= static_cast<size_t>(width)
               ? s
               : std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

struct Match {
    int champ, year, day, home, away, goals1, goals2;
};

// A double round robin by the circle method.
std::vector<Match> season() {
    std::vector<Match> out;
    std::vector<int> ring;
    for (int t = 1; t <= kTeams; ++t) ring.push_back(t);
    for (int round = 0; round < kTeams - 1; ++round) {
        for (int i = 0; i < kTeams / 2; ++i) {
            const int a = ring[static_cast<size_t>(i)], b = ring[static_cast<size_t>(kTeams - 1 - i)];
            const bool flip = (round + i) % 2 == 1;
            out.push_back(
                {1, 2026, round + 1, flip ? b : a, flip ? a : b, (a * 7 + round) % 5, (b * 3 + round) % 4});
        }
        ring.insert(ring.begin() + 1, ring.back());
        ring.pop_back();
    }
    const size_t firstHalf = out.size();
    for (size_t i = 0; i < firstHalf; ++i) {
        Match m = out[i];
        std::swap(m.home, m.away);
        m.day += kTeams - 1;
        out.push_back(m);
    }
    return out;
}

std::string code(const Match& m) {
    return m.goals1 > m.goals2 ? "V" : m.goals1 < m.goals2 ? "D" : "N";
}

bool saveMatchResult(xb::TXbDbf& t, const Match& m) {
    t.SetOrderToTag("CHANJOEQ1");
    bool found = false;
    t.Find(padNum(m.champ, 3) + padNum(m.year, 4) + padNum(m.day, 3) + padNum(m.home, 5));
    t.SetWhileTo("ANNEE=" + std::to_string(m.year) + " .AND. NUCHAMP=" + std::to_string(m.champ) +
                 " .AND. NUJOURNEE=" + std::to_string(m.day) + " .AND. NUEQ1=" + std::to_string(m.home));
    while (!t.IsEof()) {
        if (t.FieldGetInt("NUEQ2") == m.away) {
            found = true;
            break;
        }
        t.Skip(1);
    }
    t.SetWhileTo("");
    if (!found) {
        if (!t.ALock()) return false;
        t.AppendBlank();
        t.UnLock();
    }
    t.RLock();
    t.FieldPutInt("NUCHAMP", m.champ);
    t.FieldPutInt("ANNEE", m.year);
    t.FieldPutInt("NUJOURNEE", m.day);
    t.FieldPutInt("NUEQ1", m.home);
    t.FieldPutInt("NUEQ2", m.away);
    t.FieldPutInt("BEQ1", m.goals1);
    t.FieldPutInt("BEQ2", m.goals2);
    t.FieldPutStr("CODER", code(m));
    t.FieldPutInt("PTEQ1", m.goals1 > m.goals2 ? 3 : m.goals1 == m.goals2 ? 1 : 0);
    t.FieldPutInt("PTEQ2", m.goals2 > m.goals1 ? 3 : m.goals1 == m.goals2 ? 1 : 0);
    t.ReplaceRec();
    t.UnLock();
    return true;
}

// The record as the table stores it (deletion byte and the ten fields).
std::string recordBytes(const Match& m) {
    std::string r(1, ' ');
    for (const auto& [v, w] : {std::pair{m.champ, 3},
                               {m.year, 4},
                               {m.day, 2},
                               {m.home, 5},
                               {m.away, 5},
                               {m.goals1, 3},
                               {m.goals2, 3}})
        r += padNum(v, w);
    r += code(m);
    r += ' ';
    r += padNum(3, 3);
    r += padNum(0, 3);
    return r;
}

double plainWrites(const std::string& path, const std::vector<Match>& matches,
                   const std::vector<Match>& updates) {
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0) return 0;
    const size_t size = recordBytes(matches[0]).size();
    auto start = Clock::now();
    for (const Match& m : matches) {
        const std::string r = recordBytes(m);
        if (::write(fd, r.data(), r.size()) < 0) break;
    }
    for (size_t i = 0; i < updates.size(); ++i) {
        const std::string r = recordBytes(updates[i]);
        if (::pwrite(fd, r.data(), r.size(), static_cast<off_t>(i * size)) < 0) break;
    }
    ::close(fd);
    return seconds(start, Clock::now());
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(engine);
    xb::InstallMemoUnit(engine);
    xb::InstallIndexEngine(engine);
    xb::InstallDatasetIndexServices();

    char dir[] = "/tmp/bench-season-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string base = dir;

    const std::vector<Match> matches = season();
    std::vector<Match> updates = matches;
    for (Match& m : updates) std::swap(m.goals1, m.goals2);

    const double plain = plainWrites(base + "/plain.bin", matches, updates);

    int failures = 0;
    double saving = 0, updating = 0;
    {
        xb::TXbDbf t;
        t.Name = "tresultat";
        t.SetDbfFileName(base + "/resultat.dbf");
        const app::LeagueTable& def = *app::FindLeagueTable("resultat.dbf");
        t.DbfFields = def.fields;
        t.IndexList = def.indexList();
        t.ShowProgress = false;
        t.Open();
        auto start = Clock::now();
        for (const Match& m : matches)
            if (!saveMatchResult(t, m)) ++failures;
        auto middle = Clock::now();
        for (const Match& m : updates)
            if (!saveMatchResult(t, m)) ++failures;
        auto end = Clock::now();
        saving = seconds(start, middle);
        updating = seconds(middle, end);
        if (t.RecCount() != static_cast<int>(matches.size())) ++failures;
        if (engine.errors.pendingError != 0) ++failures;
    }

    const double n = static_cast<double>(matches.size());
    std::printf("saving a season (%zu matches, shared table with five tags)\n", matches.size());
    std::printf("  plain write + pwrite   %10.3f ms for both passes  (baseline)\n", plain * 1000);
    std::printf("  save (appends)         %10.3f ms  %8.1f us/match  %.0fx of baseline time\n", saving * 1000,
                saving / n * 1e6, saving / plain);
    std::printf("  save again (updates)   %10.3f ms  %8.1f us/match  %.0fx of baseline time\n",
                updating * 1000, updating / n * 1e6, updating / plain);
    if (failures) std::printf("  %d saves failed\n", failures);
    std::string cleanup = "rm -rf " + base;
    const int rc = std::system(cleanup.c_str());
    return failures == 0 && rc == 0 ? 0 : 1;
}
