#pragma once

// An open-addressing hash map from a 64-bit key (the code of a pair of
// states) to a 64-bit value (a state number). The products look up one pair
// per transition they build, and the pairwise minimizer one per pair it
// visits; std::unordered_map spends an allocation and some 50 bytes per
// entry on that, this map 32 to 64 bytes (16-byte slots, a quarter to half
// of them used) in one array and no allocation per entry, and the packed
// form below half of that.
//
// Linear probing over a power-of-two array of slots; the array doubles when
// it would be more than half full, so a lookup inspects about two slots on
// average. No deletion: the users only ever add.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ops/hugepages.h"

namespace kav {

struct PairMap {
  // A free slot holds this key; no pair code reaches it.
  static constexpr std::uint64_t EMPTY_KEY = ~std::uint64_t{0};

  struct Slot {
    std::uint64_t key;  // EMPTY_KEY when free
    std::int64_t value; // meaningful only when key != EMPTY_KEY
  };

  std::unique_ptr<Slot[]> slots; // capacity entries
  std::size_t capacity = 0;       // 0 or a power of two
  std::size_t count = 0;          // occupied slots, <= capacity / 2
  unsigned shift = 64;            // 64 - log2(capacity)

  std::size_t size() const { return count; }
  // Bytes held by the slot array.
  std::size_t bytes() const { return capacity * sizeof(Slot); }

  // Room for `entries` keys without growing.
  void reserve(std::size_t entries) {
    std::size_t wanted = 16;
    while (wanted < 2 * entries) wanted *= 2;
    if (wanted > capacity) rehash(wanted);
  }

  // The value stored under key, or -1 when the key is absent.
  std::int64_t find(std::uint64_t key) const {
    if (capacity == 0) return -1;
    const std::size_t mask = capacity - 1;
    for (std::size_t i = home(key);; i = (i + 1) & mask) {
      const Slot& s = slots[i];
      if (s.key == key) return s.value;
      if (s.key == EMPTY_KEY) return -1;
    }
  }

  // The value already stored under key; when the key is absent, stores
  // `value` under it and returns that.
  std::int64_t insertOrFind(std::uint64_t key, std::int64_t value) {
    if (2 * (count + 1) > capacity) rehash(capacity == 0 ? 16 : 2 * capacity);
    const std::size_t mask = capacity - 1;
    for (std::size_t i = home(key);; i = (i + 1) & mask) {
      Slot& s = slots[i];
      if (s.key == key) return s.value;
      if (s.key == EMPTY_KEY) {
        s.key = key;
        s.value = value;
        ++count;
        return value;
      }
    }
  }

  // The slot a key probes first. Fibonacci hashing: the multiplication
  // spreads the dense, regular pair codes over the whole array.
  std::size_t home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift);
  }

  // Where the next lookup of key will look first, for prefetching.
  const Slot* homeSlot(std::uint64_t key) const { return capacity ? slots.get() + home(key) : nullptr; }

  void rehash(std::size_t newSize) {
    std::unique_ptr<Slot[]> old = std::move(slots);
    const std::size_t oldSize = capacity;
    slots = std::make_unique_for_overwrite<Slot[]>(newSize);
    // Lookups land at random; advised before the pages are touched.
    adviseHugePages(slots.get(), newSize * sizeof(Slot));
    for (std::size_t i = 0; i < newSize; ++i) slots[i] = Slot{EMPTY_KEY, 0};
    capacity = newSize;
    shift = 64;
    for (std::size_t n = newSize; n > 1; n >>= 1) --shift;
    const std::size_t mask = newSize - 1;
    for (std::size_t k = 0; k < oldSize; ++k) {
      const Slot& s = old[k];
      if (s.key == EMPTY_KEY) continue;
      std::size_t i = home(s.key);
      while (slots[i].key != EMPTY_KEY) i = (i + 1) & mask;
      slots[i] = s;
    }
  }
};

// The same map for codes and values below 2^32 - 1, in 8-byte slots
// (code << 32 | value + 1; 0 = free): half the memory and half the cache
// lines of PairMap. The products use it whenever N1 * N2 < 2^32 - 1.
struct PackedPairMap {
  static constexpr std::uint64_t LIMIT = 0xffffffffu; // codes and values stay below

  std::unique_ptr<std::uint64_t[]> slots; // capacity entries
  std::size_t capacity = 0;               // 0 or a power of two
  std::size_t count = 0;                  // occupied slots, <= capacity / 2
  unsigned shift = 64;                    // 64 - log2(capacity)

  std::size_t size() const { return count; }
  std::size_t bytes() const { return capacity * sizeof(std::uint64_t); }

  void reserve(std::size_t entries) {
    std::size_t wanted = 16;
    while (wanted < 2 * entries) wanted *= 2;
    if (wanted > capacity) rehash(wanted);
  }

  std::size_t home(std::uint64_t code) const {
    return static_cast<std::size_t>((code * 0x9E3779B97F4A7C15ull) >> shift);
  }
  const std::uint64_t* homeSlot(std::uint64_t code) const { return capacity ? slots.get() + home(code) : nullptr; }

  std::int64_t find(std::uint64_t code) const {
    if (capacity == 0) return -1;
    const std::size_t mask = capacity - 1;
    for (std::size_t i = home(code);; i = (i + 1) & mask) {
      const std::uint64_t s = slots[i];
      if (s == 0) return -1;
      if (s >> 32 == code) return static_cast<std::int64_t>(s & LIMIT) - 1;
    }
  }

  std::int64_t insertOrFind(std::uint64_t code, std::int64_t value) {
    if (2 * (count + 1) > capacity) rehash(capacity == 0 ? 16 : 2 * capacity);
    const std::size_t mask = capacity - 1;
    for (std::size_t i = home(code);; i = (i + 1) & mask) {
      const std::uint64_t s = slots[i];
      if (s == 0) {
        slots[i] = code << 32 | static_cast<std::uint64_t>(value + 1);
        ++count;
        return value;
      }
      if (s >> 32 == code) return static_cast<std::int64_t>(s & LIMIT) - 1;
    }
  }

  void rehash(std::size_t newSize) {
    std::unique_ptr<std::uint64_t[]> old = std::move(slots);
    const std::size_t oldSize = capacity;
    slots = std::make_unique_for_overwrite<std::uint64_t[]>(newSize);
    adviseHugePages(slots.get(), newSize * sizeof(std::uint64_t));
    for (std::size_t i = 0; i < newSize; ++i) slots[i] = 0;
    capacity = newSize;
    shift = 64;
    for (std::size_t n = newSize; n > 1; n >>= 1) --shift;
    const std::size_t mask = newSize - 1;
    for (std::size_t k = 0; k < oldSize; ++k) {
      if (old[k] == 0) continue;
      std::size_t i = home(old[k] >> 32);
      while (slots[i] != 0) i = (i + 1) & mask;
      slots[i] = old[k];
    }
  }
};

// A set of pair codes below a known bound, for searches that only need to
// know which pairs they have seen (tens of millions of them). Quotienting
// keeps an entry at 4 bytes whatever the code's width: codes are spread by
// an invertible mix over the B bits the bound needs; the top log2(capacity)
// bits of the mixed code choose the home slot and only the other bits (at
// most 24) are stored, with the distance from the home slot (at most 127)
// from which the home is recovered. Linear probing, at most half full.
// Needs B <= 24 + log2(capacity); the constructor sizes the array for that,
// so a bound above 2^44 would start at 4 MiB or more and is better served
// by PairMap.
struct PairSet {
  static constexpr unsigned MAX_REST = 24;     // bits of the mixed code stored in an entry
  static constexpr std::uint32_t MAX_SHIFT = 127; // largest distance from the home slot

  std::unique_ptr<std::uint32_t[]> slots; // 0 = free, else rest << 8 | distance << 1 | 1
  std::size_t capacity = 0;               // a power of two
  std::size_t count = 0;                  // occupied slots, <= capacity / 2
  unsigned bits = 16;                     // B: codes are below 2^(bits - 1)
  unsigned slotBits = 0;                  // log2(capacity)

  // Codes below `bound`. One bit more than the bound needs leaves room for
  // a table of twice the codes, so that rests never go negative.
  explicit PairSet(std::uint64_t bound) {
    bits = 16;
    while (bits < 64 && (std::uint64_t{1} << (bits - 1)) < bound) ++bits;
    unsigned start = 10;
    if (bits > MAX_REST + start) start = bits - MAX_REST;
    allocate(start);
  }

  std::size_t size() const { return count; }
  std::size_t bytes() const { return capacity * sizeof(std::uint32_t); }

  // The code mixed over B bits; invertible, so distinct codes stay distinct.
  std::uint64_t mix(std::uint64_t code) const {
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    const unsigned half = (bits + 1) / 2;
    std::uint64_t x = (code * 0x9E3779B97F4A7C15ull) & mask;
    x ^= x >> half;
    x = (x * 0xbf58476d1ce4e5b9ull) & mask;
    return x ^ (x >> half);
  }

  void prefetch(std::uint64_t code) const { __builtin_prefetch(slots.get() + (mix(code) >> (bits - slotBits)), 1); }

  // Adds the code; true when it was not in the set yet.
  bool insert(std::uint64_t code) {
    if (2 * (count + 1) > capacity) allocate(slotBits + 1);
    const std::uint64_t h = mix(code);
    for (;;) {
      const Placed p = place(h, false);
      if (p == Placed::PRESENT) return false;
      if (p == Placed::ADDED) {
        ++count;
        return true;
      }
      allocate(slotBits + 1); // a run longer than MAX_SHIFT: spread out
    }
  }

private:
  enum class Placed { ADDED, PRESENT, RUN_TOO_LONG };

  // Puts the mixed code h in its run unless it is there already (`known`:
  // it is not, skip the comparisons).
  Placed place(std::uint64_t h, bool known) {
    const unsigned restBits = bits - slotBits;
    const std::size_t mask = capacity - 1;
    const auto rest = static_cast<std::uint32_t>(h & ((std::uint64_t{1} << restBits) - 1));
    std::size_t i = static_cast<std::size_t>(h >> restBits);
    for (std::uint32_t shift = 0; shift <= MAX_SHIFT; ++shift, i = (i + 1) & mask) {
      const std::uint32_t e = slots[i];
      if (e == 0) {
        slots[i] = rest << 8 | shift << 1 | 1;
        return Placed::ADDED;
      }
      if (!known && (e >> 1 & MAX_SHIFT) == shift && e >> 8 == rest) return Placed::PRESENT;
    }
    return Placed::RUN_TOO_LONG;
  }

  void allocate(unsigned newSlotBits) {
    std::unique_ptr<std::uint32_t[]> old = std::move(slots);
    const std::size_t oldCapacity = capacity;
    const unsigned oldRestBits = bits - slotBits;
    slots = std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t{1} << newSlotBits);
    adviseHugePages(slots.get(), (std::size_t{1} << newSlotBits) * sizeof(std::uint32_t));
    capacity = std::size_t{1} << newSlotBits;
    for (std::size_t i = 0; i < capacity; ++i) slots[i] = 0;
    slotBits = newSlotBits;
    for (std::size_t i = 0; i < oldCapacity; ++i) {
      const std::uint32_t e = old[i];
      if (e == 0) continue;
      const std::uint64_t home = (i - (e >> 1 & MAX_SHIFT)) & (oldCapacity - 1);
      const std::uint64_t h = home << oldRestBits | e >> 8;
      // A run too long even now: grow again, which re-places everything
      // placed so far, then this one.
      while (place(h, true) != Placed::ADDED) allocate(slotBits + 1);
    }
  }
};

} // namespace kav
