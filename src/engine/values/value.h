// The script value.
//
// Every value a script touches is one `Value`: a tagged union of the OLE
// automation variant kinds. The tag is the variant type code that scripts
// see through VARTYPE (0 Empty, 1 Null, 2 16-bit integer, 3 32-bit integer,
// 4 single, 5 double, 6 currency, 7 date, 8 wide string, 9 COM object,
// 10 Error, 11 Boolean, 16 signed byte, 17 Byte, 18 Word, 19 unsigned
// 32-bit, 20 signed 64-bit, 21 unsigned 64-bit, 0x100 native 8-bit string,
// 0x2000 + element kind for arrays).
//
// Scalars live inside the value. Strings, native strings and arrays live in
// shared, reference-counted buffers: copying a value only bumps a count, and
// a writer that is not the only holder copies the buffer first (copy on
// write). COM objects are shared references to a `ComObject`; NOTHING is
// the object kind with no object. A Boolean keeps its 16-bit word: TRUE is
// stored as 1 and FALSE as 0 (not the -1 of VARIANT_TRUE); any non-zero
// word reads as true.
//
// A value is 16 bytes and never owns anything but its one reference, so it
// may be moved and copied freely between frames and threads. On Windows the
// COM bridge converts to and from VARIANT and SAFEARRAY at the COM boundary
// only; inside the interpreter this type is the value.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/ref_counted.h"

namespace vesk {

enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  I2 = 2,
  I4 = 3,
  R4 = 4,
  R8 = 5,
  Currency = 6,
  Date = 7,
  String = 8,
  Object = 9,
  Error = 10,
  Bool = 11,
  Variant = 12,  // only as an array's element kind
  I1 = 16,
  UI1 = 17,
  UI2 = 18,
  UI4 = 19,
  I8 = 20,
  UI8 = 21,
  AnsiString = 0x100,
  ArrayFlag = 0x2000,
};

class Value;

// A COM object (or, on a system without COM, whatever stands in for one).
// The bridge derives from it; the core only compares and prints objects.
class ComObject : public RefCounted {
 public:
  // The interface pointer taken as a number: identity for comparisons and
  // the reference number that PRINT shows.
  virtual uint32_t identity() const = 0;
};

// A wide string buffer shared between values. The units follow the header
// in the same block, with a NUL after the last, so a string value costs one
// allocation (from the block pool when it is short) and its text can go to a
// system call as it is. Counted like the other shared parts, but without a
// virtual destructor: the value knows a string when it sees one.
class StringData {
 public:
  // The most units a holder takes: its block size must fit a size_t (on a
  // 32-bit system too) and its length 32 bits. More throws std::bad_alloc,
  // which the run reports as being out of memory.
  static constexpr size_t k_max_units =
      std::min<size_t>(0xFFFFFFFEu, (SIZE_MAX - 64) / sizeof(char16_t) - 1);
  // A holder of [text] with room for [capacity] units (at least the text's).
  static StringData* make(std::u16string_view text, size_t capacity = 0);
  // A holder of [length] units that the caller fills (through units()).
  static StringData* make_uninitialised(size_t length, size_t capacity = 0);
  StringData(const StringData&) = delete;
  StringData& operator=(const StringData&) = delete;

  void retain() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void release() const {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
  }
  bool is_unique() const { return m_refs.load(std::memory_order_acquire) == 1; }

  std::u16string_view view() const { return {units(), m_length}; }
  const char16_t* units() const { return reinterpret_cast<const char16_t*>(this + 1); }
  char16_t* units() { return reinterpret_cast<char16_t*>(this + 1); }
  size_t length() const { return m_length; }
  size_t capacity() const { return m_capacity; }
  // Appends [tail] in place; the caller has made sure that it fits.
  void append_within(std::u16string_view tail);
  // [data], which nobody else holds, moved to room for [capacity] units:
  // a large block grows where it lies when the system can do so.
  static StringData* grow(StringData* data, size_t capacity);

 private:
  StringData(uint32_t length, uint32_t capacity) : m_length(length), m_capacity(capacity) {}
  static size_t block_size(size_t capacity) { return sizeof(StringData) + (capacity + 1) * sizeof(char16_t); }
  void destroy() const;

  mutable std::atomic<int32_t> m_refs{1};
  uint32_t m_length;
  uint32_t m_capacity;

 public:
  // The text is known to hold no "<#" escape. Only a holder that owns the
  // buffer alone sets it; every write in place clears it.
  bool escape_free = false;
};

// A native 8-bit string buffer (bytes in the ANSI code page).
struct AnsiStringData : RefCounted {
  explicit AnsiStringData(std::string b) : bytes(std::move(b)) {}
  std::string bytes;
};

// An array value: 1 or more dimensions, each with a lower bound and an
// element count, elements in row-major order (the last index varies
// fastest). Script arrays have lower bounds 0; COM safe arrays may not.
struct ArrayData : RefCounted {
  // Defined where Value is complete: clang will not instantiate the
  // elements' destructor for the virtual destructor here.
  ArrayData() = default;
  ArrayData(const ArrayData&);
  ~ArrayData() override;

  struct Dimension {
    int32_t lower = 0;
    int32_t count = 0;
  };
  VarType element_type = VarType::Variant;
  std::vector<Dimension> dimensions;
  std::vector<Value> elements;
};

class Value {
 public:
  Value() noexcept : m_type(VarType::Empty) { m_u.i8 = 0; }
  Value(const Value& o) noexcept : m_type(o.m_type), m_u(o.m_u) { retain(); }
  Value(Value&& o) noexcept : m_type(o.m_type), m_u(o.m_u) {
    o.m_type = VarType::Empty;
    o.m_u.i8 = 0;
  }
  Value& operator=(const Value& o) noexcept {
    if (this != &o) {
      o.retain();
      release();
      m_type = o.m_type;
      m_u = o.m_u;
    }
    return *this;
  }
  Value& operator=(Value&& o) noexcept {
    if (this != &o) {
      release();
      m_type = o.m_type;
      m_u = o.m_u;
      o.m_type = VarType::Empty;
      o.m_u.i8 = 0;
    }
    return *this;
  }
  ~Value() { release(); }

  // Constructors by kind.
  static Value empty() { return Value(); }
  static Value null() { return scalar(VarType::Null, 0); }
  static Value i2(int16_t v) { return scalar(VarType::I2, v); }
  static Value i4(int32_t v) { return scalar(VarType::I4, v); }
  static Value r4(float v);
  static Value r8(double v) {
    Value out;
    out.m_type = VarType::R8;
    out.m_u.r8 = v;
    return out;
  }
  // Makes this value Empty in place.
  void clear() {
    release();
    m_type = VarType::Empty;
    m_u.i8 = 0;
  }
  // Makes this value the double [v] in place.
  void set_r8(double v) {
    release();
    m_type = VarType::R8;
    m_u.r8 = v;
  }
  // [scaled] is the amount times 10,000, as OLE stores currency.
  static Value currency(int64_t scaled) { return scalar(VarType::Currency, scaled); }
  // An OLE date: days since 1899-12-30, the time as the fraction.
  static Value date(double v);
  static Value string(std::u16string_view text);
  static Value string(const std::u16string& text) { return string(std::u16string_view(text)); }
  static Value string(const char16_t* text) { return string(std::u16string_view(text)); }
  // A string of [length] units that the caller writes through [units]
  // before the value is read.
  static Value string_to_fill(size_t length, char16_t*& units);
  static Value ansi_string(std::string bytes);
  static Value object(Ref<ComObject> object);
  static Value nothing() { return scalar(VarType::Object, 0); }
  static Value error(int32_t scode) { return scalar(VarType::Error, scode); }
  static Value boolean(bool v) { return scalar(VarType::Bool, v ? 1 : 0); }
  static Value boolean_word(int16_t word) { return scalar(VarType::Bool, word); }
  static Value i1(int8_t v) { return scalar(VarType::I1, v); }
  static Value byte(uint8_t v) { return scalar(VarType::UI1, v); }
  static Value word(uint16_t v) { return scalar(VarType::UI2, v); }
  static Value ui4(uint32_t v) { return scalar(VarType::UI4, v); }
  static Value i8(int64_t v) { return scalar(VarType::I8, v); }
  static Value ui8(uint64_t v) { return scalar(VarType::UI8, static_cast<int64_t>(v)); }
  static Value array(Ref<ArrayData> data);
  // A one-dimensional array of [elements] (element kind Variant, bounds 0..n-1).
  static Value array_of(std::vector<Value> elements);

  // The variant type code, with 0x2000 set for arrays.
  VarType type() const { return m_type; }
  uint16_t type_code() const { return static_cast<uint16_t>(m_type); }
  bool is(VarType t) const { return m_type == t; }
  bool is_empty() const { return m_type == VarType::Empty; }
  bool is_null() const { return m_type == VarType::Null; }
  bool is_string() const { return m_type == VarType::String; }
  bool is_ansi_string() const { return m_type == VarType::AnsiString; }
  bool is_any_string() const { return is_string() || is_ansi_string(); }
  bool is_object() const { return m_type == VarType::Object; }
  bool is_nothing() const { return is_object() && m_u.object == nullptr; }
  bool is_array() const { return (type_code() & 0x2000) != 0; }
  // True for the kinds that hold a number (integers, floats, currency, date,
  // Boolean).
  bool is_numeric_kind() const;

  // Raw access; the caller checks the kind first.
  int16_t as_i2() const { return static_cast<int16_t>(m_u.i8); }
  int32_t as_i4() const { return static_cast<int32_t>(m_u.i8); }
  int64_t as_i8() const { return m_u.i8; }
  uint64_t as_ui8() const { return static_cast<uint64_t>(m_u.i8); }
  double as_r8() const { return m_u.r8; }  // R8 and Date
  float as_r4() const { return m_u.r4; }
  int16_t bool_word() const { return static_cast<int16_t>(m_u.i8); }
  int32_t error_code() const { return static_cast<int32_t>(m_u.i8); }
  std::u16string_view as_string() const { return m_u.string->view(); }
  // The string's units with a NUL after them, for a system call.
  const char16_t* string_c_str() const { return m_u.string->units(); }
  // Whether two string values share one buffer.
  bool same_string_buffer(const Value& o) const { return m_u.string == o.m_u.string; }
  const std::string& as_ansi_string() const { return m_u.ansi->bytes; }
  ComObject* as_object() const { return m_u.object; }
  const ArrayData& as_array() const { return *m_u.array; }

  // The array for writing: copied first when another value shares it.
  ArrayData& mutable_array();
  // Appends [tail] to the string in place, first copying a buffer that is
  // shared or too small (with room to spare, so appends in a loop copy
  // rarely). Clears the escape mark.
  void append_string(std::u16string_view tail);
  // Whether the string's text is known to hold no "<#" escape, and marking
  // it so (only when this value alone holds the buffer).
  bool string_escape_free() const { return m_u.string->escape_free; }
  void mark_string_escape_free() {
    if (m_u.string->is_unique()) m_u.string->escape_free = true;
  }

 private:
  static Value scalar(VarType t, int64_t bits) {
    Value v;
    v.m_type = t;
    v.m_u.i8 = bits;
    return v;
  }
  bool holds_ref() const {
    // Every kind below String is a plain number (or Empty or Null): one test.
    if (static_cast<uint16_t>(m_type) < static_cast<uint16_t>(VarType::String)) return false;
    return is_string() || is_ansi_string() || is_array() || (is_object() && m_u.object);
  }
  const RefCounted* ref() const;
  // OPTIMIZATION: the number test is always inlined; only a value that
  // holds a reference leaves the line.
  [[gnu::always_inline]] void retain() const {
    if (static_cast<uint16_t>(m_type) >= static_cast<uint16_t>(VarType::String)) retain_slow();
  }
  [[gnu::always_inline]] void release() {
    if (static_cast<uint16_t>(m_type) >= static_cast<uint16_t>(VarType::String)) release_slow();
  }
  void retain_slow() const {
    if (is_string()) m_u.string->retain();
    else if (holds_ref()) ref()->retain();
  }
  void release_slow() {
    if (is_string()) m_u.string->release();
    else if (holds_ref()) ref()->release();
  }

  VarType m_type;
  union Payload {
    int64_t i8;
    double r8;
    float r4;
    StringData* string;
    AnsiStringData* ansi;
    ComObject* object;
    ArrayData* array;
  } m_u;
};

}  // namespace vesk
