#pragma once

// Starting the batch child: the running executable with "-cmdline" as its
// only argument, started with posix_spawn (no shell), default signal
// dispositions, an address-space limit near the machine's physical memory
// (so that exhausting memory always ends as result 3 instead of the kernel
// killing the process), and its output in orva.out / orva.err unless debug
// mode is on. The parent waits for it.

#include <functional>
#include <string>
#include <vector>

namespace kav {

// Reads orva.rst after a child that ended with status 0 and deletes it,
// answering the result code (or what readResult answers for a missing or
// unreadable file). Procedures that answer with figures read them with
// readResultIntegers; a few have a layout of their own.
using ResultReader = std::function<int()>;

// Deletes any leftover orva.rst, runs the child, deletes orva.out and
// orva.err, and returns what `reader` answers (readResult() when it is
// empty), RESULT_CHILD_FAILED when the child could not be started or did
// not end with status 0, or RESULT_CANCELLED when the wait poll asked to
// end it (orva.rst is then deleted unread).
[[nodiscard]] int runChild(const ResultReader& reader = {});

// Asked again and again while a child runs, with the time in milliseconds
// it may spend waiting (it should wait about that long, for a key say);
// true ends the child at once. The interactive session installs one so
// that Escape cancels a long computation; without one the parent simply
// blocks until the child ends.
using ChildWaitPoll = bool (*)(int milliseconds);
void setChildWaitPoll(ChildWaitPoll poll);

// Value of spawnBatchChild for a child ended on the poll's request or by
// endRunningChild.
inline constexpr int CHILD_ENDED_ON_REQUEST = -2;

// Ends the batch child that is running, if any (its whole group when it
// has one of its own), so that its wait answers CHILD_ENDED_ON_REQUEST.
// Safe in a signal handler. False when no child runs.
bool endRunningChild();

// Runs the child and waits, without reading orva.rst: the exit status
// (0..255), -1 when it could not start or was killed by a signal, or
// CHILD_ENDED_ON_REQUEST.
int spawnBatchChild();

// Starts an outside program (dot, lpr, xdg-open) with an argument vector;
// argv[0] is looked up on PATH when it holds no '/'. Waits when `wait` is
// set and returns its exit status; -1 when it could not start or was killed.
// Without `wait` it returns 0 once the program has started. With `quiet`
// its standard input, output and error are /dev/null (a viewer started from
// the full-screen console must not write over it).
int runProgram(const std::vector<std::string>& argv, bool wait, bool quiet = false);

// runProgram(argv, true, true) for a program that may run long (dot): with
// a wait poll installed it runs in a process group of its own, and the
// poll may end that whole group (CHILD_ENDED_ON_REQUEST). Without a poll
// it stays in the caller's group, so Ctrl-C on a command line ends it too.
int runProgramEndable(const std::vector<std::string>& argv);

// The path of an executable `program` in a directory of PATH (an empty
// entry meaning the current directory), or "" when there is none.
std::string findProgram(const std::string& program);

// The address-space limit given to every child (and taken by a command of
// the command line), in bytes; 0 for none (sanitized builds).
unsigned long long childAddressSpaceLimit();

} // namespace kav
