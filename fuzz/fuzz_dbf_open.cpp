// Opens mutated DBF files and reads every record through the work areas.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "engine/core/engine.h"
#include "engine/core/navigation.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/locale_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_dbf_" + std::to_string(getpid()) + ".dbf";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    engine.settings.autoFixRecCount = size > 0 && (data[0] & 1);
    engine.settings.century = size > 1 && (data[1] & 1);
    if (xb::Use(path, nullptr, 0)) {
        int guard = 0;
        xb::GoTop();
        while (!xb::dEOF() && guard++ < 4096) {
            for (int i = 1; i <= xb::FieldCount(); ++i) (void)xb::FieldAddress(i);
            xb::StoreRecordBuffer();  // typed back to raw must stay inside the record
            if (!xb::Skip(1)) break;
        }
        xb::GoBottom();
        xb::Skip(-1);
        xb::CloseDatabase();
    }
    return 0;
}
