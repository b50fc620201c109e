// The variable store: arrays, nested indexing, globals, declarations and
// their messages.
#include <gtest/gtest.h>

#include "engine/values/evaluator.h"
#include "engine/values/variable_store.h"
#include "support/messages.h"
#include "support/utf.h"
#include "../store_host.h"

namespace vesk {
namespace {


class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    set_message_language_japanese(false);
    m_store.set_error_reporter([this](THensuFmt&, const std::u16string& text) { m_errors.push_back(text); });
    m_store.set_evaluator([this](std::u16string_view text, THensuFmt& frame) -> std::optional<Value> {
      StoreHost host(m_store, frame);
      EvalResult r = evaluate(*compile_expression(text), host);
      if (r.failed) return std::nullopt;
      return r.value;
    });
  }

  Value read(std::u16string_view name, std::vector<Value> indices = {}) {
    return m_store.read(m_frame, name, indices);
  }
  bool write(std::u16string_view name, std::vector<Value> indices, Value v) {
    return m_store.write(m_frame, name, indices, v);
  }
  std::u16string last_error() {
    m_frame.error = false;
    return m_errors.empty() ? u"" : m_errors.back();
  }
  static Value n(double d) { return Value::r8(d); }

  VariableStore m_store;
  THensuFmt m_frame;
  std::vector<std::u16string> m_errors;
};

TEST_F(Store, ArraysAreRowMajorWithInclusiveBounds) {
  m_store.declare_variable(m_frame, u"M", {1, 2});
  EXPECT_EQ(m_frame.variables[0].values.size(), 6u);
  EXPECT_TRUE(write(u"M", {n(1), n(2)}, n(42)));
  EXPECT_EQ(m_frame.variables[0].values[5].as_r8(), 42);
  EXPECT_EQ(read(u"M", {n(1), Value::string(u"2.9")}).as_r8(), 42);  // truncated
  EXPECT_TRUE(read(u"M", {n(0), Value::string(u"x")}).is_empty());   // non-numeric is 0

  m_store.declare_variable(m_frame, u"A", {3});
  EXPECT_TRUE(read(u"A", {n(3)}).is_empty());
  EXPECT_TRUE(read(u"A", {n(4)}).is(VarType::UI1));
  EXPECT_EQ(last_error(), u"It exceeded array: A");
  read(u"A", {n(0), n(0)});
  EXPECT_EQ(last_error(), u"Does not match the number of dimensions: A");
  read(u"A");
  EXPECT_EQ(last_error(), u"Does not match the number of dimensions: A");
}

TEST_F(Store, RedeclaringKeepsFlatPositions) {
  m_store.declare_variable(m_frame, u"A", {2});
  write(u"A", {n(1)}, n(7));
  m_store.declare_variable(m_frame, u"A", {5});
  EXPECT_EQ(read(u"A", {n(1)}).as_r8(), 7);
  EXPECT_TRUE(read(u"A", {n(5)}).is_empty());
  m_store.declare_variable(m_frame, u"A", {});
  EXPECT_EQ(m_frame.variables[0].bounds.size(), 1u);
  m_store.declare_variable(m_frame, u"E", {-1});
  EXPECT_TRUE(m_frame.variables[1].values.empty());
}

TEST_F(Store, ArraysHeldInScalarsAndElements) {
  write(u"S", {}, Value::array_of({n(1), Value::array_of({Value::string(u"in")}), n(3)}));
  EXPECT_EQ(read(u"S", {n(2)}).as_r8(), 3);
  EXPECT_EQ(read(u"S", {n(1), n(0)}).as_string(), u"in");
  Value copy = read(u"S");
  EXPECT_TRUE(write(u"S", {n(0)}, n(9)));
  EXPECT_EQ(read(u"S", {n(0)}).as_r8(), 9);
  EXPECT_EQ(copy.as_array().elements[0].as_r8(), 1);  // the copy is untouched
  read(u"S", {n(3)});
  EXPECT_EQ(last_error(), u"It exceeded array: S");
}

TEST_F(Store, UndeclaredNames) {
  EXPECT_TRUE(write(u"X", {}, n(1)));
  EXPECT_EQ(read(u"X").as_r8(), 1);
  EXPECT_FALSE(write(u"Y", {n(0)}, n(1)));
  EXPECT_EQ(last_error(), u"Y: Array without declaration");
  read(u"NOPE");
  EXPECT_EQ(last_error(), u"It isn't defined: NOPE");
  set_message_language_japanese(true);
  read(u"NOPE");
  EXPECT_EQ(last_error(), u"\u5909\u6570: NOPE \u304C\u5B9A\u7FA9\u3055\u308C\u3066\u3044\u307E\u305B\u3093");
  set_message_language_japanese(false);
}

TEST_F(Store, FrameErrorStopsReadsAndWrites) {
  write(u"X", {}, n(1));
  m_frame.error = true;
  EXPECT_TRUE(read(u"X").is(VarType::UI1));
  EXPECT_FALSE(write(u"X", {}, n(2)));
  m_frame.error = false;
  EXPECT_EQ(read(u"X").as_r8(), 1);
}

TEST_F(Store, SpecialNamesAndConstants) {
  EXPECT_EQ(read(u"TRUE").bool_word(), 1);
  EXPECT_TRUE(read(u"NULL").is_null());
  EXPECT_TRUE(read(u"NOTHING").is_nothing());
  EXPECT_EQ(read(u"CLK_ACC2").as_r8(), 268468224);
  EXPECT_EQ(read(u"EMPTYPARAM").as_string(), u"__EMPTYPARAM__");
  m_frame.time_stamp = 36526.5;  // 2000-01-01 12:00, a Saturday
  EXPECT_EQ(read(u"G_TIME_YY").as_i8(), 2000);
  EXPECT_EQ(read(u"G_TIME_YY").type(), VarType::UI2);
  EXPECT_EQ(read(u"G_TIME_WW").as_i4(), 6);
  EXPECT_EQ(read(u"G_TIME_MM2").as_string(), u"01");
  EXPECT_EQ(read(u"G_TIME_ZZ2").as_string(), u"000");
  m_store.set_old_bool(true);
  EXPECT_EQ(read(u"TRUE").type(), VarType::I2);
}

TEST_F(Store, ParamStrOutOfRangeIsEmpty) {
  m_store.declare_variable(m_frame, u"PARAM_STR", {0});
  EXPECT_TRUE(read(u"PARAM_STR", {n(5)}).is_empty());
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(Store, GlobalsAndModuleResolution) {
  EXPECT_EQ(m_store.declare_global(u"G = 5, J", false, u""), u"");
  EXPECT_EQ(m_store.declare_global(u"H[2], I[1][1]", false, u""), u"");
  // An item with "=" and "[" makes the whole list one array with values.
  EXPECT_EQ(m_store.declare_global(u"L[] = 1, 2, 3", false, u""), u"");
  EXPECT_EQ(read(u"G").as_r8(), 5);
  EXPECT_EQ(read(u"L", {n(2)}).as_r8(), 3);
  read(u"L", {n(3)});
  EXPECT_EQ(last_error(), u"It exceeded array: L");
  EXPECT_EQ(m_store.declare_global(u"X", false, u"MOD1."), u"");
  EXPECT_EQ(m_store.declare_global(u"X", false, u""), u"");
  write(u"MOD1.X", {}, n(1));
  write(u"X", {}, n(2));
  THensuFmt in_module;
  in_module.module_name = u"MOD1";
  EXPECT_EQ(m_store.read(in_module, u"X", {}).as_r8(), 1);
  EXPECT_EQ(m_store.read(in_module, u"THIS.X", {}).as_r8(), 1);
  EXPECT_EQ(m_store.read(m_frame, u"X", {}).as_r8(), 2);
  m_frame.with_subject = Value::string(u"MOD1");
  EXPECT_EQ(read(u".X").as_r8(), 1);
}

TEST_F(Store, DeclarationConflictsAndTheirMessages) {
  EXPECT_EQ(m_store.declare_global(u"TRUE", false, u""), u"Is a reserved word: TRUE");
  EXPECT_EQ(m_store.declare_global(u"CLICK", false, u""), u"Is a reserved word: CLICK");
  EXPECT_EQ(m_store.declare_global(u"A B", false, u""), u"variable name which is not right: A B");
  EXPECT_EQ(m_store.declare_global(u"A[2]", false, u""), u"");
  EXPECT_EQ(m_store.declare_global(u"A[2]", false, u""), u"");
  EXPECT_EQ(m_store.declare_global(u"A[3]", false, u""), u"It has already been defined: A");
  EXPECT_EQ(m_store.declare_global(u"A[2]", true, u""), u"It has already been defined: A");
  EXPECT_EQ(m_store.declare_global(u"B[X]", false, u""), u"Index of the array is wrong:B");
  EXPECT_EQ(m_store.declare_global(u"C =", false, u""), u"SyntaxError-7");
  EXPECT_EQ(m_store.declare_const(u"K = 1"), u"");
  EXPECT_EQ(m_store.declare_const(u"K = 1"), u"");
  EXPECT_EQ(m_store.declare_const(u"K = 2"), u"It is multiplex definition: K");
  EXPECT_EQ(m_store.declare_const(u"K"), u"SyntaxError-1");
  EXPECT_EQ(m_store.declare_const(u"A = 1"), u"It has already been defined: A");
  EXPECT_EQ(m_store.declare_global(u"K", false, u""), u"It has already been defined: K");
  EXPECT_EQ(read(u"K").as_r8(), 1);
  EXPECT_EQ(m_store.declare_textblock(u"T"), u"");
  EXPECT_EQ(m_store.declare_textblock(u"T"), u"It has already been defined: T");
  m_store.set_textblock_text(u"T", u"body");
  EXPECT_EQ(read(u"T").as_string(), u"body");
}

TEST_F(Store, HashTablesThroughIndices) {
  EXPECT_EQ(m_store.declare_hashtbl(u"H, S = HASH_SORT", m_frame, false), u"");
  write(u"H", {Value::string(u"abc")}, n(1));
  EXPECT_EQ(read(u"H", {Value::string(u"ABC")}).as_r8(), 1);
  EXPECT_TRUE(read(u"H", {Value::string(u"none")}).is_empty());
  EXPECT_EQ(read(u"H", {n(0), n(-101)}).as_string(), u"abc");  // HASH_KEY
  EXPECT_EQ(read(u"H", {Value::string(u"abc"), n(-103)}).bool_word(), 1);
  read(u"H", {n(1), n(-101)});
  EXPECT_EQ(last_error(), u"H: It is outside the range");
  EXPECT_FALSE(write(u"H", {n(0), n(1)}, n(1)));
  EXPECT_EQ(last_error(), u"Invalid writing in HASHTBL: H");
  write(u"H", {}, n(-109));  // HASH_REMOVEALL
  EXPECT_EQ(m_store.find_hash(m_frame, u"H")->count(), 0);
  write(u"PLAIN", {}, n(-109));
  EXPECT_EQ(read(u"PLAIN").as_r8(), -109);
  EXPECT_EQ(m_store.declare_hashtbl(u"Q = 1", m_frame, false), u"1: Specified is wrong");
}

// The short way to a table gives way to whatever comes first by name: a
// local variable made later, a global variable (also one declared after
// the miss was remembered), a module that would qualify the name, the
// frame's own table before a global one.
TEST_F(Store, HintedTableOnlyWhereNothingComesFirst) {
  NameRef h;
  h.name = u"H";
  h.key = NameKey::of(h.name);
  std::unique_lock<std::recursive_mutex> lock(m_store.global_lock(), std::defer_lock);
  auto hinted = [&] {
    TSZHash* table = m_store.hinted_hash(m_frame, h, lock);
    bool global = lock.owns_lock();
    if (global) lock.unlock();
    return std::make_pair(table, global);
  };
  EXPECT_EQ(hinted().first, nullptr);  // no table yet
  m_store.declare_hashtbl(u"H", m_frame, false);
  auto [table, global] = hinted();
  ASSERT_NE(table, nullptr);
  EXPECT_FALSE(global);
  m_store.write_hash(m_frame, *table, Value::string(u"k1"), n(5));
  EXPECT_EQ(m_store.read_hash(m_frame, *table, Value::string(u"K1")).as_r8(), 5);
  EXPECT_EQ(read(u"H", {Value::string(u"k1")}).as_r8(), 5);  // the general read agrees

  EXPECT_EQ(m_store.declare_global(u"H = 1", false, u""), u"");
  EXPECT_EQ(hinted(), std::make_pair(static_cast<TSZHash*>(nullptr), false));
  EXPECT_EQ(read(u"H").as_r8(), 1);
  m_store.reset();
  m_frame = THensuFmt();
  EXPECT_EQ(m_store.declare_hashtbl(u"G, H", m_store.global_frame(), true), u"");
  EXPECT_EQ(hinted(), std::make_pair(m_store.find_hash(m_frame, u"H"), true));  // the global one, locked
  m_store.declare_hashtbl(u"A, B, H", m_frame, false);
  EXPECT_EQ(hinted(), std::make_pair(m_store.find_hash(m_frame, u"H"), false));  // the frame's own first
  EXPECT_NE(m_store.find_hash(m_frame, u"H"), m_store.find_hash(m_store.global_frame(), u"H"));
  m_frame.module_name = u"M";
  EXPECT_EQ(hinted().first, nullptr);
  m_frame.module_name.clear();
  write(u"H", {}, n(3));  // a local variable of the same name now comes first
  EXPECT_EQ(hinted().first, nullptr);
  EXPECT_EQ(read(u"H").as_r8(), 3);
}

TEST_F(Store, ResetAndAppend) {
  m_store.reset_array(m_frame, u"LIST");
  m_store.append_array(m_frame, u"LIST", Value::string(u"a"));
  m_store.append_array(m_frame, u"LIST", Value::string(u"b"));
  EXPECT_EQ(read(u"LIST", {n(1)}).as_string(), u"b");
  m_store.reset_array(m_frame, u"LIST");
  EXPECT_TRUE(m_frame.variables[0].values.empty());
}

// Names are compared in words of four units: every length and every
// position of a difference must still tell them apart.
TEST(NameIndexText, EveryLengthAndEveryDifferingPosition) {
  for (size_t n = 0; n <= 20; ++n) {
    std::u16string a(n, u'A');
    for (size_t i = 0; i < n; ++i) a[i] = static_cast<char16_t>(u'A' + i);
    EXPECT_TRUE(NameIndex::same_text(a, std::u16string(a))) << n;
    EXPECT_FALSE(NameIndex::same_text(a, a + u"X")) << n;
    for (size_t i = 0; i < n; ++i) {
      std::u16string b = a;
      b[i] = u'\u3042';
      EXPECT_FALSE(NameIndex::same_text(a, b)) << n << " at " << i;
    }
  }
  // Views into longer texts compare only their own units.
  std::u16string_view whole = u"TOTALX";
  EXPECT_TRUE(NameIndex::same_text(whole.substr(0, 5), u"TOTAL"));
  NameIndex names;
  for (const char16_t* name : {u"I", u"TOTAL", u"TOTAL2", u"COUNTER_OF_LINES"}) names.add(name);
  EXPECT_EQ(names.find(u"TOTAL2"), 2);
  EXPECT_EQ(names.find(u"TOTAL3"), -1);
  EXPECT_EQ(names.find(u"COUNTER_OF_LINES"), 3);
}

// A slot is checked by the name's key: a key decides alone only where it
// holds the whole name, so names alike in their first units, their length
// or (past seven units) their key still differ.
TEST(NameIndexText, SlotsAreCheckedByKeyAndLongNamesByText) {
  NameIndex names;
  const std::u16string long_name = u"COUNTER_OF_LINES";
  for (const std::u16string& name : {std::u16string(u"N"), std::u16string(u"ABCDEFG"), long_name}) names.add(name);
  auto holds = [&](int32_t slot, std::u16string_view name) { return names.holds(slot, NameKey::of(name), name); };
  EXPECT_TRUE(holds(0, u"N"));
  EXPECT_FALSE(holds(0, u"NN"));
  EXPECT_FALSE(holds(0, std::u16string(u"N\0", 2)));
  EXPECT_TRUE(holds(1, u"ABCDEFG"));
  EXPECT_FALSE(holds(1, u"ABCDEFH"));
  EXPECT_FALSE(holds(1, u"ABCDEF"));
  EXPECT_TRUE(holds(2, long_name));
  EXPECT_FALSE(holds(2, u"COUNTER_OF_LINEZ"));
  EXPECT_FALSE(holds(2, u"COUNTER_OF_LINES2"));
  EXPECT_FALSE(holds(0, long_name));
  EXPECT_FALSE(holds(3, u"N"));
  EXPECT_FALSE(holds(-1, u"N"));
  // A key that agrees by chance is settled by the text: the same key with
  // another long text is no match.
  EXPECT_FALSE(names.holds(2, NameKey::of(long_name), u"COUNTER_OF_LINEX"));
  names.truncate(1);
  EXPECT_FALSE(holds(1, u"ABCDEFG"));
  EXPECT_TRUE(holds(0, u"N"));
}

// A name learns its fixed slot in a frame laid out by a plain call and
// takes it only in frames of that layout: a frame of another layout, or of
// none (a thread's call, where the same name sits one slot lower), is read
// by the name's slot as before.
TEST(HintedLocal, FixedSlotsHoldOnlyInTheirLayout) {
  VariableStore store;
  auto frame = [&](uint32_t layout, std::initializer_list<const char16_t*> names, double first) {
    auto f = std::make_unique<THensuFmt>();
    double value = first;
    for (const char16_t* name : names) {
      store.declare_variable(*f, name, {});
      f->variables.back().values[0] = Value::r8(value++);
    }
    f->layout = layout;
    f->layout_slots = layout ? static_cast<int32_t>(names.size()) : 0;
    return f;
  };
  NameRef n;
  n.name = u"N";
  n.key = NameKey::of(n.name);
  auto read = [&](THensuFmt& f) {
    Value* v = VariableStore::hinted_local_scalar(f, n);
    return v ? v->as_r8() : -1.0;
  };
  auto plain = frame(7, {u"RESULT", u"N"}, 10);
  auto other = frame(8, {u"RESULT", u"M", u"N"}, 20);
  auto thread = frame(0, {u"N"}, 30);
  n.slot_hint = 1;
  EXPECT_EQ(read(*plain), 11);  // learns (7, 1)
  EXPECT_EQ(n.fixed_slot.load() >> NameRef::k_layout_slot_bits, 7u);
  EXPECT_EQ(read(*thread), -1);  // slot 1 is no N there: the general path decides
  n.slot_hint = 0;
  EXPECT_EQ(read(*thread), 30);
  EXPECT_EQ(read(*plain), 11);  // by the fixed slot, whatever the hint says
  n.slot_hint = 1;                // M in the other layout
  EXPECT_EQ(read(*other), 22);    // found past the hint: learns (8, 2) in place of (7, 1)
  EXPECT_EQ(n.fixed_slot.load(), 8u << NameRef::k_layout_slot_bits | 2u);
  EXPECT_EQ(n.slot_hint.load(), 2);
  EXPECT_EQ(read(*plain), 11);
  // A name the frame does not hold goes by its hint from then on.
  NameRef g;
  g.name = u"G";
  g.key = NameKey::of(g.name);
  EXPECT_EQ(VariableStore::hinted_local_scalar(*plain, g), nullptr);
  EXPECT_EQ(g.fixed_slot.load(), 7u << NameRef::k_layout_slot_bits | NameRef::k_not_in_layout);
  EXPECT_EQ(VariableStore::hinted_local_scalar(*plain, g), nullptr);
  plain->error = true;
  n.slot_hint = 1;
  EXPECT_EQ(read(*plain), -1);  // an error pending in the frame stops every read
  plain->error = false;
  // A local of the body, behind the layout's slots, is marked so and found
  // by its slot's name from then on.
  store.declare_variable(*plain, u"T", {});
  plain->variables.back().values[0] = Value::r8(12);
  NameRef t;
  t.name = u"T";
  t.key = NameKey::of(t.name);
  t.slot_hint = 2;
  Value* v = VariableStore::hinted_local_scalar(*plain, t);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->as_r8(), 12);
  EXPECT_EQ(t.fixed_slot.load() & NameRef::k_not_in_layout, NameRef::k_not_in_layout);
  t.slot_hint = 1;
  EXPECT_EQ(VariableStore::hinted_local_scalar(*plain, t), nullptr);  // slot 1 holds N
}

}  // namespace
}  // namespace vesk
