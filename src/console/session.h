#pragma once

namespace kav {

// The interactive session: start-up picture, then the menus until X.
// Returns the process exit status.
int runInteractiveSession();

} // namespace kav
