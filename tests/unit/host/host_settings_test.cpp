// The host's default settings keys.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/host/host_settings.h"
#include "platform/platform.h"
#include "support/utf.h"

namespace vesk::host {
namespace {

class HostSettingsTest : public ::testing::Test {
 protected:
  HostSettingsTest() {
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = std::filesystem::temp_directory_path() / (std::string("vesk-host-") + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "app");
    places = {utf8_to_utf16(dir.string()), u"VESK.INI", utf8_to_utf16((dir / "app").string())};
  }
  ~HostSettingsTest() override { std::filesystem::remove_all(dir); }

  std::filesystem::path dir;
  SettingsPlaces places;
};

TEST_F(HostSettingsTest, MissingKeysGetTheirDefaultsAndExistingOnesStay) {
  SettingsFile settings(places);
  settings.set_retry_pause_ms(0);
  settings.write(u"SET", u"PlayHotKey", u"4,1");
  settings.write(u"SET", u"LogLines", u"200");
  write_default_settings(settings, {u"880,824", u"x.vsk"});
  EXPECT_EQ(settings.read(u"SET", u"Position"), u"880,824");
  EXPECT_EQ(settings.read(u"SET", u"PlayHotKey"), u"4,1");
  EXPECT_EQ(settings.read(u"SET", u"StopHotKey"), u"2,2");
  EXPECT_EQ(settings.read(u"SET", u"TrayHotKey"), u"14,5");
  EXPECT_EQ(settings.read(u"SET", u"DefaultFont"), u",");
  EXPECT_EQ(settings.read(u"SET", u"LogLines"), u"2000");  // "200" is raised
  EXPECT_EQ(settings.read(u"SCHEDULE", u"MaxNumber"), u"40");
  EXPECT_EQ(settings.read(u"LUNCHMENU", u"Position"), u"0,0");
  // The file existed: no sample entry.
  EXPECT_EQ(settings.read(u"LUNCHMENU", u"T1"), u"");
  settings.write(u"SET", u"LogLines", u"500");
  write_default_settings(settings, {u"0,0", {}});
  EXPECT_EQ(settings.read(u"SET", u"LogLines"), u"500");
  EXPECT_EQ(settings.read(u"SET", u"Position"), u"880,824");
}

TEST_F(HostSettingsTest, ANewFileGetsTheSampleEntryAndInheritedValuesFillOnlyGaps) {
  {
    SettingsFile settings(places);
    settings.set_retry_pause_ms(0);
    write_default_settings(settings, {u"1,2", u".\\サンプル.VSK"});
    EXPECT_EQ(settings.read(u"LUNCHMENU", u"T1"), u"サンプル");
    EXPECT_EQ(settings.read(u"LUNCHMENU", u"S1"), u".\\サンプル.VSK");
  }
  std::filesystem::remove_all(dir / "VESK.INI");
  SettingsFile settings(places);
  settings.set_retry_pause_ms(0);
  settings.write(u"SET", u"LogLines", u"300");
  write_inherited_settings(settings, u"10,20;;;MS Gothic,12");
  EXPECT_EQ(settings.read(u"SET", u"Position"), u"10,20");
  EXPECT_EQ(settings.read(u"SET", u"StopHotKey"), u"2,2");
  EXPECT_EQ(settings.read(u"SET", u"LogLines"), u"300");
  EXPECT_EQ(settings.read(u"SET", u"DefaultFont"), u"MS Gothic,12");
}

TEST(HostPosition, ReadsTwoWholeNumbers) {
  int32_t x = 0, y = 0;
  EXPECT_TRUE(read_position(u"880, -24", x, y));
  EXPECT_EQ(x, 880);
  EXPECT_EQ(y, -24);
  EXPECT_FALSE(read_position(u"880", x, y));
  EXPECT_FALSE(read_position(u"a,b", x, y));
}

}  // namespace
}  // namespace vesk::host
