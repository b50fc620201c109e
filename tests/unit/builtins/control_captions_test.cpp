// The caption rule and the class families of the control functions.
#include <gtest/gtest.h>

#include "builtins/gui/control_captions.h"
#include "builtins/gui/control_families.h"

namespace vesk::gui {
namespace {

TEST(NormalizeCaption, DropsWhatDressesACaption) {
  EXPECT_EQ(normalize_caption(u"&OK"), u"OK");
  EXPECT_EQ(normalize_caption(u"Save(&S)"), u"Save");
  EXPECT_EQ(normalize_caption(u"Open..."), u"Open");
  EXPECT_EQ(normalize_caption(u"&Name:"), u"Name");
  EXPECT_EQ(normalize_caption(u"Open (&O)..."), u"Open");
  EXPECT_EQ(normalize_caption(u"Print (P)"), u"Print");
  EXPECT_EQ(normalize_caption(u"  &New\tCtrl+N"), u"New");
  EXPECT_EQ(normalize_caption(u"Fish && Chips"), u"Fish  Chips");
}

TEST(NormalizeCaption, KeepsShortAndBracketedTexts) {
  // Two characters or fewer stay as they are, dots and ampersands too.
  EXPECT_EQ(normalize_caption(u" &A "), u"&A");
  EXPECT_EQ(normalize_caption(u".."), u"..");
  EXPECT_EQ(normalize_caption(u""), u"");
  // A bracket group is removed only when more than 3 characters remain
  // and it has the mnemonic's length.
  EXPECT_EQ(normalize_caption(u"(X)"), u"(X)");
  EXPECT_EQ(normalize_caption(u"Size (XL)"), u"Size (XL)");
  EXPECT_EQ(normalize_caption(u"\tonly accelerator"), u"");
  EXPECT_EQ(normalize_caption(u"...:"), u"");
}

TEST(CaptionMatches, EqualTrimmedOrPartial) {
  EXPECT_TRUE(caption_matches(u"SAVE", u"SAVE", false));
  EXPECT_TRUE(caption_matches(u"SAVE", u" SAVE ", false));
  EXPECT_FALSE(caption_matches(u"SAVE", u"SAVE AS", false));
  EXPECT_TRUE(caption_matches(u"SAVE", u"SAVE AS", true));
  EXPECT_TRUE(caption_matches(u"VE A", u"SAVE AS", true));
  EXPECT_FALSE(caption_matches(u"SAVE AS", u"SAVE", true));
  // An empty name matches only an empty caption, partial or not.
  EXPECT_FALSE(caption_matches(u"", u"SAVE", true));
  EXPECT_TRUE(caption_matches(u"", u"", true));
}

TEST(CaptionMatches, FullWidthAndHalfWidthMeet) {
  EXPECT_TRUE(caption_matches(u"FULL", u"\uFF26\uFF35\uFF2C\uFF2C", false));
  EXPECT_TRUE(caption_matches(u"\uFF26\uFF35\uFF2C\uFF2C", u"FULL", false));
  EXPECT_TRUE(caption_matches(u"UL", u"\uFF26\uFF35\uFF2C\uFF2C", true));
  EXPECT_FALSE(caption_matches(u"UL", u"\uFF26\uFF35\uFF2C\uFF2C", false));
  // Half-width katakana against full-width.
  EXPECT_TRUE(caption_matches(u"\u30AB\u30CA", u"\uFF76\uFF85", false));
}

ControlFacts facts(std::u16string_view klass, std::u16string_view parent = u"", bool children = false,
                   bool only = false) {
  return ControlFacts{klass, parent, children, only};
}

TEST(ClassFamilies, RealClassNamesPickTheFamily) {
  EXPECT_TRUE(in_families(facts(u"BUTTON"), k_family_buttons));
  EXPECT_TRUE(in_families(facts(u"TBTNCHECKBOX"), k_family_buttons));
  EXPECT_FALSE(in_families(facts(u"BUTTON"), k_family_lists | k_family_edits));
  EXPECT_TRUE(in_families(facts(u"LISTBOX"), k_family_lists));
  EXPECT_TRUE(in_families(facts(u"COMBOBOXEX32"), k_family_lists));
  EXPECT_TRUE(in_families(facts(u"SYSTABCONTROL32"), k_family_tabs));
  EXPECT_TRUE(in_families(facts(u"SYSTREEVIEW32"), k_family_trees));
  EXPECT_TRUE(in_families(facts(u"SYSLISTVIEW32"), k_family_list_views));
  EXPECT_TRUE(in_families(facts(u"TOOLBARWINDOW32"), k_family_tool_bars));
  EXPECT_TRUE(in_families(facts(u"SYSDATETIMEPICK32"), k_family_edits));
  EXPECT_TRUE(in_families(facts(u"_WWG"), k_family_edits));
  EXPECT_FALSE(in_families(facts(u"_WWGX"), k_family_edits));
  EXPECT_TRUE(in_families(facts(u"EDTBX"), k_family_edits));
  EXPECT_TRUE(in_families(facts(u"MSCTLS_TRACKBAR32"), k_family_sliders));
  EXPECT_TRUE(in_families(facts(u"SCROLLBAR"), k_family_sliders));
  EXPECT_TRUE(in_families(facts(u"SYSHEADER32"), k_family_all));
  EXPECT_TRUE(in_families(facts(u"INTERNET EXPLORER_SERVER", u"", true), k_family_browsers));
}

TEST(ClassFamilies, AStatusBarIsAStaticAndAStatusBar) {
  EXPECT_TRUE(in_families(facts(u"MSCTLS_STATUSBAR32"), k_family_statics));
  EXPECT_TRUE(in_families(facts(u"MSCTLS_STATUSBAR32"), k_family_status_bars));
  EXPECT_FALSE(in_families(facts(u"STATIC"), k_family_status_bars));
}

TEST(ClassFamilies, ComboBoxInsideComboBoxExIsNoListOfItsOwn) {
  EXPECT_FALSE(in_families(facts(u"COMBOBOX", u"COMBOBOXEX32"), k_family_lists));
  EXPECT_TRUE(in_families(facts(u"COMBOBOX", u"#32770"), k_family_lists));
  // Its edit is still an edit.
  EXPECT_TRUE(in_families(facts(u"EDIT", u"COMBOBOX"), k_family_edits));
}

TEST(ClassFamilies, AccessibleHosts) {
  EXPECT_TRUE(in_families(facts(u"BUTTON"), k_family_accessible));
  EXPECT_FALSE(in_families(facts(u"#32770", u"", true), k_family_accessible));
  EXPECT_TRUE(in_families(facts(u"#32770", u"", true, true), k_family_accessible));
  EXPECT_TRUE(in_families(facts(u"MOZILLAWINDOWCLASS", u"", true), k_family_accessible));
  EXPECT_TRUE(in_families(facts(u"SYSTABCONTROL32", u"", true), k_family_accessible));
  // ActiveX hosts only when the mask asks for exactly them.
  EXPECT_FALSE(in_families(facts(u"ATL:ACTIVEX"), k_family_accessible));
  EXPECT_TRUE(in_families(facts(u"ATL:ACTIVEX"), 0xC000));
}

TEST(ClassFamilies, DisabledControlsAndReadingOrder) {
  EXPECT_FALSE(mask_takes_disabled(k_family_buttons));
  EXPECT_TRUE(mask_takes_disabled(k_check_only | k_family_buttons));
  EXPECT_TRUE(mask_takes_disabled(k_with_disabled | k_family_buttons));
  EXPECT_TRUE(mask_takes_disabled(k_family_all));
  EXPECT_TRUE(mask_takes_disabled(k_family_accessible));
  // Top to bottom first, then left to right; one row above wins over any
  // column.
  EXPECT_LT(reading_key(9000, 10), reading_key(0, 11));
  EXPECT_LT(reading_key(10, 40), reading_key(20, 40));
  EXPECT_LT(reading_key(9999, 9999), k_scroll_bar_key_offset);
}

}  // namespace
}  // namespace vesk::gui
