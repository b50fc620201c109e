// The command line's launch modes and the script spec rules.
#include <gtest/gtest.h>

#include "app/host/command_line.h"
#include "app/host/script_spec.h"

namespace vesk::host {
namespace {

using Args = std::vector<std::u16string>;

TEST(CommandLine, OnlyTheFirstArgumentIsASwitchAndTheRestIsJoinedByReturns) {
  EXPECT_EQ(parse_command_line({}).mode, LaunchMode::Bar);
  CommandLine plain = parse_command_line(Args{u"job.vsk", u"a", u"b c"});
  EXPECT_EQ(plain.mode, LaunchMode::RunOnce);
  EXPECT_EQ(plain.spec, u"job.vsk\ra\rb c");
  CommandLine k = parse_command_line(Args{u"/K", u"job.vsk", u"/l"});
  EXPECT_EQ(k.mode, LaunchMode::HandOverRun);
  EXPECT_EQ(k.spec, u"job.vsk\r/l");
  EXPECT_EQ(parse_command_line(Args{u"/l", u"x.vsk"}).mode, LaunchMode::HandOverLoad);
  // The test is exact: "/Rec" and "/Ni" are no switches but a script.
  EXPECT_EQ(parse_command_line(Args{u"/Rec"}).mode, LaunchMode::RunOnce);
  EXPECT_EQ(parse_command_line(Args{u"/Rec"}).spec, u"/Rec");
  CommandLine ni = parse_command_line(Args{u"/NI", u"x.vsk"});
  EXPECT_EQ(ni.mode, LaunchMode::RunOnce);
  EXPECT_TRUE(ni.no_task_bar);
  EXPECT_FALSE(parse_command_line(Args{u"/Ni", u"x.vsk"}).no_task_bar);
  EXPECT_TRUE(parse_command_line(Args{u"/kumikomi"}).embedded_only);
}

TEST(CommandLine, ContainerModesKeepTheirOutputApartAndTheRebootMarkerEndsTheScan) {
  CommandLine a = parse_command_line(Args{u"/a", u"in.vsk", u"out.vsk", u"more"});
  EXPECT_EQ(a.mode, LaunchMode::Encipher);
  EXPECT_EQ(a.spec, u"in.vsk\rmore");
  EXPECT_EQ(a.second_argument, u"out.vsk");
  EXPECT_EQ(parse_command_line(Args{u"/_exe_bild", u"in.vsk", u"C:\\out"}).second_argument, u"C:\\out");
  CommandLine reboot = parse_command_line(Args{u"job.vsk", u"p", u"VESK_REBOOT_$2", u"q"});
  EXPECT_EQ(reboot.spec, u"job.vsk\rp");
  EXPECT_EQ(parse_command_line(Args{u"VESK_REBOOT_$2", u"x.vsk"}).mode, LaunchMode::Bar);
}

TEST(CommandLine, UnattendedHelpAndTheWebRecorderScript) {
  CommandLine u = parse_command_line(Args{u"/UNATTENDED", u"/k", u"job.vsk"});
  EXPECT_TRUE(u.unattended);
  EXPECT_EQ(u.mode, LaunchMode::HandOverRun);
  EXPECT_EQ(parse_command_line(Args{u"/unattended"}).mode, LaunchMode::Bar);
  EXPECT_TRUE(parse_command_line(Args{u"--help"}).help);
  EXPECT_TRUE(parse_command_line(Args{u"/?"}).help);
  EXPECT_TRUE(parse_command_line(Args{u"C:\\tmp\\WebRec_$Temp$.vsk", u"x"}).web_recorder_script);
  EXPECT_FALSE(parse_command_line(Args{u"C:\\tmp\\job.vsk"}).web_recorder_script);
}

const SpecFolders k_folders{u"C:\\Program\\VESK", u"D:\\work", false};

TEST(ScriptSpec, TheExtensionIsPutOnTheWholeSpecWhenMissing) {
  EXPECT_EQ(spec_path_text(u"job"), u"job.VSK");
  // No ".VSK" anywhere: the blank and the words become part of the name.
  EXPECT_EQ(parse_script_spec(u"job a b", SpecSeparator::Blank, k_folders).path, u"D:\\work\\job a b.VSK");
  EXPECT_TRUE(parse_script_spec(u"job a b", SpecSeparator::Blank, k_folders).params.empty());
  EXPECT_EQ(spec_path_text(u"  C:\\My Scripts\\Run.Vsk  x"), u"C:\\My Scripts\\Run.Vsk");
}

TEST(ScriptSpec, PrefixesStartAtTheProgramFolderOrTheStartingDirectory) {
  EXPECT_EQ(parse_script_spec(u".\\s\\a.vsk", SpecSeparator::Blank, k_folders).path, u"C:\\Program\\VESK\\s\\a.vsk");
  EXPECT_EQ(parse_script_spec(u"./a.vsk", SpecSeparator::Blank, k_folders).path, u"C:\\Program\\VESK\\a.vsk");
  EXPECT_EQ(parse_script_spec(u"..\\a.vsk", SpecSeparator::Blank, k_folders).path, u"C:\\Program\\a.vsk");
  EXPECT_EQ(parse_script_spec(u"sub\\a.vsk", SpecSeparator::Blank, k_folders).path, u"D:\\work\\sub\\a.vsk");
  EXPECT_EQ(parse_script_spec(u"E:\\a.vsk", SpecSeparator::Blank, k_folders).path, u"E:\\a.vsk");
  SpecFolders hand_over = k_folders;
  hand_over.prefixes_from_current = true;
  EXPECT_EQ(parse_script_spec(u".\\a.vsk", SpecSeparator::Blank, hand_over).path, u"D:\\work\\a.vsk");
  EXPECT_EQ(parse_script_spec(u"../a.vsk", SpecSeparator::Blank, hand_over).path, u"D:\\a.vsk");
}

TEST(ScriptSpec, ParametersSplitByTheirSeparatorAndTheRepeatCountIsTakenOut) {
  ScriptSpec blank = parse_script_spec(u"a.vsk one \"two three\"  -R3 fo\"u\"r -r -Rx", SpecSeparator::Blank, k_folders);
  EXPECT_EQ(blank.params, (std::vector<std::u16string>{u"one", u"two three", u"four", u"-r", u"-Rx"}));
  EXPECT_EQ(blank.repeat, 3);
  ScriptSpec line = parse_script_spec(u"a.vsk\r\"quoted arg\"\rb c\r-r12", SpecSeparator::CarriageReturn, k_folders);
  EXPECT_EQ(line.params, (std::vector<std::u16string>{u"\"quoted arg\"", u"b c"}));
  EXPECT_EQ(line.repeat, 12);
  EXPECT_EQ(parse_script_spec(u"a.vsk", SpecSeparator::Blank, k_folders).repeat, 0);
}

TEST(ScriptSpec, FoldersAndNames) {
  EXPECT_EQ(folder_of(u"C:\\a\\b.vsk"), u"C:\\a");
  EXPECT_EQ(folder_of(u"C:\\b.vsk"), u"C:\\");
  EXPECT_EQ(file_name_of(u"C:\\a/b.vsk"), u"b.vsk");
  EXPECT_TRUE(is_absolute_path(u"\\\\server\\share\\x.vsk"));
  EXPECT_FALSE(is_absolute_path(u"x.vsk"));
}

}  // namespace
}  // namespace vesk::host

#include "app/host/hot_keys.h"

namespace vesk::host {
namespace {

TEST(HotKeys, SettingsReadIntoKeysAndModifiersWithTheDefaultsForMissingParts) {
  std::optional<HotKey> play = read_hot_key(u"1,2", u"1,2");
  ASSERT_TRUE(play);
  EXPECT_EQ(play->virtual_key, 0x70u);  // F1
  EXPECT_EQ(play->modifiers, 1u);       // ALT
  std::optional<HotKey> tray = read_hot_key(u"14,5", u"");
  EXPECT_EQ(tray->virtual_key, static_cast<uint32_t>('W'));
  EXPECT_EQ(tray->modifiers, 2u | 1u);
  EXPECT_EQ(read_hot_key(u"54,-1", u"14,0")->virtual_key, static_cast<uint32_t>('0'));
  EXPECT_EQ(read_hot_key(u"54,-1", u"14,0")->modifiers, 2u);
  EXPECT_EQ(read_hot_key(u"", u"2,2")->virtual_key, 0x71u);
  EXPECT_FALSE(read_hot_key(u"55,0", u"1,2"));
  EXPECT_FALSE(read_hot_key(u"1,6", u"1,2"));
  EXPECT_FALSE(read_hot_key(u"x,1", u"1,2"));
}

}  // namespace
}  // namespace vesk::host
