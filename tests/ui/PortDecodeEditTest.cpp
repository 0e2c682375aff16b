// The port decode editor: its text, which bit a pixel hits, and the click cycle.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "ui/PortDecodeEdit.h"

namespace vantrel {
namespace {

class PortDecodeEditTest : public testing::Test {
 protected:
  // A click at pixel x from the text origin, halfway down the text.
  void ClickAt(int x, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(&edit, button, {}, QPoint(PortDecodeEdit::kMargin + x, edit.height() / 2));
  }
  // The middle of the character cell showing `bit`.
  void ClickBit(int bit) {
    constexpr int kCell = PortDecodeEdit::kCharWidth;
    ClickAt((bit >= 8 ? 15 - bit : 16 - bit) * kCell + kCell / 2);
  }

  PortDecodeEdit edit;
};

TEST_F(PortDecodeEditTest, ShowsEachBitHighFirstWithAGapBetweenTheBytes) {
  EXPECT_EQ(edit.Text(), "-------- --------");
  edit.SetDecode(0x00A9, 0x001F);  // Kempston joystick
  EXPECT_EQ(edit.Text(), "-------- 0-0-1--1");
  edit.SetDecode(0x0001, 0x00FE);  // keyboard: bits outside the mask are not shown
  EXPECT_EQ(edit.Text(), "-------- -------0");
  edit.SetDecode(0xC001, 0x4001);
  EXPECT_EQ(edit.Text(), "01------ -------1");
}

TEST_F(PortDecodeEditTest, PixelsMapToBitsAroundTheGap) {
  const std::pair<int, int> cases[] = {{-1, -1}, {0, 15},  {7, 15}, {8, 14},  {63, 8},
                                       {64, -1}, {71, -1}, {72, 7}, {135, 0}, {136, -1}};
  for (const auto& [x, bit] : cases) EXPECT_EQ(PortDecodeEdit::BitAtPixel(x), bit) << x;
  // The same edges clicked through the widget's margin.
  for (int x : {0, 63, 72, 135}) ClickAt(x);
  EXPECT_EQ(edit.Text(), "0------0 0------0");
}

TEST_F(PortDecodeEditTest, AClickCyclesIgnoredZeroOneIgnored) {
  edit.SetDecode(0x8000, 0x8000);
  QSignalSpy changed(&edit, &PortDecodeEdit::DecodeChanged);
  ClickBit(0);
  EXPECT_EQ(edit.Text(), "1------- -------0");
  ClickBit(0);
  EXPECT_EQ(edit.Text(), "1------- -------1");
  ClickBit(0);
  EXPECT_EQ(edit.Text(), "1------- --------");
  EXPECT_EQ(edit.Mask(), 0x8000);
  EXPECT_EQ(edit.Bits(), 0x8000);  // the ignored bit is cleared, its neighbour kept
  EXPECT_EQ(changed.count(), 3);

  // A stray bit outside the mask does not turn "ignored" straight into "1".
  edit.SetDecode(0x0001, 0x00FE);
  ClickBit(7);
  EXPECT_EQ(edit.Text(), "-------- 0------0");
  EXPECT_EQ(edit.Bits(), 0x007E);
}

TEST_F(PortDecodeEditTest, GapOtherButtonsAndADisabledEditorChangeNothing) {
  edit.SetDecode(0x00A9, 0x001F);
  QSignalSpy changed(&edit, &PortDecodeEdit::DecodeChanged);
  for (int x : {64, 71, -1, 136}) ClickAt(x);
  ClickAt(4, Qt::RightButton);
  edit.setEnabled(false);
  ClickBit(0);
  EXPECT_EQ(edit.Text(), "-------- 0-0-1--1");
  EXPECT_EQ(changed.count(), 0);
  edit.setEnabled(true);
  ClickBit(15);
  EXPECT_EQ(edit.Text(), "0------- 0-0-1--1");
}

TEST_F(PortDecodeEditTest, BackgroundFollowsTheEnabledState) {
  const QPoint inside(1, 1);
  EXPECT_EQ(edit.grab().toImage().pixelColor(inside), edit.palette().color(QPalette::Base));
  edit.setEnabled(false);
  EXPECT_EQ(edit.grab().toImage().pixelColor(inside), edit.palette().color(QPalette::Button));
}

}  // namespace
}  // namespace vantrel
