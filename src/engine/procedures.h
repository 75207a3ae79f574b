#pragma once

// Every procedure of the engine as one function over files named by path:
// a request (input and output paths, the procedure's numbers and lists) in,
// a result code with the procedure's figures out. The batch child fills the
// request from orva.prm, turning names into paths of the user directory;
// the command line fills it from its arguments. Both then run
// performProcedure, so a procedure has one implementation whichever door
// it is reached by.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/protocol.h"
#include "model/des.h"
#include "model/minimizer.h"
#include "model/sortedlists.h"

namespace kav {

// What a procedure knows of a file it wrote (or, for Statistics, read).
struct ResultFile {
  std::string path;
  std::int64_t states = 0;      // state count
  std::int64_t transitions = 0; // sum of the transition counts
  std::int64_t marked = 0;      // marker states
  bool deterministic = true;    // no state has two transitions with one label, and none is silent
  bool controllable = true;     // every label is odd (the verdict of control data)
  bool isControlData = false;   // written or read as a .DAT (init -1)
};

// One Supcon step of Supconrobs: result = Supcon(plant, spec), where spec
// is null for the first step (the legal language, inputs[1]) and the last
// relatively observable result, already saved under outputs[0], after it.
// Answers a ResultCode; any code but RESULT_OK ends Supconrobs with it.
using SupconStep = std::function<int(const DES& plant, const DES* spec, DES& result)>;

// The parameters of one run. Which fields a procedure reads, by code:
//   0 Create       outputs[0]; number = states; markers; transitions
//   1 Selfloop     inputs[0]; outputs[0]; events = labels adjoined
//   2 Trim, 9 Minstate, 29 BFS-recode, 16 Outconsis, 18 Higen
//                  inputs[0]; outputs[0]
//   3 Sync, 4 Meet inputs[0..k-1]; outputs[0]
//   5 Supcon, 7 Condat, 25 Nonconflict
//                  inputs[0] (plant), inputs[1]; outputs[0] (not 25)
//   6 Mutex        inputs[0], inputs[1]; outputs[0]; pairs = excluded pairs
//   8 Supreduce    inputs[0] plant, [1] supervisor, [2] control data; outputs[0];
//                  number = 1 to compute the lower bound
//   10 Complement  inputs[0]; outputs[0]; events = auxiliary labels
//   11 Localize    inputs[0] plant, [1] supervisor, [2..] components;
//                  outputs = local controllers; number = 1 to clean up
//   12 Force       inputs[0]; outputs[0]; number = timeout; events = forcible;
//                  moreEvents = preemptable
//   13 Project, 32 Uncertmod
//                  inputs[0]; outputs[0]; events = erased labels
//   14 Relabel     inputs[0]; outputs[0]; pairs = (old, new) labels
//   15 Vocalize    inputs[0]; outputs[0]; quadruples (exit, event, entrance, output)
//   17 Hiconsis    inputs[0]; outputs[0]; number = 1 for multiple new outputs
//   19 Allevents   number = 1 events of the DES inputs[0], 2 of the DAT
//                  inputs[0], 3 the events listed; outputs[0]
//   20 Supnorm, 21 Supscop, 22 Supconrobs, 28 Suprobs
//                  inputs[0] plant, [1] legal; outputs[0]; events = erased
//                  labels; 28: number = 1 (any other value computes nothing)
//   23 Sup(s)qc    number = 2 strong, else 1; inputs[0]; outputs[0]; events = erased
//   24 Isomorph    inputs[0], inputs[1]; number = 1 when both name one file
//   26 (S)Observable
//                  number = 2 strong, else 1; inputs[0] plant, [1]; events = erased
//   27 Natobs      inputs[0]; outputs[0] observer, [1] its image as a DES;
//                  events = seed image
//   30 Graphviz    inputs[0]; outputs[0] (the GIF); title; number = 1 coloured
//   31 Statistics  inputs[0]; number = -1 for control data, else 0
// Numbers and lists are checked by the procedure (RESULT_INCOMPLETE_PARAMETERS
// when out of range), so a caller may pass them as read.
struct ProcedureRequest {
  int code = -1;                                // ProcedureCode
  std::vector<std::string> inputs;              // paths of the files read
  std::vector<std::string> outputs;             // paths of the files written
  long number = 0;                              // the procedure's number, see above
  EventList events;                             // the procedure's event list, see above
  EventList moreEvents;                         // Force: the preemptable events
  StatePairList pairs;                          // Mutex: state pairs; Relabel: label pairs
  std::vector<std::array<long, 4>> quadruples;  // Vocalize
  std::vector<long> markers;                    // Create: marker states
  std::vector<std::array<long, 3>> transitions; // Create: (source, event, target)
  std::string title;                            // Graphviz: the name shown in the picture
  SupconStep supconStep;                        // Supconrobs: empty runs Supcon in this process
  bool figuresWanted = false;                   // Supreduce, Localize: read their results back for `results`
  Minimizer minimizer = Minimizer::HOPCROFT;    // every minimization: the front end's choice from its session
};

// What a run answers. On failure `failedPath` names the file that could
// not be read or written, when one is to blame.
struct ProcedureOutcome {
  int code = RESULT_OK;             // a ResultCode, or a procedure's own answer (see performProcedure)
  std::string failedPath;           // the input that was unreadable, or the output not written
  std::string message;              // RESULT_CHILD_FAILED: what went wrong, one line ending in '\n'
  int detail = 0;                   // Graphviz: the PictureStatus; Supreduce: the ReductionCode of a failure
  std::vector<ResultFile> results;  // the files written, in order (Statistics: the file read)
  bool holds = false;               // Isomorph, Nonconflict, (S)Observable: the property holds
  bool identity = false;            // Isomorph: the correspondence is the identity
  std::vector<std::int64_t> states; // Isomorph: the partner of each state; Sup(s)qc: the representative of each state
  std::int64_t lowerBound = 0;      // Supreduce
  float ratio = 0.0f;               // Supreduce: states of the supervisor / states of the result
  DES report;                       // (S)Observable: failing states, a transition per failing event
  EventList labels;                 // Sync: the blocked events; Natobs: the observer's image
};

// Answers of the procedures beyond the common result codes.
inline constexpr int RESULT_REDUCTION_FAILED = 4;    // Supreduce: the reduction failed
inline constexpr int RESULT_VOCAL_OVERFLOW = 5;      // Hiconsis: the vocal outputs ran out
inline constexpr int RESULT_VOCAL_INITIAL_STATE = 6; // Outconsis, Hiconsis, Higen: state 0 is vocal
inline constexpr int RESULT_RECURSION_GUARD = 100;   // Supreduce: kept for the recursive walk's guard

// Runs the procedure of request.code. A missing input file is an empty DES,
// except for Supconrobs, Sup(s)qc, (S)Observable, Natobs and Suprobs, which
// answer RESULT_NO_RESULT for it; an unreadable one answers
// RESULT_UNREADABLE_INPUT. Outputs are written only on success, each
// replacing its file in one step; a failure may leave the outputs written
// before it (Natobs, Localize, Supconrobs). RESULT_CHILD_FAILED and
// RESULT_NO_RESULT stand for failures the batch child answers by ending
// without a result file. A computation that would give a state more than
// 65,535 transitions answers RESULT_TOO_MANY_TRANSITIONS.
// Out of memory throws std::bad_alloc to the caller's wrapper.
void performProcedure(const ProcedureRequest& request, ProcedureOutcome& outcome);

// The figures of a DES, as ResultFile has them.
ResultFile figuresOf(const std::string& path, const DES& des, std::int64_t init);

// The labels of the transitions of the DES files at `paths`, merged; a file
// that cannot be loaded adds nothing. One file is in memory at a time.
EventList labelsOfPaths(const std::vector<std::string>& paths, std::int64_t init = 0);

} // namespace kav
