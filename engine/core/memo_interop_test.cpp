// Memos written here read the same in independent readers, and memos they write read the same here.
// The peers see the stored bytes (code page 850 in an OEM table).
#include <gtest/gtest.h>

#include "engine/core/memo_stream.h"
#include "engine/core/memo_test_util.h"
#include "platform/codepage.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using namespace memotest;
using xbtest::RunCommand;
using xbtest::ShellQuote;

std::string hex(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

const std::string kTexts[] = {
    "Olympique N\xEEmes\r\nfond\xE9 en 1937",
    std::string(511, 'x'),
    std::string(512, 'y'),
    std::string(513, 'z'),
    "bare\nline feeds\nand Mart\xEC",
    [] {
        std::string t;
        for (int i = 0; i < 1100; ++i) t += "line " + std::to_string(i) + "\r\n";
        return t + "end";
    }(),
};

class MemoInterop : public xbtest::EngineTest {
protected:
    void SetUp() override {
        int st = 0;
        RunCommand("perl -MXBase -e 1 2>/dev/null", &st);
        if (st != 0) GTEST_SKIP() << "Perl XBase is not installed";
        InstallMemoUnit(engine());
    }
    // Every record's memo fields, hex-coded, one line per record.
    std::string perlMemos(const std::string& path) {
        const std::string script =
            "use XBase; my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr; "
            "for my $i (0 .. $t->last_record) { my ($d, $n, $a, $b) = $t->get_record($i); "
            "print join('|', map { defined $_ ? unpack('H*', $_) : '' } ($a, $b)), \"\\n\"; }";
        return RunCommand("perl -e " + ShellQuote(script) + " " + ShellQuote(path) + " 2>&1");
    }
    std::string base() { return tmp.file("equipe"); }
};

TEST_F(MemoInterop, PerlReadsOurMemosInEveryFlavour) {
    for (const Flavour& f : kFlavours) {
        SCOPED_TRACE(f.label);
        MakeMemoTable(base(), f.version, f.blockSize);
        ASSERT_TRUE(Use(base() + ".dbf", nullptr, 0));
        std::string expected;
        for (const std::string& t : kTexts) {
            const int32_t a = AddMemo(t);
            // A rewritten memo: the record points at the new text.
            const int32_t b = RewriteMemo(AddMemo("old"), t + " (bis)");
            AppendWithMemos("r", a, b);
            expected += hex(platform::ConvertBytes(t, 1252, 850)) + "|" +
                        hex(platform::ConvertBytes(t + " (bis)", 1252, 850)) + "\n";
        }
        // A blob stream writes the same layout.
        const std::string blob = "written as a stream\r\nin two pieces";
        ASSERT_NE(CreateBlobDescriptor(true, 0, kBlobWrite), 0);
        WriteBlobStream(blob.data(), 10);
        WriteBlobStream(blob.data() + 10, static_cast<uint32_t>(blob.size() - 10));
        const int32_t streamed = DestroyBlobDescriptor();
        AppendWithMemos("s", streamed, 0);
        expected += hex(blob) + "|\n";
        CloseDatabase();
        EXPECT_EQ(perlMemos(base() + ".dbf"), expected);
    }
}

TEST_F(MemoInterop, WeReadPerlsMemos) {
    for (int version : {0x83, 0x8B}) {
        SCOPED_TRACE(version);
        std::string script =
            "use XBase; my $v = shift; my $t = XBase->create(name => shift, " +
            std::string(version == 0x8B ? "version => $v, " : "") +
            "field_names => ['NOM','TEXTE','NOTE'], field_types => ['C','M','M'], field_lengths => "
            "[10,10,10], "
            "field_decimals => [0,0,0]) or die XBase->errstr; my $i = 0; local $/; my $all = <STDIN>; "
            "for my $m (split /\\x00/, $all) { $t->set_record($i++, 'r', $m, $m x 2); } $t->close;";
        std::string input;
        for (const std::string& t : kTexts)
            input += platform::ConvertBytes(t, 1252, 850) + std::string(1, '\0');
        xbtest::WriteFileBytes(tmp.file("in.txt"), input);
        int st = 0;
        RunCommand("perl -e " + ShellQuote(script) + " " + std::to_string(version) + " " +
                       ShellQuote(tmp.file("perl.dbf")) + " < " + ShellQuote(tmp.file("in.txt")) + " 2>&1",
                   &st);
        ASSERT_EQ(st, 0);
        ASSERT_TRUE(Use(tmp.file("perl.dbf"), nullptr, 0)) << ErrorMsg();
        EXPECT_EQ(CurrentMemoArea()->flavour, version);
        ASSERT_EQ(CurrentBlock()->recCount, static_cast<int32_t>(std::size(kTexts)));
        for (size_t i = 0; i < std::size(kTexts); ++i) {
            EXPECT_EQ(Read(BlockOf(static_cast<int32_t>(i + 1), 2)), kTexts[i]) << i;
            EXPECT_EQ(Read(BlockOf(static_cast<int32_t>(i + 1), 3)), kTexts[i] + kTexts[i]) << i;
        }
        // And ours added to theirs read back in Perl.
        const int32_t added = AddMemo("added here");
        PutBlock(1, 3, added);
        CloseDatabase();
        EXPECT_EQ(perlMemos(tmp.file("perl.dbf")).substr(0, perlMemos(tmp.file("perl.dbf")).find('\n')),
                  hex(platform::ConvertBytes(kTexts[0], 1252, 850)) + "|" + hex("added here"));
        platform::DeleteFileChecked(tmp.file("perl.dbf"));
        platform::DeleteFileChecked(tmp.file("perl.dbt"));
    }
}

TEST_F(MemoInterop, WeReadPythonDbfFoxProMemos) {
    int st = 0;
    RunCommand("/usr/bin/python3 -c 'import dbf' 2>/dev/null", &st);
    if (st != 0) GTEST_SKIP() << "python3-dbf is not installed";
    const std::string script =
        "import sys, dbf\n"
        "t = dbf.Table(sys.argv[1], 'nom C(10); texte M; note M', dbf_type='fp', codepage='cp850')\n"
        "t.open(dbf.READ_WRITE)\n"
        "data = open(sys.argv[2], 'rb').read().decode('cp850').split('\\x00')[:-1]\n"
        "for m in data:\n"
        "    t.append(('r', m, m + m))\n"
        "t.close()\n";
    std::string input;
    for (const std::string& t : kTexts) input += platform::ConvertBytes(t, 1252, 850) + std::string(1, '\0');
    xbtest::WriteFileBytes(tmp.file("in.txt"), input);
    RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(tmp.file("fox.dbf")) + " " +
                   ShellQuote(tmp.file("in.txt")) + " 2>&1",
               &st);
    ASSERT_EQ(st, 0);
    ASSERT_TRUE(Use(tmp.file("fox.dbf"), nullptr, 0)) << ErrorMsg();
    EXPECT_EQ(CurrentMemoArea()->flavour, kMemoFox);
    ASSERT_EQ(CurrentBlock()->recCount, static_cast<int32_t>(std::size(kTexts)));
    for (size_t i = 0; i < std::size(kTexts); ++i) {
        EXPECT_EQ(Read(BlockOf(static_cast<int32_t>(i + 1), 2)), kTexts[i]) << i;
        EXPECT_EQ(Read(BlockOf(static_cast<int32_t>(i + 1), 3)), kTexts[i] + kTexts[i]) << i;
    }
}

}  // namespace
}  // namespace xb
