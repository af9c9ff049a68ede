// The editing windows in a second process: lm_gui_child runs them offscreen on the league tables of a
// directory and drives them with QTest, one command a line over ChildProcess's pipes:
//   create NAME               New, NAME typed into the name, OK; answers the state
//   ok                        OK again (after a refused lock); answers the state
//   rules NUMBER TEAMS DAYS   the championship shown, Modify, teams and matchdays typed, OK; the state
//   team PLAYERS NAME         the team window: New, NAME typed, the players (numbers separated by
//                             commas, "-" for none) added through the pick list, OK; its state
//   state                     the state
// The matchday results window in entry mode (its state is "L" and the number of matches listed, with
// " MSG text" as above):
//   matchday CHAMP YEAR DAY   the championship, season and matchday chosen and listed
//   new HOME AWAY G1 G2 GOALS CARDS
//                             New, the teams chosen, the score typed, the goals and cards
//                             ("PLAYER:MINUTE:TYPE,...", "-" for none) added, OK
//   modify HOME AWAY G1 G2    the listed match selected, Modify, the score typed, OK
//   delete HOME AWAY          the listed match selected, Delete, Yes
//   list                      the matchday listed again
//   quit                      closes the window and ends ("bye")
// The state is "MODE NUMBER", with " MSG text" when the action showed a message; "E what" when the
// action failed. Message boxes are answered Yes (the question whether to save over another station's
// change among them), except in delete, where the question whether to delete is answered Yes and any
// other box by its default button.
#pragma once

#include <string>

#include "tests/support/child_process.h"

#ifndef LM_GUI_CHILD_PATH
#error "LM_GUI_CHILD_PATH must name the lm_gui_child executable"
#endif

namespace xbtest {

class GuiChild : public ChildProcess {
public:
    // The windows show the season `year` (0: the program's default season).
    explicit GuiChild(const std::string& dataDir, int year = 0)
        : ChildProcess(LM_GUI_CHILD_PATH, {dataDir, std::to_string(year)}) {}
};

}  // namespace xbtest
