#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

// Keys come in groups of five; each group is one half-row. The second group of every
// ten is wired in reverse, so the mask table mirrors itself.
constexpr std::array<uint8_t, 8> kGroupRow = {3, 4, 2, 5, 1, 6, 0, 7};
constexpr std::array<uint8_t, 10> kColumnMask = {0x01, 0x02, 0x04, 0x08, 0x10,
                                                 0x10, 0x08, 0x04, 0x02, 0x01};

bool ValidKey(int key) {
  return key >= 0 && key < kKeyCount;
}

}  // namespace

int KeyIndexOfChar(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const bool printable = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == ' ';
  if (!printable) return -1;
  return static_cast<int>(kKeyLabels.find(c));
}

int KeyMatrix::KeyRow(int key) {
  return kGroupRow[static_cast<size_t>(key / 5) & 7];
}

uint8_t KeyMatrix::KeyMask(int key) {
  return kColumnMask[static_cast<size_t>(key % 10)];
}

void KeyMatrix::PressKey(int key) {
  if (!ValidKey(key)) return;
  if (pressCount_[key].fetch_add(1, std::memory_order_relaxed) != 0) return;
  rows_[KeyRow(key)].fetch_and(static_cast<uint8_t>(~KeyMask(key)), std::memory_order_relaxed);
  pressedCount_.fetch_add(1, std::memory_order_relaxed);
  RecomputeGhosting();
}

void KeyMatrix::ReleaseKey(int key) {
  if (!ValidKey(key)) return;
  uint8_t count = pressCount_[key].load(std::memory_order_relaxed);
  if (count > 0) {
    count = static_cast<uint8_t>(pressCount_[key].fetch_sub(1, std::memory_order_relaxed) - 1);
    if (count > 0) return;
  }
  // A release without a press (a key held before focus came) still lets the key go.
  rows_[KeyRow(key)].fetch_or(KeyMask(key), std::memory_order_relaxed);
  pressedCount_.fetch_sub(1, std::memory_order_relaxed);
  RecomputeGhosting();
}

bool KeyMatrix::KeyIsPressed(int key) const {
  return ValidKey(key) && pressCount_[key].load(std::memory_order_relaxed) != 0;
}

void KeyMatrix::ClearMatrix() {
  for (int row = 0; row < 8; ++row) {
    rows_[row].store(kRowIdle, std::memory_order_relaxed);
    effective_[row].store(kRowIdle, std::memory_order_relaxed);
  }
  for (auto& count : pressCount_) count.store(0, std::memory_order_relaxed);
  pressedCount_.store(0, std::memory_order_relaxed);
}

void KeyMatrix::Save(Saved& out) const {
  for (int row = 0; row < 8; ++row) out.Rows[row] = rows_[row].load(std::memory_order_relaxed);
  for (int key = 0; key < kKeyCount; ++key)
    out.PressCount[key] = pressCount_[key].load(std::memory_order_relaxed);
}

void KeyMatrix::Restore(const Saved& in) {
  int8_t pressed = 0;
  for (int row = 0; row < 8; ++row) rows_[row].store(in.Rows[row], std::memory_order_relaxed);
  for (int key = 0; key < kKeyCount; ++key) {
    pressCount_[key].store(in.PressCount[key], std::memory_order_relaxed);
    if (in.PressCount[key] != 0) ++pressed;
  }
  pressedCount_.store(pressed, std::memory_order_relaxed);
  RecomputeGhosting();
}

void KeyMatrix::RecomputeGhosting() {
  std::array<uint8_t, 8> rows;
  for (int row = 0; row < 8; ++row) rows[row] = rows_[row].load(std::memory_order_relaxed);
  // With fewer than three keys down no current path can reach a fourth key.
  if (pressedCount_.load(std::memory_order_relaxed) >= 3) {
    for (int i = 0; i < 7; ++i) {
      if (rows[i] == kRowIdle) continue;
      for (int j = i + 1; j < 8; ++j) {
        // Two rows with a pressed key in the same column are joined through it: each
        // then also reads the other's pressed keys.
        if (rows[j] != kRowIdle && rows[i] != rows[j] && (rows[i] | rows[j]) != kRowIdle) {
          rows[i] = rows[j] = static_cast<uint8_t>(rows[i] & rows[j]);
          j = i + 1;  // the scan goes on from i + 2
        }
      }
    }
  }
  for (int row = 0; row < 8; ++row) effective_[row].store(rows[row], std::memory_order_relaxed);
}

}  // namespace vantrel
