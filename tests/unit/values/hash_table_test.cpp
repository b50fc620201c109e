// The hash table of HASHTBL: buckets, case rules, key order, the two-index reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/values/hash_table.h"
#include "engine/values/named_constants.h"
#include "support/utf.h"

namespace vesk {
namespace {

std::u16string keys_of(const TSZHash& table) {
  std::u16string all;
  for (int32_t i = 0; i < table.count(); ++i) {
    if (i > 0) all += u',';
    all += table.key_at(i);
  }
  return all;
}

double number_at(const TSZHash& table, std::u16string_view key) {
  const Value* v = table.find(key);
  return v ? v->as_r8() : -1;
}

TEST(HashBucketCount, BecomesAPrime) {
  EXPECT_EQ(hash_bucket_count(1023), 1021);
  EXPECT_EQ(hash_bucket_count(4), 5);
  EXPECT_EQ(hash_bucket_count(1021), 1021);
  EXPECT_EQ(hash_bucket_count(2), 2);
  EXPECT_EQ(hash_bucket_count(3), 3);
  EXPECT_EQ(hash_bucket_count(12), 13);
  // The search starts just below the request and may end there.
  EXPECT_EQ(hash_bucket_count(25), 23);
  EXPECT_EQ(hash_bucket_count(119), 127);
  EXPECT_EQ(TSZHash().bucket_count(), 1021);
  for (int32_t n : {-5, 0, 1, 1 << 30}) {
    int32_t count = hash_bucket_count(n);
    EXPECT_GE(count, 2) << n;
    EXPECT_LE(count, (1 << 24) + 6) << n;
  }
  for (int32_t n = 1; n < 3000; ++n) {
    int32_t count = hash_bucket_count(n);
    for (int32_t d = 2; d * d <= count; ++d) ASSERT_NE(count % d, 0) << n << " gave " << count;
    ASSERT_GE(count, n - 6) << n;
  }
}

// Growth takes four times the buckets, to a prime, and stops at the cap
// without ever shrinking: the prime next to the cap lies below it.
TEST(HashBucketCount, GrowsFourfoldUpToTheCap) {
  EXPECT_EQ(hash_grown_bucket_count(1021), hash_bucket_count(4084));
  EXPECT_GT(hash_grown_bucket_count(5), 5);
  int32_t count = 1021;
  for (int step = 0; step < 20; ++step) {
    int32_t grown = hash_grown_bucket_count(count);
    ASSERT_GE(grown, count);
    ASSERT_LE(grown, (1 << 24) + 6);
    count = grown;
  }
  EXPECT_EQ(hash_grown_bucket_count(count), count);
  EXPECT_EQ(hash_grown_bucket_count(hash_bucket_count(1 << 24)), hash_bucket_count(1 << 24));
}

TEST(HashOptions, OnlyCaseCareAndSort) {
  for (int64_t ok : {0, 4096, 8192, 12288}) EXPECT_TRUE(hash_options_valid(ok)) << ok;
  for (int64_t bad : {int64_t{1}, int64_t{4097}, int64_t{16384}, int64_t{-1}, int64_t{1} << 40}) EXPECT_FALSE(hash_options_valid(bad)) << bad;
}

TEST(HashTable, EverySelectorFindsItsKeys) {
  for (int32_t selector : {1, 2, 3, 4, 0, 9}) {
    TSZHash table(0, selector, 7);
    EXPECT_EQ(table.hash_selector(), selector >= 1 && selector <= 4 ? selector : 1);
    // Keys "keyA0" … "keyZ7": letter i % 26, digit i / 26.
    for (int i = 0; i < 208; ++i) {
      std::u16string key = u"key";
      key += static_cast<char16_t>(u'A' + i % 26);
      key += static_cast<char16_t>(u'0' + i / 26);
      EXPECT_TRUE(table.put(key, Value::r8(i)));
    }
    EXPECT_EQ(table.count(), 208);
    EXPECT_EQ(number_at(table, u"KEYA0"), 0);
    EXPECT_EQ(number_at(table, u"keyz7"), 207);
    EXPECT_EQ(table.find(u"keyA8"), nullptr);
  }
}

// Long buckets (7 of them, 300 keys, some past ASCII): removing from the
// middle of a bucket leaves every other key found with its own value.
TEST(HashTable, RemovalsInLongBucketsKeepTheRestFound) {
  TSZHash table(0, 2, 7);
  auto key = [](int i) { return u"k" + utf8_to_utf16(std::to_string(i)) + (i % 5 == 0 ? u"\u00e9" : u""); };
  for (int i = 0; i < 300; ++i) table.put(key(i), Value::r8(i));
  for (int i = 0; i < 300; i += 3) EXPECT_TRUE(table.remove(key(i)));
  for (int i = 0; i < 300; ++i) {
    const Value* v = table.find(key(i));
    if (i % 3 == 0) {
      EXPECT_EQ(v, nullptr) << i;
    } else {
      ASSERT_NE(v, nullptr) << i;
      EXPECT_EQ(v->as_r8(), i);
    }
  }
  EXPECT_NE(table.find(u"K10\u00C9"), nullptr);  // case-blind past ASCII too
  EXPECT_EQ(table.count(), 200);
}

TEST(HashTable, KeysSpreadOverTheBuckets) {
  TSZHash table;
  for (int i = 0; i < 5000; ++i) {
    std::string key = "item" + std::to_string(i);
    table.put(std::u16string(key.begin(), key.end()), Value::r8(i));
  }
  EXPECT_EQ(table.count(), 5000);
  EXPECT_LE(table.longest_bucket(), 20);
}

// A table that starts with few buckets grows as keys arrive; puts, finds
// and removals in any mix agree with a plain map throughout, and the key
// order is the insertion order of the keys still there.
TEST(HashTable, GrowsAndAgreesWithAMapUnderRemovals) {
  for (int32_t selector = 1; selector <= 4; ++selector) {
    TSZHash table(0, selector, 5);
    std::map<std::u16string, double> model;
    std::vector<std::u16string> order;
    uint32_t seed = 12345u + static_cast<uint32_t>(selector);
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 3000; };
    for (int step = 0; step < 20000; ++step) {
      uint32_t n = next();
      std::string ascii = "k" + std::to_string(n);
      std::u16string key(ascii.begin(), ascii.end());
      if (step % 3 == 2) {
        bool had = model.erase(key) > 0;
        ASSERT_EQ(table.remove(key), had) << step;
        if (had) order.erase(std::find(order.begin(), order.end(), key));
      } else {
        bool fresh = model.find(key) == model.end();
        model[key] = step;
        ASSERT_EQ(table.put(key, Value::r8(step)), fresh) << step;
        if (fresh) order.push_back(key);
      }
    }
    ASSERT_EQ(table.count(), static_cast<int32_t>(model.size()));
    for (int32_t i = 0; i < table.count(); ++i) ASSERT_EQ(table.key_at(i), order[i]) << i;
    for (const auto& [key, value] : model) ASSERT_EQ(number_at(table, key), value);
    EXPECT_EQ(table.find(u"k-1"), nullptr);
    EXPECT_GT(table.bucket_count(), 5) << selector;
    EXPECT_LE(table.longest_bucket(), 16) << selector;
    table.clear();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.longest_bucket(), 0);
    EXPECT_EQ(table.find(order.front()), nullptr);
  }
}

TEST(HashTable, WithoutCaseCareCaseIsIgnored) {
  TSZHash table;
  EXPECT_TRUE(table.put(u"abc", Value::r8(1)));
  EXPECT_FALSE(table.put(u"ABC", Value::r8(2)));
  EXPECT_TRUE(table.put(u"\u00E9t\u00E9", Value::r8(3)));
  EXPECT_FALSE(table.put(u"\u00C9T\u00C9", Value::r8(4)));
  // The dotless i upper-cases to nothing else: it stays apart from I.
  EXPECT_TRUE(table.put(u"\u0131", Value::r8(5)));
  EXPECT_TRUE(table.put(u"I", Value::r8(6)));
  EXPECT_EQ(keys_of(table), u"abc,\u00E9t\u00E9,\u0131,I");
  EXPECT_EQ(number_at(table, u"aBc"), 2);
  EXPECT_EQ(number_at(table, u"\u00E9T\u00C9"), 4);
  EXPECT_TRUE(table.remove(u"ABC"));
  EXPECT_EQ(keys_of(table), u"\u00E9t\u00E9,\u0131,I");
}

TEST(HashTable, WithCaseCareCaseCounts) {
  TSZHash table(k_hash_case_care);
  EXPECT_TRUE(table.put(u"abc", Value::r8(1)));
  EXPECT_TRUE(table.put(u"ABC", Value::r8(2)));
  EXPECT_EQ(table.count(), 2);
  EXPECT_EQ(table.find(u"Abc"), nullptr);
  EXPECT_TRUE(table.remove(u"ABC"));
  EXPECT_EQ(keys_of(table), u"abc");
}

TEST(HashTable, PutAgainKeepsSpellingAndPosition) {
  TSZHash table;
  table.put(u"one", Value::r8(1));
  table.put(u"two", Value::r8(2));
  table.put(u"three", Value::r8(3));
  EXPECT_FALSE(table.put(u"ONE", Value::r8(10)));
  EXPECT_EQ(keys_of(table), u"one,two,three");
  EXPECT_EQ(table.value_at(0).as_r8(), 10);
  EXPECT_EQ(table.value_at(2).as_r8(), 3);
}

TEST(HashTable, SortedKeyOrder) {
  TSZHash table(k_hash_sort);
  for (const char16_t* key : {u"pear", u"Apple", u"banana", u"cherry", u"apricot"}) table.put(key, Value::r8(0));
  EXPECT_EQ(keys_of(table), u"Apple,apricot,banana,cherry,pear");
  table.put(u"APPLE", Value::r8(1));
  EXPECT_EQ(table.count(), 5);
  EXPECT_TRUE(table.remove(u"BANANA"));
  EXPECT_EQ(keys_of(table), u"Apple,apricot,cherry,pear");

  TSZHash cased(k_hash_sort | k_hash_case_care);
  for (const char16_t* key : {u"b", u"B", u"A", u"a", u"ab", u"Ab"}) cased.put(key, Value::r8(0));
  EXPECT_EQ(keys_of(cased), u"a,A,ab,Ab,b,B");
  EXPECT_TRUE(cased.remove(u"A"));
  EXPECT_TRUE(cased.remove(u"ab"));
  EXPECT_EQ(keys_of(cased), u"a,Ab,b,B");
}

TEST(HashTable, RemoveAndClear) {
  TSZHash table;
  table.put(u"a", Value::r8(1));
  table.put(u"", Value::r8(2));
  table.put(u"c", Value::r8(3));
  EXPECT_EQ(number_at(table, u""), 2);
  EXPECT_FALSE(table.remove(u"b"));
  EXPECT_TRUE(table.remove(u"a"));
  EXPECT_FALSE(table.remove(u"a"));
  EXPECT_EQ(keys_of(table), u",c");
  table.clear();
  EXPECT_EQ(table.count(), 0);
  EXPECT_EQ(table.find(u"c"), nullptr);
  EXPECT_EQ(table.longest_bucket(), 0);
  EXPECT_TRUE(table.put(u"c", Value::r8(4)));
  EXPECT_EQ(keys_of(table), u"c");
}

TEST(HashTable, AssignMakesAnIndependentCopy) {
  TSZHash original(k_hash_sort);
  original.put(u"x", Value::string(u"text"));
  original.put(u"y", Value::r8(2));
  TSZHash copy(k_hash_case_care, 3, 5);
  copy.put(u"old", Value::r8(0));
  copy.assign(original);
  EXPECT_EQ(copy.options(), k_hash_sort);
  EXPECT_EQ(copy.bucket_count(), original.bucket_count());
  EXPECT_EQ(keys_of(copy), u"x,y");
  copy.find(u"X")->append_string(u"!");
  copy.put(u"a", Value::r8(1));
  copy.remove(u"y");
  EXPECT_EQ(keys_of(copy), u"a,x");
  EXPECT_EQ(keys_of(original), u"x,y");
  EXPECT_EQ(original.find(u"x")->as_string(), u"text");
  EXPECT_EQ(copy.find(u"x")->as_string(), u"text!");
}

class HashSelectorRead : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i) {
      std::u16string key = u"k";
      key += static_cast<char16_t>(u'0' + i);
      m_table.put(key, Value::r8(i * 10));
    }
    m_table.put(u"list", Value::array_of({Value::r8(7), Value::string(u"eight")}));
  }
  Result<Value, MessageId> read(std::u16string_view first, std::u16string_view selector) {
    return read_hash_with_selector(m_table, first, constant_value(selector));
  }
  TSZHash m_table;
};

TEST_F(HashSelectorRead, KeyAndValueByPosition) {
  EXPECT_EQ(read(u"0", u"HASH_KEY")->as_string(), u"k0");
  EXPECT_EQ(read(u"5", u"HASH_KEY")->as_string(), u"list");
  EXPECT_EQ(read(u"1.9", u"HASH_KEY")->as_string(), u"k1");
  EXPECT_EQ(read(u"4", u"HASH_VAL")->as_r8(), 40);
  for (const char16_t* outside : {u"6", u"-1", u"abc", u""}) {
    auto r = read(outside, u"HASH_KEY");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), MessageId::HashOutsideRange);
  }
  m_table.remove(u"list");
  EXPECT_EQ(read(u"5", u"HASH_VAL").error(), MessageId::HashOutsideRange);
}

TEST_F(HashSelectorRead, ExistsAndRemove) {
  EXPECT_EQ(read(u"K3", u"HASH_EXISTS")->bool_word(), 1);
  EXPECT_EQ(read(u"k9", u"HASH_EXISTS")->bool_word(), 0);
  EXPECT_EQ(read(u"k3", u"HASH_REMOVE")->bool_word(), 1);
  EXPECT_EQ(read(u"k3", u"HASH_REMOVE")->bool_word(), 0);
  EXPECT_EQ(read(u"k3", u"HASH_EXISTS")->type(), VarType::Bool);
  EXPECT_EQ(m_table.count(), 5);
}

TEST_F(HashSelectorRead, ElementOfAnArrayValue) {
  EXPECT_EQ(read_hash_with_selector(m_table, u"LIST", 1)->as_string(), u"eight");
  EXPECT_EQ(read_hash_with_selector(m_table, u"list", 0.5)->as_r8(), 7);
  EXPECT_EQ(read_hash_with_selector(m_table, u"list", 2).error(), MessageId::HashOutsideRange);
  EXPECT_EQ(read_hash_with_selector(m_table, u"k1", 0).error(), MessageId::HashSpecifiedWrong);
  EXPECT_EQ(read_hash_with_selector(m_table, u"none", 0).error(), MessageId::HashSpecifiedWrong);
}

}  // namespace
}  // namespace vesk
