// Construction and sharing of script values.
#include "engine/values/value.h"

#include <algorithm>

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

Value Value::string(std::u16string text) {
  Value out;
  out.m_type = VarType::String;
  out.m_u.string = new StringData(std::move(text));
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
  switch (m_type) {
    case VarType::String:
      return m_u.string;
    case VarType::AnsiString:
      return m_u.ansi;
    default:
      return m_u.object;
  }
}

ArrayData& Value::mutable_array() {
  if (!m_u.array->is_unique()) {
    ArrayData* copy = new ArrayData(*m_u.array);
    m_u.array->release();
    m_u.array = copy;
  }
  return *m_u.array;
}

std::u16string& Value::mutable_string(size_t capacity) {
  if (!m_u.string->is_unique()) {
    std::u16string text;
    text.reserve(std::max(capacity, m_u.string->text.size()));
    text.append(m_u.string->text);
    StringData* copy = new StringData(std::move(text));
    m_u.string->release();
    m_u.string = copy;
  }
  m_u.string->escape_free = false;
  return m_u.string->text;
}

}  // namespace vesk
