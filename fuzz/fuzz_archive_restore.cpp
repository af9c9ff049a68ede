// Restores mutated archives into a private temporary directory: no crash, no hang, and nothing may
// appear outside that directory whatever names, lengths and chunks the archive holds.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/exchange/backup_file.h"

namespace fs = std::filesystem;

namespace {

struct Sandbox {
    fs::path root;
    Sandbox() {
        std::string tmpl = (fs::temp_directory_path() / "fuzzarch-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        root = tmpl;
    }
};

// Names other than the expected ones in a directory.
size_t CountOthers(const fs::path& dir, const char* a, const char* b) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name != a && name != b) ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Sandbox box;
    // Two levels, so that a name climbing out of the restore directory shows up in either of them.
    const fs::path inner = box.root / "in";
    const fs::path archive = inner / "a.pmz";
    const fs::path restore = inner / "r";
    fs::create_directories(inner);
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (bool fullPath : {false, true}) {
        app::TBackupFile bf;
        bf.RestoreFullPath = fullPath;
        bf.OnError = [](app::TBackupFile&, int, const std::string&) {};
        bf.OnNeedDisk = [](app::TBackupFile&, uint16_t, bool& cont) { cont = false; };
        bf.Verify(archive.string());
        bf.Restore(archive.string(), restore.string());
        if (bf.Busy()) std::abort();
    }
    // Something written beside the restore directory or above it.
    if (CountOthers(inner, "r", "a.pmz") != 0 || CountOthers(box.root, "in", "in") != 0) std::abort();
    std::error_code ec;
    fs::remove_all(restore, ec);
    return 0;
}
