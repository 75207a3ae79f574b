#pragma once

namespace kav {

// The interactive session: start-up picture, then the menus until X.
// Returns the process exit status.
int runInteractiveSession();

// When the terminal closes (SIGHUP) or the session is asked to end
// (SIGTERM) while a batch child runs, the child and everything it started
// are ended at once, and once it has ended, endAfterHangup removes what
// it left in the user directory, releases the directory and ends this
// process by the signal. Without a child the process ends at once. Called
// after every child: does nothing unless such a signal came.
void endAfterHangup();

} // namespace kav
