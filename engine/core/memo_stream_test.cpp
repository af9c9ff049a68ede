#include "engine/core/memo_stream.h"

#include <gtest/gtest.h>

#include "engine/core/memo_test_util.h"

namespace xb {
namespace {

using namespace memotest;
using xbtest::ReadFileBytes;

class MemoStreamTest : public xbtest::EngineTest {
protected:
    void SetUp() override { InstallMemoUnit(engine()); }
    std::string base() { return tmp.file("joueur"); }
    void open(const Flavour& f) {
        MakeMemoTable(base(), f.version, f.blockSize);
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0)) << ErrorMsg();
    }
    int32_t writeBlob(const std::string& data, bool detect = false, size_t piece = 100) {
        int32_t block = CreateBlobDescriptor(detect, 0, kBlobWrite);
        EXPECT_NE(block, 0) << ErrorMsg();
        for (size_t i = 0; i < data.size(); i += piece) {
            std::string part = data.substr(i, piece);
            EXPECT_EQ(WriteBlobStream(part.data(), static_cast<uint32_t>(part.size())), part.size());
        }
        int32_t done = DestroyBlobDescriptor();
        if (!data.empty()) {
            EXPECT_EQ(done, block);
        }
        return done;
    }
    std::string readBlob(int32_t block, bool detect = false) {
        EXPECT_EQ(CreateBlobDescriptor(detect, block, kBlobRead), block < 0 ? -block : block) << ErrorMsg();
        std::string out;
        char buf[77];
        uint32_t n;
        while ((n = ReadBlobStream(buf, sizeof buf)) > 0) out.append(buf, n);
        DestroyBlobDescriptor();
        return out;
    }
};

TEST_F(MemoStreamTest, FoxProBlobOf1000BytesIn64ByteBlocks) {
    open(kFlavours[3]);
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    const int32_t block = writeBlob(data);
    EXPECT_EQ(block, 8);
    const std::string file = ReadFileBytes(base() + ".fpt");
    EXPECT_EQ(file.substr(512, 8), std::string("\0\0\0\x01\0\0\x03\xE8", 8));
    EXPECT_EQ(file.substr(520), data);
    EXPECT_EQ(file.substr(0, 4), Be32(static_cast<uint32_t>((file.size() + 63) / 64))) << "header updated";
    EXPECT_EQ(readBlob(block), data);
}

TEST_F(MemoStreamTest, BlobsRoundTripInEveryFlavour) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        open(f);
        std::string data;
        for (int i = 0; i < 70000; ++i)
            data += static_cast<char>(f.version == kMemoDbase3 ? 'a' + i % 26 : i % 251);
        const int32_t block = writeBlob(data, false, 40000);
        EXPECT_GT(block, 0) << "a positive number in every flavour";
        EXPECT_EQ(readBlob(block), data);
        if (f.version == kMemoDbase3) {
            // Written in the dBASE III layout, so the ordinary reader and other programs see it too.
            EXPECT_EQ(Read(block), data);
            const std::string file = ReadFileBytes(base() + ".dbt");
            EXPECT_EQ(file[static_cast<size_t>(block) * 512 + data.size()], '\x1A');
            EXPECT_EQ(file.size() % 512, 0u);
        }
        CloseDatabase();
    }
}

TEST_F(MemoStreamTest, Dbase3ReadStopsAtTheEndByteAndSeekFromEndUsesIt) {
    open(kFlavours[0]);
    const int32_t block = AddMemo("0123456789");
    ASSERT_EQ(CreateBlobDescriptor(false, block, kBlobRead), block);
    char buf[100];
    EXPECT_EQ(ReadBlobStream(buf, sizeof buf), 10u);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(SeekBlobStream(-3, kSeekFromEnd), 7u);
    EXPECT_EQ(ReadBlobStream(buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf, 3), "789");
    DestroyBlobDescriptor();

    // A fresh stream learns the length by itself before seeking from the end.
    ASSERT_EQ(CreateBlobDescriptor(false, block, kBlobRead), block);
    EXPECT_EQ(SeekBlobStream(-4, kSeekFromEnd), 6u);
    EXPECT_EQ(ReadBlobStream(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "67");
    DestroyBlobDescriptor();
}

TEST_F(MemoStreamTest, SeekFromEachOrigin) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        open(f);
        const int32_t block = writeBlob("abcdefghijklmnopqrstuvwxyz");
        ASSERT_EQ(CreateBlobDescriptor(false, block, kBlobRead), block);
        struct Step {
            int32_t offset;
            int origin;
            uint32_t position;
            char next;  // 0: at the end
        };
        const Step steps[] = {
            {5, kSeekFromStart, 5, 'f'},  {3, kSeekFromCurrent, 8, 'i'}, {-2, kSeekFromCurrent, 6, 'g'},
            {-1, kSeekFromEnd, 25, 'z'},  {0, kSeekFromEnd, 26, 0},      {-100, kSeekFromCurrent, 0, 'a'},
            {-5, kSeekFromStart, 0, 'a'}, {40, kSeekFromStart, 40, 0},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(std::to_string(s.offset) + "/" + std::to_string(s.origin));
            EXPECT_EQ(SeekBlobStream(s.offset, s.origin), s.position);
            char c = 0;
            uint32_t n = ReadBlobStream(&c, 1);
            EXPECT_EQ(n, s.next ? 1u : 0u);
            if (s.next) {
                EXPECT_EQ(c, s.next);
            }
            SeekBlobStream(-static_cast<int32_t>(n), kSeekFromCurrent);
        }
        DestroyBlobDescriptor();

        // Seeking while writing: back to patch a byte, then the end is the furthest byte written.
        const int32_t w = CreateBlobDescriptor(false, 0, kBlobWrite);
        ASSERT_NE(w, 0);
        EXPECT_EQ(WriteBlobStream("hello world", 11), 11u);
        EXPECT_EQ(SeekBlobStream(0, kSeekFromStart), 0u);
        EXPECT_EQ(WriteBlobStream("J", 1), 1u);
        EXPECT_EQ(SeekBlobStream(0, kSeekFromEnd), 11u);
        EXPECT_EQ(WriteBlobStream("!", 1), 1u);
        EXPECT_EQ(DestroyBlobDescriptor(), w);
        EXPECT_EQ(readBlob(w), "Jello world!");
        CloseDatabase();
    }
}

TEST_F(MemoStreamTest, ZeroByteWriteWritesNoMemo) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        open(f);
        const int32_t kept = AddMemo("kept");
        const std::string before = ReadFileBytes(MemoPath(base(), f.version));
        ASSERT_NE(CreateBlobDescriptor(false, 0, kBlobWrite), 0);
        EXPECT_EQ(WriteBlobStream("", 0), 0u);
        EXPECT_EQ(DestroyBlobDescriptor(), 0) << "an empty memo is block 0";
        const std::string after = ReadFileBytes(MemoPath(base(), f.version));
        EXPECT_EQ(after.substr(4, before.size() - 4), before.substr(4));
        EXPECT_EQ(after.find_first_not_of('\0', before.size()), std::string::npos) << "no group header";
        EXPECT_FALSE(CurrentMemoArea()->locked);
        EXPECT_EQ(Read(kept), "kept");
        CloseDatabase();
    }
}

TEST_F(MemoStreamTest, TextDetectionConvertsOnlyText) {
    open(kFlavours[1]);  // an OEM table: text on disk in code page 850
    const std::string text = "Mart\xEC\r\n\tok";
    const std::string binary = std::string("Mart\xEC\x01", 6);
    std::string callers = text;
    const int32_t t = writeBlob(callers, true);
    EXPECT_EQ(callers, text) << "the caller's buffer is not converted";
    const int32_t b = writeBlob(binary, true);
    const std::string file = ReadFileBytes(base() + ".dbt");
    EXPECT_EQ(file.substr(static_cast<size_t>(t) * 512 + 8, 5), "Mart\x8D");
    EXPECT_EQ(file.substr(static_cast<size_t>(b) * 512 + 8, 6), binary) << "binary passes unconverted";
    EXPECT_EQ(readBlob(t, true), text);
    EXPECT_EQ(readBlob(b, true), binary);
    EXPECT_EQ(readBlob(t, false), "Mart\x8D\r\n\tok") << "without detection nothing is converted";
}

TEST_F(MemoStreamTest, BadUseIsReported) {
    open(kFlavours[4]);
    char c;
    EXPECT_EQ(ReadBlobStream(&c, 1), 0u);  // no stream open
    EXPECT_EQ(CreateBlobDescriptor(false, 0, kBlobRead), 0);
    EXPECT_EQ(LastError(), 1003);
    EXPECT_EQ(CreateBlobDescriptor(false, 99, kBlobRead), 0);
    EXPECT_EQ(LastError(), 1003);
    EXPECT_NE(ErrorMsg().find("99 " + base() + ".fpt Record # "), std::string::npos) << ErrorMsg();

    const int32_t block = AddMemo("abc");
    std::string file = ReadFileBytes(base() + ".fpt");
    file.replace(static_cast<size_t>(block) * 512 + 4, 4, Be32(0x7FFFFFF0));
    xbtest::WriteFileBytes(base() + ".fpt", file);
    EXPECT_EQ(CreateBlobDescriptor(false, block, kBlobRead), 0) << "a length past the end is damage";
    EXPECT_EQ(LastError(), 1003);

    ASSERT_NE(CreateBlobDescriptor(false, 0, kBlobWrite), 0);
    EXPECT_EQ(ReadBlobStream(&c, 1), 0u) << "a write stream does not read";
    EXPECT_TRUE(CurrentMemoArea()->locked);
    // A new descriptor drops the unfinished one and its lock.
    ASSERT_EQ(CreateBlobDescriptor(false, 1, kBlobRead), 0);
    EXPECT_FALSE(CurrentMemoArea()->locked);
}

TEST_F(MemoStreamTest, EndByteInADbase3BlobIsRefused) {
    open(kFlavours[0]);
    ASSERT_NE(CreateBlobDescriptor(false, 0, kBlobWrite), 0);
    EXPECT_EQ(WriteBlobStream("a\x1A"
                              "b",
                              3),
              0u);
    EXPECT_EQ(LastError(), 1005);
    EXPECT_FALSE(CurrentMemoArea()->locked);
    EXPECT_EQ(DestroyBlobDescriptor(), 0);
}

TEST_F(MemoStreamTest, FailedWriteKeepsTheFileUsable) {
    open(kFlavours[3]);
    const int32_t kept = AddMemo("kept");
    ASSERT_NE(CreateBlobDescriptor(false, 0, kBlobWrite), 0);
    platform::InjectFault(platform::FaultOp::Write, 1, 112);
    EXPECT_EQ(WriteBlobStream("data", 4), 0u);
    EXPECT_EQ(LastError(), 112);
    EXPECT_FALSE(CurrentMemoArea()->locked);
    EXPECT_EQ(DestroyBlobDescriptor(), 0);
    EXPECT_EQ(Read(kept), "kept");
    EXPECT_EQ(readBlob(writeBlob("again")), "again");
}

}  // namespace
}  // namespace xb
