// Opens mutated MDX files: checks the header and every tag header, walks every tag's tree comparing
// neighbouring keys, and lists the tags as the dataset layer does.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/index/mdx_format.h"
#include "engine/index/mdx_node.h"
#include "platform/file.h"
#include "platform/locale_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_mdx_" + std::to_string(getpid()) + ".mdx";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    std::vector<std::string> list;
    xb::GetIndexTagList(path, list);

    xb::platform::File file;
    if (file.open(path, xb::platform::kModeSharedRead) != 0) return 0;
    uint64_t fileSize = 0;
    xb::MdxHeader header;
    if (file.size(fileSize) != 0 || fileSize < xb::kMdxHeaderSize ||
        file.readAt(0, header.bytes.data(), xb::kMdxHeaderSize) != 0)
        return 0;
    if (!xb::CheckMdxHeader(header, fileSize).empty()) return 0;
    for (int n = 1; n <= header.tagCount(); ++n) {
        xb::TagHeader tag;
        if (file.readAt(uint64_t{header.tagBlock(n)} * xb::kMdxBlockSize, tag.bytes.data(), xb::kTagHeaderCopySize) != 0)
            continue;
        const xb::KeyOrder order = tag.order();
        std::array<uint8_t, xb::kMaxKeyLength> previous{};
        bool havePrevious = false;
        size_t visited = 0;
        (void)xb::WalkTag(file, tag, [&](const uint8_t* key, uint32_t) {
            if (havePrevious) (void)order.compare(previous.data(), key);
            std::copy(key, key + tag.keyLength(), previous.begin());
            havePrevious = true;
            return ++visited < 100000;
        });
    }
    return 0;
}
