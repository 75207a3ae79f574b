#pragma once

// `kav replay [LOG]`: a session log (MAKEIT.TXT) run again entry by entry,
// in the order written, through the commands of the command line, each
// result checked against the states and transitions, verdicts and figures
// the log recorded. Inputs that no replayed entry makes are taken from the
// log's directory (--from); results go to a fresh directory (--into, by
// default a new temporary one), never over the user's files. With
// --script the log is printed instead as the equivalent shell script of
// kav commands.

#include <string>
#include <string_view>
#include <vector>

namespace kav {

// How a recorded entry is replayed: the command's arguments, with the
// files still as names of the session (the extension included).
struct ReplayToken {
  enum Kind { LITERAL, INPUT, OUTPUT };
  Kind kind = LITERAL;
  std::string text; // the argument, or the file name ("SUPER.DES")
};

// What the log recorded of one entry, to be compared with the replay.
struct ReplayStep {
  std::string entry;                                  // the entry's first line as logged (unwrapped)
  std::string notReplayed;                            // why it is not replayed, "" when it is
  std::vector<std::vector<ReplayToken>> tries;        // the command, and variants for what the log does not record
  std::vector<std::pair<long long, long long>> sizes; // (states, transitions) of each output, in order
  std::string verdictKey;                             // the report field of the recorded verdict, "" when none
  bool verdict = false;                               // its recorded value
  bool hasControllable = false;                       // Condat: the recorded verdict
  bool controllable = false;
  bool hasBlocked = false; // Sync: the recorded blocked events
  std::vector<long long> blocked;
  long long lowerBound = 0;      // Supreduce: the recorded lower bound, 0 when none
  bool hasDeterministic = false; // Sup(s)qc: the recorded determinism
  bool deterministic = false;
  std::string partition; // Sup(s)qc: the recorded partition text, "" when omitted
  std::string failures;  // (S)Observable: the recorded failures, "" when none
};

// The entries of a log with the line breaking of long entries undone: one
// string per entry, its lines joined by '\n', computing-time lines kept.
std::vector<std::string> splitLogEntries(const std::string& log);

// The replay of one entry (see ReplayStep).
ReplayStep replayStepOf(const std::string& entry);

// The help of `kav replay`.
std::string replayHelp();

// `kav replay` with args[0] == "replay"; argv0 finds the user directory
// (as the console does) when no log is named. Answers the exit status: 0
// when every replayed entry agrees, 1 at the first difference (after all
// with --keep-going), 2 for a log that cannot be read or bad usage.
int runReplay(const std::vector<std::string>& args, const char* argv0);

} // namespace kav
