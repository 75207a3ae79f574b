#include "synthesis/supreduce.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>

#include "model/desfile.h"
#include "model/memory.h"
#include "model/progress.h"
#include "model/safefile.h"

namespace kav {

namespace {

// --- Reading the inputs ---------------------------------------------------------------

constexpr std::uint32_t FORMAT_CONSTANT = 0xFF00AA55u;

// Reads the header of a DES file byte by byte from a small buffer: the
// reader only needs the first few dozen bytes to tell what is wrong.
struct HeaderReader {
  int fd;
  unsigned char buffer[4096];
  std::size_t pos = 0;
  std::size_t end = 0;

  bool byte(unsigned char& c) {
    if (pos == end) {
      ssize_t got;
      do got = ::read(fd, buffer, sizeof buffer);
      while (got < 0 && errno == EINTR);
      if (got <= 0) return false;
      pos = 0;
      end = static_cast<std::size_t>(got);
    }
    c = buffer[pos++];
    return true;
  }
  bool bytes(unsigned char* out, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k)
      if (!byte(out[k])) return false;
    return true;
  }
  bool word(std::uint32_t& value) {
    unsigned char b[4];
    if (!bytes(b, 4)) return false;
    value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
  }
};

int checkHeader(int fd) {
  HeaderReader in{fd, {}};
  for (unsigned char c = 0; c != 26;)
    if (!in.byte(c)) return LOADER_READ_ERROR;
  unsigned char magic[7];
  if (!in.bytes(magic, sizeof magic)) return LOADER_READ_ERROR;
  if (std::memcmp(magic, "Z8^0L;1", 7) != 0 && std::memcmp(magic, "Z8^0L;2", 7) != 0) return LOADER_NO_MAGIC;
  std::uint32_t constant, blockType, blockLength;
  if (!in.word(constant)) return LOADER_READ_ERROR;
  if (constant != FORMAT_CONSTANT) return LOADER_BAD_FORMAT_CONSTANT;
  if (!in.word(blockType)) return LOADER_READ_ERROR;
  if (blockType != 0) return LOADER_BAD_BLOCK_TYPE;
  if (!in.word(blockLength)) return LOADER_READ_ERROR;
  return LOADER_OK;
}

// --- The per-state records --------------------------------------------------------------

// Class numbers are 32 bits wide; the largest value marks a root.
constexpr std::uint32_t ROOT = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t MAX_REDUCIBLE_STATES = std::numeric_limits<std::uint32_t>::max() - 1;

struct Move {
  std::uint32_t target; // a supervisor state
  std::uint16_t event;
};

// What the reduction knows of each supervisor state.
struct StateRecords {
  std::uint32_t n = 0;
  std::vector<std::uint8_t> plantMarked;   // 1 when the corresponding plant state is marked
  std::vector<std::uint8_t> supMarked;     // 1 when the state is a marker state of the supervisor
  std::vector<std::uint64_t> firstMove;    // n + 1 entries into moves
  std::vector<Move> moves;                 // own transitions, placeholders left out, by event then target
  std::vector<std::uint64_t> firstDisabled; // n + 1 entries into disabled
  std::vector<std::uint16_t> disabled;     // disabled labels per state, ascending, no repeats

  std::span<const Move> movesOf(std::uint32_t x) const {
    return {moves.data() + firstMove[x], static_cast<std::size_t>(firstMove[x + 1] - firstMove[x])};
  }
  std::span<const std::uint16_t> disabledOf(std::uint32_t x) const {
    return {disabled.data() + firstDisabled[x], static_cast<std::size_t>(firstDisabled[x + 1] - firstDisabled[x])};
  }
  // Member code: bits 0-1 carry the supervisor marking of a state whose
  // plant state is unmarked (2 or 3), bits 2-3 that of a state whose plant
  // state is marked (8 or 12). OR-ed over a class, a field with 2 and 3
  // (or 8 and 12) both present would mean inconsistent marking.
  std::uint8_t memberCode(std::uint32_t x) const {
    return static_cast<std::uint8_t>((supMarked[x] ? 3 : 2) << (plantMarked[x] ? 2 : 0));
  }
};

// The first plant row of state p with this event, or -1.
std::int64_t plantMove(const ReductionAutomaton& plant, std::int64_t p, std::uint16_t event) {
  for (std::int64_t r = plant.firstRow[p]; r < plant.firstRow[p + 1]; ++r) {
    const ReductionRow& row = plant.rows[static_cast<std::size_t>(r)];
    if (!row.placeholder && row.event == event) return row.target;
  }
  return -1;
}

// The plant state each supervisor state stands for, -1 for none. The
// spanning tree is that of a recursive depth-first search from state 0
// that takes each state's rows in stored order: a state's parent is the
// state whose row first reached it, and the tree edge is that row. A state
// takes the plant state reached from its parent's by the tree edge's event
// (the first plant row with that event). Parents are discovered before
// their children, so each state is resolved at its discovery. States the
// search does not reach, and those below a state without a plant state,
// have none.
std::vector<std::int64_t> plantCorrespondence(const ReductionAutomaton& plant, const ReductionAutomaton& sup) {
  std::vector<std::int64_t> plantState(static_cast<std::size_t>(sup.size), -1);
  std::vector<std::uint8_t> seen(static_cast<std::size_t>(sup.size), 0);
  struct Frame {
    std::int64_t state;
    std::int64_t nextRow;
  };
  std::vector<Frame> stack;
  seen[0] = 1;
  plantState[0] = 0;
  stack.push_back({0, sup.firstRow[0]});
  while (!stack.empty()) {
    const std::int64_t x = stack.back().state;
    const std::int64_t r = stack.back().nextRow;
    if (r == sup.firstRow[x + 1]) {
      stack.pop_back();
      continue;
    }
    ++stack.back().nextRow;
    const ReductionRow& row = sup.rows[static_cast<std::size_t>(r)];
    if (row.placeholder || seen[static_cast<std::size_t>(row.target)]) continue;
    seen[static_cast<std::size_t>(row.target)] = 1;
    const std::int64_t parentPlant = plantState[static_cast<std::size_t>(x)];
    if (parentPlant >= 0) plantState[static_cast<std::size_t>(row.target)] = plantMove(plant, parentPlant, row.event);
    stack.push_back({row.target, sup.firstRow[row.target]});
  }
  return plantState;
}

StateRecords buildRecords(const ReductionAutomaton& plant, const ReductionAutomaton& sup, const DES* controlData) {
  StateRecords rec;
  rec.n = static_cast<std::uint32_t>(sup.size);
  const std::size_t n = rec.n;
  {
    const std::vector<std::int64_t> plantState = plantCorrespondence(plant, sup);
    rec.plantMarked.assign(n, 0);
    for (std::size_t x = 0; x < n; ++x)
      if (plantState[x] >= 0 && findState(plant.markers, plantState[x])) rec.plantMarked[x] = 1;
  }
  rec.supMarked.assign(n, 0);
  for (std::int64_t m : sup.markers) rec.supMarked[static_cast<std::size_t>(m)] = 1;

  rec.firstMove.resize(n + 1);
  std::size_t realRows = 0;
  for (const ReductionRow& row : sup.rows) realRows += row.placeholder ? 0 : 1;
  rec.moves.reserve(realRows);
  for (std::size_t x = 0; x < n; ++x) {
    rec.firstMove[x] = rec.moves.size();
    for (std::int64_t r = sup.firstRow[x]; r < sup.firstRow[x + 1]; ++r) {
      const ReductionRow& row = sup.rows[static_cast<std::size_t>(r)];
      if (!row.placeholder) rec.moves.push_back({static_cast<std::uint32_t>(row.target), row.event});
    }
  }
  rec.firstMove[n] = rec.moves.size();

  rec.firstDisabled.assign(n + 1, 0);
  if (controlData) {
    std::size_t total = 0;
    for (const StateRecord& s : controlData->states) total += s.transitionCount;
    rec.disabled.reserve(total);
    for (std::size_t x = 0; x < n; ++x) {
      rec.firstDisabled[x] = rec.disabled.size();
      // Labels arrive ascending; a label listed with two targets counts once.
      for (const Transition& t : transitionsOf(controlData->states[x]))
        if (rec.disabled.size() == rec.firstDisabled[x] || rec.disabled.back() != t.event)
          rec.disabled.push_back(t.event);
    }
    rec.firstDisabled[n] = rec.disabled.size();
  }
  return rec;
}

// True when no label of `disabled` is the event of one of `moves` (both
// ascending by label).
bool noneEnabled(std::span<const std::uint16_t> disabled, std::span<const Move> moves) {
  std::size_t i = 0, j = 0;
  while (i < disabled.size() && j < moves.size()) {
    if (disabled[i] < moves[j].event) ++i;
    else if (disabled[i] > moves[j].event) ++j;
    else return false;
  }
  return true;
}

bool marksAgree(std::uint8_t a, std::uint8_t b) {
  const unsigned lowA = a & 3u, lowB = b & 3u, highA = a & 12u, highB = b & 12u;
  if ((lowA == 2 && lowB == 3) || (lowA == 3 && lowB == 2)) return false;
  if ((highA == 8 && highB == 12) || (highA == 12 && highB == 8)) return false;
  return true;
}

// --- Greedy merging -------------------------------------------------------------------
//
// The classes and the union-find forest exist once. An attempt changes them
// in place and writes down, before each change, what it replaces: the old
// parent of every forest entry it rewrites (unions and path compression)
// and the old lists and marking of every class that absorbs another. A
// failed attempt restores those in reverse order; a successful one drops
// the log and frees the absorbed classes' lists. So an attempt costs time
// in proportion to what it touches, and memory stays that of the classes
// (each list no longer than the union of its members' lists) plus the log.
//
// Taking a full copy of every class and of the forest before each attempt
// and restoring it on failure would give the same cover (the classes, the
// forest and the waiting list go through the same states in the same
// order), but at O(N + t) per attempt, O(N^2 (N + t)) in all; the log
// makes a failed attempt cost what it touched, typically a few entries.
// The waiting list holds at most N - 1 pairs, one per union.

struct MergeClass {
  std::vector<Move> moves;             // union of the members' moves by event; one entry per shared event
  std::vector<std::uint16_t> disabled; // union of the members' disabled labels, ascending
  std::uint8_t markClass = 0;          // OR of the members' codes
};

// The state of a class before an attempt changed it.
struct ClassChange {
  std::uint32_t root;
  std::uint8_t markClass;
  bool movesSaved = false;
  bool disabledSaved = false;
  std::vector<Move> moves;
  std::vector<std::uint16_t> disabled;
};

struct Reducer {
  std::vector<MergeClass> classes;  // meaningful for roots and for classes absorbed in the running attempt
  std::vector<std::uint32_t> parent; // union-find; ROOT for a root, which is always its class's smallest state
  std::vector<std::uint32_t> nextRoot, prevRoot; // roots in ascending order, doubly linked; ROOT ends the list
  std::uint32_t first = 0;           // the i of the attempts: roots below it are final cells

  // One attempt's working lists, kept for their capacity.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> waiting;   // (surviving root, absorbed root)
  std::vector<std::pair<std::uint32_t, std::uint32_t>> parentLog; // (entry, old parent)
  std::vector<ClassChange> classLog;
  bool logging = false;
};

std::uint32_t findRoot(Reducer& r, std::uint32_t x) {
  std::uint32_t root = x;
  while (r.parent[root] != ROOT) root = r.parent[root];
  while (r.parent[x] != ROOT && r.parent[x] != root) {
    const std::uint32_t up = r.parent[x];
    if (r.logging) r.parentLog.push_back({x, up});
    r.parent[x] = root;
    x = up;
  }
  return root;
}

// Puts the larger root below the smaller and queues the pair. False when
// either class is a final cell.
bool uniteRoots(Reducer& r, std::uint32_t a, std::uint32_t b) {
  a = findRoot(r, a);
  b = findRoot(r, b);
  if (a == b) return true;
  if (a > b) std::swap(a, b);
  if (a < r.first) return false;
  r.parentLog.push_back({b, ROOT});
  r.parent[b] = a;
  r.waiting.push_back({a, b});
  return true;
}

bool consistentClasses(const MergeClass& a, const MergeClass& b) {
  return marksAgree(a.markClass, b.markClass) && noneEnabled(a.disabled, b.moves) && noneEnabled(b.disabled, a.moves);
}

// End of the run of entries with the label of list[k].
std::size_t groupEnd(const std::vector<Move>& list, std::size_t k) {
  const std::uint16_t event = list[k].event;
  while (k < list.size() && list[k].event == event) ++k;
  return k;
}

// Class a absorbs class b: the targets of every event both have are
// united (all of them, should a class have one event to several targets),
// then the lists and the marking are merged. False when a union would
// reach a final cell; what was changed so far is in the log.
bool absorb(Reducer& r, std::uint32_t a, std::uint32_t b) {
  MergeClass& A = r.classes[a];
  const MergeClass& B = r.classes[b];
  bool movesChange = false;
  std::size_t i = 0, j = 0;
  while (i < A.moves.size() && j < B.moves.size()) {
    if (A.moves[i].event < B.moves[j].event) {
      i = groupEnd(A.moves, i);
    } else if (A.moves[i].event > B.moves[j].event) {
      j = groupEnd(B.moves, j);
      movesChange = true;
    } else {
      const std::size_t iEnd = groupEnd(A.moves, i), jEnd = groupEnd(B.moves, j);
      if (iEnd - i > 1) movesChange = true;
      for (std::size_t k = i + 1; k < iEnd; ++k)
        if (!uniteRoots(r, A.moves[i].target, A.moves[k].target)) return false;
      for (std::size_t k = j; k < jEnd; ++k)
        if (!uniteRoots(r, A.moves[i].target, B.moves[k].target)) return false;
      i = iEnd;
      j = jEnd;
    }
  }
  if (j < B.moves.size()) movesChange = true;

  ClassChange change;
  change.root = a;
  change.markClass = A.markClass;
  A.markClass |= B.markClass;
  if (!std::includes(A.disabled.begin(), A.disabled.end(), B.disabled.begin(), B.disabled.end())) {
    std::vector<std::uint16_t> merged;
    merged.reserve(A.disabled.size() + B.disabled.size());
    std::set_union(A.disabled.begin(), A.disabled.end(), B.disabled.begin(), B.disabled.end(),
                   std::back_inserter(merged));
    change.disabled = std::move(A.disabled);
    change.disabledSaved = true;
    A.disabled = std::move(merged);
  }
  if (movesChange) {
    std::vector<Move> merged;
    merged.reserve(A.moves.size() + B.moves.size());
    i = j = 0;
    while (i < A.moves.size() || j < B.moves.size()) {
      if (j == B.moves.size() || (i < A.moves.size() && A.moves[i].event < B.moves[j].event)) {
        const std::size_t end = groupEnd(A.moves, i);
        merged.insert(merged.end(), A.moves.begin() + static_cast<std::ptrdiff_t>(i),
                      A.moves.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
      } else if (i == A.moves.size() || B.moves[j].event < A.moves[i].event) {
        const std::size_t end = groupEnd(B.moves, j);
        merged.insert(merged.end(), B.moves.begin() + static_cast<std::ptrdiff_t>(j),
                      B.moves.begin() + static_cast<std::ptrdiff_t>(end));
        j = end;
      } else {
        // All targets of a shared event are one class now.
        merged.push_back({findRoot(r, A.moves[i].target), A.moves[i].event});
        i = groupEnd(A.moves, i);
        j = groupEnd(B.moves, j);
      }
    }
    change.moves = std::move(A.moves);
    change.movesSaved = true;
    A.moves = std::move(merged);
  }
  r.classLog.push_back(std::move(change));
  return true;
}

void undoAttempt(Reducer& r) {
  for (auto it = r.classLog.rbegin(); it != r.classLog.rend(); ++it) {
    MergeClass& c = r.classes[it->root];
    c.markClass = it->markClass;
    if (it->movesSaved) c.moves = std::move(it->moves);
    if (it->disabledSaved) c.disabled = std::move(it->disabled);
  }
  for (auto it = r.parentLog.rbegin(); it != r.parentLog.rend(); ++it) r.parent[it->first] = it->second;
  r.classLog.clear();
  r.parentLog.clear();
}

void commitAttempt(Reducer& r) {
  for (const auto& [survivor, absorbed] : r.waiting) {
    MergeClass& gone = r.classes[absorbed];
    std::vector<Move>().swap(gone.moves);
    std::vector<std::uint16_t>().swap(gone.disabled);
    const std::uint32_t before = r.prevRoot[absorbed], after = r.nextRoot[absorbed];
    if (before != ROOT) r.nextRoot[before] = after;
    if (after != ROOT) r.prevRoot[after] = before;
  }
  r.classLog.clear();
  r.parentLog.clear();
}

// Tries to merge roots i (the current first) and j, with everything the
// merge forces. Keeps the merge on success; leaves no trace on failure.
bool attemptMerge(Reducer& r, std::uint32_t i, std::uint32_t j) {
  // The first pair's own check, before anything changes.
  if (!consistentClasses(r.classes[i], r.classes[j])) return false;
  r.waiting.clear();
  r.logging = true;
  r.parentLog.push_back({j, ROOT});
  r.parent[j] = i;
  r.waiting.push_back({i, j});
  bool ok = true;
  for (std::size_t k = 0; k < r.waiting.size() && ok; ++k) {
    const auto [a, b] = r.waiting[k];
    ok = (k == 0 || consistentClasses(r.classes[a], r.classes[b])) && absorb(r, a, b);
  }
  r.logging = false;
  if (ok) commitAttempt(r);
  else undoAttempt(r);
  return ok;
}

// The first root after x in ascending order (x itself may have been
// absorbed: the links of an absorbed state still lead forward).
std::uint32_t nextLiveRoot(const Reducer& r, std::uint32_t x) {
  std::uint32_t y = r.nextRoot[x];
  while (y != ROOT && r.parent[y] != ROOT) y = r.nextRoot[y];
  return y;
}

// The cover: per state, the root of its cell.
std::vector<std::uint32_t> greedyCover(const StateRecords& rec) {
  const std::uint32_t n = rec.n;
  Reducer r;
  r.classes.resize(n);
  for (std::uint32_t x = 0; x < n; ++x) {
    const auto moves = rec.movesOf(x);
    const auto disabled = rec.disabledOf(x);
    r.classes[x].moves.assign(moves.begin(), moves.end());
    r.classes[x].disabled.assign(disabled.begin(), disabled.end());
    r.classes[x].markClass = rec.memberCode(x);
  }
  r.parent.assign(n, ROOT);
  r.nextRoot.resize(n);
  r.prevRoot.resize(n);
  for (std::uint32_t x = 0; x < n; ++x) {
    r.nextRoot[x] = x + 1 < n ? x + 1 : ROOT;
    r.prevRoot[x] = x > 0 ? x - 1 : ROOT;
  }
  r.waiting.reserve(16);
  std::uint32_t rounds = 0;
  for (std::uint32_t i = 0; i != ROOT; i = nextLiveRoot(r, i)) {
    r.first = i;
    if (rounds++ % 256 == 0) reportProgressf("SUPREDUCE: %ld %ld", static_cast<long>(i), static_cast<long>(n));
    for (std::uint32_t j = nextLiveRoot(r, i); j != ROOT; j = nextLiveRoot(r, j)) attemptMerge(r, i, j);
  }
  std::vector<std::uint32_t> cell(n);
  for (std::uint32_t x = 0; x < n; ++x) cell[x] = findRoot(r, x);
  return cell;
}

// --- The lower bound ----------------------------------------------------------------

// Knowledge of a pair of states, two bits each.
enum PairState : unsigned { PAIR_UNKNOWN = 0, PAIR_COMPATIBLE = 1, PAIR_INCOMPATIBLE = 2, PAIR_ON_WALK = 3 };

// The relation on pairs i < j, stored as a triangle of 2-bit entries in a
// block from calloc, so that a block the machine cannot give is a null
// pointer (and the bound 0) rather than the end of the child.
struct PairTable {
  std::uint32_t n = 0;
  std::vector<std::uint64_t> rowBase; // index of (i, j) = rowBase[i] + j
  std::unique_ptr<unsigned char, decltype(&std::free)> bits{nullptr, &std::free};

  std::uint64_t index(std::uint32_t i, std::uint32_t j) const {
    if (i > j) std::swap(i, j);
    return rowBase[i] + j;
  }
  unsigned get(std::uint64_t k) const { return (bits.get()[k >> 2] >> ((k & 3) * 2)) & 3u; }
  void set(std::uint64_t k, unsigned v) {
    unsigned char& byte = bits.get()[k >> 2];
    const unsigned shift = static_cast<unsigned>((k & 3) * 2);
    byte = static_cast<unsigned char>((byte & ~(3u << shift)) | (v << shift));
  }
};

bool allocatePairTable(PairTable& table, std::uint32_t n) {
  const std::uint64_t pairs = static_cast<std::uint64_t>(n) * (n - 1) / 2;
  const std::uint64_t bytes = pairs / 4 + 1;
  const std::uint64_t physical = physicalMemoryBytes();
  if (physical != 0 && bytes > physical) return false;
  if (bytes > std::numeric_limits<std::size_t>::max()) return false;
  table.bits.reset(static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(bytes), 1)));
  if (!table.bits) return false;
  table.n = n;
  table.rowBase.resize(n);
  // Row i holds j = i+1 .. n-1 after the i rows above it.
  for (std::uint64_t i = 0; i < n; ++i) table.rowBase[i] = i * (2 * static_cast<std::uint64_t>(n) - i - 1) / 2 - i - 1;
  return true;
}

// Two single states may share a cell as far as they themselves go.
bool directlyConsistent(const StateRecords& rec, std::uint32_t x, std::uint32_t y) {
  if (rec.plantMarked[x] == rec.plantMarked[y] && rec.supMarked[x] != rec.supMarked[y]) return false;
  return noneEnabled(rec.disabledOf(x), rec.movesOf(y)) && noneEnabled(rec.disabledOf(y), rec.movesOf(x));
}

// Appends the pairs of targets that x and y reach by a common event.
void appendSuccessors(const StateRecords& rec, std::uint32_t x, std::uint32_t y,
                      std::vector<std::pair<std::uint32_t, std::uint32_t>>& out) {
  const auto mx = rec.movesOf(x), my = rec.movesOf(y);
  std::size_t i = 0, j = 0;
  while (i < mx.size() && j < my.size()) {
    if (mx[i].event < my[j].event) ++i;
    else if (mx[i].event > my[j].event) ++j;
    else {
      const std::uint16_t e = mx[i].event;
      std::size_t jEnd = j;
      while (jEnd < my.size() && my[jEnd].event == e) ++jEnd;
      for (; i < mx.size() && mx[i].event == e; ++i)
        for (std::size_t k = j; k < jEnd; ++k) out.push_back({mx[i].target, my[k].target});
      j = jEnd;
    }
  }
}

// Whether the pair (i, j) is compatible: every pair reached from it by
// common events, transitively, is directly consistent. A depth-first walk
// that takes pairs already known compatible as settled and a pair known
// incompatible as a failure. On success every pair of the walk is
// compatible; on failure the pairs on the walk's current path (each
// reaches the inconsistent pair) are incompatible, and the others are left
// for later.
void settlePair(const StateRecords& rec, PairTable& table, std::uint32_t i, std::uint32_t j,
                std::vector<std::pair<std::uint32_t, std::uint32_t>>& successors, std::vector<std::uint64_t>& walked) {
  struct Frame {
    std::uint64_t pair;
    std::size_t begin, next, end; // this pair's successors: successors[begin .. end)
  };
  std::vector<Frame> path;
  successors.clear();
  walked.clear();
  const auto enter = [&](std::uint32_t x, std::uint32_t y, std::uint64_t k) {
    table.set(k, PAIR_ON_WALK);
    walked.push_back(k);
    const std::size_t begin = successors.size();
    appendSuccessors(rec, x, y, successors);
    path.push_back({k, begin, begin, successors.size()});
  };
  enter(i, j, table.index(i, j));
  bool failed = false;
  while (!path.empty() && !failed) {
    Frame& top = path.back();
    if (top.next == top.end) {
      // The successors form a stack: the top pair's lie at its end.
      successors.resize(top.begin);
      path.pop_back();
      continue;
    }
    const auto [x, y] = successors[top.next++];
    if (x == y) continue;
    const std::uint64_t k = table.index(x, y);
    switch (table.get(k)) {
    case PAIR_COMPATIBLE:
    case PAIR_ON_WALK: continue;
    case PAIR_INCOMPATIBLE: failed = true; continue;
    default: break;
    }
    if (!directlyConsistent(rec, x, y)) {
      table.set(k, PAIR_INCOMPATIBLE);
      failed = true;
      continue;
    }
    enter(x, y, k);
  }
  if (!failed) {
    for (std::uint64_t k : walked) table.set(k, PAIR_COMPATIBLE);
    return;
  }
  for (const Frame& f : path) table.set(f.pair, PAIR_INCOMPATIBLE);
  for (std::uint64_t k : walked)
    if (table.get(k) == PAIR_ON_WALK) table.set(k, PAIR_UNKNOWN);
}

// States that are pairwise not compatible need a cell each: the bound is
// the size of such a set, found by removing, while any two remaining
// states are compatible, the remaining state with the most compatible
// remaining partners (the lowest on ties).
std::int64_t lowerBound(const StateRecords& rec) {
  const std::uint32_t n = rec.n;
  if (n < 2) return n;
  PairTable table;
  if (!allocatePairTable(table, n)) return 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> successors;
  std::vector<std::uint64_t> walked;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (i % 256 == 0) reportProgressf("SLB: %ld %ld", static_cast<long>(i), static_cast<long>(n));
    for (std::uint32_t j = i + 1; j < n; ++j) {
      const std::uint64_t k = table.rowBase[i] + j;
      if (table.get(k) != PAIR_UNKNOWN) continue;
      if (!directlyConsistent(rec, i, j)) {
        table.set(k, PAIR_INCOMPATIBLE);
        continue;
      }
      settlePair(rec, table, i, j, successors, walked);
    }
  }
  std::vector<std::uint32_t> degree(n, 0);
  for (std::uint32_t i = 0; i < n; ++i)
    for (std::uint32_t j = i + 1; j < n; ++j)
      if (table.get(table.rowBase[i] + j) == PAIR_COMPATIBLE) {
        ++degree[i];
        ++degree[j];
      }
  std::vector<std::uint8_t> removed(n, 0);
  std::int64_t remaining = n;
  for (;;) {
    std::uint32_t best = 0, bestDegree = 0;
    for (std::uint32_t k = 0; k < n; ++k)
      if (!removed[k] && degree[k] > bestDegree) {
        best = k;
        bestDegree = degree[k];
      }
    if (bestDegree == 0) break;
    removed[best] = 1;
    --remaining;
    for (std::uint32_t l = 0; l < n; ++l)
      if (!removed[l] && l != best && table.get(table.index(best, l)) == PAIR_COMPATIBLE) --degree[l];
  }
  return remaining;
}

// --- The reduced structure ------------------------------------------------------------

ReducedSupervisor reducedStructure(const ReductionAutomaton& sup, const std::vector<std::uint32_t>& root) {
  ReducedSupervisor out;
  const std::size_t n = root.size();
  // Cells in ascending order of their root (their smallest member); the
  // cell of state 0 is rooted at 0 and so comes first.
  std::vector<std::int64_t> number(n, -1);
  for (std::size_t x = 0; x < n; ++x)
    if (root[x] == x) number[x] = out.size++;
  out.cellOf.resize(n);
  for (std::size_t x = 0; x < n; ++x) out.cellOf[x] = number[root[x]];
  out.triples.reserve(sup.rows.size());
  for (std::size_t x = 0; x < n; ++x)
    for (std::int64_t r = sup.firstRow[x]; r < sup.firstRow[x + 1]; ++r) {
      const ReductionRow& row = sup.rows[static_cast<std::size_t>(r)];
      if (!row.placeholder)
        out.triples.push_back({out.cellOf[x], row.event, out.cellOf[static_cast<std::size_t>(row.target)]});
    }
  normalizeSorted(out.triples);
  for (std::int64_t m : sup.markers) out.markers.push_back(out.cellOf[static_cast<std::size_t>(m)]);
  normalizeSorted(out.markers);
  return out;
}

int writeReducedFile(const std::string& path, const ReducedSupervisor& reduced) {
  AtomicFile file;
  if (!beginAtomicFile(path, file)) return REDUCE_RESULT_NOT_OPENED;
  const bool written = saveReductionDES(file.stream, reduced.size, reduced.markers, reduced.triples) == SAVE_OK;
  return commitAtomicFile(file, written) ? REDUCE_OK : REDUCE_RESULT_INCOMPLETE;
}

} // namespace

int loadReductionAutomaton(const std::string& path, ReductionAutomaton& out) {
  int fd = -1;
  if (openRegularFile(path, fd) != OPEN_OK) return LOADER_CANNOT_OPEN;
  int code = checkHeader(fd);
  DES des;
  if (code == LOADER_OK) {
    std::int64_t init = 0;
    if (::lseek(fd, 0, SEEK_SET) != 0 || loadDESDescriptor(fd, des, init) != LOAD_OK) code = LOADER_READ_ERROR;
  }
  ::close(fd);
  if (code == LOADER_OK) out = reductionAutomatonOf(des);
  return code;
}

ReductionAutomaton reductionAutomatonOf(const DES& des) {
  ReductionAutomaton a;
  a.size = des.size();
  std::size_t rows = 0;
  for (const StateRecord& s : des.states) rows += s.transitionCount ? s.transitionCount : 1;
  a.rows.reserve(rows);
  a.firstRow.resize(static_cast<std::size_t>(a.size) + 1);
  for (std::int64_t s = 0; s < a.size; ++s) {
    a.firstRow[static_cast<std::size_t>(s)] = a.rowCount();
    if (des[s].marked) a.markers.push_back(s);
    if (des[s].transitionCount == 0) a.rows.push_back({s, 0, true});
    for (const Transition& t : transitionsOf(des[s])) a.rows.push_back({t.target, t.event, false});
  }
  a.firstRow[static_cast<std::size_t>(a.size)] = a.rowCount();
  return a;
}

int reduceSupervisor(const ReductionAutomaton& plant, const ReductionAutomaton& supervisor, const DES* controlData,
                     bool computeBound, ReducedSupervisor& result, std::int64_t& lowerBoundOut) {
  lowerBoundOut = 0;
  if (plant.size == 0 || supervisor.size == 0) return REDUCE_EMPTY_INPUT;
  if (supervisor.rowCount() == 1) return REDUCE_NOTHING_TO_REDUCE;
  if (supervisor.size > MAX_REDUCIBLE_STATES) return REDUCE_TOO_LARGE;
  if (controlData && controlData->size() != supervisor.size) return REDUCE_CONTROL_DATA_MISMATCH;
  const StateRecords rec = buildRecords(plant, supervisor, controlData);
  result = reducedStructure(supervisor, greedyCover(rec));
  if (computeBound) lowerBoundOut = lowerBound(rec);
  return REDUCE_OK;
}

DES reducedDES(const ReducedSupervisor& reduced) {
  DES des = allocStates(reduced.size);
  std::vector<Transition> list;
  for (std::size_t k = 0; k < reduced.triples.size();) {
    const std::int64_t from = reduced.triples[k].from;
    list.clear();
    for (; k < reduced.triples.size() && reduced.triples[k].from == from; ++k) {
      Transition t;
      t.event = reduced.triples[k].event;
      t.target = reduced.triples[k].to;
      list.push_back(t);
    }
    // A cell whose transitions exceed the limit is shown without them;
    // the reduction's own file carries every triple.
    if (!assignTransitions(des[from], list)) continue;
  }
  for (std::int64_t m : reduced.markers) des[m].marked = 1;
  if (des.size() > 0) des[0].reached = 1;
  return des;
}

int supreduceFiles(const std::string& plantPath, const std::string& supervisorPath, const std::string& controlDataPath,
                   const std::string& resultPath, bool computeBound, std::int64_t& lowerBoundOut, float& ratio,
                   std::int64_t* reducedSize) {
  lowerBoundOut = 0;
  ratio = 0.0f;
  ReductionAutomaton plant;
  if (int code = loadReductionAutomaton(plantPath, plant)) return code;
  if (plant.size == 0) return REDUCE_EMPTY_INPUT;
  ReductionAutomaton supervisor;
  if (int code = loadReductionAutomaton(supervisorPath, supervisor)) return REDUCE_SUPERVISOR_FILE + code;
  if (supervisor.size == 0) return REDUCE_EMPTY_INPUT;
  if (supervisor.rowCount() == 1) return REDUCE_NOTHING_TO_REDUCE;
  // Missing control data are none; control data that cannot be read, or
  // those of another supervisor, are an error.
  DES controlData;
  std::int64_t init = -1;
  const LoadStatus loaded = loadDESFile(controlDataPath, controlData, init);
  if (loaded == LOAD_MALFORMED) return REDUCE_CONTROL_DATA_UNREADABLE;
  const bool haveControlData = loaded == LOAD_OK;
  ReducedSupervisor reduced;
  std::int64_t bound = 0;
  if (int code = reduceSupervisor(plant, supervisor, haveControlData ? &controlData : nullptr, computeBound, reduced,
                                  bound))
    return code;
  if (int code = writeReducedFile(resultPath, reduced)) return code;
  lowerBoundOut = bound;
  ratio = static_cast<float>(supervisor.size) / static_cast<float>(reduced.size);
  if (reducedSize) *reducedSize = reduced.size;
  return REDUCE_OK;
}

std::int64_t removeIdleSelfloops(DES& des, const EventList& kept) {
  EventList keep = kept;
  for (std::int64_t s = 0; s < des.size(); ++s)
    for (const Transition& t : transitionsOf(des[s]))
      if (t.target != s) keep.push_back(t.event);
  normalizeSorted(keep);
  std::int64_t removed = 0;
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    const auto current = transitionsOf(des[s]);
    list.clear();
    for (const Transition& t : current)
      if (t.target != s || findEvent(keep, t.event)) list.push_back(t);
    if (list.size() == current.size()) continue;
    removed += static_cast<std::int64_t>(current.size() - list.size());
    assignFittingTransitions(des[s], list); // a part of the list
  }
  return removed;
}

} // namespace kav
