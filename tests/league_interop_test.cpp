// The league tables against independent DBF programs, both ways: a season written here reads the same
// in Perl XBase (raw code page 850 bytes) and python dbfread (decoding cp850), and its MDX tags walk the
// same in Perl XBase; tables and memo files that Perl XBase and python dbf write read the same here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/core/work_areas.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "engine/index/index_driver.h"
#include "platform/codepage.h"
#include "tests/support/fixtures.h"
#include "tests/support/league_fill.h"
#include "tests/support/mdx_checker.h"
#include "tests/support/run_command.h"
#include "tests/support/scripted_ui.h"

namespace {

using namespace xb;
using xbtest::RunCommand;
using xbtest::SeasonTable;
using xbtest::ShellQuote;

// One record as one line: values joined by "|", with "\", CR, LF and "|" escaped. The peers' scripts
// write the same form.
std::string Escape(const std::string& v) {
    std::string out;
    for (char c : v) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '|':
                out += "\\p";
                break;
            default:
                out += c;
        }
    }
    return out;
}
std::string Line(const std::vector<std::string>& values) {
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) line += (i ? "|" : "") + Escape(values[i]);
    return line + "\n";
}
std::string Lines(const SeasonTable& t) {
    std::string out;
    for (const auto& r : t.rows) out += Line(r);
    return out;
}

const char* kPerlEscape =
    "sub esc { my $v = shift; $v = '' unless defined $v; $v =~ s/\\\\/\\\\\\\\/g; $v =~ s/\\r/\\\\r/g; "
    "$v =~ s/\\n/\\\\n/g; $v =~ s/\\|/\\\\p/g; $v } ";
const char* kPythonEscape =
    "def esc(v):\n"
    "    v = '' if v is None else str(v)\n"
    "    return v.replace('\\\\', '\\\\\\\\').replace('\\r', '\\\\r').replace('\\n', '\\\\n').replace('|', "
    "'\\\\p')\n";

// The first line where two dumps differ, for a readable failure.
std::string FirstDifference(const std::string& got, const std::string& want) {
    std::istringstream a(got), b(want);
    std::string la, lb;
    for (int n = 1;; ++n) {
        const bool ha = static_cast<bool>(std::getline(a, la)), hb = static_cast<bool>(std::getline(b, lb));
        if (!ha && !hb) return "same";
        if (la != lb || ha != hb) return "line " + std::to_string(n) + ":\n got  " + la + "\n want " + lb;
    }
}

bool PerlAvailable() {
    int st = 0;
    RunCommand("perl -MXBase -MXBase::Index -e 1 2>/dev/null", &st);
    return st == 0;
}
bool PythonAvailable(const char* module) {
    int st = 0;
    RunCommand(std::string("/usr/bin/python3 -c 'import ") + module + "' 2>/dev/null", &st);
    return st == 0;
}

class LeagueInterop : public xbtest::EngineTest {
protected:
    LeagueInterop() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~LeagueInterop() override { IndexServices() = m_saved; }

    // Every record of a table as this engine's dataset reads it (UTF-8).
    std::string ourDump(const std::string& dir, const SeasonTable& s, bool withIndexes) {
        auto t = xbtest::LeagueComponent(dir, xbtest::LeagueTableDef(s.file));
        if (!withIndexes) t->IndexList.clear();
        t->CreateIfNotFound = false;
        t->Open();
        // Record order, as the peers read.
        if (withIndexes) {
            EXPECT_TRUE(t->BeginOperation("dump"));
            EXPECT_TRUE(Set_Order_To(0));
        }
        std::string out;
        for (t->First(); !t->Eof(); t->Next()) {
            std::vector<std::string> values;
            for (const std::string& f : s.fieldNames) values.push_back(t->FieldByName(f).GetAsString());
            out += Line(values);
        }
        t->Close();
        return out;
    }
    std::string perlDump(const std::string& path) {
        const std::string script = std::string(kPerlEscape) +
                                   "use XBase; my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr; "
                                   "for my $i (0 .. $t->last_record) { my ($del, @r) = $t->get_record($i); "
                                   "next if $del; print join('|', map { esc($_) } @r), \"\\n\"; }";
        return RunCommand("perl -e " + ShellQuote(script) + " " + ShellQuote(path) + " 2>&1");
    }
    // dbfread takes a dBASE IV memo's stored length (which counts the 8-byte block header) as the
    // length of the text alone and reads 8 bytes past it, then cuts at the first 0x1F it meets there
    // (the next memo's header may hold one): its memo read is replaced by one that reads the stored
    // length less the header. Everything else, the decoding included, stays dbfread's own.
    std::string pythonDump(const std::string& path) {
        const std::string script =
            std::string("import sys\nfrom dbfread import DBF\n") + kPythonEscape +
            "import dbfread.memo as memo\n"
            "def db4(self, index):\n"
            "    if index <= 0:\n"
            "        return None\n"
            "    self._seek(index * 512)\n"
            "    return self._read(memo.DB4MemoHeader.read(self.file).length - 8)\n"
            "memo.DB4MemoFile.__getitem__ = db4\n"
            "for r in DBF(sys.argv[1], encoding='cp850', char_decode_errors='strict'):\n"
            "    print('|'.join(esc(v) for v in r.values()))\n";
        return RunCommand("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c " + ShellQuote(script) + " " +
                          ShellQuote(path) + " 2>&1");
    }
    // Each tag's keys and records as Perl XBase walks them: "key|record" lines, the key bytes in hex.
    std::string perlWalk(const std::string& mdx, const std::string& tag) {
        const std::string script =
            "use XBase::Index; my $i = XBase::Index->new($ARGV[0], 'tag' => $ARGV[1]) or die "
            "XBase::Index->errstr; "
            "$i->prepare_select or die $i->errstr; while (my @r = $i->fetch) { "
            "print unpack('H*', $r[0]), '|', $r[1], \"\\n\" }";
        return RunCommand("perl -e " + ShellQuote(script) + " " + ShellQuote(mdx) + " " + ShellQuote(tag) +
                          " 2>&1");
    }
    // The same from the structural checker's reading of the file.
    static std::string checkerWalk(const xbtest::MdxTagReport& tag) {
        std::string out;
        static const char* digits = "0123456789abcdef";
        for (const auto& e : tag.entries) {
            for (unsigned char c : e.key) out += std::string{digits[c >> 4], digits[c & 15]};
            out += "|" + std::to_string(e.record) + "\n";
        }
        return out;
    }

    // Writes a season table as an escaped UTF-8 text file for a peer's script.
    std::string rowsFile(const SeasonTable& s) {
        const std::string path = tmp.file(s.file + ".rows");
        xbtest::WriteFileBytes(path, Lines(s));
        return path;
    }

    xbtest::ScriptedUi ui;

private:
    DatasetIndexServices m_saved;
};

TEST_F(LeagueInterop, ASeasonWrittenHereReadsAndWalksTheSameInThePeers) {
    if (!PerlAvailable()) GTEST_SKIP() << "Perl XBase is not installed";
    const bool dbfread = PythonAvailable("dbfread");
    const std::vector<SeasonTable> season = xbtest::MakeSeason();
    xbtest::FillLeagueTables(tmp.path(), season);
    CloseAllDatabases();
    for (const SeasonTable& s : season) {
        SCOPED_TRACE(s.file);
        const std::string want = Lines(s);
        const std::string ours = ourDump(tmp.path(), s, true);
        EXPECT_TRUE(ours == want) << FirstDifference(ours, want);
        // Perl sees the bytes as stored: code page 850.
        const std::string perl = perlDump(tmp.file(s.file));
        EXPECT_TRUE(perl == platform::FromUtf8(want, 850))
            << platform::ToUtf8(FirstDifference(perl, platform::FromUtf8(want, 850)), 850);
        if (dbfread) {
            const std::string python = pythonDump(tmp.file(s.file));
            EXPECT_TRUE(python == want) << FirstDifference(python, want);
        }

        const std::string mdx = tmp.file(s.file.substr(0, s.file.find('.')) + ".mdx");
        const xbtest::MdxReport report =
            xbtest::CheckMdxFile(mdx, {false, static_cast<uint32_t>(s.rows.size())});
        ASSERT_TRUE(report.ok()) << report.text();
        ASSERT_EQ(report.tags.size(), xbtest::LeagueTableDef(s.file).tags.size());
        for (const auto& tag : report.tags) {
            SCOPED_TRACE(tag.name);
            EXPECT_EQ(tag.entries.size(), s.rows.size());
            EXPECT_EQ(perlWalk(mdx, tag.name), checkerWalk(tag));
        }
    }
}

TEST_F(LeagueInterop, TablesThePeersWriteReadTheSameHere) {
    if (!PerlAvailable()) GTEST_SKIP() << "Perl XBase is not installed";
    const bool pythonDbf = PythonAvailable("dbf");
    xbtest::SeasonSize size;
    size.teams = 8;
    size.squad = 6;
    size.matchdays = 6;
    const std::vector<SeasonTable> season = xbtest::MakeSeason(size);
    for (const std::string file : {"joueur.dbf", "resultat.dbf", "equipe.dbf"}) {
        const SeasonTable& s =
            *std::find_if(season.begin(), season.end(), [&](const auto& t) { return t.file == file; });
        const app::LeagueTable& def = xbtest::LeagueTableDef(file);
        // Field lists in the peers' forms, from the table's definition.
        std::string perlNames, perlTypes, perlLengths, perlDecimals, pySpec;
        for (const std::string& line : def.fields) {
            std::istringstream in(line);
            std::string name, type, len, dec;
            std::getline(in, name, ',');
            std::getline(in, type, ',');
            std::getline(in, len, ',');
            std::getline(in, dec, ',');
            auto trim = [](std::string v) {
                v.erase(0, v.find_first_not_of(' '));
                return v;
            };
            name = trim(name), type = trim(type), len = trim(len), dec = trim(dec);
            const std::string sep = perlNames.empty() ? "" : ",";
            perlNames += sep + "'" + name + "'";
            perlTypes += sep + "'" + type + "'";
            perlLengths += sep + len;
            perlDecimals += sep + dec;
            pySpec += (pySpec.empty() ? "" : "; ") + name + " " +
                      (type == "M"   ? "M"
                       : type == "C" ? "C(" + len + ")"
                                     : "N(" + len + "," + dec + ")");
        }
        const std::string rows = rowsFile(s);
        struct Writer {
            std::string label, dir;
            std::string command;
            unsigned char version;  // the version byte the peer writes
        };
        std::vector<Writer> writers;
        // A dBASE IV table (version byte 0x8B) has a memo file; Perl XBase marks a table 0x8B without
        // writing one when it has no memo field, so those are written as dBASE III only.
        const bool hasMemo = perlTypes.find("'M'") != std::string::npos;
        for (int version : {3, 4}) {
            if (version == 4 && !hasMemo) continue;
            // Perl XBase: a dBASE III table (memo 0x83) or a dBASE IV one (memo 0x8B).
            const std::string script =
                "use XBase; use Encode; my ($path, $rows, $v) = @ARGV; my %o = (name => $path, "
                "field_names => [" +
                perlNames + "], field_types => [" + perlTypes + "], field_lengths => [" + perlLengths +
                "], field_decimals => [" + perlDecimals +
                "]); $o{version} = 0x8B if $v == 4; "
                "my $t = XBase->create(%o) or die XBase->errstr; open(my $in, '<', $rows) or die; my $n = 0; "
                "while (my $l = <$in>) { chomp $l; my @v = map { my $x = $_; "
                "$x =~ s/\\\\(.)/$1 eq 'r' ? \"\\r\" : $1 eq 'n' ? \"\\n\" : $1 eq 'p' ? '|' : $1/ge; "
                "encode('cp850', decode('UTF-8', $x)) } split(/\\|/, $l, -1); "
                "$t->set_record($n++, @v) or die $t->errstr; } $t->close;";
            const std::string dir = tmp.file("perl" + std::to_string(version));
            writers.push_back({"Perl XBase, dBASE " + std::to_string(version), dir,
                               "mkdir -p " + ShellQuote(dir) + " && perl -e " + ShellQuote(script) + " " +
                                   ShellQuote(dir + "/" + file) + " " + ShellQuote(rows) + " " +
                                   std::to_string(version) + " 2>&1",
                               static_cast<unsigned char>(version == 4 ? 0x8B
                                                          : hasMemo    ? 0x83
                                                                       : 0x03)});
        }
        if (pythonDbf) {
            for (const std::string type : {"db3", "fp"}) {
                // python dbf cannot reopen a FoxPro table it wrote without a memo field.
                if (type == "fp" && !hasMemo) continue;
                const std::string script =
                    "import sys, dbf\npath, rows, kind, spec = sys.argv[1:5]\n"
                    "def unesc(v):\n"
                    "    out, i = '', 0\n"
                    "    while i < len(v):\n"
                    "        if v[i] == '\\\\':\n"
                    "            i += 1\n"
                    "            out += {'r': '\\r', 'n': '\\n', 'p': '|'}.get(v[i], v[i])\n"
                    "        else:\n"
                    "            out += v[i]\n"
                    "        i += 1\n"
                    "    return out\n"
                    "t = dbf.Table(path, spec, dbf_type=kind, codepage='cp850')\n"
                    "t.open(dbf.READ_WRITE)\n"
                    "types = [t.field_info(f)[0] for f in t.field_names]\n"
                    "for line in open(rows, encoding='utf-8').read().split('\\n')[:-1]:\n"
                    "    vals = [unesc(v) for v in line.split('|')]\n"
                    "    t.append(tuple(int(v) if ty == dbf.FieldType.NUMERIC else v for v, ty in zip(vals, "
                    "types)))\n"
                    "t.close()\n";
                const std::string dir = tmp.file("py" + type);
                writers.push_back({"python dbf, " + type, dir,
                                   "mkdir -p " + ShellQuote(dir) + " && /usr/bin/python3 -c " +
                                       ShellQuote(script) + " " + ShellQuote(dir + "/" + file) + " " +
                                       ShellQuote(rows) + " " + type + " " + ShellQuote(pySpec) + " 2>&1",
                                   static_cast<unsigned char>(type == "fp" ? 0xF5
                                                              : hasMemo    ? 0x83
                                                                           : 0x03)});
            }
        }
        for (const Writer& w : writers) {
            SCOPED_TRACE(w.label + ": " + file);
            int st = 0;
            const std::string out = RunCommand(w.command, &st);
            ASSERT_EQ(st, 0) << out;
            EXPECT_EQ(static_cast<unsigned char>(xbtest::ReadFileBytes(w.dir + "/" + file).at(0)), w.version);
            const std::string ours = ourDump(w.dir, s, false);
            EXPECT_TRUE(ours == Lines(s)) << FirstDifference(ours, Lines(s));
        }
    }
}

}  // namespace
