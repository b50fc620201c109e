// Intrusive reference counting for the shared parts of script values
// (string buffers, arrays, COM objects). Counts are atomic because script
// threads copy values out of the global frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace vesk {

class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) : m_refs(1) {}
  RefCounted& operator=(const RefCounted&) = delete;
  virtual ~RefCounted() = default;

  void retain() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void release() const {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // True when nobody else holds this object, so it may be written in place.
  bool is_unique() const { return m_refs.load(std::memory_order_acquire) == 1; }

 private:
  mutable std::atomic<int32_t> m_refs{1};
};

// Owns one reference to a RefCounted [T].
template <class T>
class Ref {
 public:
  Ref() = default;
  // Takes over the reference that a fresh `new T` holds.
  static Ref adopt(T* p) {
    Ref r;
    r.m_ptr = p;
    return r;
  }
  Ref(const Ref& o) : m_ptr(o.m_ptr) {
    if (m_ptr) m_ptr->retain();
  }
  Ref(Ref&& o) noexcept : m_ptr(std::exchange(o.m_ptr, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& o) : m_ptr(o.get()) {
    if (m_ptr) m_ptr->retain();
  }
  Ref& operator=(Ref o) noexcept {
    std::swap(m_ptr, o.m_ptr);
    return *this;
  }
  ~Ref() {
    if (m_ptr) m_ptr->release();
  }

  T* get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  T& operator*() const { return *m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }
  // Hands the reference to the caller (for storage in a raw union).
  T* leak() { return std::exchange(m_ptr, nullptr); }

 private:
  T* m_ptr = nullptr;
};

template <class T, class... Args>
Ref<T> make_ref(Args&&... args) {
  return Ref<T>::adopt(new T(std::forward<Args>(args)...));
}

}  // namespace vesk
