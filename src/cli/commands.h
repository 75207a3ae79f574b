#pragma once

// `kav COMMAND [OPTIONS] FILES...`: one command for every procedure of the
// engine, run in this process by performProcedure on the paths named, so
// that its files are byte for byte those of the batch child; plus convert
// (ADS text and DES), show (a listing on standard output), help and
// replay. A command's figures go to standard output, as plain text or as
// one JSON object; a failure is one line on standard error; the exit
// status says how it went.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/procedures.h"

namespace kav {

// The exit statuses of a command.
enum CommandStatus {
  EXIT_OK = 0,            // done; for a test, the property holds
  EXIT_DOES_NOT_HOLD = 1, // a test: the property does not hold
  EXIT_USAGE = 2,         // bad usage or parameters
  EXIT_OUT_OF_MEMORY = 3,
  EXIT_FAILED = 4,               // the procedure refused its input or failed (the message says why)
  EXIT_UNREADABLE_INPUT = 7,     // an input is missing or not a readable file of its kind
  EXIT_NOT_WRITTEN = 8,          // an output could not be written (or supcon --symbolic: too large to write)
  EXIT_TOO_MANY_TRANSITIONS = 9, // a state would carry more than 65,535 transitions
  EXIT_INTERRUPTED = 130,        // Ctrl-C (or SIGTERM, SIGHUP): nothing written
};

// One figure of a report beyond the files: a verdict, a number or a list.
struct ReportField {
  enum Kind { FLAG, INTEGER, REAL, TEXT, LABELS, INTEGERS, GROUPS, DECIMAL };
  std::string key; // snake_case, stable
  Kind kind = FLAG;
  bool flag = false;                             // FLAG
  std::int64_t integer = 0;                      // INTEGER
  double real = 0;                               // REAL
  std::string text;                              // TEXT; DECIMAL: a whole number of any size, in digits
  std::vector<std::int64_t> integers;            // LABELS (1000 is the silent label), INTEGERS
  std::vector<std::vector<std::int64_t>> groups; // GROUPS
};

// What one command did.
struct CommandReport {
  std::string command;             // the command's name
  int status = EXIT_OK;            // a CommandStatus
  std::string error;               // on failure: the message, without "kav COMMAND: "
  std::string help;                // --help: the text to show instead of figures
  std::string text;                // show: the listing
  bool json = false;               // --json
  bool quiet = false;              // --quiet: neither progress nor plain figures
  std::vector<ResultFile> files;   // the files written (stats: read), at their final paths
  std::vector<ReportField> fields; // the other figures, in order
  bool severalOutputs = false;     // files go under "outputs" in JSON (Natobs, Localize)
};

// True when `name` is a command (help and replay included).
bool isCommandName(std::string_view name);

// Runs args[0] (a command name other than help and replay) with the rest
// of args in this process. Progress is shown on a terminal unless
// `progress` is false or the arguments ask for quiet.
void runCommand(const std::vector<std::string>& args, CommandReport& report, bool progress = true);

// Writes the report: figures (plain or JSON), the listing or the help on
// standard output; the error, as "kav COMMAND: message", on standard error.
void printReport(const CommandReport& report);
// The report as one JSON object, ending in a newline.
std::string reportJson(const CommandReport& report);
// The report's figures as plain text, one line per file and per field.
std::string reportText(const CommandReport& report);

// `kav help` and `kav help COMMAND`; "" for an unknown command.
std::string helpText(std::string_view command = {});

// The whole command line: argv[1] names the command. Answers the exit
// status, or NOT_A_COMMAND when argv[1] names no command.
inline constexpr int NOT_A_COMMAND = -1;
int runCommandLine(int argc, char** argv);

} // namespace kav
