// Restores whole-database archives over a live database: each input damages either one file of a small
// database (its nine tables, their indexes and the memo file) before it is archived, or the archive
// itself (byte 0 chooses which; bytes 1 to 4 the offset; the rest is written there, an empty rest cuts
// the file there). After every restore the live folder must hold either exactly what it held before, or,
// when the restore reports success, the archive's tables and memo file byte for byte with a sound index
// for each; no staging folder may be left behind.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/exchange/backup_file.h"
#include "app/exchange/database_archive.h"
#include "app/exchange/database_swap.h"
#include "app/settings/app_files.h"
#include "app/data/league_access.h"
#include "app/data/league_database.h"
#include "app/data/league_tables.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/locale_facts.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Files snapshot(const std::string& dir) {
    Files out;
    for (const auto& n : app::DatabaseFileNames())
        if (fs::exists(dir + n)) out[n] = readFile(dir + n);
    return out;
}

void put(const std::string& dir, const Files& files) {
    for (const auto& n : app::DatabaseFileNames()) fs::remove(dir + n);
    for (const auto& [n, b] : files) writeFile(dir + n, b);
}

// Anything a restore must not leave in the data folder.
bool leftovers(const std::string& dir) {
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (n.rfind("restore.", 0) == 0) return true;
    }
    return false;
}

struct World {
    std::string root, source, live, work;
    Files sourceFiles, liveFiles;
    xb::Engine engine{xb::platform::LocaleFactsFromName("en_US")};

    World() {
        std::string pattern = (fs::temp_directory_path() / "fuzzdb-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern + "/";
        source = root + "source/";
        live = root + "live/";
        work = root + "work/";
        for (const auto& d : {source, live, work}) fs::create_directories(d);
        xb::InstallEngineUnits(engine);
        xb::SetErrorTrap(false);
        // The source: the empty database with three players who each have a note, and a team.
        app::SetAppDir(QString::fromStdString(source));
        { app::Tfsysteme made; }
        {
            app::LeagueTableScope players("fuzzplayers", "joueur.dbf");
            for (int i = 1; i <= 3; ++i) {
                players->ALock();
                players->AppendBlank();
                players->UnLock();
                players->RLock();
                players->FieldPutInt("nujoueur", i);
                players->FieldPutStr("nomjoueur", "PLAYER " + std::to_string(i));
                players->SetMField("infodivers", {"Note " + std::to_string(i), std::string(600, 'n')});
                players->ReplaceRec();
                players->UnLock();
            }
            app::LeagueTableScope teams("fuzzteams", "equipe.dbf");
            teams->ALock();
            teams->AppendBlank();
            teams->UnLock();
            teams->RLock();
            teams->FieldPutInt("nuequipe", 1);
            teams->FieldPutStr("nomequipe", "TEAM");
            teams->ReplaceRec();
            teams->UnLock();
        }
        sourceFiles = snapshot(source);
        // The live database: another empty one.
        app::SetAppDir(QString::fromStdString(live));
        { app::Tfsysteme made; }
        liveFiles = snapshot(live);
    }
};

// Damages bytes of s: data[1..4] the offset, the rest written there; an empty rest cuts s there.
void damage(std::string& s, const uint8_t* data, size_t size) {
    const uint32_t raw = data[1] | (data[2] << 8) | (data[3] << 16) | (static_cast<uint32_t>(data[4]) << 24);
    const size_t at = s.empty() ? 0 : raw % (s.size() + 1);
    if (size == 5) {
        s.resize(at);
        return;
    }
    const size_t n = size - 5;
    if (at + n > s.size()) s.resize(at + n);
    s.replace(at, n, reinterpret_cast<const char*>(data + 5), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    static World w;
    const auto& names = app::DatabaseFileNames();
    const size_t choice = data[0] % (names.size() + 1);

    Files files = w.sourceFiles;
    if (choice > 0) damage(files[names[choice - 1]], data, size);
    const std::string src = w.work + "src/";
    fs::remove_all(src);
    fs::create_directories(src);
    for (const auto& [n, b] : files) writeFile(src + n, b);
    const std::string archive = w.work + "a.pmz";
    {
        app::TBackupFile backup;
        backup.OnError = [](app::TBackupFile&, int, const std::string&) {};
        if (!backup.Backup({src + "*"}, archive)) std::abort();
    }
    if (choice == 0) {
        std::string bytes = readFile(archive);
        damage(bytes, data, size);
        writeFile(archive, bytes);
    }

    const app::RestoreResult r = app::RestoreDatabase(w.live, archive);
    const Files after = snapshot(w.live);
    if (leftovers(w.live)) std::abort();
    if (r.outcome != app::RestoreOutcome::kRestored) {
        if (after != w.liveFiles) std::abort();
        return 0;
    }

    // Restored: the archive's own tables and memo file, as a plain extraction writes them.
    const std::string raw = w.work + "raw/";
    fs::remove_all(raw);
    {
        app::TBackupFile extract;
        extract.OnError = [](app::TBackupFile&, int, const std::string&) {};
        extract.Restore(archive, raw);
    }
    // Opening a table may bring three header fields in line with the file (the date of the last
    // update, a row count below the rows the file holds, the production index flag now that the index is
    // built again): every other byte is the archive's.
    auto sameContent = [](const std::string& live, const std::string& stored, bool table) {
        if (live.size() != stored.size()) return false;
        for (size_t i = 0; i < live.size(); ++i) {
            if (table && ((i >= 1 && i <= 7) || i == 28)) continue;
            if (live[i] != stored[i]) return false;
        }
        return true;
    };
    for (const auto& n : names) {
        const std::string ext = n.substr(n.size() - 4);
        if (after.count(n) == 0) std::abort();
        if (ext != ".mdx" && !sameContent(after.at(n), readFile(raw + n), ext == ".dbf")) std::abort();
    }
    // Every table of the new database opens as the program opens it, and its index was built again.
    app::SetAppDir(QString::fromStdString(w.live));
    std::string why;
    const std::string check = w.work + "check/";
    fs::remove_all(check);
    fs::create_directories(check);
    for (const auto& [n, b] : after) writeFile(check + n, b);
    if (!app::PrepareStagedDatabase(check, &why)) std::abort();
    put(w.live, w.liveFiles);
    return 0;
}
