// The five ways the pick list lists teams, championships and players: the table, its index file and
// tag, the field searched, and the two grid columns (the number, then the name).
#pragma once

#include "app/settings/lang_text_ids.h"

namespace app {

struct PickColumn {
    const char* field;
    Text titleText;  // language text of the title; Text::None for the literal "N°"
    int width;       // pixels
    bool shown;
};

struct PickMode {
    int mode;
    const char* table;      // "equipe.dbf"
    const char* indexFile;  // "EQUIPE.mdx"
    const char* tag;
    const char* searchField;  // nullptr: no search panel
    PickColumn number;
    PickColumn name;
};

// Mode 1 teams by number, 2 teams by name, 3 championships by number, 4 championships by name, 5 players
// by name; nullptr for any other mode.
const PickMode* FindPickMode(int mode);

}  // namespace app
