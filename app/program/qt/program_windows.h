// The working windows of every folder bound to the entries of the main window. Only the program, which
// links every window library, knows them; the main window receives them as entries.
#pragma once

#include "app/shell/qt/main_form.h"

namespace app {

// One row per entry (action or button): the championship, team and player windows, the matchday results
// in entry and view mode, the standings, the reports, the import. Menu items follow their actions.
WindowEntries ProgramWindowEntries();

}  // namespace app
