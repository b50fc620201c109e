// The named constants, the key names and the GET_ special names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/values/named_constants.h"
#include "platform/platform.h"
#include "support/version.h"

namespace vesk {
namespace {

TEST(NamedConstants, OneOfEveryGroupHasItsValue) {
  const std::vector<std::pair<std::u16string, double>> samples = {
      {u"CLICK", 0},          {u"TOPNOACTV", 11},         {u"F_INSERT", -1},
      {u"F_EXCLUSIVE", 512},  {u"P_VESK_REEXEC", 16384},  {u"ST_ISID", 21},
      {u"SC_FULLWIDTH", 8388608}, {u"OS_WIN64", 1},       {u"XL_OOOC", 3},
      {u"BTN_IGNORE", 64},    {u"MOD_WIN", 8},            {u"CLK_ACC2", 268468224},
      {u"CLK_ACCV", 1073774592}, {u"CLK_FROMLAST", 65536}, {u"CHK_TREEVIEW", 67108880},
      {u"STR_ACC_STATIC", 4}, {u"ITM_ACCTXTV", 1082130432}, {u"ITM_EDIT", 131072},
      {u"TGL_IME", 10004},    {u"FOM_GETVALUE", -59999999}, {u"ACC_BACK", 512},
      {u"CUR_WAIT", 16},      {u"IMG_BACK", 2},           {u"SLD_Y2", 8},
      {u"VAR_ARRAY", 8192},   {u"GET_SLIDER", -10000000}, {u"ERR_VALUE", -999999},
      {u"MON_PRIMARY", 4},    {u"COL_B", 6},              {u"TRD_RESUME", 3},
      {u"CODE_BYTEARRAYW", 5}, {u"HASH_REMOVEALL", -109}, {u"HASH_SORT", 8192},
      {u"CALC_AVR", 4},       {u"MORG_BACK", 2},          {u"LOCK_MOUSE", 2},
      {u"SLCT_NUM", 128},
  };
  for (const auto& [name, value] : samples) {
    std::optional<double> found = find_constant(name);
    ASSERT_TRUE(found.has_value()) << std::string(name.begin(), name.end());
    EXPECT_EQ(*found, value) << std::string(name.begin(), name.end());
    EXPECT_EQ(constant_value(name), value);
  }
}

TEST(NamedConstants, SpellingsShareValues) {
  EXPECT_EQ(constant_value(u"CLK_LSTVEW"), 32);
  EXPECT_EQ(constant_value(u"CLK_LISTVIEW"), 32);
  EXPECT_EQ(constant_value(u"LEFT"), constant_value(u"CLICK"));
  EXPECT_EQ(constant_value(u"F_INSERT"), constant_value(u"F_LINECOUNT"));
}

TEST(NamedConstants, OtherNamesAreNoConstants) {
  for (std::u16string name : {u"X", u"A", u"_", u"", u"click", u"CLK_", u"CLK_NOTHING", u"ZZ_BTN", u"CLICKS",
                              u"G_TIME_YY", u"TRUE", u"VK_", u"VK_a", u"VK_AB", u"VK_F13", u"VK_NUMPAD10"}) {
    EXPECT_EQ(constant_value(name), k_no_constant) << std::string(name.begin(), name.end());
    EXPECT_FALSE(is_constant_or_special_name(name));
  }
}

TEST(NamedConstants, ColourMasksFollowTheirRule) {
  EXPECT_EQ(constant_value(u"IMG_MSK_R1"), 1);
  EXPECT_EQ(constant_value(u"IMG_MSK_R8"), 255);
  EXPECT_EQ(constant_value(u"IMG_MSK_G3"), 7 * 256);
  EXPECT_EQ(constant_value(u"IMG_MSK_B8"), 0xFF0000);
  EXPECT_EQ(constant_value(u"IMG_MSK_BGR1"), 65793);
  EXPECT_EQ(constant_value(u"IMG_MSK_BGR6"), 4144959);
  for (std::u16string name : {u"IMG_MSK_BGR7", u"IMG_MSK_R9", u"IMG_MSK_G0", u"IMG_MSK_R", u"IMG_MSK_R10",
                              u"IMG_MSK_RGB1", u"IMG_MSK_"})
    EXPECT_EQ(constant_value(name), k_no_constant) << std::string(name.begin(), name.end());
}

TEST(NamedConstants, KeyNames) {
  EXPECT_EQ(constant_value(u"VK_A"), 65);
  EXPECT_EQ(constant_value(u"VK_Z"), 90);
  EXPECT_EQ(constant_value(u"VK_0"), 48);
  EXPECT_EQ(constant_value(u"VK_F1"), 112);
  EXPECT_EQ(constant_value(u"VK_F12"), 123);
  EXPECT_EQ(constant_value(u"VK_NUMPAD9"), 105);
  EXPECT_EQ(constant_value(u"VK_RRETURN"), 901);
  EXPECT_EQ(constant_value(u"VK_START"), constant_value(u"VK_RWIN"));
  EXPECT_EQ(constant_value(u"VK_OEM_BACKTAB"), 245);
}

TEST(NamedConstants, ComputedValuesComeFromTheSystem) {
  for (std::u16string name : {u"G_MOUSE_X", u"G_MOUSE_Y", u"G_SCREEN_W", u"G_SCREEN_H", u"G_SCREEN_C"}) {
    EXPECT_TRUE(find_constant(name).has_value());
    EXPECT_TRUE(is_constant_or_special_name(name));
  }
  EXPECT_EQ(constant_value(u"G_SCREEN_W"), platform::screen_width());
  EXPECT_EQ(constant_value(u"G_SCREEN_C"), platform::screen_colour_depth());
  EXPECT_EQ(constant_value(u"GET_VESK_VER"), version_number(k_version_text));
}

TEST(NamedConstants, VersionLettersBecomeDigits) {
  EXPECT_DOUBLE_EQ(version_number(u"1.2b3"), 1.223);
  EXPECT_DOUBLE_EQ(version_number(u"1.2B3"), 1.223);
  EXPECT_DOUBLE_EQ(version_number(u"4.0i"), 4.09);
  EXPECT_DOUBLE_EQ(version_number(u"0.1"), 0.1);
  EXPECT_DOUBLE_EQ(version_number(u"2.5 beta"), 2.5);
  EXPECT_EQ(version_number(u"x1"), 0);
  EXPECT_GT(version_number(k_version_text), 0);
}

TEST(SpecialNames, FixedTexts) {
  EXPECT_EQ(special_text(u"EMPTYPARAM"), u"__EMPTYPARAM__");
  EXPECT_EQ(special_text(u"GET_ACTIVE_WIN"), u"GET_ACTIVE_WIN");
  EXPECT_EQ(special_text(u"GET_BALLOON_WIN"), u"__GET_FUKIDASI_WIN__");
  EXPECT_EQ(special_text(u"GET_FUKIDASI_WIN"), u"__GET_FUKIDASI_WIN__");
  EXPECT_EQ(special_text(u"GET_SCHEDULE_WIN"), u"__GET_SCHEDULE_WIN__");
  EXPECT_EQ(special_text(u"GET_SLIDER"), u"");
  EXPECT_EQ(special_text(u"GET_NOTHING"), u"");
  EXPECT_EQ(special_text(u"XEMPTYPARAM"), u"");
  EXPECT_EQ(special_text(u"get_active_win"), u"");
  EXPECT_TRUE(is_constant_or_special_name(u"EMPTYPARAM"));
  EXPECT_TRUE(is_constant_or_special_name(u"GET_WIN_DIR"));
  EXPECT_EQ(constant_value(u"EMPTYPARAM"), k_no_constant);
}

TEST(SpecialNames, CurrentDirectoryIsReadAtEachUse) {
  std::u16string start = special_text(u"GET_CUR_DIR");
  ASSERT_EQ(start, platform::current_directory());
  ASSERT_TRUE(platform::set_current_directory(u".."));
  std::u16string parent = special_text(u"GET_CUR_DIR");
  platform::set_current_directory(start);
  EXPECT_NE(parent, start);
  EXPECT_EQ(parent, platform::absolute_path(start + u"\\.."));
}

TEST(SpecialNames, Folders) {
  std::u16string program = special_text(u"GET_VESK_DIR");
  EXPECT_TRUE(platform::directory_exists(program)) << std::string(program.begin(), program.end());
  EXPECT_NE(program.back(), u'\\');
#ifdef _WIN32
  EXPECT_TRUE(platform::directory_exists(special_text(u"GET_WIN_DIR")));
  EXPECT_TRUE(platform::directory_exists(special_text(u"GET_SYS_DIR")));
  EXPECT_FALSE(special_text(u"GET_APPDATA_DIR").empty());
#else
  EXPECT_EQ(special_text(u"GET_WIN_DIR"), u"");
  EXPECT_EQ(special_text(u"GET_SYS_DIR"), u"");
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  std::string keep = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", "/tmp/vesk config/", 1);
  EXPECT_EQ(special_text(u"GET_APPDATA_DIR"), u"\\tmp\\vesk config");
  if (saved) ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1); else ::unsetenv("XDG_CONFIG_HOME");
#endif
}

TEST(SpecialNames, LauncherCaption) {
  EXPECT_EQ(special_text(u"GET_VESK_NAME"), u"VESK");
  set_launcher_caption(u"Tool", true);
  EXPECT_EQ(special_text(u"GET_VESK_NAME"), u"Tool.EXE");
  set_launcher_caption(u"VESK");
  EXPECT_EQ(special_text(u"GET_VESK_NAME"), u"VESK");
}

}  // namespace
}  // namespace vesk
