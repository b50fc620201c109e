// The rules of simulated input that need no window system: the held-input
// list, the edges of the desktop, the mouse delays and the key flags.
#include "builtins/gui/input_rules.h"

#include <gtest/gtest.h>

namespace vesk::gui {
namespace {

HeldEntry key(int64_t code) { return HeldEntry{HeldEntry::Kind::Key, code, std::nullopt}; }
HeldEntry left() { return HeldEntry{HeldEntry::Kind::LeftButton, 0, std::nullopt}; }

TEST(HeldInputList, KeepsOrderAddsOnceAndReleasesInOrder) {
  HeldInputList list;
  list.add(left());
  list.add(key(65));
  list.add(left());
  list.add(HeldEntry{HeldEntry::Kind::Key, 65, 4660});
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"LEFTDOWN", "KBD65", "KBD65,4660"}));
  list.remove(key(65));
  list.remove(key(66));
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"LEFTDOWN", "KBD65,4660"}));
  std::vector<HeldEntry> taken = list.take();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].kind, HeldEntry::Kind::LeftButton);
  EXPECT_FALSE(taken[0].window);
  EXPECT_EQ(taken[1].kind, HeldEntry::Kind::Key);
  EXPECT_EQ(taken[1].key, 65);
  EXPECT_EQ(taken[1].window, 4660u);
  EXPECT_TRUE(list.entries().empty());
}

TEST(HeldInputList, EntriesReadBackFromTheirText) {
  for (const char* text : {"LEFTDOWN", "RIGHTDOWN,17", "MIDDLEDOWN", "KBD901", "KBD12354,4294967296"})
    EXPECT_EQ(HeldInputList::text_of(HeldInputList::parse(text)), text);
  // A damaged entry still reads as something harmless.
  EXPECT_EQ(HeldInputList::parse("KBD").key, 0);
  EXPECT_EQ(HeldInputList::parse("KBD99999999999999999999999").kind, HeldEntry::Kind::Key);
}

TEST(DesktopEdges, MouseMovesAreClampedButtonsCancelledOutside) {
  // A desktop from -100 with 1380 pixels: the last column is 1279.
  EXPECT_EQ(clamp_to_desktop(-101, -100, 1380), -100);
  EXPECT_EQ(clamp_to_desktop(1280, -100, 1380), 1279);
  EXPECT_EQ(clamp_to_desktop(5000, -100, 1380), 1279);
  EXPECT_EQ(clamp_to_desktop(500, -100, 1380), 500);

  EXPECT_EQ(button_coordinate(1280, 0, 1280), 1279);  // exactly at the edge: the last column
  EXPECT_EQ(button_coordinate(1281, 0, 1280), std::nullopt);
  EXPECT_EQ(button_coordinate(-1, 0, 1280), std::nullopt);
  EXPECT_EQ(button_coordinate(0, 0, 1280), 0);
}

TEST(MouseDelays, TheMainScriptSubtractsTheGap) {
  EXPECT_EQ(mouse_delay_ms(300, 100, false, false), 200);
  EXPECT_EQ(mouse_delay_ms(300, 100, true, false), 300);  // a script thread sleeps it all
  EXPECT_EQ(mouse_delay_ms(100, 105, false, false), 0);
  EXPECT_EQ(mouse_delay_ms(100, 105, false, true), 1);
  EXPECT_EQ(mouse_delay_ms(100, 109, false, true), 1);
  EXPECT_EQ(mouse_delay_ms(100, 110, false, true), 0);
  EXPECT_EQ(mouse_delay_ms(-5, 0, true, true), 0);
}

TEST(KeyRules, ExtendedKeysAndTheKeysSentForThem) {
  for (int64_t k : {161, 163, 165, 901, 33, 34, 35, 36, 37, 40, 45, 46, 111}) EXPECT_TRUE(is_extended_key(k)) << k;
  for (int64_t k : {13, 16, 160, 110, 106, 65}) EXPECT_FALSE(is_extended_key(k)) << k;
  EXPECT_EQ(sent_key_code(161), 16);
  EXPECT_EQ(sent_key_code(163), 17);
  EXPECT_EQ(sent_key_code(165), 18);
  EXPECT_EQ(sent_key_code(901), 13);
  EXPECT_EQ(sent_key_code(162), 162);
  EXPECT_TRUE(is_character_code(0x3042));
  EXPECT_FALSE(is_character_code(901));
  EXPECT_FALSE(is_character_code(255));
  EXPECT_TRUE(is_sendable_key(0x1F600));
  EXPECT_FALSE(is_sendable_key(0xD800));
  EXPECT_FALSE(is_sendable_key(0x110000));
  EXPECT_FALSE(is_sendable_key(0));
}

TEST(KeyRules, ModifiersOfHotKeysAndOfTheDirectMode) {
  EXPECT_EQ(hot_key_modifier_bit(165), 1u);
  EXPECT_EQ(hot_key_modifier_bit(162), 2u);
  EXPECT_EQ(hot_key_modifier_bit(161), 4u);
  EXPECT_EQ(hot_key_modifier_bit(92), 8u);
  EXPECT_EQ(hot_key_modifier_bit(65), 0u);
  EXPECT_EQ(direct_modifier(164), DirectModifier::Alt);
  EXPECT_EQ(direct_modifier(91), DirectModifier::None);
  EXPECT_TRUE(is_held_modifier(91));
  EXPECT_FALSE(is_held_modifier(166));
}

TEST(KeyRules, PostedKeyParameters) {
  EXPECT_EQ(key_message_parameter(0x1E, false, false), 0x001E0001u);
  EXPECT_EQ(key_message_parameter(0x1C, true, false), 0x011C0001u);
  EXPECT_EQ(key_message_parameter(0x1C, true, true), 0xC11C0001u);
}

}  // namespace
}  // namespace vesk::gui
