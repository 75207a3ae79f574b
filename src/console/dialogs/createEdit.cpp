// Create (0) and Edit (E): a DES typed in, or started as an ADS template
// for a text editor, and an existing DES changed: marker states,
// transitions, vocal outputs, deleted states, unreachable states. Both
// work on the DES in this process (a dialog holds it between the
// questions) and save it with saveDES, which replaces the file only once
// it is written whole.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/sessionLog.h"
#include "engine/inProcess.h"
#include "model/desfile.h"
#include "model/session.h"
#include "model/userfiles.h"
#include "output/ads.h"
#include "output/listing.h"

namespace kav {

namespace {

// The most states Create accepts, and the largest state number Edit's
// fields take (a larger DES keeps its own range).
constexpr long CREATE_MAX_STATES = 2000000;
constexpr long EDIT_MAX_STATE = 1999999;
// The last row an entry may use; row 22 carries refusals, row 23 the
// Escape hint. The list pager keeps to it.
constexpr int LAST_ENTRY_ROW = 21;
// List cells start at column 5, every 10 columns, and wrap before 75
// (beginListCell with this width).
constexpr int CELL_START = 5;
constexpr int CELL_WIDTH = 10;
// Transitions shown before Edit asks whether the list is OK: about four
// rows.
constexpr std::size_t TRANSITION_SAMPLE = 24;

// --- Entry pages ---------------------------------------------------------------------

// A page of entries: the header ("CREATE(NAME)"), an empty line, the
// section's lines and an empty line, then the entries. A page that fills
// up either starts afresh (list cells) or scrolls by one row keeping its
// head in place (rows of fields). Later pages repeat the section's lines
// unless `continuation` says otherwise.
ListTexts entryPage(const std::string& header, std::vector<std::string> lines,
                    std::vector<std::string> continuation = {}) {
  if (continuation.empty()) continuation = lines;
  return {std::move(lines), std::move(continuation), header};
}

void endRow() { newLineIfRoom(); }

// A refusal on row 22; the field at (column, row) is cleared for the next try.
void refuse(const std::string& message, int column, int row) {
  writeStatusLine(22, message);
  moveCursor(column, row);
  clearToEndOfLine();
}

void clearRefusal() {
  const int column = whereX(), row = whereY();
  writeStatusLine(22, "");
  moveCursor(column, row);
}

enum FieldKind { NUMBER_FIELD, STATE_OR_STAR_FIELD, EVENT_FIELD };

// Writes the label at `column` of the cursor row and reads the field after it.
long readField(int column, const char* label, FieldKind kind, long lo, long hi, int& key) {
  setColumn(column);
  clearToEndOfLine();
  writeText(label);
  switch (kind) {
  case STATE_OR_STAR_FIELD: return readStateOrStar(key, hi);
  case EVENT_FIELD: return readEventOrE(key);
  case NUMBER_FIELD: break;
  }
  return readIntInRange(key, lo, hi);
}

bool isLegalVocal(long value) { return value == 0 || (value >= 10 && value <= 99); }

std::string tripleText(const char* sign, std::int64_t from, std::uint16_t event, std::int64_t to) {
  return std::string(sign) + "[" + std::to_string(from) + "," +
         labelText(event) + "," + std::to_string(to) + "]";
}

// "NAME has been filed as PATH", the path on a row of its own when both
// do not fit on one.
void showFiled(const std::string& name) {
  const std::string filed = name + " has been filed as ";
  const std::string path = userPath(name, ".DES");
  writeText(filed);
  if (filed.size() + path.size() >= SCREEN_COLUMNS) newLineIfRoom();
  printAbbreviated(path, SCREEN_COLUMNS);
}

void reportSaveFailure(const std::string& name) {
  breakPageIfFull(20);
  writeFormat("Error writing file: %s%s%s", session.userDir.c_str(), name.c_str(), ".DES");
  waitForEnterToReturn();
}

// Up to `limit` items after the text on the cursor row, then how many
// there are in all; `none` when there are none.
void writeSample(const std::vector<std::string>& items, std::size_t limit, const char* none) {
  if (items.empty()) {
    writeText(none);
    return;
  }
  for (std::size_t k = 0; k < items.size() && k < limit; ++k) writeText(" " + items[k]);
  if (items.size() > limit) writeFormat(" ... (%zu in all)", items.size());
}

// --- Create --------------------------------------------------------------------------

std::string createLogEntry(const std::string& name, const DES& des) {
  std::string entry = name + " = Create(" + name;
  std::vector<std::string> items;
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (des[s].marked) items.push_back(std::to_string(s));
  if (des.size() > 0 && static_cast<std::int64_t>(items.size()) == des.size())
    entry += ",[mark all]";
  else if (!items.empty())
    entry += ",[mark " + joined(items) + "]";
  items.clear();
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (des[s].vocal != 0) items.push_back("[" + std::to_string(s) + "," + std::to_string(des[s].vocal) + "]");
  if (!items.empty()) entry += ",[voc " + joined(items) + "]";
  items.clear();
  for (std::int64_t s = 0; s < des.size(); ++s)
    for (const Transition& t : transitionsOf(des[s])) items.push_back(tripleText("", s, t.event, t.target));
  if (!items.empty()) entry += ",[tran " + joined(items) + "]";
  return entry + ")" + sizesText(des) + "\n\n";
}

DialogResult createAdsTemplate() {
  writeText("Generate ADS file with template");
  twoBreaks();
  std::string name;
  if (promptFileName("Enter name of ADS ....  ", ".ADS", name, true) != PROMPT_OK) return CANCELLED;
  // The template writer closes its stream; a memory stream keeps its text
  // after closing, so the file itself is written (and checked) here.
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* memory = ::open_memstream(&buffer, &size);
  if (!memory) return FAILED;
  writeAdsTemplate(memory, name);
  const std::string text(buffer ? buffer : "", size);
  std::free(buffer);
  const std::string path = userPath(name, ".ADS");
  if (!writeTextFile(path, [&](std::FILE* out) { std::fwrite(text.data(), 1, text.size(), out); })) {
    reportProblem("Error writing file: " + abbreviate(path, 59));
    return FAILED;
  }
  if (whereY() > 17) clearScreen();
  writeText("Now use your ASCII editor to complete the file");
  newLineIfRoom();
  // Whole, wrapped: the user is to open it in an editor.
  writeText(path);
  if (whereX() > 0) newLineIfRoom();
  newLineIfRoom();
  writeFormat("return to %s, and use FD to convert", PROGRAM_NAME);
  newLineIfRoom();
  writeFormat("%s%s to %s%s", name.c_str(), ".ADS", name.c_str(), ".DES");
  waitForEnterToReturn();
  return DONE;
}

DialogResult createDes() {
  std::string name;
  if (promptFileName("Enter name of DES ....  ", ".DES", name, true) != PROMPT_OK) return CANCELLED;
  breakPageIfFull(18);
  writeText("States will be numbered 0,1,2,3,....");
  newLineIfRoom();
  writeText("The initial state is 0.");
  twoBreaks();
  writeText("Enter total number of states...");
  setColumn(whereX() + 2);
  showEscHint();
  int key = 0;
  const long size = readIntInRange(key, 0, CREATE_MAX_STATES);
  if (key == ESCAPE_KEY) return CANCELLED;
  DES des = allocStates(size);
  const std::string header = "CREATE(" + name + ")";

  const ListTexts markers = entryPage(
      header, {"Enter list of marker states in {0,1,...,Size-1}", "To mark all states, enter '*'", "To quit, enter -1"});
  beginListPage(markers);
  for (;;) {
    beginListCell(CELL_WIDTH, markers);
    const int row = whereY(), column = whereX();
    const long state = readStateOrStar(key, size - 1);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (key == '*') {
      for (StateRecord& s : des.states) s.marked = 1;
    } else if (state == -1) {
      break;
    } else {
      des[state].marked = 1;
    }
    moveCursor(column + CELL_WIDTH, row);
  }

  const ListTexts vocals =
      entryPage(header, {"Enter vocal states with output: integer in 10,...,99", "To quit, enter -1 for State."});
  beginListPage(vocals);
  for (;;) {
    beginListRow(vocals);
    const int row = whereY();
    long state;
    for (;;) {
      state = readField(CELL_START, "State:  ", NUMBER_FIELD, -1, size - 1, key);
      if (key == ESCAPE_KEY) return CANCELLED;
      if (state != 0) break;
      refuse("Direct vocalization of initial state is illegal! Please reenter.", CELL_START, row);
    }
    clearRefusal();
    if (state == -1) break;
    const long output = readField(25, "Output:  ", NUMBER_FIELD, 10, 99, key);
    if (key == ESCAPE_KEY) return CANCELLED;
    des[state].vocal = static_cast<std::int16_t>(output);
    endRow();
  }

  const ListTexts transitions =
      entryPage(header, {"Enter transitions using:", "States                : integers 0,1,2,...,Size-1",
                         "Uncontrollable Events : even integers 0,2,4,... <= 998 and e",
                         "Controllable Events   : odd integers 1,3,5,... <= 999", "To quit, enter -1 for Exit State."});
  beginListPage(transitions);
  for (;;) {
    beginListRow(transitions, ListOverflow::SCROLL);
    const long from = readField(CELL_START, "Exit State:  ", NUMBER_FIELD, -1, size - 1, key);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (from == -1) break;
    const long event = readField(28, "Event Label:  ", EVENT_FIELD, -1, EPSILON_LABEL, key);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (event == -1) break;
    const long to = readField(48, "Entrance State:  ", NUMBER_FIELD, -1, size - 1, key);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (to == -1) break;
    // A repeated triple is stored once; insertTransition sees to that. A
    // state that is full ends the dialog as the batch child would (9).
    if (wouldExceedLimit(des[from], static_cast<std::uint16_t>(event), to)) {
      reportTooManyTransitions();
      return FAILED;
    }
    insertTransition(des[from], static_cast<std::uint16_t>(event), to);
    endRow();
  }

  if (checkNondeterminism(des, name, false) != PROMPT_OK) return CANCELLED;
  if (saveDES(name, des, 0) != SAVE_OK) {
    reportSaveFailure(name);
    return FAILED;
  }
  appendLogWrapped(createLogEntry(name, des), static_cast<int>(name.size()) + 3);
  twoBreaks();
  breakPageIfFull(20);
  showFiled(name);
  showResultSizes({resultSizeText(name, des)});
  waitForEnterToReturn();
  return DONE;
}

// --- Edit ----------------------------------------------------------------------------

// The changes of one Edit session, in the order they were made, for the
// log entry.
struct EditRecord {
  std::vector<std::string> mark;   // "+[all]", "+[3]", "-[all]", "-[3]"
  std::vector<std::string> states; // "-[3]"
  std::vector<std::string> trans;  // "+[0,1,2]", "-[0,e,2]"; "*" for every exit state
  std::vector<std::string> voc;    // "[state,output]"
  std::vector<std::string> unif;   // "[old,new]"
  bool reachedOnly = false;        // unreachable states were removed
};

std::string editLogEntry(const std::string& out, const std::string& in, const EditRecord& r, const DES& des) {
  std::string entry = out + " = Edit(" + in;
  const auto group = [&entry](const char* name, const std::vector<std::string>& items) {
    if (!items.empty()) entry += std::string(",[") + name + " " + joined(items) + "]";
  };
  group("mark", r.mark);
  group("states", r.states);
  group("trans", r.trans);
  group("voc", r.voc);
  group("unif", r.unif);
  if (r.reachedOnly) entry += ",rch";
  return entry + ")" + sizesText(des) + "\n\n";
}

// Back from an entry page to the dialog's own: a fresh page with the title.
void resumeEditPage(const std::string& out, const std::string& in) {
  clearScreen();
  showTitle("EDIT", out + " = EDIT (" + in + ")");
}

void growTo(DES& des, std::int64_t state) {
  if (state >= des.size()) resizeStates(des, state + 1);
}

// Returns false on Escape.
bool editMarkers(DES& des, const std::string& in, const std::string& out, long maxState, EditRecord& record) {
  std::vector<std::string> marked;
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (des[s].marked) marked.push_back(std::to_string(s));
  breakPageIfFull(16);
  writeFormat("List of marker states of %s is currently: ", out.c_str());
  writeSample(marked, 40, " empty");
  newLineIfRoom();
  const Answer answer = askYesNo("OK?  (*y/n)  ");
  if (answer == Answer::CANCEL) return false;
  if (answer != Answer::NO) return true;

  const std::string header = "EDIT(" + out + ")";
  const ListTexts mark =
      entryPage(header, {withName("Enter states of %s to be newly marked.  New states not in", out),
                         "current structure may be listed if required (type -1 to quit).",
                         "To mark all states, enter '*':"});
  beginListPage(mark);
  int entryKey = 0;
  for (;;) {
    beginListCell(CELL_WIDTH, mark);
    const int row = whereY(), column = whereX();
    const long state = readStateOrStar(entryKey, maxState);
    if (entryKey == ESCAPE_KEY) return false;
    if (entryKey == '*') {
      for (StateRecord& s : des.states) s.marked = 1;
      record.mark.push_back("+[all]");
    } else if (state == -1) {
      break;
    } else {
      growTo(des, state);
      if (!des[state].marked) record.mark.push_back("+[" + std::to_string(state) + "]");
      des[state].marked = 1;
    }
    moveCursor(column + CELL_WIDTH, row);
  }

  const ListTexts unmark =
      entryPage(header, {"Enter old marker states to be unmarked (type -1 to quit).", "To unmark all states, enter '*':"});
  beginListPage(unmark);
  for (;;) {
    beginListCell(CELL_WIDTH, unmark);
    const int row = whereY(), column = whereX();
    const long state = readStateOrStar(entryKey, maxState);
    if (entryKey == ESCAPE_KEY) return false;
    if (entryKey == '*') {
      for (StateRecord& s : des.states) s.marked = 0;
      record.mark.push_back("-[all]");
    } else if (state == -1) {
      break;
    } else if (state >= des.size()) {
      refuse("Marker state " + std::to_string(state) + " is illegal, please reenter!", column, row);
      continue;
    } else {
      if (des[state].marked) record.mark.push_back("-[" + std::to_string(state) + "]");
      des[state].marked = 0;
    }
    clearRefusal();
    moveCursor(column + CELL_WIDTH, row);
  }
  resumeEditPage(out, in);
  return true;
}

// One transition entry: exit state (or '*'), label, entrance state.
// False on Escape; `done` when -1 ended the list.
struct TransitionEntry {
  bool all = false; // '*' for the exit state
  long from = 0;
  std::uint16_t event = 0;
  long to = 0;
};

bool readTransitionEntry(const ListTexts& page, const DES& des, long maxState, bool mustExist, TransitionEntry& entry,
                         bool& done) {
  beginListRow(page, ListOverflow::SCROLL);
  const int row = whereY();
  int key = 0;
  done = true;
  for (;;) {
    entry.from = readField(4, " Exit state:  ", STATE_OR_STAR_FIELD, -1, maxState, key);
    if (key == ESCAPE_KEY) return false;
    entry.all = key == '*';
    if (!entry.all && entry.from == -1) return true;
    if (!mustExist || entry.all || entry.from < des.size()) break;
    refuse("Exit state " + std::to_string(entry.from) + " is illegal, please reenter!", 4, row);
  }
  clearRefusal();
  const long event = readField(28, "Event label:  ", EVENT_FIELD, -1, EPSILON_LABEL, key);
  if (key == ESCAPE_KEY) return false;
  if (event == -1) return true;
  entry.event = static_cast<std::uint16_t>(event);
  for (;;) {
    entry.to = readField(48, "Entrance state:  ", NUMBER_FIELD, -1, maxState, key);
    if (key == ESCAPE_KEY) return false;
    if (entry.to == -1) return true;
    if (!mustExist || entry.to < des.size()) break;
    refuse("Entrance state " + std::to_string(entry.to) + " is illegal, please reenter!", 48, row);
  }
  clearRefusal();
  endRow();
  done = false;
  return true;
}

// DONE, CANCELLED on Escape, or FAILED (told) when an added transition
// would take a state beyond the transition limit.
DialogResult editTransitions(DES& des, const std::string& in, const std::string& out, long maxState,
                             EditRecord& record) {
  // The list the question asks about, as much as a few rows hold.
  std::vector<std::string> listed;
  for (std::int64_t s = 0; s < des.size() && listed.size() <= TRANSITION_SAMPLE; ++s)
    for (const Transition& t : transitionsOf(des[s])) {
      if (listed.size() > TRANSITION_SAMPLE) break;
      listed.push_back(tripleText("", s, t.event, t.target));
    }
  breakPageIfFull(14);
  writeFormat("# transitions in %s is currently %lld", out.c_str(), static_cast<long long>(countTransitions(des)));
  newLineIfRoom();
  if (!listed.empty()) {
    writeText("Current transitions:");
    if (listed.size() > TRANSITION_SAMPLE) {
      listed.resize(TRANSITION_SAMPLE);
      listed.push_back("...");
    }
    for (const std::string& item : listed) writeText(" " + item);
    newLineIfRoom();
  }
  const Answer answer = askYesNo("Current transition list OK?  (*y/n)  ");
  if (answer == Answer::CANCEL) return CANCELLED;
  if (answer != Answer::NO) return DONE;

  const std::string header = "EDIT(" + out + ")";
  const ListTexts add =
      entryPage(header, {"Enter new transitions to adjoin.", "To add multiple transitions, enter * for Exit state.",
                         "New exit or entrance states may be introduced as needed;", "type -1 to quit:"});
  beginListPage(add);
  for (;;) {
    TransitionEntry e;
    bool done = false;
    if (!readTransitionEntry(add, des, maxState, false, e, done)) return CANCELLED;
    if (done) break;
    growTo(des, std::max(e.all ? 0 : e.from, e.to));
    // A state that is full ends the dialog as the batch child would (9).
    const auto full = [&e](const StateRecord& s) { return wouldExceedLimit(s, e.event, e.to); };
    if (e.all ? std::any_of(des.states.begin(), des.states.end(), full) : full(des[e.from])) {
      reportTooManyTransitions();
      return FAILED;
    }
    if (e.all) {
      bool any = false;
      for (StateRecord& s : des.states) any = insertTransition(s, e.event, e.to) || any;
      // One item for the whole set: the log names what was typed, not
      // every state of a large DES.
      if (any) record.trans.push_back(tripleText("+", 0, e.event, e.to).replace(2, 1, "*"));
    } else if (insertTransition(des[e.from], e.event, e.to)) {
      record.trans.push_back(tripleText("+", e.from, e.event, e.to));
    }
  }

  const ListTexts remove = entryPage(
      header,
      {"Enter old transitions to delete.", "To delete multiple transitions, enter * for Exit state (type -1 to quit):"});
  beginListPage(remove);
  for (;;) {
    TransitionEntry e;
    bool done = false;
    if (!readTransitionEntry(remove, des, maxState, true, e, done)) return CANCELLED;
    if (done) break;
    if (e.all) {
      bool any = false;
      for (StateRecord& s : des.states) any = deleteTransition(s, e.event, e.to) || any;
      if (any) record.trans.push_back(tripleText("-", 0, e.event, e.to).replace(2, 1, "*"));
    } else if (deleteTransition(des[e.from], e.event, e.to)) {
      record.trans.push_back(tripleText("-", e.from, e.event, e.to));
    }
  }
  resumeEditPage(out, in);
  return DONE;
}

bool editVocals(DES& des, const std::string& in, const std::string& out, long maxState, EditRecord& record) {
  std::vector<std::string> pairs;
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (des[s].vocal != 0) pairs.push_back("[" + std::to_string(s) + "," + std::to_string(des[s].vocal) + "]");
  breakPageIfFull(14);
  writeFormat("List of vocal states of %s is currently:", out.c_str());
  writeSample(pairs, 24, " none");
  newLineIfRoom();
  Answer answer = askYesNo("OK?  (*y/n)  ");
  if (answer == Answer::CANCEL) return false;
  if (answer != Answer::NO) return true;

  const std::string header = "EDIT(" + out + ")";
  answer = askYesNo("Make uniform alteration in a vocal state output?  (y/*n)  ");
  if (answer == Answer::CANCEL) return false;
  int entryKey = 0;
  if (answer == Answer::YES) {
    const ListTexts uniform =
        entryPage(header, {"Enter list of vocal state output pairs.",
                           "To make all states with Old output silent, enter 0 for New output.", "Type -1 to quit:"});
    beginListPage(uniform);
    for (;;) {
      beginListRow(uniform, ListOverflow::SCROLL);
      const int row = whereY();
      const long oldOutput = readField(CELL_START, "Old output:  ", NUMBER_FIELD, -1, 999, entryKey);
      if (entryKey == ESCAPE_KEY) return false;
      if (oldOutput == -1) break;
      long newOutput;
      for (;;) {
        newOutput = readField(30, "New output:  ", NUMBER_FIELD, -1, 999, entryKey);
        if (entryKey == ESCAPE_KEY) return false;
        if (newOutput == -1 || isLegalVocal(newOutput)) break;
        refuse("This vocalization is illegal; please reenter", 30, row);
      }
      clearRefusal();
      if (newOutput == -1) break;
      // The initial state is never given an output this way either.
      for (std::int64_t s = 0; s < des.size(); ++s)
        if (des[s].vocal == oldOutput && (s != 0 || newOutput == 0))
          des[s].vocal = static_cast<std::int16_t>(newOutput);
      record.unif.push_back("[" + std::to_string(oldOutput) + "," + std::to_string(newOutput) + "]");
      endRow();
    }
  }

  const ListTexts single =
      entryPage(header, {"For each state output to be altered, enter state and new output.",
                         "To make state silent, enter output 0.", "Type -1 to quit:"});
  beginListPage(single);
  for (;;) {
    beginListRow(single, ListOverflow::SCROLL);
    const int row = whereY();
    long state;
    for (;;) {
      state = readField(4, " State:  ", NUMBER_FIELD, -1, maxState, entryKey);
      if (entryKey == ESCAPE_KEY) return false;
      if (state == 0)
        refuse(" Direct vocalization of initial state is illegal! Please reenter.", 4, row);
      else if (state >= des.size())
        refuse("State " + std::to_string(state) + " is not in " + out + "!", 4, row);
      else
        break;
    }
    clearRefusal();
    if (state == -1) break;
    long output;
    for (;;) {
      output = readField(30, "Vocal Output:  ", NUMBER_FIELD, -1, 999, entryKey);
      if (entryKey == ESCAPE_KEY) return false;
      if (output == -1 || isLegalVocal(output)) break;
      refuse("This vocalization is illegal; please reenter", 30, row);
    }
    clearRefusal();
    if (output == -1) break;
    des[state].vocal = static_cast<std::int16_t>(output);
    record.voc.push_back("[" + std::to_string(state) + "," + std::to_string(output) + "]");
    endRow();
  }
  resumeEditPage(out, in);
  return true;
}

// The state that becomes initial when state 0 goes: one that stays, and
// silent, as Create and Edit keep the initial state (a vocal one is made
// silent when the user agrees). -1 on Escape.
std::int64_t askNewInitialState(DES& des, const StateList& doomed, const ListTexts& page, EditRecord& record) {
  for (;;) {
    beginListRow(page);
    const int row = whereY();
    setColumn(0);
    writeText("Please enter the new initial state ....  ");
    const int column = whereX();
    int key = 0;
    const long state = readIntInRange(key, 0, static_cast<long>(des.size()) - 1);
    if (key == ESCAPE_KEY) return -1;
    if (findState(doomed, state)) {
      refuse("State " + std::to_string(state) + " is to be deleted; please reenter!", column, row);
      continue;
    }
    clearRefusal();
    const int vocal = des[state].vocal;
    if (vocal == 0) return state;
    twoBreaks();
    writeFormat("State %ld has vocal output %d; the initial state must be silent.", state, vocal);
    newLineIfRoom();
    const Answer answer = askYesNo("Make it silent?  (*y/n)  ", LAST_ENTRY_ROW);
    if (answer == Answer::CANCEL) return -1;
    if (answer != Answer::NO) {
      des[state].vocal = 0;
      record.voc.push_back("[" + std::to_string(state) + ",0]");
      return state;
    }
  }
}

bool editDeletions(DES& des, const std::string& out, long maxState, EditRecord& record) {
  const Answer answer = askYesNo(withName("Delete any states from %s?  (y/*n)  ", out));
  if (answer == Answer::CANCEL) return false;
  if (answer != Answer::YES) return true;
  const ListTexts page = entryPage("EDIT(" + out + ")",
                                   {withName("Enter states of %s to delete", out), "To quit, enter -1"},
                                   {withName("Continue to enter states of %s to delete (type -1 to quit):", out)});
  beginListPage(page);
  StateList doomed;
  int key = 0;
  for (;;) {
    beginListCell(CELL_WIDTH, page);
    const int row = whereY(), column = whereX();
    const long state = readIntInRange(key, -1, maxState);
    if (key == ESCAPE_KEY) return false;
    if (state == -1) break;
    if (state >= des.size()) {
      refuse("State " + std::to_string(state) + " is not in " + out + "!", column, row);
      continue;
    }
    clearRefusal();
    insertState(doomed, state);
    moveCursor(column + CELL_WIDTH, row);
  }
  if (doomed.empty()) return true;
  twoBreaks();
  std::int64_t newInitial = -1;
  if (findState(doomed, 0) && static_cast<std::int64_t>(doomed.size()) < des.size()) {
    if (whereY() > 18) {
      continueListPage(page);
      setColumn(0);
    }
    writeText("Former initial state 0 will be deleted.");
    newLineIfRoom();
    writeFormat("%s will be recoded with initial state relabelled to 0.", out.c_str());
    twoBreaks();
    newInitial = askNewInitialState(des, doomed, page, record);
    if (newInitial < 0) return false;
  }
  inProcess::deleteStates(des, doomed, newInitial);
  for (std::int64_t s : doomed) record.states.push_back("-[" + std::to_string(s) + "]");
  return true;
}

} // namespace

DialogResult createDialog() {
  clearScreen();
  showTitle("CREATE", "DES = CREATE (.DES/.ADS)");
  showEscHint();
  for (const char* line :
       {"1. .DES file (prompts user to enter DES data fast and sequentially;",
        "   any entry errors can be corrected later using Edit)",
        "2. .ADS file (provides user with DES template for flexible ASCII", "   text file editing)"}) {
    writeText(line);
    newLineIfRoom();
  }
  newLineIfRoom();
  writeText("Please choose Option 1 or 2 ....  ");
  int key = 0;
  const long option = readIntInRange(key, 1, 2);
  if (key == ESCAPE_KEY) return CANCELLED;
  twoBreaks();
  return option == 2 ? createAdsTemplate() : createDes();
}

DialogResult editDialog() {
  clearScreen();
  showTitle("EDIT", "DES2 = EDIT (DES1)");
  std::string in, out;
  if (promptExistingDes("Enter DES1 to be edited ....  ", in) != PROMPT_OK) return CANCELLED;
  DES des;
  std::int64_t init = 0;
  if (loadDES(in, init, des) != LOAD_OK) {
    reportProblem("Error reading file: " + abbreviate(userPath(in, ".DES"), 59));
    return FAILED;
  }
  if (init == -1) {
    breakPageIfFull(20);
    writeFormat("%s IS A CONTROL DATA FILE, AND CANNOT BE EDITED!", in.c_str());
    waitForEnterToReturn();
    return FAILED;
  }
  const Answer rename = askYesNo(withName("Save DES2 under new name (or else overwrite %s)?  (*y/n)   ", in));
  if (rename == Answer::CANCEL) return CANCELLED;
  if (rename == Answer::NO)
    out = in;
  else if (promptFileName("Enter new name of DES2 ....  ", ".DES", out, true) != PROMPT_OK)
    return CANCELLED;
  setTitleFormula(out + " = EDIT (" + in + ")");
  breakPageIfFull(20);
  writeFormat("# states assigned to %s is %lld.", out.c_str(), static_cast<long long>(des.size()));
  twoBreaks();

  // A DES larger than the fields' usual range keeps its own.
  const long maxState = std::max<long>(EDIT_MAX_STATE, static_cast<long>(des.size()) - 1);
  EditRecord record;
  if (!editMarkers(des, in, out, maxState, record)) return CANCELLED;
  if (const DialogResult r = editTransitions(des, in, out, maxState, record); r != DONE) return r;
  if (!editVocals(des, in, out, maxState, record)) return CANCELLED;
  if (!editDeletions(des, out, maxState, record)) return CANCELLED;
  if (checkNondeterminism(des, out, true) != PROMPT_OK) return CANCELLED;
  resumeEditPage(out, in);
  const Answer answer =
      askYesNo(withName("Remove any unreachable state from %s and recode state set?   (y/*n)  ", out));
  if (answer == Answer::CANCEL) return CANCELLED;
  if (answer == Answer::YES) {
    inProcess::reachDES(des);
    record.reachedOnly = true;
  }
  if (saveDES(out, des, 0) != SAVE_OK) {
    reportSaveFailure(out);
    return FAILED;
  }
  appendLogWrapped(editLogEntry(out, in, record, des), static_cast<int>(out.size()) + 3);
  breakPageIfFull(20);
  writeText("EDITING COMPLETE");
  showResultSizes({resultSizeText(out, des)});
  waitForEnterToReturn();
  return DONE;
}

} // namespace kav
