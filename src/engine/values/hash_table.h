// The script's hash tables (HASHTBL): values under text keys, with the keys
// also kept in order so that a script can walk the table by position.
//
// A table hashes each key into one of a fixed number of buckets and keeps,
// beside the buckets, the key order: every key as the script first wrote it,
// in insertion order, or sorted under HASH_SORT. Without HASH_CASECARE keys
// that differ only in case are one key. A look-up costs one pass over the
// key that makes its UTF-8 form and hash, and a scan of one bucket; position access reads the key
// order and then looks the key up.
//
// The bucket count starts from the declaration's request and is not visible
// to scripts: a table that holds more than two keys a bucket grows to four
// times the buckets, so a look-up scans a bucket of a key or two however
// many keys the table holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/value.h"
#include "support/messages.h"
#include "support/result.h"

namespace vesk {

// Declaration options (HASH_CASECARE, HASH_SORT); no other bit is allowed.
inline constexpr int32_t k_hash_case_care = 4096;
inline constexpr int32_t k_hash_sort = 8192;

// What HASHTBL declarations ask for: bucket hash 2 and about 1023 buckets.
inline constexpr int32_t k_hash_selector_in_use = 2;
inline constexpr int32_t k_hash_requested_buckets = 1023;

// True when [options] holds no bit but HASH_CASECARE and HASH_SORT.
bool hash_options_valid(int64_t options);

// The prime bucket count that a [requested] count becomes (1023 gives 1021,
// 4 gives 5).
int32_t hash_bucket_count(int32_t requested);

// The bucket count a table of [count] buckets grows to when it holds two
// keys a bucket; [count] itself once no larger count is allowed.
int32_t hash_grown_bucket_count(int32_t count);

// One entry: the key in its bucket form (UTF-8, upper-cased unless keys are
// case-sensitive), the value, the bucket hash of the form before it is
// reduced to a bucket, and the next entry of the same bucket (-1 at the end).
struct TSZHashData {
  std::string key;
  Value value;
  uint32_t hash = 0;
  int32_t next = -1;
};

class TSZHash {
 public:
  // Makes an empty table with [options] (HASH_CASECARE, HASH_SORT; checked by
  // the caller with hash_options_valid), the bucket hash [hash_selector]
  // (1 to 4; any other number means 1) and about [requested_buckets] buckets.
  explicit TSZHash(int32_t options = 0, int32_t hash_selector = k_hash_selector_in_use,
                   int32_t requested_buckets = k_hash_requested_buckets);

  // Stores [value] under [key]. An existing key keeps its spelling and its
  // position; returns true when the key was new.
  bool put(std::u16string_view key, Value value);

  // Removes [key]; returns true when it was there. With [keep_order] the key
  // stays in the key order (Clear empties the key order itself).
  bool remove(std::u16string_view key, bool keep_order = false);

  // The value under [key], or null when the key is absent.
  const Value* find(std::u16string_view key) const;
  Value* find(std::u16string_view key);

  int32_t count() const { return static_cast<int32_t>(m_key_order.size()); }

  // The key and the value at [position] of the key order, which must lie in
  // 0 … count() - 1.
  const std::u16string& key_at(int32_t position) const { return m_key_order[position]; }
  const Value& value_at(int32_t position) const;

  void clear();

  // Makes this table an exact copy of [other]: options, buckets, key order
  // and values. Values share their buffers copy-on-write, so a later change
  // to either table does not reach the other.
  void assign(const TSZHash& other);

  int32_t options() const { return m_options; }
  int32_t hash_selector() const { return m_selector; }
  int32_t bucket_count() const { return static_cast<int32_t>(m_heads.size()); }
  bool case_sensitive() const { return (m_options & k_hash_case_care) != 0; }
  bool sorted() const { return (m_options & k_hash_sort) != 0; }

  // The most entries that any one bucket holds (for measuring the spread).
  int32_t longest_bucket() const;

 private:
  struct KeyForm {
    std::string text;
    uint32_t hash = 0;
  };
  // The bucket form of [key] and its bucket hash, made in one pass.
  KeyForm form_of(std::u16string_view key) const;
  uint32_t hash_of(std::string_view bucket_key) const;
  // The entry that holds [form], or -1.
  int32_t position(const KeyForm& form) const;
  // Spreads the entries over [count] buckets.
  void rebucket(int32_t count);
  // True when [a] comes before [b] in the key order.
  bool key_before(std::u16string_view a, std::u16string_view b) const;
  bool same_key(std::u16string_view a, std::u16string_view b) const;
  void add_to_key_order(std::u16string_view key);
  void remove_from_key_order(std::u16string_view key);

  int32_t m_options;
  int32_t m_selector;
  // The first entry of each bucket, -1 for an empty one.
  std::vector<int32_t> m_heads;
  // Every entry, in no order: a removed one is replaced by the last.
  std::vector<TSZHashData> m_entries;
  std::vector<std::u16string> m_key_order;
};

// The reads of a hash table with two indices, h[first, second]:
//   second HASH_KEY, HASH_VAL: [first] is a position of the key order, and
//     the result is its key or its value;
//   second HASH_EXISTS: TRUE when the key [first] is there, else FALSE;
//   second HASH_REMOVE: removes the key [first]; TRUE when it was there;
//   any other second n: element n of the array stored under the key [first].
// [second] is the second index already made a number. The error is the
// message to report with the table's name: HashOutsideRange for a position
// or element outside the table or array, HashSpecifiedWrong when the value
// under the key is no array. A position that is no number is outside. TRUE and FALSE are Booleans; a
// caller under OPTION OLDBOOL substitutes its own.
Result<Value, MessageId> read_hash_with_selector(TSZHash& table, std::u16string_view first, double second);

}  // namespace vesk
