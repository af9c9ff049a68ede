// The nine league tables: file, definition component, field list (DbfFields) and tags (IndexList), in the
// order the database opens them. Plain data without Qt or the engine, so that every test, child process
// and benchmark that makes or checks the league files uses this one description.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

// Kinds of goal in but.type: normal, penalty, own goal, right foot, left foot, free kick.
inline constexpr int kGoalTypeCount = 6;
inline constexpr int kOwnGoal = 2;

struct LeagueTable {
    std::string file;                 // "champan.dbf"; the production index has the same base name
    std::string component;            // the definition component's name
    std::vector<std::string> fields;  // DbfFields lines
    std::vector<std::string> tags;    // "NAME,F,F,key"; each is followed by an empty FOR line in IndexList
    bool hideDeleted = false;         // HideDeletedRecs of the definition component

    std::string stem() const { return file.substr(0, file.find('.')); }
    std::vector<std::string> indexList() const {
        std::vector<std::string> out;
        for (const auto& t : tags) {
            out.push_back(t);
            out.push_back("");
        }
        return out;
    }
};

// The nine definitions: champan, champion, eqchamp, resultat, equipe, joueur, joueq, but, carton.
inline const std::vector<LeagueTable>& LeagueTables() {
    static const std::vector<LeagueTable> all = [] {
        // Goals and cards share their fields and tags.
        const std::vector<std::string> eventFields = {
            "nuchamp, N, 5, 0",  "annee, N, 4, 0",   "nujournee, N, 2, 0", "nueq1, N, 5, 0", "nueq2, N, 5, 0",
            "nujoueur, N, 5, 0", "nueqben, N, 2, 0", "minute, N, 3, 0",    "type, N, 2, 0"};
        const std::vector<std::string> eventTags = {
            "NUCHAMP,F,F,str(nuchamp,5)+str(annee,4)+str(nujournee,2)+str(nueq1,5)+str(nueq2,5)+str(minute,3)"
            "+"
            "str(nujoueur,5)",
            // The blank before the third plus is part of the stored key expression.
            "NUJOUEUR,F,F,str(nujoueur,5)+str(nuchamp,5) +str(annee,4)+str(nujournee,2)",
            "NUEQUIPE1,F,F,str(nueq1,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)",
            "NUEQUIPE2,F,F,str(nueq2,5)+str(annee,4)+str(nuchamp,5)+str(nujournee,2)"};
        return std::vector<LeagueTable>{
            {"champan.dbf",
             "topchampannee",
             {"annee, N, 4, 0", "nuchamp, N, 5, 0", "ptv, N, 2, 0", "ptn, N, 2, 0", "ptd, N, 2, 0",
              "ptfv, N, 2, 0", "ptfd, N, 2, 0", "nbequipe, N, 2, 0", "nbjournee, N, 2, 0"},
             {"ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)", "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)"}},
            {"champion.dbf",
             "topchampion",
             {"nuchamp, N, 5, 0", "nomchamp, C, 30, 0"},
             {"NUCHAMP,F,F,nuchamp", "NOMCHAMP,F,F,nomchamp"}},
            {"eqchamp.dbf",
             "teqchamp",
             {"annee, N, 5, 0", "nuchamp, N, 5, 0", "nuequipe, N, 5, 0"},
             {"ANNEEEQUIP,F,F,str(annee,4)+str(nuequipe,5)", "ANNEECHAMP,F,F,str(annee,4)+str(nuchamp,3)",
              "ANEQCHAMP,F,F,str(annee,4)+str(nuequipe,5)+str(nuchamp,3)",
              "EQANCHAMP,F,F,str(nuequipe,5)+str(annee,4)+str(nuchamp,3)",
              "CHAMPANNEE,F,F,str(nuchamp,3)+str(annee,4)"},
             true},
            {"resultat.dbf",
             "tresultats",
             {"nuchamp, N, 3, 0", "annee, N, 4, 0", "nujournee, N, 2, 0", "nueq1, N, 5, 0", "nueq2, N, 5, 0",
              "beq1, N, 3, 0", "beq2, N, 3, 0", "coder, C, 2, 0", "pteq1, N, 3, 0", "pteq2, N, 3, 0"},
             {"CHANJOEQ1,F,F,str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq1,5)",
              "CHANJOEQ2,F,F,str(nuchamp,3)+str(annee,4)+str(nujournee,3)+str(nueq2,5)",
              "ANCHJO,F,F,STR(annee,4)+str(nuchamp,3)+str(nujournee,3)",
              "EQ1EQ2,F,F,str(nueq1,5)+str(nueq2,5)", "EQ2EQ1,F,F,str(nueq2,5)+str(nueq1,5)"}},
            {"equipe.dbf",
             "btable",
             {"nuequipe, N, 5, 0", "nomequipe, C, 20, 0"},
             {"NUMERO,F,F,nuequipe", "NOMEQUIPE,F,F,nomequipe"},
             true},
            {"joueur.dbf",
             "tjoueur",
             {"nujoueur, N, 5, 0", "nomjoueur, C, 30, 0", "datenais, C, 10, 0", "poste, N, 2, 0",
              "infodivers, M, 10, 0", "nation, C, 20, 0"},
             {"NOM,F,F,nomjoueur", "NU,F,F,str(nujoueur,5)"}},
            {"joueq.dbf",
             "tjoueq",
             {"annee, N, 4, 0", "nueq, N, 5, 0", "nujo, N, 5, 0"},
             {"ANNE,F,F,str(annee,4)+str(nueq,5)+str(nujo,5)",
              "NUEQ,F,F,str(nueq,5)+str(annee,4)+str(nujo,5)",
              "NUJO,F,F,str(nujo,5)+str(annee,4)+str(nueq,5)"}},
            {"but.dbf", "tbut", eventFields, eventTags},
            {"carton.dbf", "tcarton", eventFields, eventTags},
        };
    }();
    return all;
}

// The definition of a table by its file name ("equipe.dbf"); nullptr for another name.
inline const LeagueTable* FindLeagueTable(std::string_view file) {
    for (const LeagueTable& t : LeagueTables())
        if (t.file == file) return &t;
    return nullptr;
}

}  // namespace app
