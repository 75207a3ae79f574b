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

} // namespace kav
