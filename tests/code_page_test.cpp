// A table keeps the code page it was written in: its header names it, every locale reads its letters
// back as they were typed, a save rewrites none of its bytes, the peers decode it by that byte alone, and
// a table whose byte is 0 is read in the locale's page and keeps its 0.
#include <gtest/gtest.h>

#include "engine/dataset/engine_start.h"
#include "platform/codepage.h"
#include "platform/locale_facts.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using xbtest::RunCommand;
using xbtest::ShellQuote;

class CodePageTest : public xbtest::EngineTest {
protected:
    CodePageTest() { InstallEngineUnits(engine()); }

    // The engine as a station in that locale sees it.
    void inLocale(const char* locale) {
        const platform::LocaleFacts f = platform::LocaleFactsFromName(locale);
        engine().settings.ansiCodePage = f.ansiCodePage;
        engine().settings.oemCodePage = f.oemCodePage;
    }
    std::unique_ptr<TXbDbf> equipe() {
        return xbtest::LeagueComponent(tmp.path(), xbtest::LeagueTableDef("equipe.dbf"));
    }
    std::vector<std::string> names() {
        auto t = equipe();
        t->Open();
        std::vector<std::string> out;
        for (t->First(); !t->Eof(); t->Next()) out.push_back(AllTrimUtf8(t->FieldGetStr("NOMEQUIPE")));
        t->Close();
        return out;
    }
    static std::string AllTrimUtf8(std::string s) {
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    // Every row saved again with the name it shows.
    void saveAll() {
        auto t = equipe();
        t->Open();
        for (t->First(); !t->Eof(); t->Next()) {
            t->FieldPutStr("NOMEQUIPE", AllTrimUtf8(t->FieldGetStr("NOMEQUIPE")));
            t->Post();
        }
        t->Close();
    }
    // The file without its date of last update (bytes 1 to 3), which a save sets.
    std::string bytesBesideTheDate() {
        std::string b = xbtest::ReadFileBytes(tmp.file("equipe.dbf"));
        b.replace(1, 3, "...");
        return b;
    }
    std::string dbfread(const std::string& path) {
        int st = 0;
        RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &st);
        if (st != 0) return "no dbfread";
        // No encoding given: dbfread takes the one the header's language-driver byte names.
        const std::string script =
            "import sys\nfrom dbfread import DBF\n"
            "for r in DBF(sys.argv[1], char_decode_errors='strict'):\n"
            "    print(r['NOMEQUIPE'])\n";
        return RunCommand("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(path) +
                          " 2>&1");
    }
};

TEST_F(CodePageTest, ATableIsReadInTheCodePageItRecordsWhateverTheLocale) {
    struct Case {
        const char* what;
        const char* madeIn;   // the locale of the station that made the table
        int sessionPage;      // the page the session asked for (0: the locale's)
        std::vector<std::string> names;
        uint8_t driver;       // byte 29 as written
        std::vector<const char*> readIn;
        char32_t refused;     // a character the table cannot take
    } cases[] = {
        {"a Croatian session on an English machine", "C", 852, {"Ćiro Blažević", "Đurđevac", "Šibenik"}, 0x64,
         {"fr_FR.UTF-8", "hr_HR.UTF-8", "C"}, U'€'},
        {"a French database", "fr_FR.UTF-8", 0, {"Müller", "Saint-Étienne"}, 0x02, {"hr_HR.UTF-8", "ru_RU"}, U'ć'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        inLocale(c.madeIn);
        engine().settings.newTableCodePage = c.sessionPage;
        const int page = c.sessionPage ? c.sessionPage : engine().settings.oemCodePage;
        platform::RemoveFileIfExists(tmp.file("equipe.dbf"));
        platform::RemoveFileIfExists(tmp.file("equipe.mdx"));
        {
            auto t = equipe();
            t->Open();
            std::vector<std::vector<std::string>> rows;
            for (size_t i = 0; i < c.names.size(); ++i) rows.push_back({std::to_string(i + 1), c.names[i]});
            xbtest::PostRows(*t, {"nuequipe", "nomequipe"}, rows);
            EXPECT_EQ(t->UnstorableChar("Ok " + platform::EncodeUtf8(std::u32string(1, c.refused))), c.refused);
            t->Close();
        }
        const std::string file = xbtest::ReadFileBytes(tmp.file("equipe.dbf"));
        EXPECT_EQ(static_cast<uint8_t>(file.at(29)), c.driver);
        for (const std::string& n : c.names) EXPECT_NE(file.find(platform::FromUtf8(n, page)), std::string::npos) << n;
        std::string peer;
        for (const std::string& n : c.names) peer += n + "\n";
        if (const std::string read = dbfread(tmp.file("equipe.dbf")); read != "no dbfread") EXPECT_EQ(read, peer);

        for (const char* locale : c.readIn) {
            SCOPED_TRACE(locale);
            inLocale(locale);
            EXPECT_EQ(names(), c.names);
            const std::string before = bytesBesideTheDate();
            saveAll();
            EXPECT_EQ(bytesBesideTheDate(), before);
            // The name index was built in the table's page too: a name is found by its letters.
            auto t = equipe();
            t->Open();
            t->SetOrderToTag("NOMEQUIPE");
            EXPECT_TRUE(t->Find(c.names.back()));
            t->Close();
        }
        // A pack writes the table anew from its header: the byte stays, and so do the letters.
        {
            auto t = equipe();
            t->Open();
            t->First();
            ASSERT_TRUE(t->RLock());
            t->DeleteRec();
            t->UnLock();
            t->Pack();
            t->Close();
        }
        const std::string packed = xbtest::ReadFileBytes(tmp.file("equipe.dbf"));
        EXPECT_EQ(static_cast<size_t>(packed.at(4)), c.names.size() - 1);  // the record count
        EXPECT_EQ(static_cast<uint8_t>(packed.at(29)), c.driver);
        EXPECT_EQ(names(), std::vector<std::string>(c.names.begin() + 1, c.names.end()));
    }

    // A table whose byte is 0 (written before, or by a peer that leaves it empty) follows the locale, as it
    // always did, and keeps its 0 through a save.
    inLocale("fr_FR.UTF-8");
    std::string legacy = xbtest::ReadFileBytes(tmp.file("equipe.dbf"));
    legacy[29] = 0;
    xbtest::WriteFileBytes(tmp.file("equipe.dbf"), legacy);
    EXPECT_EQ(names(), std::vector<std::string>{"Saint-Étienne"});
    saveAll();
    EXPECT_EQ(xbtest::ReadFileBytes(tmp.file("equipe.dbf")).at(29), 0);
    inLocale("hr_HR.UTF-8");  // read in 852, as before: the byte is all a table can say
    EXPECT_EQ(names().back(), platform::ToUtf8(platform::FromUtf8("Saint-Étienne", 850), 852));
}

TEST_F(CodePageTest, APeersTableIsReadByTheCodePageItsHeaderNames) {
    int st = 0;
    RunCommand("/usr/bin/python3 -c 'import dbf' 2>/dev/null", &st);
    if (st != 0) GTEST_SKIP() << "python3-dbf is not installed";
    const std::string script =
        "import sys, dbf\n"
        "t = dbf.Table(sys.argv[1], 'nuequipe N(5,0); nomequipe C(20)', dbf_type='db3', codepage='cp852')\n"
        "t.open(dbf.READ_WRITE)\n"
        "for i, n in enumerate(['Đurđevac', 'Šibenik', 'Čakovec']): t.append((i + 1, n))\n"
        "t.close()\n";
    const std::string out = RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + " " +
                                       ShellQuote(tmp.file("equipe.dbf")) + " 2>&1", &st);
    ASSERT_EQ(st, 0) << out;
    // The peer names the page by a regional id of its own (Czech), which means 852 all the same.
    ASSERT_EQ(platform::CodePageOfLanguageDriver(
                  static_cast<uint8_t>(xbtest::ReadFileBytes(tmp.file("equipe.dbf")).at(29))),
              852);
    inLocale("en_US.UTF-8");
    auto t = equipe();
    t->IndexList.clear();
    t->Open();
    std::vector<std::string> got;
    for (t->First(); !t->Eof(); t->Next()) got.push_back(AllTrimUtf8(t->FieldGetStr("NOMEQUIPE")));
    t->Close();
    EXPECT_EQ(got, (std::vector<std::string>{"Đurđevac", "Šibenik", "Čakovec"}));
}

}  // namespace
}  // namespace xb
