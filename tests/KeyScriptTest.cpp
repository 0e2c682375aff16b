#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/KeyScript.h"
#include "input/KeyMatrix.h"

namespace vantrel {
namespace {

std::vector<KeyStroke> ParseOk(std::string_view script) {
  std::vector<KeyStroke> strokes;
  std::string error;
  EXPECT_TRUE(ParseKeyScript(script, &strokes, &error)) << script << ": " << error;
  return strokes;
}

int Key(char c) {
  return KeyIndexOfChar(c);
}

TEST(KeyScriptTest, NamesCombinationsAndStartFrames) {
  const std::vector<KeyStroke> strokes = ParseOk("  a\tENTER cs+5 Ss+p@50 SPACE 0@0  ");
  ASSERT_EQ(strokes.size(), 6u);
  const std::vector<std::vector<int>> keys = {
      {Key('A')},  {kKeyEnter}, {kKeyCapsShift, Key('5')}, {kKeySymbolShift, Key('P')},
      {kKeySpace}, {Key('0')}};
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(strokes[i].Keys, keys[i]) << i;
  EXPECT_FALSE(strokes[0].StartFrame.has_value());
  EXPECT_EQ(strokes[3].StartFrame, 50u);
  EXPECT_EQ(strokes[3].Text, "Ss+p@50");
  EXPECT_EQ(strokes[5].StartFrame, 0u);
  EXPECT_TRUE(ParseOk("").empty());
  EXPECT_EQ(ParseOk("A@4294967295")[0].StartFrame, 4294967295u);
}

TEST(KeyScriptTest, BadTokensAreNamedAndLeaveTheResultAlone) {
  for (const char* token : {"@5", "A@", "A@x", "A@-1", "A@+1", "A@4294967296", "A@1@2", "CS+", "+A",
                            "A++B", "AB", "SHIFT", "ENTERX", "!", "Z@#10"}) {
    std::vector<KeyStroke> strokes = {KeyStroke{{1}, std::nullopt, "kept"}};
    std::string error;
    EXPECT_FALSE(ParseKeyScript(std::string("Q ") + token + " W", &strokes, &error)) << token;
    EXPECT_NE(error.find(std::string("'") + token + "'"), std::string::npos) << error;
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].Text, "kept");
  }
}

// Keys are down three frames, then up three before the next stroke; a start frame moves
// the strokes after it, even back in time, and the list stays in frame order.
TEST(KeyScriptTest, ScheduleHoldsEachStrokeThenLeavesAGap) {
  const int a = Key('A'), b = Key('B'), c = Key('C'), five = Key('5'), cs = kKeyCapsShift;
  const std::pair<const char*, std::vector<KeyEvent>> cases[] = {
      {"A B", {{0, a, true}, {3, a, false}, {6, b, true}, {9, b, false}}},
      {"A@10 B C@2",
       {{2, c, true}, {5, c, false}, {10, a, true}, {13, a, false}, {16, b, true}, {19, b, false}}},
      {"CS+5@4", {{4, cs, true}, {4, five, true}, {7, cs, false}, {7, five, false}}},
  };
  for (const auto& [script, expected] : cases) {
    EXPECT_EQ(KeySchedule(ParseOk(script)).Events(), expected) << script;
  }
}

// A real keyboard matrix, frame by frame. When a release and a press fall on one frame,
// releasing first keeps the press count right and the key down.
TEST(KeyScriptTest, AppliedFramesPressAndReleaseTheMatrix) {
  const std::pair<const char*, std::vector<bool>> cases[] = {
      {"A A", {1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0}},
      {"A A@3", {1, 1, 1, 1, 1, 1, 0, 0}},
  };
  for (const auto& [script, expected] : cases) {
    KeySchedule schedule(ParseOk(script));
    KeyMatrix keys;
    std::vector<bool> pressed;
    for (uint64_t frame = 0; frame < expected.size(); ++frame) {
      schedule.ApplyFrame(frame, keys);
      pressed.push_back(keys.KeyIsPressed(Key('A')));
    }
    EXPECT_EQ(pressed, expected) << script;
  }
  // Skipped frames are caught up.
  KeyMatrix keys;
  KeySchedule schedule(ParseOk("A B"));
  schedule.ApplyFrame(7, keys);  // A pressed and released, B pressed
  EXPECT_FALSE(keys.KeyIsPressed(Key('A')));
  EXPECT_TRUE(keys.KeyIsPressed(Key('B')));
  schedule.ApplyFrame(100, keys);
  EXPECT_EQ(keys.PressedCount(), 0);
}

}  // namespace
}  // namespace vantrel
