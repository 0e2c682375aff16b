#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Memory.h"
#include "core/Z80Registers.h"
#include "debugger/MemoryView.h"

namespace vantrel {

// The memory panel's search: a pattern of space-separated items, each a quoted string
// ("" inside stands for one quote) or an expression stored little-endian in 1, 2 or 4
// bytes by its size. Empty with `error` set when the text is no pattern.
inline constexpr size_t kMaxPatternBytes = 100;
std::optional<std::vector<uint8_t>> ParseSearchPattern(std::string_view text,
                                                       const Z80Registers& regs,
                                                       std::string* error);

// Where a search goes next. Start sets it up as the "Find" button does; Next moves one
// step and walks until the pattern matches (the match address) or the stop address is
// reached (nothing). All addresses wrap within 16 bits, or within the page of a page view
// (`lowerBound` 49152).
struct MemorySearch {
  uint16_t Next = 0;
  uint16_t Stop = 0;
  int Step = 1;
  uint16_t LowerBound = 0;
  // `from`: the higher of cursor and anchor when searching from the cursor, else empty.
  void Start(std::optional<uint16_t> from, bool forward, uint16_t lowerBound = 0);
  std::optional<uint16_t> FindNext(const DumpMemory& memory, const std::vector<uint8_t>& pattern);
};

// The bytes from `start` to `end` (inclusive, in address order, wrapping) as two
// upper-case hexadecimal digits each, separated by single spaces.
std::string BlockText(const DumpMemory& memory, uint16_t start, uint16_t end);

// Memory block files: headerless bytes.
struct BlockSave {
  uint16_t Start = 0;
  uint32_t Length = 1;  // 1..65536
  enum Mode { NewFile, Append, AtOffset } Where = NewFile;
  uint64_t Offset = 0;  // AtOffset: where in the existing file the block goes
};
// Writes the block (read with PeekByte, wrapping past 0xFFFF) through a temporary file
// renamed over the target, so a failure leaves the old file intact. False on any error.
bool SaveMemoryBlock(const Memory& memory, const std::filesystem::path& file,
                     const BlockSave& save);

struct BlockLoad {
  uint64_t From = 0;        // first byte of the file
  uint32_t Length = 1;      // bytes to load, 1..65536
  uint16_t Start = 0;       // memory address of the first byte; wraps past 0xFFFF
  bool PreserveRom = true;  // through PokeByte; else straight into what is mapped there
};
// The block's bytes, read whole before any is stored; empty when the file is short or
// unreadable.
std::optional<std::vector<uint8_t>> ReadMemoryBlock(const std::filesystem::path& file,
                                                    const BlockLoad& load);
// Stores them from load.Start on, wrapping past 0xFFFF.
void StoreMemoryBlock(Memory& memory, const BlockLoad& load, const std::vector<uint8_t>& bytes);
// Both: a short file changes nothing.
bool LoadMemoryBlock(Memory& memory, const std::filesystem::path& file, const BlockLoad& load);

// The save dialog's fields after its rules: Length follows Start and End, or, when the
// Length was the field typed, End follows it. Empty message: all rules pass.
struct SaveBlockFields {
  int64_t Start = 0;
  int64_t Length = 1;
  int64_t End = 0;
  bool WrapAround = false;
  bool NewOverwrite = true;
  bool AppendToEnd = false;
  int64_t Offset = 0;
};
std::string ValidateSaveBlock(SaveBlockFields& fields, bool lengthTyped);

// The load dialog's fields after its rules, for a file of `fileSize` bytes (none: no
// file chosen). With AllFile the range is the whole file; a typed Length moves To, else
// Length follows From and To. Empty optionals are empty fields.
struct LoadBlockFields {
  bool AllFile = true;
  std::optional<int64_t> From, To, Length, Start;
  bool WrapAround = false;
};
std::string ValidateLoadBlock(LoadBlockFields& fields, std::optional<uint64_t> fileSize,
                              bool lengthTyped);

// What the load dialog learns about its file: the size, or the rule the file breaks.
// Missing: a name was typed but names no file (the location field says so as well).
struct BlockFileProbe {
  std::optional<uint64_t> Size;
  std::string Message;
  bool Missing = false;
};
BlockFileProbe ProbeBlockFile(const std::filesystem::path& file);

}  // namespace vantrel
