// Tables written here read the same in independent DBF readers, and tables they write read the same
// here. The peers see raw cp850 bytes (Perl XBase) or decode them as cp850 (python dbfread).
#include <gtest/gtest.h>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using xbtest::RunCommand;
using xbtest::ShellQuote;

class DbfInterop : public xbtest::EngineTest {
protected:
    void SetUp() override {
        int st = 0;
        RunCommand("perl -MXBase -e 1 2>/dev/null", &st);
        if (st != 0) GTEST_SKIP() << "Perl XBase is not installed";
    }
    std::string perlDump(const std::string& path) {
        const std::string script =
            "use XBase; my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr; "
            "for my $i (0 .. $t->last_record) { my @r = $t->get_record($i); "
            "print join('|', map { defined $_ ? $_ : 'undef' } @r), \"\\n\"; }";
        return RunCommand("perl -e " + ShellQuote(script) + " " + ShellQuote(path) + " 2>&1");
    }
    std::string pythonDump(const std::string& path) {
        const std::string script =
            "import sys\nfrom dbfread import DBF\n"
            "for r in DBF(sys.argv[1], encoding='cp850', char_decode_errors='strict'):\n"
            "    print('|'.join('' if v is None else str(v) for v in r.values()))\n";
        return RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(path) + " 2>&1");
    }
};

TEST_F(DbfInterop, OurTablesReadTheSameInThePeers) {
    TableBlock create;
    ASSERT_TRUE(CreateDbf(create, tmp.file("equipe.dbf"),
                          {{"nuequipe", 'N', 4, 0}, {"nomequipe", 'C', 20, 0}, {"moyenne", 'N', 6, 2},
                           {"fondee", 'D', 8, 0}, {"active", 'L', 1, 0}}));
    ASSERT_TRUE(Use(tmp.file("equipe"), nullptr, 0));
    engine().settings.century = true;
    struct Row {
        int32_t nu;
        const char* nom;  // Windows-1252
        double moy;
        const char* date;
        bool active;
        bool deleted;
    };
    const Row rows[] = {
        {1, "Olympique N\xEEmes", 1.5, "04/10/1937", true, false},
        {22, "S\xE3o Paulo \xC7\xE9", -0.25, "12/25/1930", false, true},
        {333, "\xD8rsta \xC5 M\xFCnchen", 12.0, "", true, false},
    };
    WorkAreaBlock* b = CurrentBlock();
    for (const Row& r : rows) {
        *FieldAddress(0) = r.deleted ? 1 : 0;
        TypedSetInt(FieldAddress(1), r.nu);
        TypedSetString(FieldAddress(2), 20, r.nom);
        TypedSetDouble(FieldAddress(3), r.moy);
        TypedSetString(FieldAddress(4), 10, r.date);
        *FieldAddress(5) = r.active;
        StoreRecordBuffer();
        ASSERT_TRUE(AppendDbfRecord(*b));
    }
    CloseDatabase();

    // Perl XBase: raw bytes, so the names come out in cp850; the deleted flag first.
    EXPECT_EQ(perlDump(tmp.file("equipe.dbf")),
              "0|1|Olympique N\x8Cmes|1.5|19370410|1\n"
              "1|22|S\xC6o Paulo \x80\x82|-0.25|19301225|0\n"
              "0|333|\x9Drsta \x8F M\x81nchen|12|undef|1\n");
    // dbfread decodes cp850 and leaves deleted records out.
    int st = 0;
    RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &st);
    if (st == 0) {
        EXPECT_EQ(pythonDump(tmp.file("equipe.dbf")),
                  "1|Olympique Nîmes|1.5|1937-04-10|True\n"
                  "333|Ørsta Å München|12.0||True\n");
    }
}

TEST_F(DbfInterop, PeerTablesOpenAndReadHere) {
    for (int version : {-1, 0x8B}) {
        std::string path = tmp.file(version < 0 ? "plain.dbf" : "memo.dbf");
        std::string script =
            "use XBase; my $v = $ARGV[1]; my %o = (name => $ARGV[0], "
            "field_names => ['NUM','NAME','BORN','OK','PTS'" + std::string(version < 0 ? "" : ",'INFO'") + "], "
            "field_types => ['N','C','D','L','N'" + std::string(version < 0 ? "" : ",'M'") + "], "
            "field_lengths => [5,12,8,1,7" + std::string(version < 0 ? "" : ",10") + "], "
            "field_decimals => [0,0,0,0,3" + std::string(version < 0 ? "" : ",0") + "]); "
            "$o{version} = $v if $v > 0; my $t = XBase->create(%o) or die XBase->errstr; "
            "$t->set_record(0, 42, \"Caf\\x82 cr\\x8Ame\", '19991231', 1, -3.125" +
            std::string(version < 0 ? "" : ", 'a memo text'") + ") or die $t->errstr; "
            "$t->set_record(1, -7, 'two', '20000229', 0, 0.5" + std::string(version < 0 ? "" : ", ''") + "); "
            "$t->delete_record(1); $t->close;";
        int st = 0;
        std::string out = RunCommand("perl -e " + ShellQuote(script) + " " + ShellQuote(path) + " " +
                                         std::to_string(version) + " 2>&1",
                                     &st);
        ASSERT_EQ(st, 0) << out;
        ASSERT_TRUE(Use(path, nullptr, 0)) << ErrorMsg();
        WorkAreaBlock* b = CurrentBlock();
        EXPECT_EQ(b->version(), version < 0 ? 0x03 : 0x8B);
        EXPECT_EQ(b->hasMemo, version > 0);
        ASSERT_EQ(b->recCount, 2);
        engine().settings.century = true;
        LoadRecordBuffer();
        EXPECT_EQ(*FieldAddress(0), 0);
        EXPECT_EQ(TypedGetInt(FieldAddress(1)), 42);
        EXPECT_EQ(TypedGetString(FieldAddress(2)), "Caf\xE9 cr\xE8me  ");  // back in Windows-1252
        EXPECT_EQ(TypedGetString(FieldAddress(3)), "12/31/1999");
        EXPECT_EQ(*FieldAddress(4), 1);
        EXPECT_DOUBLE_EQ(TypedGetDouble(FieldAddress(5)), -3.125);
        if (version > 0) {
            EXPECT_GE(TypedGetInt(FieldAddress(6)), 1);  // the block number, without the memo unit
        }
        ASSERT_TRUE(GetDbfRecord(*b, 2));
        LoadRecordBuffer();
        EXPECT_EQ(*FieldAddress(0), 1);
        EXPECT_EQ(TypedGetInt(FieldAddress(1)), -7);
        EXPECT_EQ(TypedGetString(FieldAddress(3)), "02/29/2000");
        CloseDatabase();
    }
}

}  // namespace
}  // namespace xb
