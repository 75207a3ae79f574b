#include "model/desfile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "model/safefile.h"
#include "model/userfiles.h"

namespace kav {

namespace {

constexpr char MAGIC_V1[] = "Z8^0L;1";
constexpr char MAGIC_V2[] = "Z8^0L;2";
constexpr std::size_t MAGIC_LENGTH = 7;
constexpr std::uint32_t FORMAT_CONSTANT = 0xFF00AA55u;
constexpr std::size_t IO_BUFFER = 1 << 20;
// Version 1 packs a transition into one word: label above bit 22.
constexpr std::uint32_t V1_TARGET_BITS = 22;
constexpr std::uint32_t V1_TARGET_MASK = (1u << V1_TARGET_BITS) - 1;

// Little-endian writer over a stdio stream, buffered in large chunks.
class ByteWriter {
public:
  explicit ByteWriter(std::FILE* stream) : stream_(stream) { buffer_.reserve(IO_BUFFER); }
  ~ByteWriter() { flush(); }

  void bytes(const void* data, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(data);
    if (buffer_.size() + count > IO_BUFFER) flush();
    if (count > IO_BUFFER) {
      put(p, count);
      return;
    }
    buffer_.insert(buffer_.end(), p, p + count);
  }
  void u16(std::uint16_t v) { number(v, 2); }
  void u32(std::uint32_t v) { number(v, 4); }
  void i64(std::int64_t v) { number(static_cast<std::uint64_t>(v), 8); }
  void number(std::uint64_t v, int width) {
    unsigned char b[8];
    for (int k = 0; k < width; ++k) b[k] = static_cast<unsigned char>(v >> (8 * k));
    bytes(b, static_cast<std::size_t>(width));
  }
  bool flush() {
    if (!buffer_.empty()) put(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok_;
  }
  bool ok() const { return ok_; }

private:
  void put(const unsigned char* p, std::size_t count) {
    if (ok_ && std::fwrite(p, 1, count, stream_) != count) ok_ = false;
  }
  std::FILE* stream_;
  std::vector<unsigned char> buffer_;
  bool ok_ = true;
};

// Little-endian reader over a file descriptor. A read past the end sets
// the failure flag and yields zeros, so callers test failed() per section.
class ByteReader {
public:
  explicit ByteReader(int fd) : fd_(fd), buffer_(IO_BUFFER) {}

  bool bytes(void* out, std::size_t count) {
    auto* p = static_cast<unsigned char*>(out);
    while (count > 0) {
      if (pos_ == end_ && !refill()) {
        std::memset(p, 0, count);
        failed_ = true;
        return false;
      }
      std::size_t take = std::min(count, end_ - pos_);
      std::memcpy(p, buffer_.data() + pos_, take);
      pos_ += take;
      p += take;
      count -= take;
    }
    return true;
  }
  // Skips up to and including the first byte 26; false at end of file.
  bool skipHeader() {
    for (;;) {
      if (pos_ == end_ && !refill()) return false;
      const unsigned char* start = buffer_.data() + pos_;
      const void* hit = std::memchr(start, 26, end_ - pos_);
      if (hit) {
        pos_ += static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - start) + 1;
        return true;
      }
      pos_ = end_;
    }
  }
  std::uint64_t number(int width) {
    unsigned char b[8] = {};
    bytes(b, static_cast<std::size_t>(width));
    std::uint64_t v = 0;
    for (int k = width - 1; k >= 0; --k) v = (v << 8) | b[k];
    return v;
  }
  bool failed() const { return failed_; }

private:
  bool refill() {
    ssize_t got;
    do got = ::read(fd_, buffer_.data(), buffer_.size());
    while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    pos_ = 0;
    end_ = static_cast<std::size_t>(got);
    return true;
  }
  int fd_;
  std::vector<unsigned char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool failed_ = false;
};

struct Layout {
  int stateWidth; // 8 in version 2, 4 in version 1
};

void writeHeader(ByteWriter& out, const char* text, const char* magic) {
  out.bytes(text, std::strlen(text));
  out.number(26, 1);
  out.bytes(magic, MAGIC_LENGTH);
  out.u32(FORMAT_CONSTANT);
  out.u32(0); // block type: data block
}

void writeState(ByteWriter& out, std::int64_t s, int width) {
  out.number(static_cast<std::uint64_t>(s), width);
}

void writeEndBlock(ByteWriter& out) {
  out.u32(0xFFFFFFFFu); // block type -1
  out.u32(8);
  const unsigned char zeros[16] = {};
  out.bytes(zeros, sizeof zeros);
}

// Bytes of the data block from the size field through the vocal terminator.
std::uint64_t dataBlockLength(const DES& des, int width) {
  std::uint64_t length = 2u * width;
  std::uint64_t transitionBytes = width == 8 ? 16 : 4;
  for (const StateRecord& s : des.states) {
    if (s.marked) length += width;
    if (s.transitionCount) length += width + 2 + transitionBytes * s.transitionCount;
    if (s.vocal) length += width + 2;
  }
  return length + 3u * width;
}

bool writeDESBody(std::FILE* stream, const DES& des, std::int64_t init, int version) {
  const int width = version == 1 ? 4 : 8;
  ByteWriter out(stream);
  writeHeader(out, DES_HEADER_TEXT, version == 1 ? MAGIC_V1 : MAGIC_V2);
  out.u32(static_cast<std::uint32_t>(std::min<std::uint64_t>(dataBlockLength(des, width), 0xFFFFFFFFu)));
  writeState(out, des.size(), width);
  writeState(out, init, width);
  const std::int64_t n = des.size();
  for (std::int64_t s = 0; s < n; ++s)
    if (des[s].marked) writeState(out, s, width);
  writeState(out, -1, width);
  unsigned char record[16] = {};
  for (std::int64_t s = 0; s < n; ++s) {
    const StateRecord& state = des[s];
    if (state.transitionCount == 0) continue;
    writeState(out, s, width);
    out.u16(state.transitionCount);
    for (const Transition& t : transitionsOf(state)) {
      if (version == 1) {
        out.u32((static_cast<std::uint32_t>(t.event) << V1_TARGET_BITS) | static_cast<std::uint32_t>(t.target));
      } else {
        const auto target = static_cast<std::uint64_t>(static_cast<std::int64_t>(t.target));
        for (int k = 0; k < 8; ++k) record[k] = static_cast<unsigned char>(target >> (8 * k));
        record[8] = static_cast<unsigned char>(t.event);
        record[9] = static_cast<unsigned char>(t.event >> 8);
        out.bytes(record, sizeof record);
      }
    }
  }
  writeState(out, -1, width);
  for (std::int64_t s = 0; s < n; ++s) {
    if (des[s].vocal == 0) continue;
    writeState(out, s, width);
    out.u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(des[s].vocal)));
  }
  writeState(out, -1, width);
  writeEndBlock(out);
  return out.flush();
}

bool representableInVersion1(const DES& des, std::int64_t init) {
  if (des.size() > static_cast<std::int64_t>(V1_TARGET_MASK) + 1) return false;
  if (init != 0 && init != -1) return false;
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s))
      if (t.event > 1023 || t.target < 0 || t.target > static_cast<std::int64_t>(V1_TARGET_MASK)) return false;
  return true;
}

// Reads a state number of the layout; -1 is the terminator.
std::int64_t readStateNumber(ByteReader& in, const Layout& layout) {
  std::uint64_t raw = in.number(layout.stateWidth);
  if (layout.stateWidth == 4) return raw == 0xFFFFFFFFu ? -1 : static_cast<std::int64_t>(raw);
  return static_cast<std::int64_t>(raw);
}

LoadStatus readDESBody(ByteReader& in, DES& out, std::int64_t& init) {
  if (!in.skipHeader()) return LOAD_MALFORMED;
  char magic[MAGIC_LENGTH];
  if (!in.bytes(magic, MAGIC_LENGTH)) return LOAD_MALFORMED;
  Layout layout;
  if (std::memcmp(magic, MAGIC_V1, MAGIC_LENGTH) == 0) layout.stateWidth = 4;
  else if (std::memcmp(magic, MAGIC_V2, MAGIC_LENGTH) == 0) layout.stateWidth = 8;
  else return LOAD_MALFORMED;
  if (in.number(4) != FORMAT_CONSTANT) return LOAD_MALFORMED;
  if (in.number(4) != 0) return LOAD_MALFORMED; // block type
  in.number(4);                                 // block length, not used
  const std::int64_t size = readStateNumber(in, layout);
  const std::int64_t fileInit = readStateNumber(in, layout);
  if (in.failed()) return LOAD_MALFORMED;
  // A size whose records overflow the arithmetic is corrupt; one that is
  // merely too large for this machine is an allocation failure.
  if (size < 0 || size > std::numeric_limits<std::int64_t>::max() / 16) return LOAD_MALFORMED;
  if (size > MAX_STATES) throw std::bad_alloc();

  DES des = allocStates(size);
  if (size > 0) des[0].reached = 1;

  for (;;) {
    std::int64_t s = readStateNumber(in, layout);
    if (in.failed()) return LOAD_MALFORMED;
    if (s == -1) break;
    if (s < 0 || s >= size) return LOAD_MALFORMED;
    des[s].marked = 1;
  }

  std::vector<Transition> list;
  std::vector<unsigned char> records;
  // A state listed again has its further blocks collected here and merged
  // once at the end: merging each block as it comes would cost the state's
  // whole list per block, quadratic in a file that repeats one block.
  struct Repeated {
    std::int64_t state;
    Transition transition;
  };
  std::vector<Repeated> repeated;
  for (;;) {
    std::int64_t s = readStateNumber(in, layout);
    if (in.failed()) return LOAD_MALFORMED;
    if (s == -1) break;
    if (s < 0 || s >= size) return LOAD_MALFORMED;
    const auto count = static_cast<std::uint16_t>(in.number(2));
    StateRecord& state = des[s];
    // One read per state: the records of a state lie together.
    const std::size_t recordBytes = layout.stateWidth == 4 ? 4 : 16;
    records.resize(recordBytes * count);
    if (!in.bytes(records.data(), records.size())) return LOAD_MALFORMED;
    const bool again = state.transitionCount > 0;
    list.clear();
    for (std::uint32_t k = 0; k < count; ++k) {
      const unsigned char* r = records.data() + recordBytes * k;
      std::int64_t target;
      std::uint16_t event;
      if (layout.stateWidth == 4) {
        const std::uint32_t word = r[0] | (r[1] << 8) | (r[2] << 16) | (static_cast<std::uint32_t>(r[3]) << 24);
        target = word & V1_TARGET_MASK;
        event = static_cast<std::uint16_t>(word >> V1_TARGET_BITS);
      } else {
        std::uint64_t raw = 0;
        for (int b = 7; b >= 0; --b) raw = (raw << 8) | r[b];
        target = static_cast<std::int64_t>(raw);
        event = static_cast<std::uint16_t>(r[8] | (r[9] << 8));
      }
      if (target < 0 || target >= size) return LOAD_MALFORMED;
      Transition t;
      t.target = target;
      t.event = event;
      if (again) repeated.push_back({s, t});
      else list.push_back(t);
    }
    if (!again && !assignTransitions(state, list)) return LOAD_MALFORMED;
  }
  std::sort(repeated.begin(), repeated.end(), [](const Repeated& a, const Repeated& b) {
    return a.state != b.state ? a.state < b.state : a.transition < b.transition;
  });
  for (std::size_t k = 0; k < repeated.size();) {
    StateRecord& state = des[repeated[k].state];
    list.assign(transitionsOf(state).begin(), transitionsOf(state).end());
    const std::int64_t s = repeated[k].state;
    for (; k < repeated.size() && repeated[k].state == s; ++k) list.push_back(repeated[k].transition);
    // More than a state can hold is corrupt.
    normalizeSorted(list);
    if (list.size() > MAX_TRANSITIONS_PER_STATE || !assignTransitions(state, list)) return LOAD_MALFORMED;
  }

  for (;;) {
    std::int64_t s = readStateNumber(in, layout);
    if (in.failed()) return LOAD_MALFORMED;
    if (s == -1) break;
    if (s < 0 || s >= size) return LOAD_MALFORMED;
    const auto value = static_cast<std::int16_t>(in.number(2));
    if (in.failed()) return LOAD_MALFORMED;
    des[s].vocal = static_cast<std::int16_t>(value & 0x1FFF) - ((value & 0x1000) ? 0x2000 : 0);
  }

  out = std::move(des);
  init = fileInit;
  return LOAD_OK;
}

} // namespace

int saveDESFile(const std::string& path, const DES& des, std::int64_t init, int version) {
  if (version == 1 && !representableInVersion1(des, init)) return SAVE_FAILED;
  const bool saved =
      writeFileAtomically(path, [&](std::FILE* stream) { return writeDESBody(stream, des, init, version); });
  return saved ? SAVE_OK : SAVE_FAILED;
}

int saveDES(std::string_view name, const DES& des, std::int64_t init) {
  const int version = sizeof(void*) >= 8 ? 2 : 1;
  return saveDESFile(userPath(name, init == -1 ? ".DAT" : ".DES"), des, init, version);
}

LoadStatus loadDESFile(const std::string& path, DES& out, std::int64_t& init) {
  freeDES(out);
  int fd = -1;
  switch (openRegularFile(path, fd)) {
  case OPEN_OK: break;
  case OPEN_MISSING: return LOAD_MISSING;
  // A file that is there but cannot be read (a directory, a FIFO, a
  // device) is not taken for a missing one.
  case OPEN_UNREADABLE: return LOAD_MALFORMED;
  }
  LoadStatus status = loadDESDescriptor(fd, out, init);
  ::close(fd);
  return status;
}

LoadStatus loadDESDescriptor(int fd, DES& out, std::int64_t& init) {
  freeDES(out);
  ByteReader in(fd);
  return readDESBody(in, out, init);
}

LoadStatus loadDES(std::string_view name, std::int64_t& init, DES& out) {
  return loadDESFile(userPath(name, init == -1 ? ".DAT" : ".DES"), out, init);
}

int saveReductionDES(std::FILE* stream, std::int64_t size, std::span<const std::int64_t> markers,
                     std::span<const Triple> triples) {
  ByteWriter out(stream);
  writeHeader(out, REDUCTION_HEADER_TEXT, MAGIC_V2);
  out.u32(0); // block length, not used by readers
  out.i64(size);
  out.i64(0);
  for (std::int64_t m : markers) {
    if (m == -1) break;
    out.i64(m);
  }
  out.i64(-1);
  std::size_t next = 0;
  unsigned char record[16] = {};
  for (std::int64_t s = 0; s < size; ++s) {
    std::size_t first = next;
    while (next < triples.size() && triples[next].from == s) ++next;
    std::uint16_t count = 0;
    for (std::size_t k = first; k < next; ++k)
      if (triples[k].event <= EPSILON_LABEL) ++count;
    out.i64(s);
    out.u16(count);
    for (std::size_t k = first; k < next; ++k) {
      if (triples[k].event > EPSILON_LABEL) continue;
      const auto target = static_cast<std::uint64_t>(triples[k].to);
      for (int b = 0; b < 8; ++b) record[b] = static_cast<unsigned char>(target >> (8 * b));
      record[8] = static_cast<unsigned char>(triples[k].event);
      record[9] = static_cast<unsigned char>(triples[k].event >> 8);
      out.bytes(record, sizeof record);
    }
  }
  out.i64(-1);
  out.i64(-1); // empty vocal section
  writeEndBlock(out);
  return out.flush() ? SAVE_OK : SAVE_FAILED;
}

} // namespace kav
