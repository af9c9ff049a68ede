#include "app/exchange/old_import.h"

#include <chrono>
#include <filesystem>
#include <set>
#include <tuple>
#include <vector>

#include "app/exchange/database_swap.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/data/league_code_page.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/league_writes.h"
#include "engine/dataset/xb_file_dataset.h"

namespace app {

namespace fs = std::filesystem;

namespace {

// The file of dir whose name equals name whatever its case; name itself in dir when there is none.
fs::path findFile(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string n = e.path().filename().string();
        if (QString::fromStdString(n).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0)
            return e.path();
    }
    return dir / name;
}

// The table of the staging folder, opened alone: made from its definition when it is not there.
std::unique_ptr<xb::TXbDbf> openStaged(const std::string& dir, const std::string& file) {
    const LeagueTable& def = *FindLeagueTable(file);
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = "fimport" + def.stem();
    t->SetDbfFileName(dir + "/" + file);
    t->DbfFields = def.fields;
    t->IndexList = def.indexList();
    t->CreateIndex = xb::TCreateIndexType::ciVerifyHeader;
    t->AutoFixRecCount = true;
    t->SetHideDeletedRecs(true);
    t->ShowProgress = false;
    t->SetExclusive(true);
    t->Open();
    return t;
}

// The restore's hold for the run, and its journaled swap: the staged tables are checked and indexed
// again, the hold let go, and the swap takes its own exclusive opens of the live and staged files.
class RestoreSwap : public ImportDatabaseSwap {
public:
    bool hold(QString& why) override {
        std::string busy;
        if (m_hold.Take(dataDir(), &busy)) return true;
        why = GetLangText(Text::DatabaseInUse) + QStringLiteral(" (") + QString::fromStdString(busy) +
              QStringLiteral(")");
        return false;
    }
    bool swap(const ExchangeOperation& op, QString& why) override {
        std::string reason;
        if (!PrepareStagedDatabase(op.staging(), &reason)) {
            why = GetLangText(Text::RestoreFailed) + QStringLiteral(" (") + QString::fromStdString(reason) +
                  QStringLiteral(")");
            return false;
        }
        m_hold.Release();
        std::string busy;
        switch (SwapInDatabase(op, &busy)) {
            case SwapOutcome::kSwapped:
                return true;
            case SwapOutcome::kInUse:
                why = GetLangText(Text::DatabaseInUse) + QStringLiteral(" (") + QString::fromStdString(busy) +
                      QStringLiteral(")");
                return false;
            case SwapOutcome::kFailed:
                break;
        }
        why = GetLangText(Text::RestoreFailed);
        return false;
    }
    void release() override { m_hold.Release(); }

private:
    static std::string dataDir() { return GetAppDir().toStdString(); }
    DatabaseHold m_hold;
};

class OldFileImport {
public:
    OldFileImport(const ImportPlan& plan, int matchCount, const ImportHooks& hooks, std::string dir)
        : m_plan(plan), m_matchCount(matchCount), m_hooks(hooks), m_dir(std::move(dir)) {
        m_counts.plan = plan.counts;
    }
    ~OldFileImport() { closeAll(); }

    void ImportClearTables();
    void ImportTeams();
    void ImportChampionships();
    void ImportTeamLinks(const PlannedDivision& division, int championship);
    void ImportMatches(const PlannedDivision& division, int championship);
    void ImportAddResult(const PlannedMatch& match, int year, int championship);
    void closeAll();

    const ImportCounts& counts() const { return m_counts; }

private:
    void status(const QString& text) {
        if (m_hooks.status) m_hooks.status(text);
    }
    int championshipOf(const PlannedDivision& division);

    const ImportPlan& m_plan;
    const int m_matchCount;
    const ImportHooks& m_hooks;
    const std::string m_dir;
    ImportCounts m_counts;
    std::unique_ptr<xb::TXbDbf> m_resultat, m_equipe, m_champion, m_eqchamp, m_champan;
    std::set<std::tuple<int, int, int, int, int>> m_written;
    int m_matchesSeen = 0;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

void OldFileImport::closeAll() {
    for (auto* t : {&m_resultat, &m_equipe, &m_champion, &m_eqchamp, &m_champan})
        if (*t) {
            CloseQuietly(**t);
            t->reset();
        }
}

// The new database, empty but for the players: the tables the import fills, and goals, cards and squads,
// which hang on the teams and matches it replaces (new ones would reuse their numbers).
void OldFileImport::ImportClearTables() {
    const fs::path live = GetAppDir().toStdString();
    const char* copied[] = {"joueur.dbf", "joueur.mdx", "joueur.dbt"};
    for (const char* name : copied) {
        const fs::path from = findFile(live, name);
        if (fs::exists(from))
            fs::copy_file(from, fs::path(m_dir) / name, fs::copy_options::overwrite_existing);
    }
    {
        // The new tables are written in the live database's code page, the players' copy keeps it too.
        NewTableCodePage same(LeagueCodePage());
        for (const LeagueTable& def : LeagueTables()) {
            auto t = openStaged(m_dir, def.file);
            t->Close();
        }
    }
    m_resultat = openStaged(m_dir, "resultat.dbf");
    m_equipe = openStaged(m_dir, "equipe.dbf");
    m_champion = openStaged(m_dir, "champion.dbf");
    m_eqchamp = openStaged(m_dir, "eqchamp.dbf");
    m_champan = openStaged(m_dir, "champan.dbf");
}

void OldFileImport::ImportTeams() {
    xb::TXbDbf& t = *m_equipe;
    for (const PlannedTeam& team : m_plan.teams) {
        SaveTeam(t, team.number, QString::fromStdString(team.name)) ? ++m_counts.teams
                                                                    : ++m_counts.writesRefused;
    }
}

int OldFileImport::championshipOf(const PlannedDivision& division) {
    const QString name = QString::fromStdString(division.name);
    if (const int found = FindChampionshipNumber(*m_champion, name); found > 0) return found;
    int number = division.division;
    if (!GetChampionshipNameT(*m_champion, number).isEmpty()) {
        // The question reads the staged champion table, which is held exclusively: let it go meanwhile.
        CloseQuietly(*m_champion);
        m_champion.reset();
        const int answer = m_hooks.chooseChampionship ? m_hooks.chooseChampionship(name, m_dir + "/") : 0;
        m_champion = openStaged(m_dir, "champion.dbf");
        xb::TXbDbf& t = *m_champion;
        if (answer > 0) {
            // Only a championship the new database holds: another number would leave rows without one.
            if (GetChampionshipNameT(t, answer).isEmpty()) return 0;
            return answer;
        }
        if (answer != -1) return 0;
        number = NextChampionshipNumber(t);
        if (number == 0) return 0;
    }
    status(GetLangText(Text::ImportCreatingChampionship));
    if (!SaveChampionship(*m_champion, number, name)) {
        ++m_counts.writesRefused;
        return 0;
    }
    ++m_counts.championshipsCreated;
    return number;
}

void OldFileImport::ImportChampionships() {
    for (const PlannedDivision& division : m_plan.divisions) {
        const int championship = championshipOf(division);
        if (championship == 0) {
            ++m_counts.divisionsSkipped;
            m_matchesSeen += static_cast<int>(division.matches.size());
            continue;
        }
        status(GetLangText(Text::ImportCreatingSeasonRules));
        SaveSeasonParams(*m_champan, championship, division.year, division.rules) ? ++m_counts.seasons
                                                                                  : ++m_counts.writesRefused;
        status(GetLangText(Text::ImportLinkingTeams));
        ImportTeamLinks(division, championship);
        status(GetLangText(Text::ImportTransferMatches));
        ImportMatches(division, championship);
    }
}

void OldFileImport::ImportTeamLinks(const PlannedDivision& division, int championship) {
    for (int team : division.teams) {
        if (ChampionshipTeamExists(*m_eqchamp, division.year, team, championship)) continue;
        AddTeamToChampionshipT(*m_eqchamp, division.year, championship, false, team)
            ? ++m_counts.links
            : ++m_counts.writesRefused;
    }
}

void OldFileImport::ImportMatches(const PlannedDivision& division, int championship) {
    using Clock = std::chrono::steady_clock;
    for (const PlannedMatch& match : division.matches) {
        ++m_matchesSeen;
        const auto now = Clock::now();
        if (now - m_lastProgress >= std::chrono::milliseconds(100)) {
            m_lastProgress = now;
            status(GetLangText(Text::ImportMatchesProcessed) + QString::number(m_matchesSeen) + "/" +
                   QString::number(m_matchCount));
        }
        ImportAddResult(match, division.year, championship);
    }
}

void OldFileImport::ImportAddResult(const PlannedMatch& match, int year, int championship) {
    MatchRow row;
    row.championship = championship;
    row.year = year;
    row.matchday = match.matchday;
    row.home = match.home;
    row.away = match.away;
    row.homeGoals = match.homeGoals;
    row.awayGoals = match.awayGoals;
    row.code = match.code;
    if (!SaveMatchResult(*m_resultat, row)) {
        ++m_counts.writesRefused;
        return;
    }
    // The same match stored again is an update of its row: the later one is kept, counted once.
    if (m_written.emplace(championship, year, match.matchday, match.home, match.away).second)
        ++m_counts.matches;
    else
        ++m_counts.duplicates;
}

}  // namespace

std::unique_ptr<ImportDatabaseSwap> MakeImportDatabaseSwap() {
    return std::make_unique<RestoreSwap>();
}

namespace {
QString shownName(const UnstorableName& n) {
    const QString name = QString::fromStdString(n.name), letter = QString::fromUcs4(&n.character, 1);
    return n.team > 0 ? GetLangText(Text::ImportTeamNotStorable).arg(QString::number(n.team), name, letter)
                      : GetLangText(Text::ImportLeagueNotStorable).arg(name, QString::number(n.year), letter);
}
}  // namespace

QString UnstorableNamesText(const std::vector<UnstorableName>& names, int codePage) {
    QString text = GetLangText(Text::ImportNamesNotStorable).arg(codePage);
    for (const UnstorableName& n : names) text += QStringLiteral("\n- ") + shownName(n);
    return text;
}

QString ImportSummary(const ImportCounts& c) {
    QString s = GetLangText(Text::ImportSummary)
                    .arg(QString::number(c.teams), QString::number(c.championshipsCreated),
                         QString::number(c.seasons), QString::number(c.links), QString::number(c.matches));
    const std::pair<Text, int> left[] = {
        {Text::ImportMatchesOutOfRange, c.plan.matchesSkipped},
        {Text::ImportMatchesWithoutDivision, c.plan.matchesUnplaced},
        {Text::ImportDuplicateMatches, c.duplicates},
        {Text::ImportResultsFromScore, c.plan.resultsDefaulted},
        {Text::ImportSchemesReplaced, c.plan.schemesDefaulted},
        {Text::ImportTeamCountsClamped, c.plan.teamCountsClamped},
        {Text::ImportListEntriesSkipped, c.plan.listEntriesSkipped},
        {Text::ImportDivisionsSkipped, c.divisionsSkipped},
        {Text::ImportMatchesLeftOut, c.plan.matchesLeftOut},
        {Text::ImportWritesRefused, c.writesRefused},
    };
    QStringList parts;
    if (!c.leftOut.isEmpty())
        parts << GetLangText(Text::ImportLeftOut).arg(c.leftOut.join(QStringLiteral(", ")));
    for (const auto& [what, n] : left)
        if (n > 0) parts << GetLangText(what) + QLatin1Char(' ') + QString::number(n);
    if (!parts.isEmpty()) s += QStringLiteral(" ; ") + parts.join(QStringLiteral(", "));
    return s;
}

ImportOutcome ImportOldFile(const std::string& fileName, const ImportHooks& hooks, ImportDatabaseSwap* swap) {
    ImportOutcome out;
    auto status = [&](const QString& text) {
        if (hooks.status) hooks.status(text);
    };
    status(GetLangText(Text::ImportReadingFile));
    OldDataFile file;
    std::string why;
    if (!ReadOldDataFile(fileName, file, why)) {
        out.result = ImportResult::Refused;
        out.message = GetLangText(Text::ImportFileRefused).arg(QString::fromStdString(why));
        return out;
    }
    ImportPlan plan = PlanImport(file);
    // A name the tables cannot hold would be refused while its rows were written: the import writes
    // nothing it cannot write whole, so the name and every row that refers to it go, or nothing does.
    const int codePage = LeagueCodePage();
    const std::vector<UnstorableName> unstorable = FindUnstorableNames(plan, codePage);
    QStringList leftOut;
    if (!unstorable.empty()) {
        const QString text = UnstorableNamesText(unstorable, codePage);
        if (!hooks.goOnWithout || !hooks.goOnWithout(text)) {
            out.result = ImportResult::Cancelled;
            out.message = text + QLatin1Char('\n') + GetLangText(Text::NothingWritten);
            return out;
        }
        LeaveOut(plan, unstorable);
        for (const UnstorableName& n : unstorable) leftOut << shownName(n);
    }
    if (hooks.confirm && !hooks.confirm()) {
        out.result = ImportResult::Cancelled;
        return out;
    }

    std::unique_ptr<ImportDatabaseSwap> own;
    if (!swap) {
        own = MakeImportDatabaseSwap();
        swap = own.get();
    }
    const std::string dataDir = GetAppDir().toStdString();
    ExchangeOperation op;
    switch (op.Begin(dataDir)) {
        case ExchangeOperation::Begun::kOk:
            break;
        case ExchangeOperation::Begun::kBusy:
            out.result = ImportResult::Refused;
            out.message = GetLangText(Text::ExchangeBusy);
            return out;
        case ExchangeOperation::Begun::kFailed:
            out.result = ImportResult::Failed;
            out.message = GetLangText(Text::CannotCreateStagingFolder).arg(QString::fromStdString(dataDir));
            return out;
    }
    if (!swap->hold(out.message)) {
        out.result = ImportResult::Refused;
        return out;
    }
    std::string dir = op.staging();
    dir.pop_back();
    try {
        OldFileImport import(plan, static_cast<int>(file.matches.size()), hooks, dir);
        status(GetLangText(Text::ImportClearingData));
        import.ImportClearTables();
        status(GetLangText(Text::ImportCreatingTeams));
        import.ImportTeams();
        status(GetLangText(Text::ImportTransferChampionship));
        import.ImportChampionships();
        import.closeAll();
        out.counts = import.counts();
        out.counts.leftOut = leftOut;
        op.stage("staged");
        if (!swap->swap(op, out.message)) {
            swap->release();
            out.result = ImportResult::Failed;
            return out;
        }
    } catch (const std::exception& e) {
        swap->release();
        out.result = ImportResult::Failed;
        out.message = QString::fromUtf8(e.what());
        return out;
    }
    swap->release();
    out.result = ImportResult::Done;
    out.message = ImportSummary(out.counts);
    status(out.message);
    return out;
}

}  // namespace app
