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

TEST(KeyScriptTest, NamesCombinationsAndStartFrames) {
  const std::vector<KeyStroke> strokes = ParseOk("  a\tENTER cs+5 Ss+p@50 SPACE 0@0  ");
  ASSERT_EQ(strokes.size(), 6u);
  EXPECT_EQ(strokes[0].Keys, std::vector<int>{KeyIndexOfChar('A')});
  EXPECT_FALSE(strokes[0].StartFrame.has_value());
  EXPECT_EQ(strokes[1].Keys, std::vector<int>{kKeyEnter});
  EXPECT_EQ(strokes[2].Keys, (std::vector<int>{kKeyCapsShift, KeyIndexOfChar('5')}));
  EXPECT_EQ(strokes[3].Keys, (std::vector<int>{kKeySymbolShift, KeyIndexOfChar('P')}));
  EXPECT_EQ(strokes[3].StartFrame, 50u);
  EXPECT_EQ(strokes[3].Text, "Ss+p@50");
  EXPECT_EQ(strokes[4].Keys, std::vector<int>{kKeySpace});
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

TEST(KeyScriptTest, StrokesFollowOneAnotherAfterHoldAndGap) {
  const KeySchedule schedule(ParseOk("A B"));
  const int a = KeyIndexOfChar('A'), b = KeyIndexOfChar('B');
  const std::vector<KeyEvent> expected = {{0, a, true}, {3, a, false}, {6, b, true}, {9, b, false}};
  EXPECT_EQ(schedule.Events(), expected);
}

TEST(KeyScriptTest, AStartFrameMovesTheStrokesAfterIt) {
  const KeySchedule schedule(ParseOk("A@10 B C@2"));
  const int a = KeyIndexOfChar('A'), b = KeyIndexOfChar('B'), c = KeyIndexOfChar('C');
  // C goes back in time: it is placed where it says, and the list stays in frame order.
  const std::vector<KeyEvent> expected = {{2, c, true},   {5, c, false}, {10, a, true},
                                          {13, a, false}, {16, b, true}, {19, b, false}};
  EXPECT_EQ(schedule.Events(), expected);
}

TEST(KeyScriptTest, CombinationsPressAndReleaseTogether) {
  const KeySchedule schedule(ParseOk("CS+5@4"));
  const int five = KeyIndexOfChar('5');
  const std::vector<KeyEvent> expected = {
      {4, kKeyCapsShift, true}, {4, five, true}, {7, kKeyCapsShift, false}, {7, five, false}};
  EXPECT_EQ(schedule.Events(), expected);
}

// Drives a real keyboard matrix frame by frame.
std::vector<bool> PressedPerFrame(KeySchedule schedule, int key, uint64_t frames) {
  KeyMatrix keys;
  std::vector<bool> pressed;
  for (uint64_t frame = 0; frame < frames; ++frame) {
    schedule.ApplyFrame(frame, keys);
    pressed.push_back(keys.KeyIsPressed(key));
  }
  return pressed;
}

TEST(KeyScriptTest, KeysAreDownForThreeFramesThenUpForThree) {
  const int a = KeyIndexOfChar('A');
  EXPECT_EQ(PressedPerFrame(KeySchedule(ParseOk("A A")), a, 13),
            (std::vector<bool>{true, true, true, false, false, false, true, true, true, false,
                               false, false, false}));
}

TEST(KeyScriptTest, AReleaseAndAPressOnOneFrameLeaveTheKeyDown) {
  // The second stroke starts on the frame the first releases: releasing first keeps the
  // press count right, so the key stays down for the second stroke's three frames.
  const int a = KeyIndexOfChar('A');
  EXPECT_EQ(PressedPerFrame(KeySchedule(ParseOk("A A@3")), a, 8),
            (std::vector<bool>{true, true, true, true, true, true, false, false}));
}

TEST(KeyScriptTest, SkippedFramesAreCaughtUp) {
  KeyMatrix keys;
  KeySchedule schedule(ParseOk("A B"));
  schedule.ApplyFrame(7, keys);  // A pressed and released, B pressed
  EXPECT_FALSE(keys.KeyIsPressed(KeyIndexOfChar('A')));
  EXPECT_TRUE(keys.KeyIsPressed(KeyIndexOfChar('B')));
  schedule.ApplyFrame(100, keys);
  EXPECT_EQ(keys.PressedCount(), 0);
}

}  // namespace
}  // namespace vantrel
