// Opens mutated memo files and reads every memo: as text, as a blob stream with seeks, through LOCATE's
// reader, and through the memo pack.
// Input: byte 0 picks the flavour (dBASE III, dBASE IV, FoxPro), bytes 1..16 are eight 16-bit block
// numbers for the records' two memo fields, the rest is the memo file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/memo_ops.h"
#include "engine/core/memo_stream.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/file.h"
#include "platform/locale_facts.h"

namespace {

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 17) return 0;
    static const std::string dir = "/tmp/fuzz_memo_" + std::to_string(getpid());
    static const std::string base = (mkdir(dir.c_str(), 0700), dir + "/t");
    static const uint8_t kVersions[] = {0x83, 0x8B, 0xF5};
    const uint8_t version = kVersions[data[0] % 3];

    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    xb::InstallMemoUnit(engine);

    // The table: four records with two memo fields each.
    xb::TableBlock create;
    if (!xb::CreateDbf(create, base + ".dbf",
                       {{"NOM", 'C', 4, 0}, {"TEXTE", 'M', 10, 0}, {"NOTE", 'M', 10, 0}}))
        return 0;
    std::string dbf;
    {
        FILE* f = std::fopen((base + ".dbf").c_str(), "rb");
        if (!f) return 0;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) dbf.append(buf, n);
        std::fclose(f);
    }
    dbf[0] = static_cast<char>(version);
    if (!dbf.empty() && dbf.back() == '\x1A') dbf.pop_back();
    for (int r = 0; r < 4; ++r) {
        std::string rec = " r   ";
        for (int k = 0; k < 2; ++k) {
            const int i = 1 + (r * 2 + k) * 2;
            const unsigned block = data[i] | (data[i + 1] << 8);
            std::string num = std::to_string(block);
            rec += std::string(10 - num.size(), ' ') + num;
        }
        dbf += rec;
    }
    dbf[4] = 4;
    writeFile(base + ".dbf", reinterpret_cast<const uint8_t*>(dbf.data()), dbf.size());
    std::remove((base + ".dbt").c_str());
    std::remove((base + ".fpt").c_str());
    writeFile(base + (version == 0xF5 ? ".fpt" : ".dbt"), data + 17, size - 17);

    if (!xb::Use(base + ".dbf", nullptr, 0)) return 0;
    xb::WorkAreaBlock* b = xb::CurrentBlock();
    for (int r = 1; r <= b->recCount; ++r) {
        if (!xb::GetDbfRecord(*b, r)) break;
        xb::LoadRecordBuffer();
        for (int field = 2; field <= 3; ++field) {
            const int32_t block = xb::TypedGetInt(xb::FieldAddress(field));
            std::string text;
            xb::ReadMemo(block, text);
            xb::MemoLineReader reader;
            xb::AssignMemo(reader, field);
            if (xb::CreateBlobDescriptor(r & 1, block, xb::kBlobRead) != 0) {
                uint8_t buf[300];
                xb::ReadBlobStream(buf, sizeof buf);
                xb::SeekBlobStream(-10, xb::kSeekFromEnd);
                xb::ReadBlobStream(buf, sizeof buf);
                xb::SeekBlobStream(5, xb::kSeekFromCurrent);
                xb::ReadBlobStream(buf, 1);
                xb::DestroyBlobDescriptor();
            }
        }
    }
    // The memo pack reads every referenced memo once more, into files of its own.
    const std::string copy = base + ".pak";
    writeFile(copy, reinterpret_cast<const uint8_t*>(dbf.data()), dbf.size());
    xb::platform::File packed;
    if (packed.open(copy, xb::platform::kModeExclusive) == 0) {
        xb::MemoPackJob job{&packed, b->recCount, base + ".$$$"};
        xb::PackMemofile(job);
        packed.close();
    }
    std::remove((base + ".$$$").c_str());
    xb::CloseDatabase();
    return 0;
}
