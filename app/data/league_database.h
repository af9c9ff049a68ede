// The league database's definition tables: nine dataset components whose field and index lists
// (league_tables.h) describe the league tables. Creating Tfsysteme opens them in order, which creates a
// missing table, its memo file and its index file, and rebuilds an index file whose tags differ; it is
// the only place where an empty database comes into being. Never shown.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "engine/dataset/xb_file_dataset.h"

namespace app {

// The opening of the tables stopped between two tables on a request to stop (StopRequested): the
// tables opened before are closed again, and the table that was being made, if any, is whole.
class TablesOpenStopped : public std::runtime_error {
public:
    TablesOpenStopped() : std::runtime_error("The opening of the tables was stopped") {}
};

class Tfsysteme {
public:
    // Opens the nine tables in the data directory (GetAppDir); a table that cannot be opened or
    // created raises the dataset layer's exception, with the tables opened before it closed again.
    Tfsysteme();
    ~Tfsysteme();
    Tfsysteme(const Tfsysteme&) = delete;
    Tfsysteme& operator=(const Tfsysteme&) = delete;

    xb::TXbDbf topchampannee, topchampion, teqchamp, tresultats, btable, tjoueur, tjoueq, tbut, tcarton;

    // The nine components in the order they open (that of LeagueTables()).
    std::array<xb::TXbDbf*, 9> tables();
};

// Closes the nine definition tables (champan, champion, equipe, eqchamp, resultat, joueur, joueq, but,
// carton), so that nothing of this process keeps them open.
void CloseSystemTables(Tfsysteme& fsysteme);

// The program's definition tables while it runs (null before the program creates them and after it ends);
// the main window closes them at its first activation, a restore before the swap.
extern Tfsysteme* fsysteme;

}  // namespace app
