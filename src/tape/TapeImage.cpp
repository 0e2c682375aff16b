#include "tape/TapeImage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <new>
#include <system_error>

#include "tape/TapePulses.h"

namespace vantrel {

namespace {

constexpr std::string_view kBullet = " \u2022";
constexpr std::array<uint8_t, 8> kTzxSignature = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A};

[[noreturn]] void Refuse(std::string_view message) {
  throw TapeError(std::string(message));
}

// Reads within the image only: a block that claims more than the file holds is corrupt.
class Cursor {
 public:
  Cursor(std::span<const uint8_t> image, size_t& pos) : image_(image), pos_(pos) {}
  void Need(size_t n) const {
    if (pos_ > image_.size() || image_.size() - pos_ < n) Refuse(kTapeCorrupt);
  }
  void Skip(size_t n) {
    Need(n);
    pos_ += n;
  }
  uint8_t Byte() {
    Need(1);
    return image_[pos_++];
  }
  uint32_t Word() {
    Need(2);
    const uint32_t v = image_[pos_] | (image_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  uint32_t Triple() {
    const uint32_t low = Word();
    return low | (static_cast<uint32_t>(Byte()) << 16);
  }
  uint32_t Long() {
    const uint32_t low = Word();
    return low | (Word() << 16);
  }
  std::span<const uint8_t> Bytes(size_t n) {
    Need(n);
    const auto s = image_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  size_t Pos() const { return pos_; }

 private:
  std::span<const uint8_t> image_;
  size_t& pos_;
};

}  // namespace

// Windows-1252 to UTF-8. The five unassigned bytes keep their own code points, as the
// Windows conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string TapeText(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const uint8_t b : bytes) {
    const uint32_t c = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// " (" + number + suffix, or nothing when numbers are hidden.
std::string Optional(std::string_view before, uint32_t value, BlockInfoMode mode,
                     std::string_view after = {}) {
  if (mode == BlockInfoMode::None) return {};
  return std::string(before) + FormatInfoNumber(value, mode) + std::string(after);
}

std::string HeaderText(std::span<const uint8_t> body, BlockInfoMode mode) {
  // body: flag, type, name[10], data length, parameter 1, parameter 2, checksum
  const auto word = [&](size_t at) {
    return static_cast<uint32_t>(body[at] | (body[at + 1] << 8));
  };
  std::string name = TapeText(body.subspan(2, 10));
  name.erase(name.find_last_not_of(' ') + 1);
  const std::string quoted = '"' + name + '"';
  const uint32_t length = word(12), param1 = word(14), param2 = word(16);
  switch (body[1]) {
    case 0:
      return "Program " + quoted + Optional(", Line ", param1, mode) +
             Optional(", Length ", length, mode) + Optional(", Vars ", param2, mode);
    case 1: return "Number Array " + quoted;
    case 2: return "Character Array " + quoted;
    case 3:
      return "Code " + quoted + Optional(", Start ", param1, mode) +
             Optional(", Length ", length, mode);
    default: return "Nonstandard";
  }
}

std::string ArchiveLabel(uint8_t id) {
  static constexpr std::array<std::string_view, 9> kLabels = {
      "Full Title: ", "Software House / Publisher: ", "Author(s): ", "Year of Publication: ",
      "Language: ",   "Game/Utility Type: ",          "Price: ",     "Protection Scheme / Loader: ",
      "Origin: "};
  if (id < kLabels.size()) return std::string(kBullet) + std::string(kLabels[id]);
  if (id == 0xFF) return std::string(kBullet) + "Comment(s): ";
  return std::string(kBullet) + "Unknown (ID " + std::to_string(id) + "): ";
}

void DescribeArchiveInfo(Cursor& in, BlockInfoMode, std::vector<std::string>& rows) {
  rows.emplace_back("Archive Info:");
  in.Skip(2);
  const uint8_t count = in.Byte();
  for (uint8_t i = 0; i < count; ++i) {
    const uint8_t id = in.Byte();
    const std::string text = TapeText(in.Bytes(in.Byte()));
    // A carriage return ends a row; the rest continues below without a label.
    std::string row = ArchiveLabel(id);
    for (const char c : text) {
      if (c == '\r') {
        rows.push_back(std::move(row));
        row.clear();
      } else {
        row += c;
      }
    }
    rows.push_back(std::move(row));
  }
}

void DescribeHardware(Cursor& in, BlockInfoMode mode, std::vector<std::string>& rows) {
  rows.emplace_back("Hardware Type:");
  const uint8_t count = in.Byte();
  for (uint8_t i = 0; i < count; ++i) {
    const uint8_t type = in.Byte(), id = in.Byte(), info = in.Byte();
    std::string row(kBullet);
    if (type == 4 && id == 0) {
      row += "Kempston Joystick";
    } else if (type == 4 && id == 3) {
      row += "Right Sinclair Joystick";
    } else if (type == 4) {
      row += "Unknown Joystick" + Optional(", ID ", id, mode);
    } else {
      row += "Unknown Hardware Type" + Optional(", ID ", type, mode);
    }
    row += info == 1 ? std::string(" used") : ", Nonstandard Value " + Optional("", info, mode);
    rows.push_back(std::move(row));
  }
}

void DescribeSelect(Cursor& in, BlockInfoMode mode, std::vector<std::string>& rows) {
  rows.emplace_back("Select Block:");
  in.Skip(2);
  const uint8_t count = in.Byte();
  for (uint8_t i = 0; i < count; ++i) {
    const uint32_t offset = in.Word();
    const std::string text = TapeText(in.Bytes(in.Byte()));
    rows.push_back(std::string(kBullet) + text + Optional(" (Jump to Block ", offset, mode, ")"));
  }
}

std::string HexId(uint8_t id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string("#") + kHex[id >> 4] + kHex[id & 15];
}

// Reads one TZX block body (the ID already read) and adds its rows, and the pulses of a
// recorded block. `block` counts from 1 for refusals.
void DescribeTzxBlock(uint8_t id, std::span<const uint8_t> image, size_t& pos, BlockInfoMode mode,
                      uint32_t block, TapeCatalogue& tape) {
  std::vector<std::string>& rows = tape.Rows;
  Cursor in(image, pos);
  switch (id) {
    case 0x10:
      in.Skip(2);
      rows.push_back(DescribeDataBlock(image, pos, "", mode));
      return;
    case 0x11:
      in.Skip(15);
      rows.push_back(DescribeDataBlock(image, pos, "Turbo ", mode));
      return;
    case 0x12:
      in.Skip(4);
      rows.emplace_back("Pure Tone");
      return;
    case 0x13:
      in.Skip(2 * size_t{in.Byte()});
      rows.emplace_back("Sequence of pulses of different lengths");
      return;
    case 0x14: {
      in.Skip(7);
      in.Skip(in.Triple());
      rows.emplace_back("Pure data block");
      return;
    }
    case 0x15: ReadTzxDirectRecording(image, pos, block, mode, tape); return;
    case 0x18: ReadTzxCswRecording(image, pos, block, mode, tape); return;
    case 0x19: ReadTzxGeneralizedData(image, pos, block, mode, tape); return;
    case 0x20: {
      const uint32_t pause = in.Word();
      rows.push_back(pause == 0 ? std::string("Stop the Tape")
                                : "Pause: " + std::to_string(pause) + "ms");
      return;
    }
    case 0x21: rows.push_back("Group of Blocks: " + TapeText(in.Bytes(in.Byte()))); return;
    case 0x22: rows.emplace_back("Group End"); return;
    case 0x23: {
      const auto jump = static_cast<int16_t>(in.Word());
      std::string row = "Jump to Block ";
      if (mode != BlockInfoMode::None) {
        if (jump < 0) row += '-';
        row += FormatInfoNumber(static_cast<uint32_t>(jump < 0 ? -jump : jump), mode);
      }
      rows.push_back(std::move(row));
      return;
    }
    case 0x24:
      rows.push_back("Loop Start" + Optional(" (", in.Word(), mode, " repetitions)"));
      return;
    case 0x25: rows.emplace_back("Loop End"); return;
    case 0x26: {
      const uint32_t calls = in.Word();
      in.Skip(2 * size_t{calls});
      rows.push_back("Call Sequence" + Optional(" (", calls, mode, " calls)"));
      return;
    }
    case 0x27: rows.emplace_back("Return from Sequence"); return;
    case 0x28: DescribeSelect(in, mode, rows); return;
    case 0x2A:
      in.Skip(4);
      rows.emplace_back("Stop Tape if in 48K Mode");
      return;
    case 0x2B: {
      const uint32_t length = in.Long();
      if (length < 1) Refuse(kTapeCorrupt);
      const uint8_t level = in.Byte();
      in.Skip(length - 1);
      rows.push_back(std::string("Set Signal Level: ") + (level != 0 ? "High" : "Low"));
      return;
    }
    case 0x30: rows.push_back("Text Description: " + TapeText(in.Bytes(in.Byte()))); return;
    case 0x31:
      in.Skip(1);
      rows.push_back("Message: " + TapeText(in.Bytes(in.Byte())));
      return;
    case 0x32: DescribeArchiveInfo(in, mode, rows); return;
    case 0x33: DescribeHardware(in, mode, rows); return;
    case 0x35: {
      auto ident = in.Bytes(16);
      ident = ident.first(std::find(ident.begin(), ident.end(), 0) - ident.begin());
      in.Skip(in.Long());
      rows.push_back("Custom Info: " + TapeText(ident));
      return;
    }
    case 0x34:
      in.Skip(8);
      rows.emplace_back("Emulation Info");
      return;
    case 0x40:
      in.Skip(1);
      in.Skip(in.Triple());
      rows.emplace_back("Snapshot");
      return;
    case 0x5A:
      in.Skip(9);
      rows.emplace_back("Start of Another TZX file");
      return;
    default:
      // Every block the format may add starts with its length, so an unknown one is
      // listed and passed over.
      const uint32_t bodyLength = in.Long();
      in.Skip(bodyLength);
      rows.push_back("Unknown Block, ID " + HexId(id));
      return;
  }
}

}  // namespace

void StartBlock(TapeCatalogue& tape, size_t pos) {
  tape.BlockStart.push_back(static_cast<uint32_t>(pos));
  tape.BlockRow.push_back(static_cast<uint32_t>(tape.Rows.size()));
  tape.BlockPulse.push_back(static_cast<uint32_t>(tape.Pulses.size()));
}

void FinishTape(TapeCatalogue& tape, TapeKind kind) {
  tape.BlockStart.push_back(static_cast<uint32_t>(tape.TapeImage.size()));
  tape.BlockPulse.push_back(static_cast<uint32_t>(tape.Pulses.size()));
  tape.Kind = kind;
}

namespace {

std::string Extension(std::string_view location) {
  // The last dot of the file name, not of a folder above it.
  const size_t dot = location.rfind('.');
  const size_t slash = location.find_last_of("/\\");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) return {};
  std::string ext(location.substr(dot));
  const auto outside = [](unsigned char c) { return c < 33; };
  while (!ext.empty() && outside(ext.back())) ext.pop_back();
  ext.erase(ext.begin(), std::find_if_not(ext.begin(), ext.end(), outside));
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

uint32_t TapeCatalogue::BlockOfRow(uint32_t row) const {
  const auto after = std::upper_bound(BlockRow.begin(), BlockRow.end(), row);
  return after == BlockRow.begin() ? 0 : static_cast<uint32_t>(after - BlockRow.begin() - 1);
}

std::string FormatInfoNumber(uint32_t value, BlockInfoMode mode) {
  switch (mode) {
    case BlockInfoMode::Hexadecimal: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string digits;
      do {
        digits.insert(digits.begin(), kHex[value & 15]);
        value >>= 4;
      } while (value != 0);
      return '#' + digits;
    }
    case BlockInfoMode::Decimal: return std::to_string(value);
    case BlockInfoMode::None: break;
  }
  return {};
}

std::string DescribeDataBlock(std::span<const uint8_t> image, size_t& pos, std::string_view prefix,
                              BlockInfoMode mode) {
  Cursor in(image, pos);
  uint32_t length = in.Word();
  if (prefix.starts_with('T')) length |= static_cast<uint32_t>(in.Byte()) << 16;
  if (length == 0) return std::string(prefix) + "Nonstandard Zero";
  return DescribeBlockBody(in.Bytes(length), prefix, mode);
}

std::string DescribeBlockBody(std::span<const uint8_t> body, std::string_view prefix,
                              BlockInfoMode mode) {
  const auto length = static_cast<uint32_t>(body.size());
  const uint8_t flag = body[0];
  std::string text;
  if (flag == 0 && length == 19) {
    text = "Header, " + HeaderText(body, mode);
  } else if (flag == 0xFF) {
    text = "Data Block" + Optional(", Length ", length - 2, mode);
  } else {
    text = "Nonstandard" + Optional(", ID ", flag, mode) + Optional(", Length ", length - 2, mode);
  }
  return std::string(prefix) + text;
}

TapeCatalogue ReadTap(std::vector<uint8_t> file, BlockInfoMode mode) {
  if (file.size() < 3) Refuse(kTapTooSmall);
  TapeCatalogue tape;
  tape.TapeImage = std::move(file);
  const std::span<const uint8_t> image(tape.TapeImage);
  size_t pos = 0;
  while (pos < image.size()) {
    StartBlock(tape, pos);
    tape.Rows.push_back(DescribeDataBlock(image, pos, "", mode));
  }
  FinishTape(tape, TapeKind::Tap);
  return tape;
}

TapeCatalogue ReadTzx(std::vector<uint8_t> file, BlockInfoMode mode) {
  if (file.size() < 10) Refuse(kTzxTooSmall);
  if (!std::equal(kTzxSignature.begin(), kTzxSignature.end(), file.begin()))
    Refuse(kTzxBadSignature);
  if (file[8] != 1) Refuse(kTzxBadVersion);
  TapeCatalogue tape;
  tape.TapeImage = std::move(file);
  const std::span<const uint8_t> image(tape.TapeImage);
  size_t pos = 10;
  while (pos < image.size()) {
    StartBlock(tape, pos);
    const uint8_t id = image[pos++];
    DescribeTzxBlock(id, image, pos, mode, tape.BlockCount(), tape);
  }
  FinishTape(tape, TapeKind::Tzx);
  return tape;
}

TapeCatalogue ReadTape(TapeKind kind, std::vector<uint8_t> file, BlockInfoMode mode) {
  switch (kind) {
    case TapeKind::Tap: return ReadTap(std::move(file), mode);
    case TapeKind::Tzx: return ReadTzx(std::move(file), mode);
    case TapeKind::Csw: return ReadCsw(std::move(file), mode);
    case TapeKind::Pzx: return ReadPzx(std::move(file), mode);
    case TapeKind::Wav: return ReadWav(std::move(file), mode);
    case TapeKind::None: break;
  }
  Refuse(kTapeUnknownFormat);
}

TapeCatalogue LoadTapeImage(const std::string& location, BlockInfoMode mode) {
  if (location.empty()) throw TapeError("");
  const std::filesystem::path path(location);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) Refuse(kTapeNotFound);
  const std::string ext = Extension(location);
  static constexpr std::pair<std::string_view, TapeKind> kKinds[] = {{".TAP", TapeKind::Tap},
                                                                     {".TZX", TapeKind::Tzx},
                                                                     {".CSW", TapeKind::Csw},
                                                                     {".PZX", TapeKind::Pzx},
                                                                     {".WAV", TapeKind::Wav}};
  const auto known = std::find_if(std::begin(kKinds), std::end(kKinds),
                                  [&](const auto& k) { return k.first == ext; });
  if (known == std::end(kKinds)) Refuse(kTapeUnknownFormat);
  const TapeKind kind = known->second;

  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) Refuse(kTapeCantLoad);
  const std::streamoff size = in.tellg();
  // Offsets in the block table are 32-bit.
  if (size < 0 || size > 0x7FFFFFFF) Refuse(kTapeCantLoad);
  // A header and not one sample.
  if (kind == TapeKind::Wav && size < 45) Refuse(kWavTooSmall);
  // The block table grows with the tape; a file whose table does not fit in memory is
  // refused like one that does not fit itself.
  try {
    std::vector<uint8_t> file(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(file.data()), size)) Refuse(kTapeCantLoad);
    TapeCatalogue tape = ReadTape(kind, std::move(file), mode);
    tape.Location = location;
    return tape;
  } catch (const TapeFileError& refusal) {
    throw TapeError("Error! " + path.filename().string() + ": " + refusal.Detail);
  } catch (const std::bad_alloc&) {
    Refuse(kTapeCantLoad);
  }
}

}  // namespace vantrel
