// A value or an error, for operations that fail as part of normal work
// (conversions, parsing). Script errors never travel as C++ exceptions.
#pragma once

#include <utility>
#include <variant>

namespace vesk {

template <class T, class E>
class Result {
 public:
  Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
  Result(E error) : m_data(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return m_data.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(m_data); }
  const T& value() const { return std::get<0>(m_data); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  const T* operator->() const { return &value(); }
  const E& error() const { return std::get<1>(m_data); }
  T value_or(T fallback) const { return ok() ? value() : fallback; }

 private:
  std::variant<T, E> m_data;
};

}  // namespace vesk
