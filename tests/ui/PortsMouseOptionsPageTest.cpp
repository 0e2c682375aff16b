// The Options dialog's Ports and Mouse pages: which controls are usable when, the decode
// menu, and that Load and Store carry every value and nothing else.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>

#include "ui/MouseOptionsPage.h"
#include "ui/PortDecodeEdit.h"
#include "ui/PortsOptionsPage.h"

namespace vantrel {
namespace {

// Everything the pages do not own differs from the defaults, so a stray write shows.
HardwareSettings Unrelated() {
  HardwareSettings s;
  s.BorderPreset = 3;
  s.TrDos.Enabled = false;
  s.Memory = MemoryModel::Pentagon512k;
  s.Volume.Speaker = 2;
  return s;
}

TEST(PortsOptionsPageTest, LoadAndStoreCarryTheThreePortsOnly) {
  PortsOptionsPage page;
  // A fresh page shows the first-run decodes.
  EXPECT_EQ(page.KeyboardDecode()->Text(), "-------- -------0");
  EXPECT_EQ(page.JoystickDecode()->Text(), "-------- 0-0-1--1");

  HardwareSettings in;
  in.Keyboard = {0x00FF, 0x1234, false};
  in.KempstonJoystick = {0xFFFF, 0x001F, false};
  in.AttributePort = {true, true};
  page.Load(in);
  HardwareSettings out = Unrelated();
  page.Store(out);
  HardwareSettings expected = Unrelated();
  expected.Keyboard = in.Keyboard;
  expected.KempstonJoystick = in.KempstonJoystick;
  expected.AttributePort = in.AttributePort;
  EXPECT_EQ(out, expected);
  EXPECT_FALSE(page.KeyboardDecode()->isEnabled());
  EXPECT_FALSE(page.JoystickDecode()->isEnabled());
}

TEST(PortsOptionsPageTest, EnabledBoxesEnableTheirControls) {
  PortsOptionsPage page;
  page.show();
  EXPECT_TRUE(page.KeyboardDecode()->isEnabled());
  EXPECT_TRUE(page.AttributeAllUnused()->isEnabled());
  page.KeyboardEnabled()->click();
  EXPECT_FALSE(page.KeyboardDecode()->isEnabled());
  EXPECT_TRUE(page.JoystickDecode()->isEnabled());
  page.JoystickEnabled()->click();
  EXPECT_FALSE(page.JoystickDecode()->isEnabled());
  page.AttributeEnabled()->click();
  EXPECT_FALSE(page.AttributeAllUnused()->isEnabled());

  for (QCheckBox* box : {page.KeyboardEnabled(), page.JoystickEnabled(), page.AttributeEnabled()}) {
    box->click();
  }
  EXPECT_TRUE(page.KeyboardDecode()->isEnabled());
  EXPECT_TRUE(page.JoystickDecode()->isEnabled());
  EXPECT_TRUE(page.AttributeAllUnused()->isEnabled());
}

TEST(PortsOptionsPageTest, MenuEntriesRestoreEachTheirOwnDefault) {
  PortsOptionsPage page;
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  HardwareSettings settings;
  settings.Keyboard = {0xFFFF, 0x0000, true};
  settings.KempstonJoystick = {0x0000, 0x0000, true};
  page.Load(settings);

  // Both editors pop up the one menu.
  for (PortDecodeEdit* edit : {page.KeyboardDecode(), page.JoystickDecode()}) {
    const QPoint pos(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, edit->mapToGlobal(pos));
    QCoreApplication::sendEvent(edit, &event);
    EXPECT_TRUE(page.DecodeMenu()->isVisible());
    page.DecodeMenu()->hide();
  }
  EXPECT_EQ(page.DefaultJoystickAction()->text(), "Default &Kempston port decode");
  EXPECT_EQ(page.DefaultKeyboardAction()->text(), "&Default Keyboard port decode");

  page.DefaultJoystickAction()->trigger();
  EXPECT_EQ(page.JoystickDecode()->Mask(), 0x00A9);
  EXPECT_EQ(page.JoystickDecode()->Bits(), 0x001F);
  EXPECT_EQ(page.KeyboardDecode()->Mask(), 0xFFFF);  // untouched
  page.DefaultKeyboardAction()->trigger();
  EXPECT_EQ(page.KeyboardDecode()->Mask(), 0x0001);
  EXPECT_EQ(page.KeyboardDecode()->Bits(), 0x00FE);
}

TEST(MouseOptionsPageTest, EveryCombinationRoundTripsAndSetsTheEnabling) {
  MouseOptionsPage page;
  for (int combo = 0; combo < 16; ++combo) {
    SCOPED_TRACE(combo);
    HardwareSettings in;
    in.KempstonMouse = {(combo & 1) != 0, (combo & 2) != 0, (combo & 4) != 0, (combo & 8) != 0};
    page.Load(in);
    const bool mouse = in.KempstonMouse.Enabled;
    EXPECT_EQ(page.SwapButtons()->isEnabled(), mouse);
    EXPECT_EQ(page.WheelSupport()->isEnabled(), mouse);
    EXPECT_EQ(page.WheelDirection()->isEnabled(), mouse && in.KempstonMouse.WheelSupport);

    HardwareSettings out = Unrelated();
    page.Store(out);
    HardwareSettings expected = Unrelated();
    expected.KempstonMouse = in.KempstonMouse;
    EXPECT_EQ(out, expected);
  }
}

TEST(MouseOptionsPageTest, ClickingTheBoxesFollowsTheEnablingRules) {
  MouseOptionsPage page;
  page.show();
  page.Load(HardwareSettings{});  // all off
  page.Enabled()->click();
  EXPECT_TRUE(page.SwapButtons()->isEnabled());
  EXPECT_FALSE(page.WheelDirection()->isEnabled());
  page.WheelSupport()->click();
  EXPECT_TRUE(page.WheelDirection()->isEnabled());
  // Turning the mouse off greys the direction even with the wheel still ticked.
  page.Enabled()->click();
  EXPECT_FALSE(page.WheelDirection()->isEnabled());
  page.Enabled()->click();
  page.WheelSupport()->click();
  EXPECT_FALSE(page.WheelDirection()->isEnabled());
}

}  // namespace
}  // namespace vantrel
