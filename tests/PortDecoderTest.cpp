#include <gtest/gtest.h>

#include <cstdint>

#include "machine/Machine.h"

namespace vantrel {
namespace {

// Holds the keys of one half-row so that the row reads `value` (bit clear = pressed).
void HoldRow(KeyMatrix& keys, int row, uint8_t value) {
  for (int k = 0; k < kKeyCount; ++k) {
    if (KeyMatrix::KeyRow(k) != row) continue;
    if (!(value & KeyMatrix::KeyMask(k))) {
      if (!keys.KeyIsPressed(k)) keys.PressKey(k);
    } else {
      while (keys.KeyIsPressed(k)) keys.ReleaseKey(k);
    }
  }
}

// A freshly powered machine: 128K model, paging unlocked, TR-DOS not paged in.
class PortDecoderTest : public testing::Test {
 protected:
  uint8_t In(uint16_t port) { return m.Ports.PortRead(port); }
  void Out(uint16_t port, uint8_t value) { m.Ports.PortWrite(port, value); }

  Machine m{1};
  PortDecodeSettings& settings = m.Ports.Settings;
};

// ---------------------------------------------------------------------------------------
// Writes: which devices a port address reaches.

TEST(PortDecoderWrites, EachAddressReachesTheDevicesWhosePatternItMatches) {
  struct Case {
    uint16_t port;
    bool ula, paging, scorpion, aySelect, ayData;
  };
  const Case cases[] = {
      {0x00FE, true, false, false, false, false},  // bit 1 set: never the paging port
      {0x7FFC, true, true, false, false, false},   // bit 0 clear as well as bits 15 and 1
      {0x7FFD, false, true, false, false, false},
      {0x1FFD, false, true, true, false, false},  // #1FFD also has bits 15 and 1 clear
      {0x3FFD, false, true, true, false, false},  // bit 13 is not decoded for #1FFD
      {0xFFFD, false, false, false, true, false},
      {0xE03D, false, false, false, true, false},  // partial decoding of the AY ports
      {0xA03D, false, false, false, false, true},
      {0xFFFC, true, false, false, false, false},   // bit 0 clear: not the AY
      {0x001F, false, false, false, false, false},  // the joystick has no write side
  };
  constexpr uint8_t kValue = 0x06;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "port 0x" << std::hex << c.port);
    Machine m(1);
    // A Scorpion so that #1FFD writes are kept; the bits written change nothing at 0x0000.
    m.Mem.Model = MemoryModel::Scorpion256k;
    m.Ports.PortWrite(c.port, kValue);
    EXPECT_EQ(m.Ports.PortFE == kValue, c.ula);
    EXPECT_EQ(m.Screen.BorderColour == kValue, c.ula);
    EXPECT_EQ(m.Mem.Port7FFD == kValue, c.paging);
    EXPECT_EQ(m.Mem.Port1FFD == kValue, c.scorpion);
    EXPECT_EQ(m.Ay.Selected() == kValue, c.aySelect);
    EXPECT_EQ(m.Ay.Writes(), c.ayData ? 1u : 0u);
  }
}

TEST_F(PortDecoderTest, PagingWriteMovesTheDisplayedScreen) {
  Out(0x7FFD, 0x08);
  EXPECT_EQ(m.Screen.DisplayedBank(), 7);
  Out(0x7FFD, 0x00);
  EXPECT_EQ(m.Screen.DisplayedBank(), 5);
  // The 48K lock: later writes are ignored, and so is their screen bit.
  Out(0x7FFD, 0x28);
  EXPECT_EQ(m.Screen.DisplayedBank(), 7);
  Out(0x7FFD, 0x00);
  EXPECT_EQ(m.Screen.DisplayedBank(), 7);
  EXPECT_EQ(m.Mem.ScreenBank, 7);
}

TEST_F(PortDecoderTest, UlaAndPagingAreDecodedWhileTrDosIsPagedIn) {
  m.Mem.DosActive = true;
  Out(0x7FFC, 0x13);
  EXPECT_EQ(m.Screen.BorderColour, 3);
  EXPECT_EQ(m.Mem.TopBank(), 3);
  EXPECT_EQ(m.Mem.Port7FFD, 0x13);
}

// ---------------------------------------------------------------------------------------
// The ULA port: border, speaker and tape out.

TEST_F(PortDecoderTest, MicBitChangesTheSoundLevelButNotTheBorder) {
  Out(0x00FE, 0x02);
  m.Screen.BorderChangeHistory = 0;
  m.Beeper.SoundChangeHistory = 0;
  const uint8_t before = m.Beeper.SoundLevel;
  Out(0x00FE, 0x0A);  // only bit 3 (MIC) differs
  EXPECT_EQ(m.Beeper.SoundLevel, before + m.Beeper.TapeOutWeight);
  EXPECT_EQ(m.Beeper.SoundChangeHistory & 1, 1);
  EXPECT_EQ(m.Screen.BorderColour, 2);
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0);
  EXPECT_EQ(m.Ports.PortFE, 0x0A);
}

TEST_F(PortDecoderTest, SoundLevelMixesSpeakerAndMicAndKeepsTheTapeInput) {
  struct Case {
    uint8_t levelBefore;
    uint8_t value;
    uint8_t levelAfter;
  };
  // Weights: speaker 128, tape in 64, tape out 32.
  const Case cases[] = {
      {0, 0x18, 160}, {0, 0x07, 0}, {64, 0x18, 224}, {224, 0x00, 64}, {160, 0x18, 160},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "level " << int{c.levelBefore} << " value 0x" << std::hex << int{c.value});
    m.Beeper.SoundLevel = c.levelBefore;
    m.Beeper.SoundChangeHistory = 0;
    Out(0x00FE, c.value);
    EXPECT_EQ(m.Beeper.SoundLevel, c.levelAfter);
    EXPECT_EQ(m.Beeper.SoundChangeHistory, c.levelAfter != c.levelBefore ? 1 : 0);
  }
}

TEST_F(PortDecoderTest, BorderChangeIsRecordedOnlyWhenTheColourChanges) {
  m.Screen.BorderChangeHistory = 0;
  Out(0x00FE, 0x00);  // colour 0 already: nothing to record
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0);
  Out(0x00FE, 0x1D);  // speaker and colour 5
  EXPECT_EQ(m.Screen.BorderColour, 5);
  EXPECT_EQ(m.Screen.BorderChangeHistory, 1);
  m.Screen.BorderChangeHistory = 0x04;
  Out(0x00FE, 0x05);
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0x04);
  Out(0x00FE, 0x01);
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0x05);
}

TEST_F(PortDecoderTest, SamplerWrapsWhenTheLevelChangesPastTheDefaultFrameLength) {
  struct Case {
    uint32_t tacktsPerInt;
    uint32_t tackts;
    uint8_t wrapped;
  };
  const Case cases[] = {
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt - 1, 0},
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt, 1},
      // A shorter configured frame does not move the limit: the sampler's buffer is sized
      // for the default one.
      {69888, 69900, 0},
      {69888, kDefaultTacktsPerInt + 5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.tacktsPerInt << " T " << c.tackts);
    m.State.TacktsPerInt = c.tacktsPerInt;
    m.State.Regs.Tackts = c.tackts;
    m.Beeper.SamplerWrapped = 0xEE;
    Out(0x00FE, m.Beeper.SoundLevel ? 0x00 : 0x10);
    EXPECT_EQ(m.Beeper.SamplerWrapped, c.wrapped);
  }
  // No level change, no sampling: the flag is left alone.
  m.State.Regs.Tackts = kDefaultTacktsPerInt + 1;
  m.Beeper.SamplerWrapped = 0;
  Out(0x00FE, m.Ports.PortFE);
  EXPECT_EQ(m.Beeper.SamplerWrapped, 0);
}

// ---------------------------------------------------------------------------------------
// Reads: keyboard, EAR, joystick, mouse, AY and the idle bus.

TEST_F(PortDecoderTest, KeyboardHalfRowsAreSelectedByTheHighAddressLines) {
  // One key down in every half-row, a different one in each (bits 0-4).
  for (int row = 0; row < 8; ++row) {
    HoldRow(m.Keys, row, static_cast<uint8_t>(~(1u << (row % 5))));
  }
  struct Case {
    uint16_t port;
    uint8_t expected;
  };
  const Case cases[] = {
      {0xFEFE, 0xBE},  // row 0 only
      {0xEFFE, 0xAF},  // row 4
      {0x7FFE, 0xBB},  // row 7 (bit 2)
      {0xFCFE, 0xBC},  // rows 0 and 1 together
      {0x00FE, 0xA0},  // every row: all five bits pressed somewhere
      {0xFFFE, 0xBF},  // no line low: no row
      {0x7F00, 0xBB},  // any even port is the ULA's
  };
  for (const Case& c : cases) {
    EXPECT_EQ(In(c.port), c.expected) << "port 0x" << std::hex << c.port;
  }
}

TEST_F(PortDecoderTest, EarInputIsBitSixOfTheKeyboardPort) {
  EXPECT_EQ(In(0x7FFE), 0xBF);
  m.Tape.SetEarLevel(0x40);
  EXPECT_EQ(In(0x7FFE), 0xFF);
  HoldRow(m.Keys, 7, 0xFE);  // SPACE
  EXPECT_EQ(In(0x7FFE), 0xFE);
  m.Tape.SetEarLevel(0x00);
  EXPECT_EQ(In(0x7FFE), 0xBE);
}

TEST_F(PortDecoderTest, JoystickIsReadOnlyOutsideTrDos) {
  struct Case {
    bool dosActive;
    bool portAccess;
    bool joystickEnabled;
    uint8_t expected;
  };
  // Kempston bits: right, left, down, up, fire.
  const Case cases[] = {
      {false, false, true, 0x15}, {false, false, false, 0xFF},  // not decoded: nobody answers
      {true, false, true, 0xFF},  // the controller's status register (no controller yet)
      {false, true, true, 0xFF},  // Beta 128 ports decoded outside TR-DOS too
      {true, true, true, 0xFF},
  };
  m.Joystick.State = 0x15;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dos " << c.dosActive << " access " << c.portAccess
                                    << " joystick " << c.joystickEnabled);
    m.Mem.DosActive = c.dosActive;
    settings.TrDosPortAccess = c.portAccess;
    settings.JoystickEnabled = c.joystickEnabled;
    EXPECT_EQ(In(0x001F), c.expected);
  }
}

TEST_F(PortDecoderTest, JoystickPortIsPartiallyDecoded) {
  m.Joystick.State = 0x00;  // idle joystick: reads as 0, unlike an unanswered port
  // Only bits 0, 3, 5 and 7 are decoded: 1, 1, 0, 0.
  EXPECT_EQ(In(0x001F), 0x00);
  EXPECT_EQ(In(0xFF19), 0x00);
  EXPECT_EQ(In(0x5F5F), 0x00);
  EXPECT_EQ(In(0x003F), 0xFF);  // bit 5 set
  EXPECT_EQ(In(0x009F), 0xFF);  // bit 7 set
  EXPECT_EQ(In(0x0017), 0xFF);  // bit 3 clear
}

TEST_F(PortDecoderTest, MousePortsAnswerOnlyWhenTheMouseIsEnabled) {
  m.Mouse.X = 0x12;
  m.Mouse.Y = 0x34;
  m.Mouse.Buttons = 0xFE;
  struct Case {
    uint16_t port;
    uint8_t enabledValue;
  };
  const Case cases[] = {
      {0xF9DF, 0x12},  // bit 9 is not decoded
      {0xFFDF, 0x34},
      {0xFADF, 0xFE},
      {0xFEDF, 0xFF},  // bit 8 set with bit 10 clear: none of the three
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "port 0x" << std::hex << c.port);
    m.Mouse.Enabled = false;
    EXPECT_EQ(In(c.port), 0xFF);
    m.Mouse.Enabled = true;
    EXPECT_EQ(In(c.port), c.enabledValue);
    m.Mem.DosActive = true;  // the Beta 128 ports take over
    EXPECT_EQ(In(c.port), 0xFF);
    m.Mem.DosActive = false;
  }
}

TEST_F(PortDecoderTest, AyReadsTheSelectedRegisterOnlyThroughTheSelectPort) {
  Out(0xFFFD, 8);
  Out(0xBFFD, 0x0F);
  Out(0xFFFD, 1);
  Out(0xBFFD, 0x0C);
  EXPECT_EQ(In(0xFFFD), 0x0C);
  Out(0xFFFD, 8);
  EXPECT_EQ(In(0xFFFD), 0x0F);
  EXPECT_EQ(In(0xE03D), 0x0F);  // an alias of #FFFD
  EXPECT_EQ(In(0xBFFD), 0xFF);  // the data port has no read side
  m.Mem.DosActive = true;
  EXPECT_EQ(In(0xFFFD), 0xFF);
}

TEST_F(PortDecoderTest, RepeatedAyWritesReachTheChipOnlyForTheEnvelopeShape) {
  Out(0xFFFD, 13);
  Out(0xBFFD, 0x0E);
  Out(0xBFFD, 0x0E);  // restarts the envelope: a real write
  EXPECT_EQ(m.Ay.Writes(), 2u);
  Out(0xFFFD, 7);
  Out(0xBFFD, 0x38);
  Out(0xBFFD, 0x38);
  EXPECT_EQ(m.Ay.Writes(), 3u);
  EXPECT_EQ(m.Ay.Register(7), 0x38);
  EXPECT_EQ(m.Ay.Register(13), 0x0E);
}

TEST_F(PortDecoderTest, AyPortsAreNotDecodedWhileTheDiskPortsAre) {
  Out(0xFFFD, 3);
  for (const bool viaSetting : {false, true}) {
    SCOPED_TRACE(viaSetting ? "port access setting" : "TR-DOS paged in");
    m.Mem.DosActive = !viaSetting;
    settings.TrDosPortAccess = viaSetting;
    Out(0xFFFD, 5);
    Out(0xBFFD, 0x77);
    EXPECT_EQ(m.Ay.Selected(), 3);
    EXPECT_EQ(m.Ay.Writes(), 0u);
  }
  m.Mem.DosActive = false;
  settings.TrDosPortAccess = false;
  Out(0xFFFD, 5);
  EXPECT_EQ(m.Ay.Selected(), 5);
}

TEST_F(PortDecoderTest, AnswersOfSeveralDevicesAreAnded) {
  // The joystick moved onto the ULA's pattern: one read, two answers.
  settings.JoystickBits = 0x00FE;
  settings.JoystickMask = 0x0001;
  HoldRow(m.Keys, 0, 0xFE);  // CAPS SHIFT: bit 0
  m.Joystick.State = 0xFD;
  EXPECT_EQ(In(0xFEFE), 0xBC);
  // A third device on the same port: the AY select pattern set as the keyboard's.
  settings.KeyboardBits = 0xFFFD;
  settings.KeyboardMask = 0xE023;
  settings.JoystickBits = 0xFFFD;
  settings.JoystickMask = 0xE023;
  Out(0xFFFD, 2);
  Out(0xBFFD, 0xF7);
  HoldRow(m.Keys, 0, 0xFF);
  m.Tape.SetEarLevel(0x40);
  EXPECT_EQ(In(0xFFFD), 0xF5);  // keyboard 0xFF, joystick 0xFD, AY 0xF7
}

TEST_F(PortDecoderTest, AnsweredPortsNeverReadTheIdleBus) {
  // With "All Unused" every port nobody answers reads the beam's attribute; a port a
  // device answered keeps the device's byte.
  settings.AttributeAllUnused = true;
  m.State.Regs.Tackts = 0;  // top border
  Out(0xFFFD, 0);
  Out(0xBFFD, 0x5A);
  m.Joystick.State = 0x03;
  m.Mouse.Enabled = true;
  m.Mouse.X = 0x40;
  m.Mouse.Y = 0x41;
  m.Mouse.Buttons = 0xFC;
  HoldRow(m.Keys, 0, 0xFE);
  EXPECT_EQ(In(0xFFFD), 0x5A);
  EXPECT_EQ(In(0x001F), 0x03);
  EXPECT_EQ(In(0xFBDF), 0x40);
  EXPECT_EQ(In(0xFFDF), 0x41);
  EXPECT_EQ(In(0xFADF), 0xFC);
  EXPECT_EQ(In(0xFEFE), 0xBE);
}

TEST_F(PortDecoderTest, UnansweredPortsReadTheIdleBus) {
  struct Case {
    bool attributeEnabled;
    bool allUnused;
    uint16_t port;
  };
  // The beam is in the top border at T 0, where the ULA leaves the bus at 0xFF.
  const Case cases[] = {
      {true, false, 0x40FF},
      {true, true, 0x40FD},
      {false, true, 0x40FD},
  };
  m.State.Regs.Tackts = 0;
  for (const Case& c : cases) {
    settings.AttributePortEnabled = c.attributeEnabled;
    settings.AttributeAllUnused = c.allUnused;
    EXPECT_EQ(In(c.port), 0xFF) << std::hex << c.port;
  }
}

TEST_F(PortDecoderTest, SettingChangesTakeEffectAtTheNextAccess) {
  HoldRow(m.Keys, 7, 0xFE);
  EXPECT_EQ(In(0x7FFE), 0xBE);
  settings.KeyboardEnabled = false;
  EXPECT_EQ(In(0x7FFE), 0xFF);
  settings.AttributePortEnabled = false;
  EXPECT_EQ(In(0x7FFE), 0xFF);
  Out(0x00FE, 0x04);
  EXPECT_EQ(m.Screen.BorderColour, 0);
  settings.KeyboardEnabled = true;
  // A stricter pattern: bits 1 and 0 must read 1, 0.
  settings.KeyboardMask = 0x0003;
  EXPECT_EQ(In(0x7FFE), 0xBE);
  EXPECT_EQ(In(0x7FFC), 0xFF);
  Out(0x00FC, 0x04);
  EXPECT_EQ(m.Screen.BorderColour, 0);
  Out(0x00FE, 0x04);
  EXPECT_EQ(m.Screen.BorderColour, 4);
}

TEST_F(PortDecoderTest, ProcessorReadsTheKeyboardThroughTheDecoder) {
  // IN A,(#FE) puts A on the high address lines: A = #FE selects half-row 0.
  m.Mem.PokeByte(0x8000, 0xDB);
  m.Mem.PokeByte(0x8001, 0xFE);
  m.State.Regs.PC = 0x8000;
  m.State.Regs.A() = 0xFE;
  HoldRow(m.Keys, 0, 0xFB);  // X
  HoldRow(m.Keys, 1, 0xFE);  // A: not selected
  m.Cpu.Step();
  EXPECT_EQ(m.State.Regs.A(), 0xBB);
}

}  // namespace
}  // namespace vantrel
