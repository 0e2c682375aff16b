// Load and Store of every page are checked through the whole dialog.
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "ui/UiTest.h"
#include "ui/VideoOptionsPage.h"

namespace vantrel {
namespace {

using namespace uitest;

TEST(FlashHertzTest, TypedRatesBecomeFramesPerPhaseAndBack) {
  const std::pair<const char*, int32_t> cases[] = {
      {"2.5", 10}, {"", 5},    {"abc", 5},           {"0", 5}, {"-3", 5}, {"100", 1}, {"3", 8},
      {"1", 25},   {" 5 ", 5}, {"1e-300", INT32_MAX}};  // a vanishing rate must not overflow
  for (const auto& [text, frames] : cases) {
    EXPECT_EQ(FlashFrequencyFromHertz(QString::fromLatin1(text)), frames) << text;
  }
  EXPECT_EQ(FlashHertzText(3), "8.333");
  for (int32_t frames = 1; frames <= 50; ++frames)
    EXPECT_EQ(FlashFrequencyFromHertz(FlashHertzText(frames)), frames);
}

class VideoOptionsPageTest : public testing::Test {
 protected:
  void SetSizes(int left, int right, int upper, int lower) {
    page.LeftEdit()->setText(QString::number(left));
    page.RightEdit()->setText(QString::number(right));
    page.UpperEdit()->setText(QString::number(upper));
    page.LowerEdit()->setText(QString::number(lower));
  }
  // The sizes and the preset index the page stores.
  std::pair<BorderSizes, int32_t> Stored() const {
    ScreenPanelSettings screen;
    int32_t preset = -2;
    BorderSizes sizes{-1, -1, -1, -1};
    page.Store(screen, preset, sizes);
    return {sizes, preset};
  }
  QStringList PresetNames() const {
    QStringList names;
    for (int i = 0; i < page.PresetCombo()->count(); ++i) names << page.PresetCombo()->itemText(i);
    return names;
  }
  bool BorderLocked() const {
    return !page.LeftEdit()->isEnabled() && !page.RightEdit()->isEnabled() &&
           !page.UpperEdit()->isEnabled() && !page.LowerEdit()->isEnabled() &&
           !page.HorizontalSymmetric()->isEnabled() && !page.VerticalSymmetric()->isEnabled();
  }

  MemorySettingsStore store;
  VideoOptionsPage page{store};
};

TEST_F(VideoOptionsPageTest, SizesOutOfRangeOrANamelessPresetMakeThePageInvalid) {
  page.PresetCombo()->setEditText(QStringLiteral("Custom"));
  SetSizes(64, 64, 48, 48);  // the largest sizes are in range
  ASSERT_TRUE(page.Valid());
  QSignalSpy spy(&page, &VideoOptionsPage::ValidityChanged);
  const std::pair<QLineEdit*, const char*> bad[] = {
      {page.LeftEdit(), "65"}, {page.RightEdit(), "-1"}, {page.UpperEdit(), "49"},
      {page.LowerEdit(), "x"}, {page.LeftEdit(), "1.5"}, {page.UpperEdit(), ""}};
  for (const auto& [edit, text] : bad) {
    SCOPED_TRACE(text);
    const QString good = edit->text();
    for (const bool valid : {false, true}) {
      edit->setText(valid ? good : QString::fromLatin1(text));
      EXPECT_EQ(page.Valid(), valid);
      EXPECT_EQ(Yellow(edit), !valid);
      EXPECT_EQ(page.PresetButton()->isEnabled(), valid);
    }
  }
  ASSERT_EQ(spy.count(), 12);
  for (int i = 0; i < spy.count(); ++i) EXPECT_EQ(spy.at(i).at(0).toBool(), i % 2 == 1);

  page.PresetCombo()->setEditText(QString());
  EXPECT_FALSE(page.Valid());
  EXPECT_TRUE(Yellow(page.PresetCombo()->lineEdit()));
  EXPECT_FALSE(page.PresetButton()->isEnabled());
  EXPECT_EQ(spy.count(), 13);
}

TEST_F(VideoOptionsPageTest, BuiltInPresetsFillAndLockTheSizesAndSymmetryCopiesASide) {
  page.DirectMemoryBox()->setChecked(false);  // interlacing needs direct memory writes
  EXPECT_FALSE(page.InterlacedBox()->isEnabled());
  page.DirectMemoryBox()->setChecked(true);
  EXPECT_TRUE(page.InterlacedBox()->isEnabled());
  page.PresetCombo()->setEditText(QStringLiteral("Custom"));
  SetSizes(10, 20, 30, 40);
  page.HorizontalSymmetric()->setChecked(true);
  EXPECT_EQ(page.RightEdit()->text(), "10");
  EXPECT_FALSE(page.RightEdit()->isEnabled());
  page.LeftEdit()->setText(QStringLiteral("12"));
  page.VerticalSymmetric()->setChecked(true);
  page.UpperEdit()->setText(QStringLiteral("7"));
  EXPECT_EQ(Stored(), std::pair(BorderSizes{12, 12, 7, 7}, -1));
  EXPECT_FALSE(page.LowerEdit()->isEnabled());

  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    page.PresetCombo()->setCurrentIndex(index);
    // Pentagon's sides differ: a symmetry box left on would copy one over the other.
    EXPECT_EQ(Stored(), std::pair(kBuiltInBorderPresets[static_cast<size_t>(index)].Sizes, index));
    EXPECT_TRUE(BorderLocked());
    EXPECT_FALSE(page.PresetButton()->isEnabled());  // nothing to save or delete
    EXPECT_EQ(page.HorizontalSymmetric()->isChecked() + page.VerticalSymmetric()->isChecked(),
              index == 0 ? 2 : 0);
  }
  // Typing a new name frees the sizes again.
  page.PresetCombo()->setEditText(QStringLiteral("Pentagon"));
  EXPECT_FALSE(BorderLocked());
  EXPECT_EQ(Stored().second, -1);
}

TEST_F(VideoOptionsPageTest, UserPresetsAreSavedChosenAndDeleted) {
  ASSERT_TRUE(SaveBorderPreset(store, "Wide", {60, 60, 10, 10}));
  // A user preset shows the sizes in force; an index off the list chooses nothing.
  const BorderSizes current{5, 6, 7, 8};
  page.Load(ScreenPanelSettings{}, 2, current);
  EXPECT_EQ(Stored(), std::pair(current, 2));
  page.Load(ScreenPanelSettings{}, 3, current);
  EXPECT_EQ(page.PresetCombo()->currentIndex(), -1);
  EXPECT_FALSE(page.Valid());  // no name until the user gives one
  page.PresetCombo()->setEditText(QStringLiteral("Mine"));
  SetSizes(1, 2, 3, 4);
  page.PresetButton()->click();
  EXPECT_EQ(LoadBorderPreset(store, "Mine"), (BorderSizes{1, 2, 3, 4}));
  EXPECT_EQ(PresetNames(), (QStringList{"Maximum", "Pentagon128 on TV", "Mine", "Wide"}));
  EXPECT_EQ(Stored().second, 2);
  EXPECT_EQ(page.PresetButton()->text(), "&Delete");

  // Choosing a user preset loads its sizes and leaves them editable; Delete removes it.
  page.PresetCombo()->setCurrentIndex(0);
  page.PresetCombo()->setCurrentIndex(3);
  EXPECT_EQ(Stored(), std::pair(BorderSizes{60, 60, 10, 10}, 3));
  EXPECT_FALSE(BorderLocked());
  page.PresetButton()->click();
  EXPECT_EQ(PresetNames(), (QStringList{"Maximum", "Pentagon128 on TV", "Mine"}));
  EXPECT_EQ(Stored().second, -1);
}

}  // namespace
}  // namespace vantrel
