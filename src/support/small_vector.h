// Short lists of a hot path that need no allocation: SmallVector keeps its
// first N elements inside itself (a call's arguments); SmallArray is a
// fixed number of elements, inside itself up to N, always in one piece (a
// name's evaluated indices).
#pragma once

#include <cstddef>
#include <new>
#include <span>
#include <utility>
#include <vector>

namespace vesk {

template <typename T, size_t N>
class SmallVector {
 public:
  SmallVector() = default;
  SmallVector(const SmallVector&) = delete;
  SmallVector& operator=(const SmallVector&) = delete;
  ~SmallVector() {
    for (size_t i = 0; i < m_inline_count; ++i) inline_at(i).~T();
  }

  size_t size() const { return m_inline_count + m_spill.size(); }
  bool empty() const { return size() == 0; }

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (m_inline_count < N && m_spill.empty()) {
      T* made = new (&m_storage[m_inline_count * sizeof(T)]) T(std::forward<Args>(args)...);
      ++m_inline_count;
      return *made;
    }
    return m_spill.emplace_back(std::forward<Args>(args)...);
  }
  void push_back(T value) { emplace_back(std::move(value)); }

  T& operator[](size_t i) { return i < m_inline_count ? inline_at(i) : m_spill[i - m_inline_count]; }
  const T& operator[](size_t i) const {
    return i < m_inline_count ? const_cast<SmallVector*>(this)->inline_at(i) : m_spill[i - m_inline_count];
  }

 private:
  T& inline_at(size_t i) { return *std::launder(reinterpret_cast<T*>(&m_storage[i * sizeof(T)])); }

  alignas(T) unsigned char m_storage[N * sizeof(T)];
  size_t m_inline_count = 0;
  std::vector<T> m_spill;
};

template <typename T, size_t N>
class SmallArray {
 public:
  explicit SmallArray(size_t count) : m_count(count) {
    if (count > N) {
      m_heap.resize(count);
      m_data = m_heap.data();
    }
  }
  SmallArray(const SmallArray&) = delete;
  SmallArray& operator=(const SmallArray&) = delete;

  size_t size() const { return m_count; }
  T& operator[](size_t i) { return m_data[i]; }
  std::span<const T> span() const { return {m_data, m_count}; }

 private:
  T m_inline[N];
  std::vector<T> m_heap;
  T* m_data = m_inline;
  size_t m_count;
};

}  // namespace vesk
