// The hash table of HASHTBL: buckets, key order and the two-index reads.
#include "engine/values/hash_table.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <optional>

#include "support/text.h"
#include "support/unicode_case.h"
#include "support/utf.h"

namespace vesk {
namespace {

// Larger requests are capped so that the prime search cannot overflow; no
// table needs more buckets than this.
constexpr int32_t k_most_buckets = 1 << 24;

constexpr double k_hash_key = -101;
constexpr double k_hash_val = -102;
constexpr double k_hash_exists = -103;
constexpr double k_hash_remove = -104;

// Divisibility by 2 and 3 shows in the residue modulo 6; the other divisors
// tried are 5, 7, 11, 13, … (6k - 1 and 6k + 1) up to the rounded root.
bool is_prime(int32_t n) {
  if (n < 2) return false;
  if (n < 4) return true;
  if (n % 6 != 1 && n % 6 != 5) return false;
  int32_t root = static_cast<int32_t>(std::lround(std::sqrt(static_cast<double>(n))));
  for (int32_t d = 5; d <= root; d += 6)
    if (n % d == 0 || n % (d + 2) == 0) return false;
  return true;
}

// A position written as a number ("3", "3.0", "-1"), truncated toward zero;
// nothing when the text is no number.
std::optional<int64_t> position_number(std::u16string_view text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c >= 0x80) return std::nullopt;
    if (c != u' ' && c != u'\t') ascii.push_back(static_cast<char>(c));
  }
  double number = 0;
  const char* end = ascii.data() + ascii.size();
  auto [stop, error] = std::from_chars(ascii.data(), end, number);
  if (error != std::errc() || stop != end || !std::isfinite(number)) return std::nullopt;
  if (std::fabs(number) > 2147483647.0) return std::nullopt;
  return static_cast<int64_t>(std::trunc(number));
}

// Element [n] of an array value: a one-dimensional array counts from its
// lower bound, a larger one by flat position.
Result<Value, MessageId> array_element(const Value& value, double n) {
  if (!value.is_array()) return MessageId::HashSpecifiedWrong;
  const ArrayData& array = value.as_array();
  double index = std::trunc(n);
  if (array.dimensions.size() == 1) index -= array.dimensions[0].lower;
  if (!(index >= 0 && index < static_cast<double>(array.elements.size()))) return MessageId::HashOutsideRange;
  return array.elements[static_cast<size_t>(index)];
}

// Makes room for one more element, growing as push_back would.
template <class T>
void room_for_one(std::vector<T>& list) {
  if (list.size() == list.capacity()) list.reserve(list.empty() ? 4 : list.size() * 2);
}

// A table grows when it holds more than this many keys a bucket, to this
// many times its buckets.
constexpr size_t k_keys_per_bucket = 2;
constexpr int32_t k_growth = 4;

// Bucket hash [Selector] over [key]'s bytes.
template <int32_t Selector>
uint32_t hash_with(std::string_view key) {
  uint32_t h = 0;
  for (char c : key) {
    uint32_t b = static_cast<unsigned char>(c);
    if constexpr (Selector == 2) {
      h = std::rotl(h, 5) ^ b;
    } else if constexpr (Selector == 3) {
      h = h * 31 ^ b;
    } else if constexpr (Selector == 4) {
      h = h * 16 + b;
      uint32_t g = h & 0xF0000000u;
      if (g != 0) h = (h ^ (g >> 24)) & ~g;
    } else {
      h = h * 43 ^ b;
    }
  }
  return h;
}

}  // namespace

bool hash_options_valid(int64_t options) { return (options & ~int64_t{k_hash_case_care | k_hash_sort}) == 0; }

int32_t hash_bucket_count(int32_t requested) {
  int32_t n = std::clamp(requested, 1, k_most_buckets);
  if (is_prime(n)) return n;
  if (n == 4) return 5;
  for (int32_t m = (n + 1) / 6 * 6 - 1;; m += 6) {
    if (is_prime(m + 2)) return m + 2;
    if (is_prime(m)) return m;
  }
}

int32_t hash_grown_bucket_count(int32_t count) {
  // At the cap the prime found may lie below the count already there: the
  // table then stays as it is rather than re-bucket on every key.
  int32_t grown = hash_bucket_count(static_cast<int32_t>(std::min<int64_t>(int64_t{count} * k_growth, k_most_buckets)));
  return std::max(grown, count);
}

TSZHash::TSZHash(int32_t options, int32_t hash_selector, int32_t requested_buckets)
    : m_options(options),
      m_selector(hash_selector >= 1 && hash_selector <= 4 ? hash_selector : 1),
      m_heads(static_cast<size_t>(hash_bucket_count(requested_buckets)), -1) {}

TSZHash::KeyForm TSZHash::form_of(std::u16string_view key) const {
  // OPTIMIZATION: an ASCII key is its own UTF-8 form; it is upper-cased on
  // the way, with no text in between.
  KeyForm form;
  form.text.resize(key.size());
  bool upper = !case_sensitive();
  for (size_t i = 0; i < key.size(); ++i) {
    char16_t c = key[i];
    if (c >= 0x80) {
      form.text = upper ? utf16_to_utf8(unicode_upper(key)) : utf16_to_utf8(key);
      break;
    }
    form.text[i] = static_cast<char>(upper ? ascii_upper(c) : c);
  }
  form.hash = hash_of(form.text);
  return form;
}

uint32_t TSZHash::hash_of(std::string_view bucket_key) const {
  switch (m_selector) {
    case 2: return hash_with<2>(bucket_key);
    case 3: return hash_with<3>(bucket_key);
    case 4: return hash_with<4>(bucket_key);
    default: return hash_with<1>(bucket_key);
  }
}

int32_t TSZHash::position(const KeyForm& form) const {
  for (int32_t at = m_heads[form.hash % m_heads.size()]; at >= 0; at = m_entries[at].next) {
    const TSZHashData& e = m_entries[at];
    if (e.hash == form.hash && e.key == form.text) return at;
  }
  return -1;
}

void TSZHash::rebucket(int32_t count) {
  std::vector<int32_t> heads(static_cast<size_t>(count), -1);
  // Entries are linked in reverse so that each bucket keeps their order.
  for (size_t i = m_entries.size(); i-- > 0;) {
    uint32_t b = m_entries[i].hash % static_cast<uint32_t>(count);
    m_entries[i].next = heads[b];
    heads[b] = static_cast<int32_t>(i);
  }
  m_heads = std::move(heads);
}

// Case-insensitive keys sort by their upper-cased units. Case-sensitive keys
// sort the same way first; keys that differ only in case then put the lower
// case first, as a dictionary does ("a" < "A" < "b").
bool TSZHash::key_before(std::u16string_view a, std::u16string_view b) const {
  int order = unicode_icompare(a, b);
  if (order != 0 || !case_sensitive()) return order < 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    bool a_lower = unicode_upper(a[i]) != a[i], b_lower = unicode_upper(b[i]) != b[i];
    if (a_lower != b_lower) return a_lower;
    return a[i] < b[i];
  }
  return false;
}

bool TSZHash::same_key(std::u16string_view a, std::u16string_view b) const {
  return case_sensitive() ? a == b : unicode_iequals(a, b);
}

void TSZHash::add_to_key_order(std::u16string_view key) {
  if (!sorted()) {
    m_key_order.emplace_back(key);
    return;
  }
  auto at = std::upper_bound(m_key_order.begin(), m_key_order.end(), key,
                             [this](std::u16string_view k, const std::u16string& e) { return key_before(k, e); });
  m_key_order.emplace(at, key);
}

void TSZHash::remove_from_key_order(std::u16string_view key) {
  auto begin = m_key_order.begin();
  if (sorted()) {
    // Every key that compares the same as [key] lies from here on.
    begin = std::lower_bound(m_key_order.begin(), m_key_order.end(), key,
                             [this](const std::u16string& e, std::u16string_view k) { return key_before(e, k); });
  }
  auto at = std::find_if(begin, m_key_order.end(), [&](const std::u16string& e) { return same_key(e, key); });
  if (at != m_key_order.end()) m_key_order.erase(at);
}

bool TSZHash::put(std::u16string_view key, Value value) {
  KeyForm form = form_of(key);
  if (int32_t at = position(form); at >= 0) {
    m_entries[at].value = std::move(value);
    return false;
  }
  // Room is made first: when memory runs out the table stays as it was, and
  // the steps below cannot fail, so entries, buckets and key order stay in
  // step.
  room_for_one(m_entries);
  if (m_entries.size() >= m_heads.size() * k_keys_per_bucket) {
    int32_t count = static_cast<int32_t>(m_heads.size());
    if (int32_t grown = hash_grown_bucket_count(count); grown > count) rebucket(grown);
  }
  add_to_key_order(key);
  uint32_t bucket = form.hash % static_cast<uint32_t>(m_heads.size());
  m_entries.push_back(TSZHashData{std::move(form.text), std::move(value), form.hash, m_heads[bucket]});
  m_heads[bucket] = static_cast<int32_t>(m_entries.size() - 1);
  return true;
}

bool TSZHash::remove(std::u16string_view key, bool keep_order) {
  KeyForm form = form_of(key);
  int32_t at = position(form);
  if (at < 0) return false;
  // Each link that names [from] is made to name [to].
  auto relink = [this](int32_t from, int32_t to) {
    int32_t* link = &m_heads[m_entries[from].hash % m_heads.size()];
    while (*link != from) link = &m_entries[*link].next;
    *link = to;
  };
  relink(at, m_entries[at].next);
  int32_t last = static_cast<int32_t>(m_entries.size() - 1);
  if (at != last) {
    relink(last, at);
    m_entries[at] = std::move(m_entries[last]);
  }
  m_entries.pop_back();
  if (!keep_order) remove_from_key_order(key);
  return true;
}

const Value* TSZHash::find(std::u16string_view key) const {
  int32_t at = position(form_of(key));
  return at < 0 ? nullptr : &m_entries[at].value;
}

Value* TSZHash::find(std::u16string_view key) {
  return const_cast<Value*>(static_cast<const TSZHash*>(this)->find(key));
}

const Value& TSZHash::value_at(int32_t position) const {
  static const Value k_absent;
  const Value* value = find(m_key_order[position]);
  return value ? *value : k_absent;
}

void TSZHash::clear() {
  for (auto key = m_key_order.rbegin(); key != m_key_order.rend(); ++key) remove(*key, true);
  m_key_order.clear();
}

void TSZHash::assign(const TSZHash& other) {
  if (this != &other) *this = other;
}

int32_t TSZHash::longest_bucket() const {
  int32_t most = 0;
  for (int32_t head : m_heads) {
    int32_t length = 0;
    for (int32_t at = head; at >= 0; at = m_entries[at].next) ++length;
    most = std::max(most, length);
  }
  return most;
}

Result<Value, MessageId> read_hash_with_selector(TSZHash& table, std::u16string_view first, double second) {
  if (second == k_hash_key || second == k_hash_val) {
    std::optional<int64_t> position = position_number(first);
    if (!position || *position < 0 || *position >= table.count()) return MessageId::HashOutsideRange;
    int32_t at = static_cast<int32_t>(*position);
    if (second == k_hash_key) return Value::string(table.key_at(at));
    return table.value_at(at);
  }
  if (second == k_hash_exists) return Value::boolean(table.find(first) != nullptr);
  if (second == k_hash_remove) return Value::boolean(table.remove(first));
  const Value* value = table.find(first);
  return array_element(value ? *value : Value(), second);
}

}  // namespace vesk
