#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

namespace vantrel {

// Key indices follow the on-screen grid, ten keys a row: e = ENTER, c = CAPS SHIFT,
// s = SYMBOL SHIFT and the final blank SPACE.
inline constexpr std::string_view kKeyLabels = "1234567890QWERTYUIOPASDFGHJKLecZXCVBNMs ";
inline constexpr int kKeyCount = 40;
inline constexpr int kKeyEnter = 29;
inline constexpr int kKeyCapsShift = 30;
inline constexpr int kKeySymbolShift = 38;
inline constexpr int kKeySpace = 39;

// The key of a printable label character (digits, letters A-Z in either case, space), or
// -1. ENTER and the two shifts have no character of their own.
int KeyIndexOfChar(char c);

// The emulated keyboard: 40 keys wired as eight half-rows of five. A half-row is read
// when its address line (A8-A15) is low; a pressed key reads as 0.
//
// Each key counts its presses, so two PC keys that share an emulated key (left Shift and
// the arrows both hold CAPS SHIFT) do not release it early. With three keys or more down
// the rows are merged as the real matrix's diodes-free wiring does (ghosting).
//
// The keyboard thread and the window thread write, the emulation thread reads; every
// byte is an atomic, and a reader sees each row before or after a change.
class KeyMatrix {
 public:
  static constexpr uint8_t kRowIdle = 0xBF;  // bits 0-4 released, bit 5 set, bit 6 (EAR) 0

  KeyMatrix() { ClearMatrix(); }
  KeyMatrix(const KeyMatrix&) = delete;
  KeyMatrix& operator=(const KeyMatrix&) = delete;

  void PressKey(int key);
  void ReleaseKey(int key);
  bool KeyIsPressed(int key) const;
  void ClearMatrix();

  // The ULA port's keyboard bits: every selected half-row ANDed together; 0xBF when no
  // row is selected. The port decoder adds the EAR bit.
  uint8_t ReadKeyboardPort(uint16_t port) const {
    uint8_t value = kRowIdle;
    const unsigned lines = static_cast<unsigned>(~port >> 8) & 0xFF;
    for (int row = 0; row < 8; ++row) {
      if (lines & (1u << row)) value &= effective_[row].load(std::memory_order_relaxed);
    }
    return value;
  }

  uint8_t Row(int row) const { return rows_[row & 7].load(std::memory_order_relaxed); }
  uint8_t EffectiveRow(int row) const {
    return effective_[row & 7].load(std::memory_order_relaxed);
  }
  int PressedCount() const { return pressedCount_.load(std::memory_order_relaxed); }

  // Which half-row and bit a key is wired to.
  // The held keys, for a machine capture.
  struct Saved {
    std::array<uint8_t, 8> Rows{};
    std::array<uint8_t, kKeyCount> PressCount{};
  };
  void Save(Saved& out) const;
  void Restore(const Saved& in);

  static int KeyRow(int key);
  static uint8_t KeyMask(int key);

 private:
  void RecomputeGhosting();

  std::array<std::atomic<uint8_t>, 8> rows_;
  std::array<std::atomic<uint8_t>, 8> effective_;
  std::atomic<int8_t> pressedCount_{0};
  std::array<std::atomic<uint8_t>, kKeyCount> pressCount_;
};

}  // namespace vantrel
