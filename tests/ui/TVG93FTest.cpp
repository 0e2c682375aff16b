#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>

#include "TestData.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "disk/DiskImageFiles.h"
#include "machine/Machine.h"
#include "ui/TMainForm.h"
#include "ui/TVG93F.h"

namespace vantrel {
namespace {

TEST(TVG93FHints, DecodeRegisterValues) {
  const std::pair<std::string, std::string> cases[] = {
      {CommandHint(0x1F), "Seek\nwith Head Loading\nwith Track Verification\nStep Rate = 30ms"},
      {CommandHint(0x5C),
       "Step-in\nwith Head Loading\nwith Track Verification\nwith Track Register "
       "Update\nStep Rate = 6ms"},
      {CommandHint(0x10), "Seek\nStep Rate = 6ms"},  // bit 4 is not an update flag here
      {CommandHint(0xB7),
       "Write Sector\nMultiple Records\nCompare for Side\nwith Deleted DAM\nwith 30ms Delay"},
      {CommandHint(0x81), "Read Sector\nSingle Record"},  // a0 means nothing to a read
      {CommandHint(0xE4), "Read Track\nwith 30ms Delay"},
      {CommandHint(0xD0), "Force Interrupt\nImmediately without INTRQ"},
      {CommandHint(0xD4), "Force Interrupt\non Index Pulse"},
      {StatusHint(0x85, 0x18), "Drive Not Ready\nHead at Track 0\nCommand in Progress"},
      {StatusHint(0x26, 0x80), "Deleted DAM\nData Lost\nData Request"},
      {SystemHint(0x00), "VG93 Reset"},
      {SystemHint(0x34), "VG93 HLT Blocked"},
      {SystemHint(0x4D), "Drive B, Side 1, Single Density (FM)"},
      {SystemHint(0x3C), "Drive A, Side 0, Double Density (MFM)"},
      {RequestHint(0xFF), "VG93 Data Request\nVG93 Interrupt Request"},
      {RequestHint(0x7F), "VG93 Data Request"},
      {RequestHint(0x3F), "No Requests"},
      {ByteHint(0x41), "#41\n65\n%01000001\n'A'"},
      {ByteHint(0x1F), "#1F\n31\n%00011111"},
  };
  for (const auto& [hint, expected] : cases) EXPECT_EQ(hint, expected);
}

TEST(TVG93F, ShowsTheControllerFromTheMainWindow) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  if (!std::filesystem::exists(roms / "Pentagon.Rom")) GTEST_SKIP() << "test data not found";
  MemorySettingsStore store;
  {
    TMainForm form(store, FileResolver{roms, roms, {}});
    ASSERT_TRUE(form.StartUp());
    TVG93F& view = form.Beta128View();
    EXPECT_FALSE(view.isVisible());
    form.Command(QStringLiteral("Beta128PanelMI"))->trigger();
    EXPECT_TRUE(view.isVisible());
    Machine& m = form.GetMachine();
    m.Disk.WriteRegister(Beta128::kSystem, 0x3C);  // releases reset: Restore
    m.Disk.WriteRegister(Beta128::kTrack, 0x41);
    form.RefreshDebugViews();
    const auto text = [&view](const char* key) {
      const QLabel* label = view.Value(QString::fromLatin1(key));
      return (label->text() + '|' + label->toolTip()).toStdString();
    };
    EXPECT_EQ(text("TR"), "41|#41\n65\n%01000001\n'A'");
    EXPECT_EQ(text("CR"), "03|Restore\nStep Rate = 30ms");
    EXPECT_EQ(text("SWR"), "3C|Drive A, Side 0, Double Density (MFM)");
    EXPECT_EQ(text("SRD"), "3F|No Requests");
    EXPECT_EQ(view.Value(QStringLiteral("WP"))->text(), "Off");

    // The drive group names the selected drive; each drive's write-protect box follows its
    // disk, is off for an empty drive and sets the disk's tab.
    EXPECT_EQ(view.DriveBox()->title(), "Drive A");
    m.InsertDisk(CreateBlankDisk(), 2);
    m.Disk.WriteRegister(Beta128::kSystem, 0x3E);
    form.RefreshDebugViews();
    EXPECT_EQ(view.DriveBox()->title(), "Drive C");
    EXPECT_TRUE(view.WriteProtectBox(2)->isEnabled());
    EXPECT_FALSE(view.WriteProtectBox(1)->isEnabled());
    view.WriteProtectBox(2)->click();
    EXPECT_TRUE(m.Disks[2]->WriteProtected());
    form.RefreshDebugViews();
    EXPECT_EQ(view.Value(QStringLiteral("WP"))->text(), "On");
    EXPECT_TRUE(form.Command(QStringLiteral("WriteProtectCMI")) != nullptr);
    form.Command(QStringLiteral("WriteProtectCMI"))->trigger();
    EXPECT_FALSE(m.Disks[2]->WriteProtected());
    m.Disk.WriteRegister(Beta128::kSystem, 0x3C);

    form.Command(QStringLiteral("FastDiskMI"))->trigger();
    EXPECT_FALSE(form.Emulation().Loop.FastDiskAccess.load());
    EXPECT_FALSE(form.Command(QStringLiteral("FastDiskMI"))->isChecked());

    // A run hides the view and its item, and the stop brings it back; ended while running,
    // the program still remembers the view as open.
    QAction* item = form.Command(QStringLiteral("Beta128PanelMI"));
    for (int run = 0; run < 2; ++run) {
      form.Command(QStringLiteral("RunMI"))->trigger();
      ASSERT_TRUE(form.Emulation().Alive());
      EXPECT_FALSE(view.isVisible() || item->isEnabled());
      if (run == 1) break;
      m.State.Running.store(false);
      form.Emulation().StopEmulation();
      QCoreApplication::processEvents();
      EXPECT_TRUE(view.isVisible() && item->isEnabled());
    }
    form.close();
  }
  EXPECT_EQ(LoadBeta128ViewSettings(store).Enabled, true);
  EXPECT_FALSE(LoadHardwareSettings(store).StartUp.FastDiskAccess);
}

}  // namespace
}  // namespace vantrel
