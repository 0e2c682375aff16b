#include "ui/PortDecodeEdit.h"
#include "ui/UiTest.h"

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
  // The gap, other buttons and a disabled editor change nothing.
  changed.clear();
  for (int x : {64, 71}) click(x);
  click(4, Qt::RightButton);
  edit.setEnabled(false);
  click(4);
  EXPECT_EQ(edit.grab().toImage().pixelColor(1, 1), edit.palette().color(QPalette::Button));
  EXPECT_EQ(changed.count(), 0);
}

}  // namespace
}  // namespace vantrel
