// The Options dialog's Video page offscreen: the flash rate conversion, the screen values
// it loads and stores, border size checking and the border preset list.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "ui/VideoOptionsPage.h"

namespace vantrel {
namespace {

TEST(FlashHertzTest, TypedRatesBecomeFramesPerPhase) {
  const std::pair<const char*, int32_t> cases[] = {
      {"2.5", 10}, {"", 5},   {"abc", 5}, {"0", 5},  {"-3", 5},
      {"100", 1},  {"25", 1}, {"3", 8},   {"1", 25}, {" 5 ", 5},
  };
  for (const auto& [text, frames] : cases) {
    EXPECT_EQ(FlashFrequencyFromHertz(QString::fromLatin1(text)), frames) << text;
  }
  // A vanishing rate must not overflow the frame count.
  EXPECT_EQ(FlashFrequencyFromHertz(QStringLiteral("1e-300")), INT32_MAX);

  EXPECT_EQ(FlashHertzText(10), "2.5");
  EXPECT_EQ(FlashHertzText(1), "25");
  EXPECT_EQ(FlashHertzText(4), "6.25");
  EXPECT_EQ(FlashHertzText(3), "8.333");
  for (int32_t frames = 1; frames <= 50; ++frames) {
    EXPECT_EQ(FlashFrequencyFromHertz(FlashHertzText(frames)), frames);
  }
}

class VideoOptionsPageTest : public testing::Test {
 protected:
  void SetSizes(int left, int right, int upper, int lower) {
    page.LeftEdit()->setText(QString::number(left));
    page.RightEdit()->setText(QString::number(right));
    page.UpperEdit()->setText(QString::number(upper));
    page.LowerEdit()->setText(QString::number(lower));
  }
  BorderSizes StoredSizes(int32_t* preset = nullptr) const {
    ScreenPanelSettings screen;
    int32_t index = -2;
    BorderSizes sizes{-1, -1, -1, -1};
    page.Store(screen, index, sizes);
    if (preset != nullptr) *preset = index;
    return sizes;
  }
  int32_t StoredPreset() const {
    int32_t preset = -2;
    StoredSizes(&preset);
    return preset;
  }
  QStringList PresetNames() const {
    QStringList names;
    for (int i = 0; i < page.PresetCombo()->count(); ++i) names << page.PresetCombo()->itemText(i);
    return names;
  }
  static bool Yellow(const QWidget* widget) {
    return widget->palette().color(QPalette::Base) == Qt::yellow;
  }
  bool BorderLocked() const {
    return !page.LeftEdit()->isEnabled() && !page.RightEdit()->isEnabled() &&
           !page.UpperEdit()->isEnabled() && !page.LowerEdit()->isEnabled() &&
           !page.HorizontalSymmetric()->isEnabled() && !page.VerticalSymmetric()->isEnabled();
  }

  MemorySettingsStore store;
  VideoOptionsPage page{store};
};

TEST_F(VideoOptionsPageTest, LoadAndStoreRoundTripTheScreenValues) {
  ScreenPanelSettings loaded;
  loaded.ShowFps = false;
  loaded.DoubleSize = false;
  loaded.DirectMemory = false;
  loaded.Interlaced = false;
  loaded.GrayPalette = true;
  loaded.VideoMode = 2;
  loaded.FlashFrequency = 12345;  // its hertz text is rounded, the value must not be
  page.Load(loaded, 1, kBuiltInBorderPresets[1].Sizes);
  EXPECT_FALSE(page.DirectDrawBox()->isVisibleTo(&page));
  EXPECT_EQ(page.VideoModeCombo()->currentText(), "1024x768");

  ScreenPanelSettings stored;
  stored.Position = {300, 400};  // not the page's to change
  stored.ScreenPage = 2;
  int32_t preset = -2;
  BorderSizes sizes;
  page.Store(stored, preset, sizes);
  ScreenPanelSettings expected = loaded;
  expected.Position = {300, 400};
  expected.ScreenPage = 2;
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(preset, 1);
  EXPECT_EQ(sizes, kBuiltInBorderPresets[1].Sizes);

  page.FlashEdit()->setText(QStringLiteral("3"));
  page.Store(stored, preset, sizes);
  EXPECT_EQ(stored.FlashFrequency, 8);

  loaded.VideoMode = 7;  // no such mode
  page.Load(loaded, 1, kBuiltInBorderPresets[1].Sizes);
  EXPECT_EQ(page.VideoModeCombo()->currentIndex(), 0);
}

TEST_F(VideoOptionsPageTest, DirectMemoryWriteGovernsInterlacedMode) {
  page.DirectMemoryBox()->setChecked(true);
  EXPECT_TRUE(page.InterlacedBox()->isEnabled());
  page.DirectMemoryBox()->setChecked(false);
  EXPECT_FALSE(page.InterlacedBox()->isEnabled());
  page.DirectMemoryBox()->setChecked(true);
  EXPECT_TRUE(page.InterlacedBox()->isEnabled());
}

TEST_F(VideoOptionsPageTest, SizesOutOfRangeMakeThePageInvalid) {
  page.PresetCombo()->setEditText(QStringLiteral("Custom"));
  SetSizes(10, 20, 30, 40);
  ASSERT_TRUE(page.Valid());
  QSignalSpy spy(&page, &VideoOptionsPage::ValidityChanged);
  const std::pair<QLineEdit*, const char*> bad[] = {
      {page.LeftEdit(), "65"}, {page.RightEdit(), "-1"}, {page.UpperEdit(), "49"},
      {page.LowerEdit(), "x"}, {page.LeftEdit(), "1.5"}, {page.UpperEdit(), ""},
  };
  for (const auto& [edit, text] : bad) {
    SCOPED_TRACE(text);
    const QString good = edit->text();
    edit->setText(QString::fromLatin1(text));
    EXPECT_FALSE(page.Valid());
    EXPECT_TRUE(Yellow(edit));
    EXPECT_FALSE(page.PresetButton()->isEnabled());
    edit->setText(good);
    EXPECT_TRUE(page.Valid());
    EXPECT_FALSE(Yellow(edit));
    EXPECT_TRUE(page.PresetButton()->isEnabled());
  }
  ASSERT_EQ(spy.count(), 12);
  for (int i = 0; i < spy.count(); ++i) EXPECT_EQ(spy.at(i).at(0).toBool(), i % 2 == 1);
  // The largest sizes are in range.
  SetSizes(64, 64, 48, 48);
  EXPECT_TRUE(page.Valid());

  // A nameless preset is invalid too.
  page.PresetCombo()->setEditText(QString());
  EXPECT_FALSE(page.Valid());
  EXPECT_TRUE(Yellow(page.PresetCombo()->lineEdit()));
  EXPECT_FALSE(page.PresetButton()->isEnabled());
  EXPECT_EQ(spy.count(), 13);
}

TEST_F(VideoOptionsPageTest, BuiltInPresetsFillAndLockTheSizes) {
  page.PresetCombo()->setEditText(QStringLiteral("Custom"));
  SetSizes(10, 10, 20, 20);
  page.HorizontalSymmetric()->setChecked(true);
  page.VerticalSymmetric()->setChecked(true);
  EXPECT_FALSE(BorderLocked());

  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    page.PresetCombo()->setCurrentIndex(index);
    int32_t preset = -2;
    // Pentagon's sides differ: a symmetry box left on would copy one over the other.
    EXPECT_EQ(StoredSizes(&preset), kBuiltInBorderPresets[static_cast<size_t>(index)].Sizes);
    EXPECT_EQ(preset, index);
    EXPECT_TRUE(BorderLocked());
    EXPECT_EQ(page.PresetButton()->text(), "&Save");
    EXPECT_FALSE(page.PresetButton()->isEnabled());
    // Maximum's sides match, so symmetry may stay on; Pentagon's do not.
    EXPECT_EQ(page.HorizontalSymmetric()->isChecked(), index == 0);
    EXPECT_EQ(page.VerticalSymmetric()->isChecked(), index == 0);
  }

  // Typing a new name frees the sizes again.
  page.PresetCombo()->setEditText(QStringLiteral("Pentagon"));
  EXPECT_FALSE(BorderLocked());
  EXPECT_EQ(StoredPreset(), -1);
}

TEST_F(VideoOptionsPageTest, TypingANewNameKeepsTheSizes) {
  page.PresetCombo()->setEditText(QString());
  SetSizes(1, 2, 3, 4);
  // On its way to "Max2" the text must not pass through "Maximum" by completion, which
  // works only in a focused window.
  page.show();
  page.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
  page.PresetCombo()->lineEdit()->setFocus();
  QTest::keyClicks(page.PresetCombo()->lineEdit(), QStringLiteral("Max2"));
  EXPECT_EQ(page.PresetCombo()->currentText(), "Max2");
  EXPECT_EQ(StoredSizes(), (BorderSizes{1, 2, 3, 4}));
  EXPECT_TRUE(page.PresetButton()->isEnabled());
}

TEST_F(VideoOptionsPageTest, SymmetryCopiesTheFirstSideAndLocksTheSecond) {
  page.PresetCombo()->setEditText(QStringLiteral("Custom"));
  SetSizes(10, 20, 30, 40);
  page.HorizontalSymmetric()->setChecked(true);
  EXPECT_EQ(page.RightEdit()->text(), "10");
  EXPECT_FALSE(page.RightEdit()->isEnabled());
  page.LeftEdit()->setText(QStringLiteral("99"));
  EXPECT_TRUE(Yellow(page.RightEdit()));
  page.LeftEdit()->setText(QStringLiteral("12"));
  page.VerticalSymmetric()->setChecked(true);
  page.UpperEdit()->setText(QStringLiteral("7"));
  EXPECT_EQ(StoredSizes(), (BorderSizes{12, 12, 7, 7}));
  EXPECT_FALSE(page.LowerEdit()->isEnabled());
  page.HorizontalSymmetric()->setChecked(false);
  EXPECT_TRUE(page.RightEdit()->isEnabled());
}

TEST_F(VideoOptionsPageTest, UserPresetsAreSavedChosenAndDeleted) {
  ASSERT_TRUE(SaveBorderPreset(store, "Wide", {60, 60, 10, 10}));
  page.Load(ScreenPanelSettings{}, 1, kBuiltInBorderPresets[1].Sizes);
  ASSERT_EQ(PresetNames(), (QStringList{"Maximum", "Pentagon128 on TV", "Wide"}));

  page.PresetCombo()->setEditText(QStringLiteral("Mine"));
  SetSizes(1, 2, 3, 4);
  EXPECT_EQ(page.PresetButton()->text(), "&Save");
  page.PresetButton()->click();
  EXPECT_EQ(LoadBorderPreset(store, "Mine"), (BorderSizes{1, 2, 3, 4}));
  EXPECT_EQ(PresetNames(), (QStringList{"Maximum", "Pentagon128 on TV", "Mine", "Wide"}));
  EXPECT_EQ(page.PresetCombo()->currentText(), "Mine");
  EXPECT_EQ(StoredPreset(), 2);
  EXPECT_EQ(page.PresetButton()->text(), "&Delete");

  // Choosing a user preset loads its sizes and leaves them editable.
  page.PresetCombo()->setCurrentIndex(0);
  page.PresetCombo()->setCurrentIndex(3);
  int32_t preset = -2;
  EXPECT_EQ(StoredSizes(&preset), (BorderSizes{60, 60, 10, 10}));
  EXPECT_EQ(preset, 3);
  EXPECT_FALSE(BorderLocked());

  page.PresetButton()->click();
  EXPECT_FALSE(LoadBorderPreset(store, "Wide"));
  EXPECT_EQ(PresetNames(), (QStringList{"Maximum", "Pentagon128 on TV", "Mine"}));
  EXPECT_EQ(page.PresetCombo()->currentText(), "Wide");
  EXPECT_EQ(StoredPreset(), -1);
  EXPECT_EQ(page.PresetButton()->text(), "&Save");
  EXPECT_TRUE(page.PresetButton()->isEnabled());
}

TEST_F(VideoOptionsPageTest, ANameTheStoreRefusesIsMarkedAndNotSaved) {
  page.PresetCombo()->setEditText(QStringLiteral("a/b"));
  page.PresetButton()->click();
  EXPECT_TRUE(ListBorderPresets(store).empty());
  EXPECT_TRUE(Yellow(page.PresetCombo()->lineEdit()));
  EXPECT_FALSE(page.PresetButton()->isEnabled());
  page.PresetCombo()->setEditText(QStringLiteral("ab"));
  EXPECT_FALSE(Yellow(page.PresetCombo()->lineEdit()));
  EXPECT_TRUE(page.PresetButton()->isEnabled());
}

TEST_F(VideoOptionsPageTest, LoadShowsTheSizesInForceUnlessTheEntryIsBuiltIn) {
  ASSERT_TRUE(SaveBorderPreset(store, "Mine", {1, 2, 3, 4}));
  const BorderSizes current{5, 6, 7, 8};
  page.Load(ScreenPanelSettings{}, 2, current);
  EXPECT_EQ(page.PresetCombo()->currentText(), "Mine");
  EXPECT_EQ(StoredSizes(), current);

  page.Load(ScreenPanelSettings{}, 0, current);
  EXPECT_EQ(StoredSizes(), kBuiltInBorderPresets[0].Sizes);

  // Off the list: nothing chosen, so no name either, until the user gives one.
  page.Load(ScreenPanelSettings{}, 3, current);
  EXPECT_EQ(page.PresetCombo()->currentIndex(), -1);
  EXPECT_EQ(StoredSizes(), current);
  EXPECT_FALSE(BorderLocked());
  EXPECT_FALSE(page.Valid());
}

}  // namespace
}  // namespace vantrel
