// Helpers of the memo tests: tables with memo fields of each flavour, records that point at memos.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_file.h"
#include "engine/core/memo_ops.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"

namespace xb::memotest {

// "base.dbf" with NOM C 10, TEXTE M 10, NOTE M 10 and an empty memo file of the flavour's layout.
inline void MakeMemoTable(const std::string& base, uint8_t version, uint16_t blockSize) {
    TableBlock create;
    ASSERT_TRUE(
        CreateDbf(create, base + ".dbf", {{"NOM", 'C', 10, 0}, {"TEXTE", 'M', 10, 0}, {"NOTE", 'M', 10, 0}}));
    platform::DeleteFileChecked(base + ".dbt");
    std::string dbf = xbtest::ReadFileBytes(base + ".dbf");
    dbf[0] = static_cast<char>(version);
    xbtest::WriteFileBytes(base + ".dbf", dbf);
    ASSERT_TRUE(InitMemoFile(base + (version == kMemoFox ? ".fpt" : ".dbt"), version, blockSize, "test"));
}

inline std::string MemoPath(const std::string& base, uint8_t version) {
    return base + (version == kMemoFox ? ".fpt" : ".dbt");
}

// Appends a record whose memo fields hold the given block numbers.
inline void AppendWithMemos(const std::string& nom, int32_t texte, int32_t note = 0) {
    WorkAreaBlock* b = CurrentBlock();
    ASSERT_NE(b, nullptr);
    ClearRecord();
    TypedSetString(FieldAddress(1), 10, nom);
    TypedSetInt(FieldAddress(2), texte);
    TypedSetInt(FieldAddress(3), note);
    StoreRecordBuffer();
    ASSERT_TRUE(AppendDbfRecord(*b)) << ErrorMsg();
    ASSERT_TRUE(FlushDbf(*b));
}

// Reads record n into the typed buffer.
inline void GoRecord(int32_t n) {
    ASSERT_TRUE(GetDbfRecord(*CurrentBlock(), n)) << ErrorMsg();
    LoadRecordBuffer();
}

// Stores field f's block number into record n.
inline void PutBlock(int32_t n, int field, int32_t block) {
    GoRecord(n);
    TypedSetInt(FieldAddress(field), block);
    StoreRecordBuffer();
    ASSERT_TRUE(PutDbfRecord(*CurrentBlock(), n)) << ErrorMsg();
}

inline int32_t BlockOf(int32_t n, int field) {
    EXPECT_TRUE(GetDbfRecord(*CurrentBlock(), n));
    LoadRecordBuffer();
    return TypedGetInt(FieldAddress(field));
}

inline std::string Read(int32_t block) {
    std::string t;
    EXPECT_TRUE(ReadMemo(block, t)) << ErrorMsg();
    return t;
}

inline std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
inline std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}

// The three flavours with a block size each.
struct Flavour {
    uint8_t version;
    uint16_t blockSize;
    const char* label;
};
inline const Flavour kFlavours[] = {
    {kMemoDbase3, 512, "dBASE III"}, {kMemoDbase4, 512, "dBASE IV 512"}, {kMemoDbase4, 64, "dBASE IV 64"},
    {kMemoFox, 64, "FoxPro 64"},     {kMemoFox, 512, "FoxPro 512"},
};

}  // namespace xb::memotest
