#include "app/shell/pick_modes.h"

namespace app {

const PickMode* FindPickMode(int mode) {
    static const PickMode kModes[] = {
        {1,
         "equipe.dbf",
         "EQUIPE.mdx",
         "NUMERO",
         nullptr,
         {"NUEQUIPE", Text::None, 64, true},
         {"NOMEQUIPE", Text::Team, 124, true}},
        {2,
         "equipe.dbf",
         "EQUIPE.mdx",
         "NOMEQUIPE",
         "NOMEQUIPE",
         {"NUEQUIPE", Text::None, 64, false},
         {"NOMEQUIPE", Text::Team, 180, true}},
        {3,
         "champion.dbf",
         "champion.mdx",
         "NUCHAMP",
         nullptr,
         {"NUCHAMP", Text::None, 64, false},
         {"NOMCHAMP", Text::Championship, 124, true}},
        {4,
         "champion.dbf",
         "champion.mdx",
         "NOMCHAMP",
         "NOMCHAMP",
         {"NUCHAMP", Text::None, 64, false},
         {"NOMCHAMP", Text::Championship, 124, true}},
        {5,
         "joueur.dbf",
         "joueur.mdx",
         "NOM",
         "NOMJOUEUR",
         {"NUJOUEUR", Text::None, 64, false},
         {"NOMJOUEUR", Text::Players, 180, true}},
    };
    for (const PickMode& m : kModes)
        if (m.mode == mode) return &m;
    return nullptr;
}

}  // namespace app
