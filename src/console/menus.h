#pragma once

// The screens the user moves between: the start-up picture, the main
// options, the procedures menu with its one- and two-key codes, and the two
// development menus. Each menu is a table from keys to dialogs; a dialog
// returns to the menu it was started from, which is then drawn afresh.

namespace kav {

// The picture shown once before the main menu: a small state diagram, KAV
// in block letters and the version line. The caller waits for a key.
void drawStartupPicture();

// Returns when the user chooses X.
void runMainMenu();
void runProceduresMenu();
void runDevelopmentMenu1();
void runDevelopmentMenu2();

} // namespace kav
