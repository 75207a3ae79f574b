#pragma once

// The files between the interactive process and its batch child, all in
// the user directory: orva.prm (parameters, read and deleted by the child),
// orva.rst (result code and figures, read and deleted by the parent), and
// orva.out / orva.err (the child's standard output and error while it runs,
// unless debug mode is on).

#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"

namespace kav {

inline constexpr const char* PARAMETER_FILE = "orva.prm";
inline constexpr const char* RESULT_FILE = "orva.rst";
inline constexpr const char* CHILD_OUTPUT_FILE = "orva.out";
inline constexpr const char* CHILD_ERROR_FILE = "orva.err";

// First line of orva.rst, or what the parent makes of its absence.
enum ResultCode {
  RESULT_OK = 0,
  RESULT_NO_PARAMETERS = 1,         // orva.prm missing
  RESULT_INCOMPLETE_PARAMETERS = 2, // a required line missing, or a number out of range
  RESULT_OUT_OF_MEMORY = 3,
  RESULT_UNREADABLE_INPUT = 7,      // an input file exists but is not a readable DES
  RESULT_WRITE_FAILED = 8,          // an output file could not be written
  RESULT_TOO_MANY_TRANSITIONS = 9,  // a state would carry more than 65,535 transitions
  RESULT_NO_PARAMETER_FILE = -1,    // parent: orva.prm could not be created
  RESULT_CHILD_FAILED = -2,         // parent: the child could not run or ended abnormally
  RESULT_NO_RESULT = -3,            // parent: the child left no orva.rst
  RESULT_NO_NUMBER = -4,            // parent: orva.rst holds no readable number
  RESULT_UNOPENABLE_RESULT = -5,    // parent: orva.rst exists but cannot be opened
  RESULT_CANCELLED = -6,            // parent: the user ended the child while it ran
};

// Procedure codes of the batch child.
enum ProcedureCode {
  PROC_CREATE = 0,
  PROC_SELFLOOP = 1,
  PROC_TRIM = 2,
  PROC_SYNC = 3,
  PROC_MEET = 4,
  PROC_SUPCON = 5,
  PROC_MUTEX = 6,
  PROC_CONDAT = 7,
  PROC_SUPREDUCE = 8,
  PROC_MINSTATE = 9,
  PROC_COMPLEMENT = 10,
  PROC_LOCALIZE = 11,
  PROC_FORCE = 12,
  PROC_PROJECT = 13,
  PROC_RELABEL = 14,
  PROC_VOCALIZE = 15,
  PROC_OUTCONSIS = 16,
  PROC_HICONSIS = 17,
  PROC_HIGEN = 18,
  PROC_ALLEVENTS = 19,
  PROC_SUPNORM = 20,
  PROC_SUPSCOP = 21,
  PROC_SUPCONROBS = 22,
  PROC_SUPQC = 23,
  PROC_ISOMORPH = 24,
  PROC_NONCONFLICT = 25,
  PROC_OBSERVABLE = 26,
  PROC_NATOBS = 27,
  PROC_SUPROBS = 28,
  PROC_BFS_RECODE = 29,
  PROC_GRAPHVIZ = 30,
  PROC_STATISTICS = 31,
  PROC_UNCERTMOD = 32,
  PROCEDURE_COUNT = 33,
};

// userDir + one of the protocol file names.
std::string protocolPath(const char* fileName);

// Writes code and then `extra` verbatim as a fresh orva.rst. Returns false
// when the file cannot be written.
bool writeResultFile(int code, std::string_view extra = {});

// Parent side. Each reader returns RESULT_NO_RESULT when orva.rst is
// missing, RESULT_UNOPENABLE_RESULT when it cannot be opened and
// RESULT_NO_NUMBER when its first number cannot be read, and deletes the
// file after reading it.
[[nodiscard]] int readResult();
// The code, then every further integer in order.
[[nodiscard]] int readResultIntegers(std::vector<long>& values);

// What readObservabilityResult answers when the failure report it names
// does not exist.
inline constexpr int RESULT_NO_REPORT = -1;

// (S)Observable's layout: the code, the verdict (1 holds, 0 fails) and the
// name of the saved failure report. A code other than 0 is answered as is.
// On 0 the report is loaded into `report` and its file deleted; a report
// that does not exist answers RESULT_NO_REPORT, a verdict or name that
// cannot be read RESULT_NO_NUMBER.
[[nodiscard]] int readObservabilityResult(long& verdict, DES& report);

} // namespace kav
