// The key of a variable name, for checking a remembered slot quickly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vesk {

// OPTIMIZATION: a name's key, made once, so a slot's name is checked by two
// word compares instead of its text. A name of up to seven units is its own
// key (its units and its length): two such keys are equal exactly when the
// names are. A longer name's key holds its first four units, a hash of the
// rest and a mark; equal keys are then confirmed on the texts.
struct NameKey {
  uint64_t head = 0;
  uint64_t tail = 0;

  static NameKey of(std::u16string_view name) {
    NameKey key;
    for (size_t i = 0; i < 4 && i < name.size(); ++i) key.head |= uint64_t(name[i]) << (16 * i);
    if (name.size() <= k_exact) {
      for (size_t i = 4; i < name.size(); ++i) key.tail |= uint64_t(name[i]) << (16 * (i - 4));
      key.tail |= uint64_t(name.size()) << 56;
    } else {
      uint64_t hash = 14695981039346656037ull;  // FNV-1a over the units after the fourth
      for (size_t i = 4; i < name.size(); ++i) hash = (hash ^ name[i]) * 1099511628211ull;
      key.tail = (hash & ((uint64_t(1) << 56) - 1)) | (uint64_t(0xFF) << 56);
    }
    return key;
  }
  bool exact() const { return (tail >> 56) <= k_exact; }
  [[gnu::always_inline]] friend bool operator==(const NameKey& a, const NameKey& b) {
    return a.head == b.head && a.tail == b.tail;
  }

 private:
  static constexpr size_t k_exact = 7;
};

}  // namespace vesk
