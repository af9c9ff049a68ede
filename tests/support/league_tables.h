// The nine league tables as the application describes them: their DbfFields and IndexList texts, shared
// by the dataset tests, the soak test and the crash test.
#pragma once

#include <string>
#include <vector>

namespace xbtest {

struct LeagueTable {
    std::string file;
    std::vector<std::string> fields;
    std::vector<std::string> tags;  // "NAME,F,F,key"; each is followed by an empty FOR line in IndexList

    std::vector<std::string> indexList() const {
        std::vector<std::string> out;
        for (const auto& t : tags) {
            out.push_back(t);
            out.push_back("");
        }
        return out;
    }
};

inline const std::vector<LeagueTable>& LeagueTables() {
    static const std::vector<LeagueTable> tables = {
        {"champan.dbf",
         {"annee, N, 4, 0", "nuchamp, N, 5, 0", "ptv, N, 2, 0", "ptn, N, 2, 0", "ptd, N, 2, 0",
          "ptfv, N, 2, 0", "ptfd, N, 2, 0", "nbequipe, N, 2, 0", "nbjournee, N, 2, 0"},
         {"ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)", "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)"}},
        {"champion.dbf",
         {"nuchamp, N, 5, 0", "nomchamp, C, 30, 0"},
         {"NUCHAMP,F,F,nuchamp", "NOMCHAMP,F,F,nomchamp"}},
        {"eqchamp.dbf",
         {"annee, N, 5, 0", "nuchamp, N, 5, 0", "nuequipe, N, 5, 0"},
         {"ANNEEEQUIP,F,F,str(annee,4)+str(nuequipe,5)", "ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)",
          "ANEQCHAMP,F,F,str(annee,4)+str(nuequipe,5)+str(nuchamp,3)",
          "EQANCHAMP,F,F,str(nuequipe,5)+str(annee,4)+str(nuchamp,3)",
          "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)"}},
        {"resultat.dbf",
         {"nuchamp, N, 3, 0", "annee, N, 4, 0", "nujournee, N, 2, 0", "nueq1, N, 5, 0", "nueq2, N, 5, 0",
          "beq1, N, 3, 0", "beq2, N, 3, 0", "coder, C, 2, 0", "pteq1, N, 3, 0", "pteq2, N, 3, 0"},
         {"CHANJOEQ1,F,F,str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq1,5)",
          "CHANJOEQ2,F,F,str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq2,5)",
          "ANCHJO,F,F,STR(annee,4)+str(nuchamp,3)+str(nujournee,3)", "EQ1EQ2,F,F,str(nueq1,5)+str(nueq2,5)",
          "EQ2EQ1,F,F,str(nueq2,5)+str(nueq1,5)"}},
        {"equipe.dbf",
         {"nuequipe, N, 5, 0", "nomequipe, C, 20, 0"},
         {"NUMERO,F,F,nuequipe", "NOMEQUIPE,F,F,nomequipe"}},
        {"joueur.dbf",
         {"nujoueur, N, 5, 0", "nomjoueur, C, 30, 0", "datenais, C, 10, 0", "poste, N, 2, 0",
          "infodivers, M, 10, 0", "nation, C, 20, 0"},
         {"NOM,F,F,nomjoueur", "NU,F,F,str(nujoueur,5)"}},
        {"joueq.dbf",
         {"annee, N, 4, 0", "nueq, N, 5, 0", "nujo, N, 5, 0"},
         {"ANNE,F,F,str(annee,4)+str(nueq,5)+str(nujo,5)", "NUEQ,F,F,str(nueq,5)+str(annee,4)+str(nujo,5)",
          "NUJO,F,F,str(nujo,5)+str(annee,4)+str(nueq,5)"}},
    };
    static const std::vector<LeagueTable> all = [] {
        std::vector<LeagueTable> v = tables;
        const std::vector<std::string> goalFields = {
            "nuchamp, N, 5, 0",  "annee, N, 4, 0",   "nujournee, N, 2, 0", "nueq1, N, 5, 0", "nueq2, N, 5, 0",
            "nujoueur, N, 5, 0", "nueqben, N, 2, 0", "minute, N, 3, 0",    "type, N, 2, 0"};
        const std::vector<std::string> goalTags = {
            "NUCHAMP,F,F,str(nuchamp,5)+str(annee,4)+str(nujournee,2)+str(nueq1,5)+str(nueq2,5)+str(minute,3)"
            "+"
            "str(nujoueur,5)",
            "NUJOUEUR,F,F,str(nujoueur,5)+str(nuchamp,5) +str(annee,4)+str(nujournee,2)",
            "NUEQUIPE1,F,F,str(nueq1,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)",
            "NUEQUIPE2,F,F,str(nueq2,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)"};
        v.push_back({"but.dbf", goalFields, goalTags});
        v.push_back({"carton.dbf", goalFields, goalTags});
        return v;
    }();
    return all;
}

}  // namespace xbtest
