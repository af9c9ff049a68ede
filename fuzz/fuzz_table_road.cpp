// The application's road through damaged files: a table with a memo file and a production index is made
// once; each input damages a fresh copy (byte 0 chooses the table, the memo or the index file, bytes 1 to
// 4 the offset, the rest is written there; an empty rest cuts the file at the offset). The copy is then
// opened through the dataset component with its index list (the rebuild of a damaged index included),
// walked in every order, searched, appended to and replaced. Errors are expected; crashes, hangs and
// sanitizer reports are not.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/locale_facts.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kFields = {"id, N, 6, 0", "name, C, 12, 0", "grp, N, 2, 0", "notes, M, 10, 0"};
const std::vector<std::string> kIndexList = {"ID,F,F,id", "", "NAME,T,F,name", "", "ODD,F,F,id", "grp = 1"};

std::unique_ptr<xb::TXbDbf> table(const std::string& path) {
    auto t = std::make_unique<xb::TXbDbf>();
    t->Name = "fuzzroad";
    t->SetDbfFileName(path);
    t->DbfFields = kFields;
    t->IndexList = kIndexList;
    t->ShowProgress = false;
    return t;
}

// Runs one step, swallowing the errors a damaged file gives.
template <typename F>
void step(F&& f) {
    try {
        f();
    } catch (const xb::EEngineError&) {
    } catch (const xb::EDatabaseError&) {
    }
}

void appendRow(xb::TXbDbf& t, int id) {
    if (!t.ALock()) return;
    t.AppendBlank();
    t.UnLock();
    if (!t.RLock()) return;
    t.FieldPutInt("id", id);
    t.FieldPutStr("name", "Row " + std::to_string(id % 17));
    t.FieldPutInt("grp", id % 2);
    t.SetMField("notes", {"memo of " + std::to_string(id)});
    t.ReplaceRec();
    t.UnLock();
}

const std::string& templateDir() {
    static const std::string dir = [] {
        const std::string d = "/tmp/fuzz_road_template_" + std::to_string(getpid());
        fs::create_directories(d);
        xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
        xb::InstallEngineUnits(engine);
        xb::SetErrorTrap(false);
        auto t = table(d + "/road.dbf");
        t->Open();
        for (int i = 1; i <= 60; ++i) appendRow(*t, i);
        t.reset();
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const std::string from = templateDir();
    static const std::string dir = "/tmp/fuzz_road_" + std::to_string(getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* name : {"road.dbf", "road.dbt", "road.mdx"})
        fs::copy_file(from + "/" + name, dir + "/" + name);

    static const char* const kDamaged[] = {"road.dbf", "road.dbt", "road.mdx"};
    const std::string victim = dir + "/" + kDamaged[data[0] % 3];
    const uint64_t fileSize = fs::file_size(victim);
    const uint32_t raw = data[1] | (data[2] << 8) | (data[3] << 16) | (static_cast<uint32_t>(data[4]) << 24);
    const uint64_t offset = fileSize ? raw % (fileSize + 1) : 0;
    if (size == 5) {
        fs::resize_file(victim, offset);
    } else if (FILE* f = std::fopen(victim.c_str(), "r+b")) {
        std::fseek(f, static_cast<long>(offset), SEEK_SET);
        std::fwrite(data + 5, 1, size - 5, f);
        std::fclose(f);
    }

    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    auto t = table(dir + "/road.dbf");
    t->CreateIfNotFound = false;
    step([&] { t->Open(); });
    if (!t->Active()) return 0;
    for (const char* order : {"ID", "NAME", "ODD", ""}) {
        step([&] {
            t->SetOrderToTag(order);
            int guard = 0;
            for (t->GoTop(); !t->IsEof() && guard < 500; t->Skip(1), ++guard) {
                (void)t->FieldGetStr("name");
                std::vector<std::string> lines;
                t->GetMField("notes", lines);
            }
        });
    }
    step([&] {
        t->SetOrderToTag("ID");
        (void)t->Find("30");
        (void)t->FindExact("7");
    });
    step([&] { appendRow(*t, 1000); });
    step([&] {
        t->GoTop();
        if (t->IsEof() || !t->RLock()) return;
        t->FieldPutStr("name", "Replaced");
        t->ReplaceRec();
        t->UnLock();
    });
    step([&] { t.reset(); });
    return 0;
}
