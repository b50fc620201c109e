// Construction and sharing of script values.
#include "engine/values/value.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <new>

#include "support/block_pool.h"

namespace vesk {

Value Value::r4(float v) {
  Value out;
  out.m_type = VarType::R4;
  out.m_u.i8 = 0;
  out.m_u.r4 = v;
  return out;
}

Value Value::date(double v) {
  Value out = r8(v);
  out.m_type = VarType::Date;
  return out;
}

StringData* StringData::make_uninitialised(size_t length, size_t capacity) {
  capacity = std::max(capacity, length);
  if (capacity > k_max_units) throw std::bad_alloc();
  void* block = allocate_block(block_size(capacity));
  StringData* data = new (block) StringData(static_cast<uint32_t>(length), static_cast<uint32_t>(capacity));
  data->units()[length] = u'\0';
  return data;
}

void StringData::destroy() const {
  size_t bytes = block_size(m_capacity);
  this->~StringData();
  free_block(const_cast<StringData*>(this), bytes);
}

StringData* StringData::make(std::u16string_view text, size_t capacity) {
  StringData* data = make_uninitialised(text.size(), capacity);
  if (!text.empty()) std::memcpy(data->units(), text.data(), text.size() * sizeof(char16_t));
  return data;
}

StringData* StringData::grow(StringData* data, size_t capacity) {
  if (capacity > k_max_units) throw std::bad_alloc();
  // The units move with the block; the header is made anew where it lands
  // (the holder is its one holder's, so its count is one).
  uint32_t length = data->m_length;
  bool escape_free = data->escape_free;
  void* block = resize_block(data, block_size(data->m_capacity), block_size(capacity));
  StringData* moved = new (block) StringData(length, static_cast<uint32_t>(capacity));
  moved->escape_free = escape_free;
  return moved;
}

void StringData::append_within(std::u16string_view tail) {
  if (!tail.empty()) std::memcpy(units() + m_length, tail.data(), tail.size() * sizeof(char16_t));
  m_length += static_cast<uint32_t>(tail.size());
  units()[m_length] = u'\0';
}

Value Value::string(std::u16string_view text) {
  Value out;
  out.m_type = VarType::String;
  out.m_u.string = StringData::make(text);
  return out;
}

Value Value::string_to_fill(size_t length, char16_t*& units) {
  Value out;
  out.m_type = VarType::String;
  out.m_u.string = StringData::make_uninitialised(length);
  units = out.m_u.string->units();
  return out;
}

Value Value::ansi_string(std::string bytes) {
  Value out;
  out.m_type = VarType::AnsiString;
  out.m_u.ansi = new AnsiStringData(std::move(bytes));
  return out;
}

Value Value::object(Ref<ComObject> object) {
  Value out;
  out.m_type = VarType::Object;
  out.m_u.object = object.leak();
  return out;
}

ArrayData::ArrayData(const ArrayData&) = default;
ArrayData::~ArrayData() = default;

Value Value::array(Ref<ArrayData> data) {
  Value out;
  out.m_type = static_cast<VarType>(0x2000 | static_cast<uint16_t>(data->element_type));
  out.m_u.array = data.leak();
  return out;
}

Value Value::array_of(std::vector<Value> elements) {
  Ref<ArrayData> data = make_ref<ArrayData>();
  data->element_type = VarType::Variant;
  data->dimensions.push_back({0, static_cast<int32_t>(elements.size())});
  data->elements = std::move(elements);
  return array(std::move(data));
}

bool Value::is_numeric_kind() const {
  switch (m_type) {
    case VarType::I2:
    case VarType::I4:
    case VarType::R4:
    case VarType::R8:
    case VarType::Currency:
    case VarType::Date:
    case VarType::Bool:
    case VarType::I1:
    case VarType::UI1:
    case VarType::UI2:
    case VarType::UI4:
    case VarType::I8:
    case VarType::UI8:
      return true;
    default:
      return false;
  }
}

const RefCounted* Value::ref() const {
  if (is_array()) return m_u.array;
  // Strings are counted on their own (the callers take them first).
  return is_ansi_string() ? static_cast<const RefCounted*>(m_u.ansi) : m_u.object;
}

ArrayData& Value::mutable_array() {
  if (!m_u.array->is_unique()) {
    ArrayData* copy = new ArrayData(*m_u.array);
    m_u.array->release();
    m_u.array = copy;
  }
  return *m_u.array;
}

void Value::append_string(std::u16string_view tail) {
  StringData* held = m_u.string;
  size_t needed = held->length() + tail.size();
  if (held->is_unique()) {
    if (needed > held->capacity()) {
      // Half again as much room, so a loop of appends grows the buffer a
      // logarithmic number of times. [tail] may be this very text: it is
      // found again where the buffer has moved.
      auto own = reinterpret_cast<uintptr_t>(held->units()), at = reinterpret_cast<uintptr_t>(tail.data());
      bool inside = at >= own && at < own + held->length() * sizeof(char16_t);
      size_t offset = inside ? (at - own) / sizeof(char16_t) : 0;
      size_t room = needed + std::min(needed / 2 + 8, StringData::k_max_units - std::min(needed, StringData::k_max_units));
      m_u.string = held = StringData::grow(held, room);
      if (inside) tail = {held->units() + offset, tail.size()};
    }
    held->append_within(tail);  // when [tail] is this text, it ends where the append begins
  } else {
    // A shared buffer is copied at the size needed. The old one lives
    // until [tail], which may be part of it, has been copied.
    StringData* copy = StringData::make(held->view(), needed);
    copy->append_within(tail);
    held->release();
    m_u.string = held = copy;
  }
  held->escape_free = false;
}

}  // namespace vesk
