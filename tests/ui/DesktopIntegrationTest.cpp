#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "app/SettingsStore.h"
#include "machine/Machine.h"
#include "app/TKeyThread.h"
#include "platform/SingleInstance.h"
#include "ui/RecentFiles.h"
#include "ui/TScreenPanel.h"
#include "ui/WindowPlacement.h"

namespace vantrel {
namespace {

TEST(PlaceOnScreens, KeepsReachablePositionsAndRescuesLostOnes) {
  const QRect primary(0, 0, 1024, 768);
  const QRect right(1024, 0, 1280, 1024);  // a second monitor to the right
  struct Case {
    QPoint stored;
    QList<QRect> screens;
    QPoint expected;
  } cases[] = {
      {{300, 200}, {primary}, {300, 200}},
      {{1500, 900}, {primary, right}, {1500, 900}},  // on the second monitor
      {{1500, 900}, {primary}, {20, 20}},            // that monitor was removed
      {{-300, 100}, {primary}, {20, 20}},            // left of every screen
      {{984, 718}, {primary}, {984, 718}},           // the corner just fits
      {{985, 719}, {primary}, {20, 20}},             // ... and just does not
      {{1000, 100}, {primary, right}, {20, 20}},     // across the seam: on no one screen
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceOnScreens(c.stored, c.screens, primary), c.expected)
        << c.stored.x() << "," << c.stored.y();
  }
}

TEST(RecentFiles, NewestFirstEachOnceAtMostTenAndStored) {
  RecentFiles recent;
  for (int i = 1; i <= 12; ++i) recent.Add(QStringLiteral("/f%1.sna").arg(i));
  recent.Add(QStringLiteral("/f5.sna"));  // opened again: to the front, not twice
  recent.Add(QString());                  // nothing opened
  ASSERT_EQ(recent.Files().size(), RecentFiles::kMax);
  EXPECT_EQ(recent.Files().front(), "/f5.sna");
  EXPECT_EQ(recent.Files()[1], "/f12.sna");
  EXPECT_EQ(recent.Files().back(), "/f3.sna");  // 1 and 2 fell off the end
  EXPECT_EQ(recent.Files().count(QStringLiteral("/f5.sna")), 1);

  MemorySettingsStore store;
  recent.Save(store);
  EXPECT_EQ(store.ReadText("Environment\\Recent Files", "File 1"), "/f5.sna");
  RecentFiles loaded;
  loaded.Load(store);
  EXPECT_EQ(loaded.Files(), recent.Files());
  // A shorter list clears the slots it no longer fills.
  RecentFiles shorter;
  shorter.Add(QStringLiteral("/only.tzx"));
  shorter.Save(store);
  loaded.Load(store);
  EXPECT_EQ(loaded.Files(), QStringList{QStringLiteral("/only.tzx")});
}

TEST(SingleInstanceHandOver, TheRunningCopyReceivesTheFileOrAnEmptyRaise) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  SingleInstance running(dir.path());
  ASSERT_TRUE(running.Acquire());
  QStringList received;
  ASSERT_TRUE(running.Listen([&received](const QString& name) { received.append(name); }));
  const SingleInstance second(dir.path());
  EXPECT_FALSE(SingleInstance(dir.path()).Acquire());
  // The second copy blocks until the running one has read the line: another thread.
  for (const QString& name : {QStringLiteral("/tmp/game file.sna"), QString()}) {
    bool handed = false;
    std::thread sender([&] { handed = second.HandOver(name, 5000); });
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), name.isEmpty() ? 2 : 1, 5000);
    sender.join();
    EXPECT_TRUE(handed);
  }
  EXPECT_EQ(received, (QStringList{QStringLiteral("/tmp/game file.sna"), QString()}));
  // Nobody listening: the second copy gives up instead of waiting for ever.
  QTemporaryDir empty;
  EXPECT_FALSE(SingleInstance(empty.path()).HandOver(QStringLiteral("x.sna"), 200));
}

TEST(ScreenPanelScreenshot, VisiblePictureAtOneToOneWithFreeGeneratedNames) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto machine = std::make_unique<Machine>(7);
  MemorySettingsStore store;
  KeyRequests requests;
  TScreenPanel panel(*machine, store, requests);
  QCoreApplication::processEvents();  // the first frame
  panel.SetBorderSizes(kBuiltInBorderPresets[1].Sizes);
  panel.SetDoubleSize(true);  // the file stays 1:1 whatever the window shows

  const QString first = TScreenPanel::NextScreenshotName(dir.path());
  EXPECT_EQ(QFileInfo(first).fileName(), "screen_001.png");
  ASSERT_TRUE(panel.SaveScreenshot(first));
  const VisibleRect visible = VisibleRectFor(kBuiltInBorderPresets[1].Sizes);
  EXPECT_EQ(QImage(first).size(), QSize(visible.Width, visible.Height));
  EXPECT_EQ(QFileInfo(TScreenPanel::NextScreenshotName(dir.path())).fileName(), "screen_002.png");

  QString error;
  const QString nowhere = QDir(dir.path()).filePath(QStringLiteral("missing/shot.png"));
  EXPECT_FALSE(panel.SaveScreenshot(nowhere, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(QFile::exists(nowhere));
}

}  // namespace
}  // namespace vantrel
