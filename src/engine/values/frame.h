// The call frame `THensuFmt`: the variables of one running procedure,
// function, event handler or thread, and the per-call state that the
// variable store and the engine read.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/values/hash_table.h"
#include "engine/values/name_key.h"
#include "engine/values/value.h"

namespace vesk {

// A list of names with their positions, found by hashing. Positions are
// the order of addition and never change: a name's position is its slot.
class NameIndex {
 public:
  NameIndex() = default;
  // A new index keeps no versions (keep_versions) of its own.
  NameIndex(NameIndex&& other) noexcept
      : m_names(std::move(other.m_names)), m_keys(std::move(other.m_keys)), m_index(std::move(other.m_index)) {}
  NameIndex(const NameIndex& other) : m_names(other.m_names), m_keys(other.m_keys) {
    if (other.m_index) m_index = std::make_unique<Map>(*other.m_index);
  }
  NameIndex& operator=(NameIndex&& other) noexcept {
    m_names = std::move(other.m_names);
    m_keys = std::move(other.m_keys);
    m_index = std::move(other.m_index);
    changed();
    return *this;
  }
  NameIndex& operator=(const NameIndex& other) {
    if (this != &other) *this = NameIndex(other);
    return *this;
  }

  // OPTIMIZATION: from now on the index has a version that changes with
  // every change of its names, for caches of a lookup that found nothing
  // (the global variables keep one). Versions come from one counter for the
  // whole process, so no two states of any such index share one; 0 is none.
  void keep_versions() {
    m_versioned = true;
    changed();
  }
  uint32_t version() const { return m_version.load(std::memory_order_relaxed); }

  int32_t find(std::u16string_view name) const {
    if (!m_index) {
      for (size_t i = 0; i < m_names.size(); ++i)
        if (same_text(m_names[i], name)) return static_cast<int32_t>(i);
      return -1;
    }
    auto it = m_index->find(name);
    return it == m_index->end() ? -1 : it->second;
  }
  int32_t add(std::u16string name) {
    if (int32_t found = find(name); found >= 0) return found;
    int32_t slot = size();
    if (!m_index && m_names.size() == k_scanned) {
      m_index = std::make_unique<Map>();
      for (size_t i = 0; i < m_names.size(); ++i) m_index->emplace(m_names[i], static_cast<int32_t>(i));
    }
    if (m_index) m_index->emplace(name, slot);
    m_keys.push_back(NameKey::of(name));
    m_names.push_back(std::move(name));
    changed();
    return slot;
  }
  const std::u16string& name_at(int32_t slot) const { return m_names[slot]; }
  // Whether [slot] holds [name], whose key is [key].
  [[gnu::always_inline]] bool holds(int32_t slot, const NameKey& key, std::u16string_view name) const {
    if (static_cast<uint32_t>(slot) >= m_keys.size() || !(m_keys[slot] == key)) return false;
    return key.exact() || same_text(m_names[slot], name);
  }
  // find() through a remembered slot [hint], which it updates.
  int32_t find(std::u16string_view name, std::atomic<int32_t>& hint) const {
    int32_t h = hint.load(std::memory_order_relaxed);
    if (h >= 0 && h < size() && same_text(m_names[h], name)) return h;
    int32_t found = find(name);
    if (found >= 0) hint.store(found, std::memory_order_relaxed);
    return found;
  }
  // find() by [name]'s [key]: a short list compares keys, not texts.
  int32_t find(const NameKey& key, std::u16string_view name) const {
    if (m_index) return find(name);
    for (size_t i = 0; i < m_keys.size(); ++i)
      if (m_keys[i] == key && (key.exact() || same_text(m_names[i], name))) return static_cast<int32_t>(i);
    return -1;
  }
  // The same through a remembered slot [hint], which it updates.
  [[gnu::always_inline]] int32_t find(const NameKey& key, std::u16string_view name, std::atomic<int32_t>& hint) const {
    int32_t h = hint.load(std::memory_order_relaxed);
    if (holds(h, key, name)) return h;
    int32_t found = find(key, name);
    if (found >= 0) hint.store(found, std::memory_order_relaxed);
    return found;
  }
  int32_t size() const { return static_cast<int32_t>(m_names.size()); }
  // OPTIMIZATION: a name of up to eight units is compared as two words of
  // four units each, which may overlap (the first and the last four), so
  // a variable name costs two loads and no loop; a longer one goes to
  // memcmp.
  static bool same_text(std::u16string_view a, std::u16string_view b) {
    size_t n = a.size();
    if (n != b.size()) return false;
    const char16_t* x = a.data();
    const char16_t* y = b.data();
    if (n >= 4 && n <= 8) return load4(x) == load4(y) && load4(x + n - 4) == load4(y + n - 4);
    if (n > 8) return std::memcmp(x, y, n * sizeof(char16_t)) == 0;
    for (size_t i = 0; i < n; ++i)
      if (x[i] != y[i]) return false;
    return true;
  }
  // Forgets every name from position [keep] on.
  void truncate(int32_t keep) {
    if (size() > keep) changed();
    while (size() > keep) {
      if (m_index) m_index->erase(m_names.back());
      m_names.pop_back();
      m_keys.pop_back();
    }
    if (m_names.size() <= k_scanned) m_index.reset();
  }
  void clear() {
    m_names.clear();
    m_keys.clear();
    m_index.reset();
    changed();
  }

 private:
  static uint64_t load4(const char16_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  }

  // Up to this many names are found by comparing them in turn; a longer
  // list is hashed (the map is made when the list grows past it).
  static constexpr size_t k_scanned = 8;

  // A lookup by view builds no string.
  struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view text) const { return std::hash<std::u16string_view>{}(text); }
  };
  struct ViewEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return a == b; }
  };

  void changed() {
    if (!m_versioned) [[likely]] return;
    uint32_t next = 0;
    while (next == 0) next = s_last_version.fetch_add(1, std::memory_order_relaxed) + 1;
    m_version.store(next, std::memory_order_relaxed);
  }
  static inline std::atomic<uint32_t> s_last_version{0};

  using Map = std::unordered_map<std::u16string, int32_t, ViewHash, ViewEqual>;
  std::vector<std::u16string> m_names;
  std::vector<NameKey> m_keys;  // beside m_names, one per name
  std::unique_ptr<Map> m_index;
  bool m_versioned = false;
  std::atomic<uint32_t> m_version{0};
};

// One variable: a scalar holds one value and no bounds; an array holds its
// elements in row-major order and the upper bound of each dimension.
struct Variable {
  std::vector<Value> values{Value()};
  std::vector<int32_t> bounds;

  bool is_array() const { return !bounds.empty(); }
  // Back to a scalar holding Empty; a large element buffer is let go.
  [[gnu::always_inline]] void reset_scalar() {
    if (bounds.empty() && values.size() == 1 && values.capacity() <= 16) {  // the common case
      values[0].clear();
      return;
    }
    if (values.capacity() > 16) values = std::vector<Value>(1);
    values.resize(1);
    values[0] = Value();
    bounds.clear();
  }
};

// A field added here is also reset in CallFrame::recycle (call_frame.h).
struct THensuFmt {
  bool call_frame = false;  // set by the engine's frames
  bool error = false;
  int32_t img_x = 0;
  int32_t img_y = 0;
  double time_stamp = 0;  // the moment GETTIME stored, an OLE date
  std::u16string try_errmsg;
  std::u16string try_errline;
  std::u16string module_name;
  Value with_subject;

  NameIndex hash_names;
  std::vector<std::unique_ptr<TSZHash>> hash_objects;
  NameIndex variable_names;
  std::vector<Variable> variables;
  // The function (its number + 1) whose plain call laid this frame out:
  // its first [layout_slots] variables are RESULT and the parameters, in
  // that order, for as long as the frame lives (variables are only ever
  // added behind them, and a recycled frame keeps them). Kept by recycle:
  // a frame is only ever reused for its function. Or a layout of the
  // frame's own, above every function's, for a frame that lives once and
  // keeps all its variables where they are (Interpreter::give_own_layout).
  // 0 for any other frame. Below 2^20 - 1, with at most 2^12 - 1 slots, so
  // that no slot is NameRef::k_not_in_layout (NameRef::fixed_slot); a
  // function beyond has frames without a layout.
  uint32_t layout = 0;
  int32_t layout_slots = 0;

  int32_t variable_count() const { return variable_names.size(); }
};

}  // namespace vesk
