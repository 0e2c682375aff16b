// The Options dialog offscreen: its pages, what OK and Cancel hand to the machine and the
// windows, the simple pages' rules and the ROM navigator's way into the ROM page.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <functional>

#include "TestData.h"
#include "app/SettingsStore.h"
#include "sound/Volume.h"
#include "ui/MouseCapture.h"
#include "ui/OptionsPages.h"
#include "ui/PortDecodeEdit.h"
#include "ui/PortsOptionsPage.h"
#include "ui/TConfigForm.h"
#include "ui/TMainForm.h"
#include "ui/TRomNavigatorForm.h"
#include "ui/TScreenPanel.h"
#include "ui/VideoOptionsPage.h"

namespace vantrel {
namespace {

QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

class ConfigFormTest : public testing::Test {
 protected:
  ConfigFormTest() : form(store, FileResolver{}) { form.Load(values); }

  MemorySettingsStore store;
  TConfigForm::Values values;
  TConfigForm form;
};

TEST_F(ConfigFormTest, EightPagesInMenuOrder) {
  EXPECT_EQ(form.windowTitle(), "Options");
  QStringList titles;
  for (int i = 0; i < form.Pages()->count(); ++i) titles << form.Pages()->tabText(i);
  EXPECT_EQ(titles.join(QLatin1Char('|')).toStdString(),
            "Video|Ports|Startup|ROM's|TR-DOS|Memory|Mouse|Sound");
  form.ShowPage(TConfigForm::kRomsPage);
  EXPECT_EQ(form.Pages()->currentWidget(), form.Roms());
  form.ShowPage(99);  // ignored
  EXPECT_EQ(form.Pages()->currentWidget(), form.Roms());
}

TEST_F(ConfigFormTest, UntouchedPagesGiveBackWhatWasLoaded) {
  HardwareSettings hw;
  hw.KempstonJoystick = {0x00FF, 0x0037, false};
  hw.KempstonMouse = {true, true, true, false};
  hw.TrDos = {true, false, "boot.$B", false, true, true};
  hw.Memory = MemoryModel::Scorpion1024k;
  hw.StartUp = {1, 1};
  hw.AttributePort = {false, true};
  hw.Volume = {3, 8, 0, 120};
  hw.Rom48k = {"a.rom:3", "/roms"};
  values.Hardware = hw;
  values.Screen.ShowFps = false;
  values.Screen.VideoMode = 2;
  values.Screen.FlashFrequency = 5;
  values.Border = kBuiltInBorderPresets[1].Sizes;  // what the stored preset names
  form.Load(values);
  const TConfigForm::Values result = form.Result();
  EXPECT_EQ(result.Hardware, values.Hardware);
  EXPECT_EQ(result.Screen, values.Screen);
  EXPECT_EQ(result.Border, values.Border);
  EXPECT_TRUE(form.OkButton()->isEnabled());
}

TEST_F(ConfigFormTest, EachPageWritesItsOwnValues) {
  form.Ports()->KeyboardDecode()->SetDecode(0x00FF, 0x00FE);
  form.Startup()->ModeCombo()->setCurrentIndex(1);
  form.Startup()->ResetCombo()->setCurrentIndex(0);
  form.Roms()->Edit(RomSlot::kTrDos)->setText(QStringLiteral("dos.rom"));
  form.Roms()->Edit(RomSlot::k128kBasic)->clear();  // empty means the default
  form.TrDos()->PortAccessBox()->setChecked(true);
  form.Memory()->Models()->button(3)->setChecked(true);
  form.Sound()->SynchDelay()->setValue(37);  // moves in steps of ten
  const HardwareSettings hw = form.Result().Hardware;
  EXPECT_EQ(hw.Keyboard, (PortDecodeSetting{0x00FF, 0x00FE, true}));
  EXPECT_EQ(hw.StartUp, (StartUpSetting{0, 1}));
  EXPECT_EQ(hw.RomDos.FileName, "dos.rom");
  EXPECT_EQ(hw.Rom128k.FileName, "Pentagon.Rom:0");
  EXPECT_TRUE(hw.TrDos.PortAccess);
  EXPECT_EQ(hw.Memory, MemoryModel::Pentagon1024k);
  EXPECT_EQ(hw.Volume.SynchDelay, 40);
}

TEST_F(ConfigFormTest, OkWaitsForValidBorderSizes) {
  VideoOptionsPage& video = *form.Video();
  video.PresetCombo()->setEditText(QStringLiteral("Mine"));
  video.LeftEdit()->setText(QStringLiteral("65"));
  EXPECT_FALSE(form.OkButton()->isEnabled());
  video.LeftEdit()->setText(QStringLiteral("12"));
  EXPECT_TRUE(form.OkButton()->isEnabled());
  EXPECT_EQ(form.Result().Border.Left, 12);
}

TEST_F(ConfigFormTest, VolumesNeverShareAWeight) {
  SoundOptionsPage& sound = *form.Sound();
  EXPECT_EQ(sound.Speaker()->value(), 8);
  EXPECT_EQ(sound.TapeIn()->value(), 7);
  EXPECT_EQ(sound.TapeOut()->value(), 6);
  sound.TapeOut()->setValue(8);  // 8 and 7 are taken
  EXPECT_EQ(sound.TapeOut()->value(), 6);
  sound.TapeIn()->setValue(1);
  sound.TapeOut()->setValue(1);  // onto Tape In: one down, to 0
  EXPECT_EQ(sound.TapeOut()->value(), 0);
  sound.TapeIn()->setValue(0);  // two muted sources are allowed
  EXPECT_EQ(sound.TapeIn()->value(), 0);
  EXPECT_EQ(DistinctVolumePosition(5, 5, 4), 3);
  EXPECT_EQ(VolumeWeight(0), 0);
  EXPECT_EQ(VolumeWeight(1), 1);
  EXPECT_EQ(VolumeWeight(8), 128);
}

TEST_F(ConfigFormTest, RomFileDialogStartsInTheSlotsPathAndRemembersTheNewOne) {
  QString askedDirectory;
  QString askedFilter;
  form.Roms()->OpenFile = [&](const QString& title, const QString& directory,
                              const QString& filter) {
    EXPECT_EQ(title, "Select ROM image file for loading");
    askedDirectory = directory;
    askedFilter = filter;
    return QStringLiteral("/new/place/Spectrum.rom");
  };
  values.Hardware.Rom128k.DefaultPath = "/old/place";
  form.Load(values);
  form.Roms()->BrowseButton(RomSlot::k128kBasic)->click();
  EXPECT_EQ(askedDirectory, "/old/place");
  EXPECT_EQ(askedFilter, "ROM Image (*.Rom)");
  const HardwareSettings hw = form.Result().Hardware;
  EXPECT_EQ(hw.Rom128k.FileName, "/new/place/Spectrum.rom");
  EXPECT_EQ(hw.Rom128k.DefaultPath, "/new/place");
  // A cancelled dialog changes nothing.
  form.Roms()->OpenFile = [](const QString&, const QString&, const QString&) { return QString(); };
  form.Roms()->BrowseButton(RomSlot::k48kBasic)->click();
  EXPECT_EQ(form.Result().Hardware.Rom48k.FileName, "Pentagon.Rom:1");
}

TEST_F(ConfigFormTest, NavigatorAutoSelectFillsTheThreeRomEdits) {
  VANTREL_REQUIRE_TESTDATA(romFile, "roms/Pentagon.Rom");
  const QString file = Q(romFile);
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

// Through the main window: the menu commands open the dialog, OK applies, Cancel does not.
class OptionsThroughMainForm : public testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path roms = test::TestDataDir() / "roms";
    if (!std::filesystem::exists(roms / "Pentagon.Rom")) {
      GTEST_SKIP() << "test data not found (roms/Pentagon.Rom): set VANTREL_TESTDATA";
    }
    main = std::make_unique<TMainForm>(store, FileResolver{roms, roms, {}});
    ASSERT_TRUE(main->StartUp());
  }
  void TearDown() override {
    if (main) main->close();
  }
  // Opens the dialog through its menu item, lets `edit` change it and closes it.
  void Open(const char* item, const std::function<void(TConfigForm&)>& edit, bool ok) {
    QTimer::singleShot(0, [&] {
      TConfigForm& form = main->Options();
      edit(form);
      if (ok) {
        form.OkButton()->click();
      } else {
        form.CancelButton()->click();
      }
    });
    main->Command(QString::fromLatin1(item))->trigger();
  }

  MemorySettingsStore store;
  std::unique_ptr<TMainForm> main;
};

TEST_F(OptionsThroughMainForm, OkAppliesAndCancelLeavesEverythingAsItWas) {
  Machine& machine = main->GetMachine();
  const auto portsAndMemory = [](TConfigForm& form) {
    form.Ports()->JoystickEnabled()->setChecked(false);
    form.Memory()->Models()->button(4)->setChecked(true);
    EXPECT_EQ(form.Pages()->currentWidget(), form.Ports());
  };
  Open("PortsMI", portsAndMemory, false);
  EXPECT_TRUE(machine.Ports.Settings.JoystickEnabled);
  EXPECT_EQ(machine.Mem.Model, MemoryModel::Spectrum128k);

  Open("PortsMI", portsAndMemory, true);
  EXPECT_FALSE(machine.Ports.Settings.JoystickEnabled);
  EXPECT_EQ(machine.Mem.Model, MemoryModel::Scorpion256k);

  // Screen settings reach the screen window.
  Open(
      "VideoMI", [](TConfigForm& form) { form.Video()->DoubleSizeBox()->setChecked(false); }, true);
  EXPECT_FALSE(main->ScreenPanel().DoubleSize());
}

TEST_F(OptionsThroughMainForm, OptionsAreClosedWhileTheMachineRuns) {
  main->Command(QStringLiteral("RunMI"))->trigger();
  for (const char* item : {"VideoMI", "PortsMI", "RomsMI", "SoundMI"}) {
    EXPECT_FALSE(main->Command(QString::fromLatin1(item))->isEnabled()) << item;
  }
  main->GetMachine().State.Running.store(false);
  main->Emulation().StopEmulation();
  QCoreApplication::processEvents();
  EXPECT_TRUE(main->Command(QStringLiteral("MouseMI"))->isEnabled());
}

TEST_F(OptionsThroughMainForm, FullScreenTakesTheMouseAndGivesTheChoiceBack) {
  KeyRequests& requests = main->Requests();
  main->Command(QStringLiteral("RunMI"))->trigger();
  requests.FullScreen.store(true);
  main->Idle();
  ASSERT_TRUE(main->ScreenPanel().FullScreenActive());
  EXPECT_TRUE(requests.MouseCaptureRequested.load());
  EXPECT_TRUE(main->Capture().Captured());
  EXPECT_TRUE(main->Emulation().Loop.MouseCaptured.load());
  // Escape at full screen stops the machine and clears the request.
  requests.FullScreen.store(false);
  main->Idle();
  EXPECT_FALSE(main->ScreenPanel().FullScreenActive());
  EXPECT_FALSE(requests.MouseCaptureRequested.load());
  EXPECT_FALSE(main->Capture().Captured());
  EXPECT_FALSE(main->Emulation().Loop.MouseCaptured.load());
  main->GetMachine().State.Running.store(false);
  main->Emulation().StopEmulation();
}

}  // namespace
}  // namespace vantrel
