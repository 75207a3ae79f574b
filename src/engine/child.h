#pragma once

// Starting the batch child: the running executable with "-cmdline" as its
// only argument, started with posix_spawn (no shell), default signal
// dispositions, an address-space limit near the machine's physical memory
// (so that exhausting memory always ends as result 3 instead of the kernel
// killing the process), and its output in orva.out / orva.err unless debug
// mode is on. The parent waits for it.

#include <string>
#include <vector>

namespace kav {

// Deletes any leftover orva.rst, runs the child, deletes orva.out and
// orva.err, and returns readResult(), or RESULT_CHILD_FAILED when the child
// could not be started or did not end with status 0.
[[nodiscard]] int runChild();

// Runs the child and waits, without reading orva.rst: the exit status
// (0..255), or -1 when it could not start or was killed by a signal.
int spawnBatchChild();

// Starts an outside program (dot, lpr, xdg-open) with an argument vector;
// argv[0] is looked up on PATH when it holds no '/'. Waits when `wait` is
// set and returns its exit status; -1 when it could not start or was killed.
// Without `wait` it returns 0 once the program has started.
int runProgram(const std::vector<std::string>& argv, bool wait);

// The address-space limit given to every child, in bytes.
unsigned long long childAddressSpaceLimit();

} // namespace kav
