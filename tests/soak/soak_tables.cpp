#include "tests/soak/soak_tables.h"

#include <cstdlib>

namespace soak {

namespace {

using xb::TXbDbf;

int rnd(std::mt19937& rng, int lo, int hi) {
    return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
}

std::string padLeft(int v, int width) {
    std::string s = std::to_string(v);
    return s.size() >= static_cast<size_t>(width)
               ? s
               : std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

std::string name(std::mt19937& rng, size_t length) {
    static const char* const names[] = {"Lyon", "Nantes", "Brest", "Lille", "Nice",  "Lens",
                                        "Metz", "Reims",  "Caen",  "Sedan", "Rodez", "Niort"};
    std::string s = names[rng() % 12];
    while (s.size() < length) s += static_cast<char>('a' + rng() % 26);
    return s.substr(0, length);
}

// "W1 000123 ": the marking of a character field.
std::string idText(RowId id) {
    std::string seq = std::to_string(id.seq);
    return "W" + std::to_string(id.writer) + " " + std::string(6 - seq.size(), '0') + seq + " ";
}

RowId parseIdText(const std::string& s) {
    if (s.size() < 10 || s[0] != 'W') return {};
    return {s[1] - '0', std::atoi(s.substr(3, 6).c_str())};
}

bool sameSeq(RowId found, RowId sought) {
    return found.seq == sought.seq;
}
bool sameRow(RowId found, RowId sought) {
    return found == sought;
}

const app::LeagueTable* def(const std::string& file) {
    for (const auto& d : app::LeagueTables())
        if (d.file == file) return &d;
    std::abort();
}

// but.dbf and carton.dbf share their fields.
TableSpec goalTable(const std::string& file) {
    return {def(file),
            "NUJOUEUR",
            99999,
            [](TXbDbf& t, RowId id, std::mt19937& rng) {
                t.FieldPutInt("nujoueur", id.seq);
                t.FieldPutInt("nueqben", id.writer);
                t.FieldPutInt("nuchamp", rnd(rng, 1, 99999));
                t.FieldPutInt("annee", rnd(rng, 1990, 2030));
                t.FieldPutInt("nujournee", rnd(rng, 1, 38));
                t.FieldPutInt("nueq1", rnd(rng, 1, 99999));
                t.FieldPutInt("nueq2", rnd(rng, 1, 99999));
                t.FieldPutInt("minute", rnd(rng, 0, 120));
                t.FieldPutInt("type", rnd(rng, 0, 9));
            },
            [](TXbDbf& t) {
                return RowId{t.FieldGetInt("nueqben"), t.FieldGetInt("nujoueur")};
            },
            [](RowId id) { return padLeft(id.seq, 5); },
            sameSeq};
}

}  // namespace

const std::vector<TableSpec>& Tables() {
    static const std::vector<TableSpec> tables = {
        {def("champan.dbf"), "ANNEECHAMP", 9999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("annee", id.seq);
             t.FieldPutInt("ptv", id.writer);
             t.FieldPutInt("nuchamp", rnd(rng, 1, 999));
             for (const char* f : {"ptn", "ptd", "ptfv", "ptfd", "nbequipe", "nbjournee"})
                 t.FieldPutInt(f, rnd(rng, 0, 99));
         },
         [](TXbDbf& t) {
             return RowId{t.FieldGetInt("ptv"), t.FieldGetInt("annee")};
         },
         [](RowId id) { return padLeft(id.seq, 4); }, sameSeq},
        {def("champion.dbf"), "NOMCHAMP", 999999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("nuchamp", rnd(rng, 0, 99999));
             t.FieldPutStr("nomchamp", idText(id) + name(rng, 20));
         },
         [](TXbDbf& t) { return parseIdText(t.FieldGetStr("nomchamp")); }, idText, sameRow},
        {def("eqchamp.dbf"), "EQANCHAMP", 9999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("nuequipe", id.writer * 10000 + id.seq);
             t.FieldPutInt("annee", rnd(rng, 1990, 2030));
             t.FieldPutInt("nuchamp", rnd(rng, 1, 999));
         },
         [](TXbDbf& t) {
             const int v = t.FieldGetInt("nuequipe");
             return RowId{v / 10000, v % 10000};
         },
         [](RowId id) { return padLeft(id.writer * 10000 + id.seq, 5); }, sameRow},
        {def("resultat.dbf"), "EQ1EQ2", 99999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("nueq1", id.seq);
             t.FieldPutStr("coder", std::to_string(id.writer));
             t.FieldPutInt("nueq2", rnd(rng, 1, 99999));
             t.FieldPutInt("nuchamp", rnd(rng, 1, 999));
             t.FieldPutInt("annee", rnd(rng, 1990, 2030));
             t.FieldPutInt("nujournee", rnd(rng, 1, 38));
             t.FieldPutInt("beq1", rnd(rng, 0, 9));
             t.FieldPutInt("beq2", rnd(rng, 0, 9));
             t.FieldPutInt("pteq1", rnd(rng, 0, 3));
             t.FieldPutInt("pteq2", rnd(rng, 0, 3));
         },
         [](TXbDbf& t) {
             return RowId{std::atoi(t.FieldGetStr("coder").c_str()), t.FieldGetInt("nueq1")};
         },
         [](RowId id) { return padLeft(id.seq, 5); }, sameSeq},
        {def("equipe.dbf"), "NOMEQUIPE", 999999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("nuequipe", rnd(rng, 0, 99999));
             t.FieldPutStr("nomequipe", idText(id) + name(rng, 10));
         },
         [](TXbDbf& t) { return parseIdText(t.FieldGetStr("nomequipe")); }, idText, sameRow},
        {def("joueur.dbf"), "NOM", 999999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("nujoueur", rnd(rng, 0, 99999));
             t.FieldPutStr("nomjoueur", idText(id) + name(rng, 20));
             const std::string day = std::to_string(rnd(rng, 10, 28)),
                               month = std::to_string(rnd(rng, 10, 12));
             t.FieldPutStr("datenais", day + "/" + month + "/" + std::to_string(rnd(rng, 1960, 2010)));
             t.FieldPutInt("poste", rnd(rng, 1, 11));
             t.FieldPutStr("nation", name(rng, 12));
             // Memos of varied lengths, so that rewrites cross block boundaries differently.
             std::vector<std::string> lines = {idText(id), "version " + std::to_string(rng() % 100000)};
             for (int i = rnd(rng, 0, 12); i > 0; --i)
                 lines.push_back(name(rng, static_cast<size_t>(rnd(rng, 4, 90))));
             t.PutMField("infodivers", lines);
         },
         [](TXbDbf& t) { return parseIdText(t.FieldGetStr("nomjoueur")); }, idText, sameRow},
        {def("joueq.dbf"), "NUJO", 99999,
         [](TXbDbf& t, RowId id, std::mt19937& rng) {
             t.FieldPutInt("nujo", id.seq);
             t.FieldPutInt("annee", 2000 + id.writer);
             t.FieldPutInt("nueq", rnd(rng, 1, 99999));
         },
         [](TXbDbf& t) {
             const int annee = t.FieldGetInt("annee");
             return RowId{annee == 0 ? 0 : annee - 2000, t.FieldGetInt("nujo")};
         },
         [](RowId id) { return padLeft(id.seq, 5); }, sameSeq},
        goalTable("but.dbf"),
        goalTable("carton.dbf"),
    };
    return tables;
}

std::string RowImage(TXbDbf& t) {
    std::string out;
    const xb::TDbfFieldProps* props = t.FieldProps();
    for (int n = 1; props && n <= props->Count(); ++n) {
        if (n > 1) out += '|';
        if (props->Type(n) == 'M') {
            std::vector<std::string> lines;
            t.GetMField(props->Name(n), lines);
            for (size_t i = 0; i < lines.size(); ++i) out += (i ? "/" : "") + lines[i];
        } else {
            out += t.FieldGetStr(props->Name(n));
        }
    }
    return out;
}

std::unique_ptr<TXbDbf> OpenTable(const std::string& dir, const TableSpec& spec, bool exclusive,
                                  bool* built) {
    auto t = std::make_unique<TXbDbf>();
    const std::string& file = spec.def->file;
    t->Name = "t" + file.substr(0, file.find('.'));
    t->SetDbfFileName(dir + "/" + file);
    t->DbfFields = spec.def->fields;
    t->IndexList = spec.def->indexList();
    t->CreateIndex = xb::TCreateIndexType::ciNotFound;
    t->ShowProgress = false;
    t->SetExclusive(exclusive);
    if (built)
        t->OnBeforeMakeIndex = [built](xb::TXbFileDataSet&, const std::string&, bool&) { *built = true; };
    t->Open();
    return t;
}

}  // namespace soak
