#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "TestData.h"
#include "app/SettingsStore.h"
#include "input/KeyMatrix.h"
#include "sound/Volume.h"
#include "ui/JoystickOptionsPage.h"
#include "ui/OptionsPages.h"
#include "ui/PortDecodeEdit.h"
#include "ui/PortsOptionsPage.h"
#include "ui/TConfigForm.h"
#include "ui/TRomNavigatorForm.h"
#include "ui/UiTest.h"
#include "ui/VideoOptionsPage.h"

namespace vantrel {
namespace {

class ConfigFormTest : public testing::Test {
 protected:
  ConfigFormTest() : form(store, FileResolver{}) { form.Load(values); }

  MemorySettingsStore store;
  TConfigForm::Values values;
  TConfigForm form;
};

TEST_F(ConfigFormTest, UntouchedPagesGiveBackWhatWasLoaded) {
  HardwareSettings& hw = values.Hardware;
  hw.KempstonJoystick = {0x00FF, 0x0037, false};
  hw.KempstonMouse = {true, true, true, false};
  hw.TrDos = {true, false, "boot.$B", false, true, true};
  hw.Memory = MemoryModel::Scorpion1024k;
  hw.SinclairTiming = TimingChoice::Sinclair128;
  hw.StartUp = {1, 1};
  hw.AttributePort = {false, true};
  hw.Volume = {3, 8, 0, 120, 2, true};
  hw.Gamepad = GamepadPresetMapping(GamepadPreset::Sinclair2);
  hw.Gamepad.Keys[kPadStart] = kKeyEnter;
  hw.Rom48k = {"a.rom:3", "/roms"};
  values.Screen.ShowFps = false;
  values.Screen.VideoMode = 2;
  values.Screen.FlashFrequency = 12345;  // its hertz text is rounded, the value must not be
  values.Border = kBuiltInBorderPresets[1].Sizes;  // what the stored preset names
  form.Load(values);
  const TConfigForm::Values result = form.Result();
  EXPECT_EQ(result.Hardware, values.Hardware);
  EXPECT_EQ(result.Screen, values.Screen);
  EXPECT_EQ(result.Border, values.Border);
  EXPECT_TRUE(form.OkButton()->isEnabled());
  form.ShowPage(TConfigForm::kRomsPage);
  form.ShowPage(99);  // ignored
  EXPECT_EQ(form.Pages()->currentWidget(), form.Roms());
}

TEST_F(ConfigFormTest, EachPageWritesItsOwnValuesAndOkWaitsForValidBorderSizes) {
  form.Ports()->KeyboardDecode()->SetDecode(0x00FF, 0x00FE);
  form.Startup()->ModeCombo()->setCurrentIndex(1);
  form.Startup()->ResetCombo()->setCurrentIndex(0);
  form.Roms()->Edit(RomSlot::kTrDos)->setText(QStringLiteral("dos.rom"));
  form.Roms()->Edit(RomSlot::k128kBasic)->clear();  // empty means the default
  form.TrDos()->PortAccessBox()->setChecked(true);
  form.Memory()->Models()->button(3)->setChecked(true);
  form.Memory()->Timing()->setCurrentIndex(3);
  form.Sound()->SynchDelay()->setValue(37);  // moves in steps of ten
  const HardwareSettings hw = form.Result().Hardware;
  EXPECT_EQ(hw.Keyboard, (PortDecodeSetting{0x00FF, 0x00FE, true}));
  EXPECT_EQ(hw.StartUp, (StartUpSetting{0, 1}));
  EXPECT_EQ(hw.RomDos.FileName, "dos.rom");
  EXPECT_EQ(hw.Rom128k.FileName, "Pentagon.Rom:0");
  EXPECT_TRUE(hw.TrDos.PortAccess && hw.Memory == MemoryModel::Pentagon1024k);
  EXPECT_EQ(hw.SinclairTiming, TimingChoice::ByStartMode);
  EXPECT_EQ(hw.Volume.SynchDelay, 40);

  VideoOptionsPage& video = *form.Video();
  video.PresetCombo()->setEditText(QStringLiteral("Mine"));
  video.LeftEdit()->setText(QStringLiteral("65"));
  EXPECT_FALSE(form.OkButton()->isEnabled());
  video.LeftEdit()->setText(QStringLiteral("12"));
  EXPECT_TRUE(form.OkButton()->isEnabled());
  EXPECT_EQ(form.Result().Border.Left, 12);
}

// The rewind row says what its seconds cost for the model chosen on the memory page, and
// stores the row picked.
TEST_F(ConfigFormTest, RewindRowShowsItsMemoryForTheChosenModel) {
  StartupOptionsPage& startup = *form.Startup();
  const auto megabytes = [&] {
    const QString text = startup.RewindMemoryLabel()->text();
    return text.isEmpty() ? 0 : text.section(QLatin1Char(' '), 1, 1).toInt();
  };
  startup.RewindCombo()->setCurrentIndex(0);
  EXPECT_EQ(startup.RewindMemoryLabel()->text(), QString());
  startup.RewindCombo()->setCurrentIndex(2);  // 60 seconds
  form.Memory()->Models()->button(static_cast<int>(MemoryModel::Spectrum128k))->click();
  const int small = megabytes();
  EXPECT_GT(small, 5);
  EXPECT_LT(small, 60);
  form.Memory()->Models()->button(static_cast<int>(MemoryModel::Pentagon1024k))->click();
  EXPECT_GT(megabytes(), 2 * small) << "a 1024K machine's captures are larger";
  EXPECT_EQ(form.Result().Hardware.StartUp.Rewind, 2);
}

TEST_F(ConfigFormTest, VolumesNeverShareAWeight) {
  SoundOptionsPage& sound = *form.Sound();
  sound.TapeOut()->setValue(8);  // 8 and 7 are taken by the speaker and tape in
  EXPECT_EQ(sound.TapeOut()->value(), 6);
  sound.TapeIn()->setValue(1);
  sound.TapeOut()->setValue(1);  // onto Tape In: one down, to 0
  EXPECT_EQ(sound.TapeOut()->value(), 0);
  sound.TapeIn()->setValue(0);  // two muted sources are allowed
  EXPECT_EQ(sound.TapeIn()->value(), 0);
  EXPECT_EQ(DistinctVolumePosition(5, 5, 4), 3);
  const std::pair<int, int> weights[] = {{0, 0}, {1, 1}, {8, 128}};
  for (const auto& [position, weight] : weights) EXPECT_EQ(VolumeWeight(position), weight);
}

// The second AY is offered with the models that take it; the stereo layout is a choice.
TEST_F(ConfigFormTest, SoundPageOffersTurboSoundByModelAndTheStereoLayouts) {
  SoundOptionsPage& sound = *form.Sound();
  EXPECT_FALSE(sound.TurboSound()->isEnabled());  // the default model: Spectrum 128K
  form.Memory()->Models()->button(4)->click();    // Scorpion 256K
  EXPECT_TRUE(sound.TurboSound()->isEnabled());
  sound.TurboSound()->setChecked(true);
  ASSERT_EQ(sound.Stereo()->count(), 3);
  EXPECT_EQ(sound.Stereo()->itemText(1), QStringLiteral("ABC"));
  sound.Stereo()->setCurrentIndex(2);
  const VolumeSetting v = form.Result().Hardware.Volume;
  EXPECT_EQ(v.Stereo, static_cast<uint8_t>(StereoLayout::Acb));
  EXPECT_TRUE(v.TurboSound);
  form.Memory()->Models()->button(0)->click();
  EXPECT_FALSE(sound.TurboSound()->isEnabled());
}

// A preset fills every key and switches the pad to keys; a key chosen by hand stays.
TEST_F(ConfigFormTest, JoystickPagePresetsAndKeys) {
  JoystickOptionsPage& page = *form.Joystick();
  EXPECT_EQ(page.Drives()->currentIndex(), 0);  // Kempston by default
  EXPECT_FALSE(page.KeyOf(kPadUp)->isEnabled());
  page.Preset(GamepadPreset::Cursor)->click();
  EXPECT_TRUE(page.KeyOf(kPadUp)->isEnabled());
  page.KeyOf(kPadBack)->setCurrentIndex(1 + kKeyCapsShift);
  EXPECT_EQ(page.KeyOf(kPadBack)->currentText(), QStringLiteral("CAPS SHIFT"));
  GamepadMapping expected = GamepadPresetMapping(GamepadPreset::Cursor);
  expected.Keys[kPadBack] = kKeyCapsShift;
  EXPECT_EQ(form.Result().Hardware.Gamepad, expected);
  page.Drives()->setCurrentIndex(0);
  EXPECT_FALSE(form.Result().Hardware.Gamepad.UseKeys);
}

TEST_F(ConfigFormTest, NavigatorAutoSelectFillsTheThreeRomEdits) {
  VANTREL_REQUIRE_TESTDATA(romFile, "roms/Pentagon.Rom");
  const QString file = QString::fromStdString(romFile.string());
  // Opened from the page's button; the navigator is modal, so it is driven from a timer.
  QTimer::singleShot(0, [&] {
    form.Navigator()->FileEdit()->setText(file);
    form.Navigator()->AutoSelectButton()->click();
  });
  form.Roms()->NavigatorButton()->click();
  EXPECT_FALSE(form.Navigator()->isVisible());
  EXPECT_EQ(form.Roms()->Reference(RomSlot::k128kBasic), file + ":0");
  EXPECT_EQ(form.Roms()->Reference(RomSlot::k48kBasic), file + ":1");
  EXPECT_EQ(form.Roms()->Reference(RomSlot::kTrDos), file + ":2");
}

}  // namespace
}  // namespace vantrel
