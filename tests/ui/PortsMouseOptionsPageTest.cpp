// The Options dialog's Ports and Mouse pages and the port decode editor: which controls are
// usable when, the click cycle and the decode menu, and that Load and Store carry every
// value and nothing else.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

#include "ui/MouseOptionsPage.h"
#include "ui/PortDecodeEdit.h"
#include "ui/PortsOptionsPage.h"

namespace vantrel {
namespace {

TEST(PortDecodeEditTest, ShowsTheMaskedBitsAndAClickCyclesIgnoredZeroOne) {
  PortDecodeEdit edit;
  const std::pair<int, int> pixels[] = {{-1, -1}, {0, 15},  {7, 15}, {8, 14},  {63, 8},
                                        {64, -1}, {71, -1}, {72, 7}, {135, 0}, {136, -1}};
  for (const auto& [x, bit] : pixels) EXPECT_EQ(PortDecodeEdit::BitAtPixel(x), bit) << x;
  // A click at pixel x from the text origin, halfway down the text.
  const auto click = [&](int x, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(&edit, button, {}, QPoint(PortDecodeEdit::kMargin + x, edit.height() / 2));
  };
  for (int x : {0, 63, 72, 135}) click(x);  // the edges
  EXPECT_EQ(edit.Text(), "0------0 0------0");
  edit.SetDecode(0xC001, 0x4001);
  EXPECT_EQ(edit.Text(), "01------ -------1");
  edit.SetDecode(0x8000, 0x8000);
  QSignalSpy changed(&edit, &PortDecodeEdit::DecodeChanged);
  for (const char* text : {"1------- -------0", "1------- -------1", "1------- --------"}) {
    click(135);
    EXPECT_EQ(edit.Text(), text);
  }
  EXPECT_EQ(edit.Bits(), 0x8000);  // the ignored bit is cleared, its neighbour kept
  EXPECT_EQ(changed.count(), 3);
  // A stray bit outside the mask does not turn "ignored" straight into "1".
  edit.SetDecode(0x0001, 0x00FE);
  click(76);
  EXPECT_EQ(edit.Text(), "-------- 0------0");
  EXPECT_EQ(edit.Bits(), 0x007E);
  // The gap, other buttons and a disabled editor change nothing.
  changed.clear();
  for (int x : {64, 71, -1, 136}) click(x);
  click(4, Qt::RightButton);
  edit.setEnabled(false);
  click(4);
  EXPECT_EQ(edit.grab().toImage().pixelColor(1, 1), edit.palette().color(QPalette::Button));
  EXPECT_EQ(changed.count(), 0);
}

// Everything the pages do not own differs from the defaults, so a stray write shows.
HardwareSettings Unrelated() {
  HardwareSettings s;
  s.BorderPreset = 3;
  s.TrDos.Enabled = false;
  s.Memory = MemoryModel::Pentagon512k;
  s.Volume.Speaker = 2;
  return s;
}

TEST(PortsOptionsPageTest, LoadStoreTheEnablingBoxesAndTheDefaultsMenu) {
  PortsOptionsPage page;
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  EXPECT_EQ(page.JoystickDecode()->Text(), "-------- 0-0-1--1");  // the first-run decode
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
  EXPECT_TRUE(page.AttributeAllUnused()->isEnabled());
  page.KeyboardEnabled()->click();
  EXPECT_TRUE(page.KeyboardDecode()->isEnabled());
  EXPECT_FALSE(page.JoystickDecode()->isEnabled());
  page.AttributeEnabled()->click();
  EXPECT_FALSE(page.AttributeAllUnused()->isEnabled());

  // Both editors pop up the one menu; each entry restores its own default.
  for (PortDecodeEdit* edit : {page.KeyboardDecode(), page.JoystickDecode()}) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, edit->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(edit, &event);
    EXPECT_TRUE(page.DecodeMenu()->isVisible());
    page.DecodeMenu()->hide();
  }
  page.DefaultJoystickAction()->trigger();
  EXPECT_EQ(page.JoystickDecode()->Mask(), 0x00A9);
  EXPECT_EQ(page.JoystickDecode()->Bits(), 0x001F);
  EXPECT_EQ(page.KeyboardDecode()->Mask(), 0x00FF);  // untouched
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
  page.show();
  page.Enabled()->click();  // the last combination had everything on
  EXPECT_FALSE(page.WheelDirection()->isEnabled());
  page.Enabled()->click();
  EXPECT_TRUE(page.WheelDirection()->isEnabled());
}

}  // namespace
}  // namespace vantrel
