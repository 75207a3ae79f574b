#include "cli/commands.h"
#include "console/session.h"
#include "engine/entry.h"

int main(int argc, char** argv) { return kav::runEntry(argc, argv, kav::runInteractiveSession, kav::runCommandLine); }
