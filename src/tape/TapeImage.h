#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A refusal by a tape reader. The text is shown as the block list's only (red) row; an
// empty location is refused with an empty text.
struct TapeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A refusal that says what is wrong inside the file: "Error! " + Detail, and
// LoadTapeImage names the file in it ("Error! game.csw: " + Detail).
struct TapeFileError : TapeError {
  explicit TapeFileError(const std::string& detail)
      : TapeError("Error! " + detail), Detail(detail) {}
  std::string Detail;
};

inline constexpr std::string_view kTapeNotFound = "Error! Tape image file not found!";
inline constexpr std::string_view kTapeUnknownFormat =
    "Error! Unknown file format, select another file.";
inline constexpr std::string_view kTapeCantLoad = "Error! Can't load tape image file into memory!";
inline constexpr std::string_view kTapTooSmall = "Error! TAP file size too small!";
inline constexpr std::string_view kTzxTooSmall = "Error! TZX tape image file size too small!";
inline constexpr std::string_view kTzxBadSignature =
    "Error! TZX tape image file has unsupported format!";
inline constexpr std::string_view kTzxBadVersion =
    "Error! TZX tape image file has unsupported version (not like 1.xx)!";
inline constexpr std::string_view kTapeCorrupt =
    "Error! Unsupported tape image file format or file corrupt!";
inline constexpr std::string_view kWavTooSmall = "Error! WAV file size too small!";

enum class TapeKind : uint8_t { None = 0, Tap = 1, Tzx = 2, Csw = 3, Pzx = 4, Wav = 5 };

// How numbers appear in the block descriptions: the list's "Block Info" choice.
enum class BlockInfoMode : uint8_t { Hexadecimal = 0, Decimal = 1, None = 2 };

// A tape read into memory and cut into blocks. Rows are UTF-8: the bullet that starts
// the rows of select, archive and hardware entries, character 0x95 of the Windows ANSI
// code page, is stored as U+2022, and text bytes of the file are read as that code page.
struct TapeCatalogue {
  std::vector<uint8_t> TapeImage;
  TapeKind Kind = TapeKind::None;
  // Offset of each block (TAP: its length word, TZX: its ID byte), then the file size.
  std::vector<uint32_t> BlockStart;
  // Index of each block's first row in Rows (a TZX block may own several rows).
  std::vector<uint32_t> BlockRow;
  std::vector<std::string> Rows;
  // The file it was read from, as named to LoadTapeImage (empty for an image read directly).
  std::string Location;
  // The signal of blocks given as recorded pulses (TZX 0x15, 0x18 and 0x19 blocks, every
  // CSW, PZX and WAV block), decoded when the file is read so playing never inflates or
  // parses: entries as built by tape/TapePulses.h.
  std::vector<uint32_t> Pulses;
  // Index in Pulses of each block's first entry, then Pulses.size().
  std::vector<uint32_t> BlockPulse;

  uint32_t BlockCount() const { return static_cast<uint32_t>(BlockRow.size()); }
  // The block a click on list row `row` selects: for TZX the last block starting at or
  // before it.
  uint32_t BlockOfRow(uint32_t row) const;
};

// Text bytes of a tape file (Windows ANSI code page) as UTF-8.
std::string TapeText(std::span<const uint8_t> bytes);

// "#" and upper-case hexadecimal digits, decimal digits, or nothing (mode None).
std::string FormatInfoNumber(uint32_t value, BlockInfoMode mode);

// Describes the TAP block, or the TZX 0x10/0x11 block body, whose length starts at `pos`,
// and moves `pos` past the block. A prefix starting with "T" reads a 3-byte length.
std::string DescribeDataBlock(std::span<const uint8_t> image, size_t& pos, std::string_view prefix,
                              BlockInfoMode mode);

// The row of a TAP block's (or TZX 0x10/0x11 block's) bytes, flag first; `body` is not empty.
std::string DescribeBlockBody(std::span<const uint8_t> body, std::string_view prefix,
                              BlockInfoMode mode);

TapeCatalogue ReadTap(std::vector<uint8_t> file, BlockInfoMode mode);
TapeCatalogue ReadTzx(std::vector<uint8_t> file, BlockInfoMode mode);
// CSW v1 (RLE) and v2 (RLE or Z-RLE): one block.
TapeCatalogue ReadCsw(std::vector<uint8_t> file, BlockInfoMode mode);
// PZX 1.x: one block per PZX block.
TapeCatalogue ReadPzx(std::vector<uint8_t> file, BlockInfoMode mode);
// WAV, PCM 8- or 16-bit, any channel count and rate: one block.
TapeCatalogue ReadWav(std::vector<uint8_t> file, BlockInfoMode mode);
// The readers' shared steps: a block's first entries, and the table's closing ones.
void StartBlock(TapeCatalogue& tape, size_t pos);
void FinishTape(TapeCatalogue& tape, TapeKind kind);
// The reader of a kind (not None).
TapeCatalogue ReadTape(TapeKind kind, std::vector<uint8_t> file, BlockInfoMode mode);

// The location field's text: checks that the file exists, picks the reader by the
// extension (.TAP, .TZX, .CSW, .PZX, .WAV) and reads the file. Every failure raises
// TapeError.
TapeCatalogue LoadTapeImage(const std::string& location, BlockInfoMode mode);

}  // namespace vantrel
