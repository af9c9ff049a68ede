// The fixture of the index maintenance tests: a table written byte by byte, its index built by MakeIndex
// and opened with every tag, node reads straight from the file, and the checks every test repeats.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_node.h"
#include "engine/index/mdx_update.h"
#include "engine/index/mdx_update_test_support.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"
#include "tests/support/mdx_checker.h"

namespace xbtest {

// A node as the file holds it.
struct RawNode {
    uint32_t block = 0;
    int count = 0;
    bool leaf = true;
    std::vector<uint32_t> pointers;
    std::vector<std::string> keys;
    uint32_t trailer = 0;
};

class MdxUpdateFixture : public EngineTest {
protected:
    void SetUp() override {
        xb::InstallExpressionEngine(engine());
        InstallTestIndexDriver(engine());
        engine().settings.century = true;
        tmpDir = tmp.file("tmp");
        std::filesystem::create_directory(tmpDir);
        setenv("TMPDIR", tmpDir.c_str(), 1);
    }
    void TearDown() override {
        xb::CloseAllDatabases();
        xb::platform::ClearFaults();
        unsetenv("TMPDIR");
    }

    std::string dbf() const { return tmp.file("t.dbf"); }
    std::string mdx() const { return tmp.file("t.mdx"); }

    // Creates the table with count records (record(r) gives the bytes after the deletion flag), builds
    // the tags and opens the index.
    void makeTable(const std::vector<xb::FieldDef>& fields, const std::vector<xb::TagDefinition>& tags,
                   int32_t count = 0, const std::function<std::string(int32_t)>& record = nullptr) {
        xb::TableBlock tb;
        ASSERT_TRUE(xb::CreateDbf(tb, dbf(), fields));
        xb::CloseDbf(tb);
        std::string bytes = ReadFileBytes(dbf());
        const size_t header = static_cast<uint8_t>(bytes[8]) | (static_cast<uint8_t>(bytes[9]) << 8);
        bytes.resize(header);
        for (int32_t r = 1; r <= count; ++r) bytes += " " + record(r);
        bytes += '\x1A';
        for (int k = 0; k < 4; ++k) bytes[4 + k] = static_cast<char>((count >> (8 * k)) & 0xFF);
        WriteFileBytes(dbf(), bytes);
        ASSERT_TRUE(xb::Use(dbf() + " EXCLUSIVE", nullptr, 0)) << xb::ErrorMsg();
        std::vector<xb::TagDefinition> defs = tags;
        defs.push_back({});
        ASSERT_TRUE(xb::MakeIndex(defs, mdx())) << xb::ErrorMsg();
        ASSERT_TRUE(OpenTestIndex(mdx())) << xb::ErrorMsg();
    }

    xb::MdxArea& area() { return *xb::CurrentMdxArea(); }
    xb::MdxTag& tag(int n) { return *area().tags[n]; }

    // Rebuilds every tag from the table and opens the index again.
    void reindex() {
        std::string order;
        ASSERT_TRUE(xb::ReindexRebuild(order)) << xb::ErrorMsg();
        ASSERT_TRUE(OpenTestIndex(mdx())) << xb::ErrorMsg();
    }

    MdxReport check(bool fresh = false) {
        MdxCheckOptions opt;
        opt.freshBuild = fresh;
        opt.maxRecord = static_cast<uint32_t>(xb::CurrentBlock()->recCount);
        return CheckMdxFile(mdx(), opt);
    }

    RawNode node(uint32_t block, int keyLength) {
        const std::string f = ReadFileBytes(mdx());
        const size_t item = xb::ItemLengthFor(keyLength);
        const auto* p = reinterpret_cast<const uint8_t*>(f.data()) + static_cast<size_t>(block) * 512;
        RawNode n;
        n.block = block;
        n.count = xb::GetU16(p);
        for (int i = 0; i < n.count; ++i) {
            n.pointers.push_back(xb::GetU32(p + 8 + i * item));
            n.keys.emplace_back(reinterpret_cast<const char*>(p + 8 + i * item + 4), keyLength);
        }
        n.trailer = xb::GetU32(p + 8 + n.count * item);
        n.leaf = n.trailer == 0;
        return n;
    }
    // The tag's root block as its header page holds it.
    uint32_t fileRoot(int n) {
        const std::string f = ReadFileBytes(mdx());
        const auto* p = reinterpret_cast<const uint8_t*>(f.data());
        const uint32_t page = xb::GetU32(p + 512 + 32 * n);
        return xb::GetU32(p + static_cast<size_t>(page) * 512);
    }

    std::string tmpDir;
};

// A text padded with blanks (or cut) to n characters.
inline std::string Pad(const std::string& s, size_t n) { return (s + std::string(n, ' ')).substr(0, n); }
// A number right-aligned in n characters.
inline std::string Num(long v, size_t n) {
    const std::string s = std::to_string(v);
    return s.size() >= n ? s.substr(s.size() - n) : std::string(n - s.size(), ' ') + s;
}

}  // namespace xbtest
