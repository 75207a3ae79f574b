#pragma once

// The dialogs the menus start. Each asks, validates, runs the engine and
// shows the outcome; each returns DONE, CANCELLED or FAILED, and the menu
// draws itself again afterwards.

#include <string>
#include <string_view>

#include "console/frontend.h"

namespace kav {

// --- Main options and the directory ----------------------------------------------
DialogResult openIntroduction();    // I
DialogResult resetUserDirectory();  // R
DialogResult showUserDirectory();   // UD
DialogResult openSessionLog();      // MA
DialogResult showTxt();             // SX
// At the start of a session: a user directory that does not exist is
// reported, with the offer to create it (and then hold it for this
// session).
void offerToCreateUserDirectory();

// The name prompt of SX and PX: any text file of the user directory, .TXT
// when typed without extension; a DES or DAT file is refused with the
// command that takes it (`command` is "show" or "print"). fileOut gets the
// name with its extension.
[[nodiscard]] PromptStatus promptTextFile(std::string_view prompt, const char* command, std::string& fileOut);

// How a text pager ended.
enum PagerEnd { PAGER_FINISHED, PAGER_ESCAPED };
// Shows a text file page by page from the top, or from its last page (the
// session log, so that its newest entries come first). `shownName` heads
// every page.
PagerEnd pageTextFile(const std::string& path, const std::string& shownName, bool startAtLastPage);

// True when documents can be opened with the desktop's viewer: a graphical
// session and xdg-open on the PATH.
bool hasDocumentViewer();

// --- Procedures whose dialogs are not part of this version ---------------------------
// Shows "<name> is not available in this version." and waits for Enter.
DialogResult showUnavailable(const char* name);

// --- Core procedure dialogs ------------------------------------------------------
DialogResult selfloopDialog();    // 1 Enter
DialogResult trimDialog();        // 2
DialogResult syncDialog();        // 3
DialogResult meetDialog();        // 4
DialogResult supconDialog();      // 5
DialogResult mutexDialog();       // 6
DialogResult condatDialog();      // 7
DialogResult supreduceDialog();   // 8
DialogResult minstateDialog();    // 9
DialogResult complementDialog();  // 10
DialogResult localizeDialog();    // 11
DialogResult forceDialog();       // 12
DialogResult projectDialog();     // P0
DialogResult relabelDialog();     // R0
DialogResult vocalizeDialog();    // H0
DialogResult outconsisDialog();   // H1
DialogResult hiconsisDialog();    // H2
DialogResult higenDialog();       // H3
DialogResult alleventsDialog();   // H4
DialogResult isomorphDialog();    // I
DialogResult nonconflictDialog(); // NC
DialogResult bfsRecodeDialog();   // B

// --- Quasi-congruences and partial observation ----------------------------------------
DialogResult supnormDialog();     // SN
DialogResult supscopDialog();     // SS
DialogResult supconrobsDialog();  // RR
DialogResult supqcDialog();       // QC
DialogResult observableDialog();  // OB
DialogResult natobsDialog();      // NO: computed here
DialogResult suprobsDialog();     // SR
DialogResult uncertmodDialog();   // UM

// --- Create and Edit (computed here, saved with saveDES) ----------------------------
DialogResult createDialog();      // 0
DialogResult editDialog();        // E

// --- Show, print and file ------------------------------------------------------------
DialogResult showDesDialog();     // SE
DialogResult showDatDialog();     // SA
DialogResult printDesDialog();    // PE
DialogResult printDatDialog();    // PA
DialogResult printTxtDialog();    // PX
DialogResult fileDesDialog();     // FE
DialogResult fileDatDialog();     // FA
DialogResult fileAdsDialog();     // FD: ADS text to DES

// --- Pictures ------------------------------------------------------------------------
DialogResult convertDialog();     // CE
DialogResult displayDialog();     // DE

// --- Development procedures (computed here, saved with saveDES) -----------------------
DialogResult pathToBlockDialog();  // Z1 then 0
DialogResult shortestPathDialog(); // Z1 then 1
DialogResult attachDialog();       // Z2 then 1
DialogResult statemapDialog();     // Z2 then 8

} // namespace kav
