#include "app/editing/pick_modes.h"

namespace app {

const PickMode* FindPickMode(int mode) {
    static const PickMode kModes[] = {
        {1,
         "equipe.dbf",
         "EQUIPE.mdx",
         "NUMERO",
         nullptr,
         {"NUEQUIPE", 0, 64, true},
         {"NOMEQUIPE", 139, 124, true}},
        {2,
         "equipe.dbf",
         "EQUIPE.mdx",
         "NOMEQUIPE",
         "NOMEQUIPE",
         {"NUEQUIPE", 0, 64, false},
         {"NOMEQUIPE", 139, 180, true}},
        {3,
         "champion.dbf",
         "champion.mdx",
         "NUCHAMP",
         nullptr,
         {"NUCHAMP", 0, 64, false},
         {"NOMCHAMP", 12, 124, true}},
        {4,
         "champion.dbf",
         "champion.mdx",
         "NOMCHAMP",
         "NOMCHAMP",
         {"NUCHAMP", 0, 64, false},
         {"NOMCHAMP", 12, 124, true}},
        {5,
         "joueur.dbf",
         "joueur.mdx",
         "NOM",
         "NOMJOUEUR",
         {"NUJOUEUR", 0, 64, false},
         {"NOMJOUEUR", 64, 180, true}},
    };
    for (const PickMode& m : kModes)
        if (m.mode == mode) return &m;
    return nullptr;
}

}  // namespace app
