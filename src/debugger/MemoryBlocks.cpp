#include "debugger/MemoryBlocks.h"

#include <fstream>
#include <iterator>

#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"
#include "disk/ReplaceFile.h"

namespace vantrel {

std::optional<std::vector<uint8_t>> ParseSearchPattern(std::string_view text,
                                                       const Z80Registers& regs,
                                                       std::string* error) {
  std::vector<uint8_t> bytes;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    if (text[i] == '"') {
      bool closed = false;
      for (++i; i < text.size(); ++i) {
        if (text[i] != '"') {
          bytes.push_back(static_cast<uint8_t>(text[i]));
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
          bytes.push_back('"');
          ++i;
        } else {
          closed = true;
          ++i;
          break;
        }
      }
      if (!closed) {
        *error = "Unterminated string";
        return std::nullopt;
      }
    } else {
      const size_t end = std::min(text.find(' ', i), text.size());
      try {
        const auto value = static_cast<uint32_t>(EvaluateExpression(text.substr(i, end - i), regs));
        const int size = value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : 4;
        for (int b = 0; b < size; ++b) bytes.push_back(static_cast<uint8_t>(value >> (8 * b)));
      } catch (const ExpressionError& failure) {
        *error = failure.what();
        return std::nullopt;
      }
      i = end;
    }
    if (bytes.size() > kMaxPatternBytes) {
      *error = "Search pattern too long (at most 100 bytes)";
      return std::nullopt;
    }
  }
  if (bytes.empty()) {
    *error = "Empty search pattern";
    return std::nullopt;
  }
  return bytes;
}

void MemorySearch::Start(std::optional<uint16_t> from, bool forward, uint16_t lowerBound) {
  Step = forward ? 1 : -1;
  LowerBound = lowerBound;
  Stop = forward ? 0xFFFF : lowerBound;
  Next = from ? DumpMemory::WrapAbove(*from - Step, lowerBound) : Stop;
}

std::optional<uint16_t> MemorySearch::FindNext(const DumpMemory& memory,
                                               const std::vector<uint8_t>& pattern) {
  const auto step = [this](int address) { return DumpMemory::WrapAbove(address, LowerBound); };
  for (Next = step(Next + Step); Next != Stop; Next = step(Next + Step)) {
    size_t i = 0;
    while (i < pattern.size() && memory.Read(step(Next + static_cast<int>(i))) == pattern[i]) ++i;
    if (i == pattern.size()) return Next;
  }
  return std::nullopt;
}

std::string BlockText(const DumpMemory& memory, uint16_t start, uint16_t end) {
  std::string text;
  for (uint16_t a = start;; a = memory.Wrap(a + 1)) {
    if (!text.empty()) text += ' ';
    text += HexByte(memory.Read(a));
    if (a == end) break;
  }
  return text;
}

namespace {

bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>* bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

}  // namespace

bool SaveMemoryBlock(const Memory& memory, const std::filesystem::path& file,
                     const BlockSave& save) {
  if (save.Length == 0 || save.Length > 0x10000) return false;
  std::vector<uint8_t> bytes;
  size_t at = 0;
  if (save.Where != BlockSave::NewFile) {
    // The old file is rewritten whole with the block in place, never in place.
    if (!ReadWholeFile(file, &bytes)) return false;
    at = save.Where == BlockSave::Append ? bytes.size() : save.Offset;
    if (at > bytes.size()) bytes.resize(at, 0);
  }
  if (bytes.size() < at + save.Length) bytes.resize(at + save.Length);
  for (uint32_t i = 0; i < save.Length; ++i) {
    bytes[at + i] = memory.PeekByte(static_cast<uint16_t>(save.Start + i));
  }
  return WriteFileReplacing(file, bytes) == ReplaceResult::Written;
}

std::optional<std::vector<uint8_t>> ReadMemoryBlock(const std::filesystem::path& file,
                                                    const BlockLoad& load) {
  if (load.Length == 0 || load.Length > 0x10000) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(static_cast<std::streamoff>(load.From));
  std::vector<uint8_t> bytes(load.Length);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in || static_cast<uint32_t>(in.gcount()) != load.Length) return std::nullopt;
  return bytes;
}

void StoreMemoryBlock(Memory& memory, const BlockLoad& load, const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto address = static_cast<uint16_t>(load.Start + i);
    if (load.PreserveRom) {
      memory.PokeByte(address, bytes[i]);
    } else {
      *memory.HostPointer(address) = bytes[i];
    }
  }
}

bool LoadMemoryBlock(Memory& memory, const std::filesystem::path& file, const BlockLoad& load) {
  const auto bytes = ReadMemoryBlock(file, load);
  if (!bytes) return false;
  StoreMemoryBlock(memory, load, *bytes);
  return true;
}

BlockFileProbe ProbeBlockFile(const std::filesystem::path& file) {
  BlockFileProbe probe;
  std::error_code error;
  if (file.empty() || !std::filesystem::is_regular_file(file, error)) {
    probe.Missing = !file.empty();
    probe.Message = "You must select binary file for loading!";
    return probe;
  }
  // The size is taken from the opened file, as the load itself will see it.
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) {
    probe.Message = "Can not open selected file!";
    return probe;
  }
  const std::streamoff end = in.tellg();
  if (end < 0) {
    probe.Message = "Can not determine lenght of selected file!";
    return probe;
  }
  probe.Size = static_cast<uint64_t>(end);
  return probe;
}

std::string ValidateSaveBlock(SaveBlockFields& f, bool lengthTyped) {
  if (f.Start < 0 || f.Start >= 0x10000) return "Start position must be in range 0-65535!";
  if (f.Length <= 0 || f.Length > 0x10000) return "Length of block must be in range 1-65536!";
  if (f.End < 0 || f.End > 0xFFFF) return "End position must be in range 0-65535!";
  if (lengthTyped) {
    f.End = (f.Start + f.Length - 1) % 0x10000;
  } else {
    if (!f.WrapAround && f.Start > f.End) return "End mark of block must be placed after start!";
    f.Length = f.End - f.Start + 1;
    if (f.Length <= 0) f.Length += 0x10000;
  }
  if (!f.WrapAround && f.Start + f.Length > 0x10000)
    return "Block size is too big to fit in memory!";
  if (!f.NewOverwrite && !f.AppendToEnd && f.Offset < 0) return "Offset must be positive value!";
  return "";
}

std::string ValidateLoadBlock(LoadBlockFields& f, std::optional<uint64_t> fileSize,
                              bool lengthTyped) {
  if (!fileSize) return "You must select binary file for loading!";
  const auto size = static_cast<int64_t>(*fileSize);
  if (f.AllFile) {
    f.From = 0;
    f.To = size - 1;
    f.Length = size;
  }
  if (!f.From) return "You must input From file position!";
  if (*f.From < 0 || *f.From >= size) return "From position must be in file size range!";
  if (lengthTyped && f.Length && !f.AllFile) f.To = *f.From + *f.Length - 1;
  if (!f.To) return "You must input To file position!";
  if (*f.To < 0 || *f.To >= size) return "To position must be in file size range!";
  if (*f.From > *f.To) return "From position must be not above To position!";
  if (!f.Length) return "You must input length of loading block!";
  if (*f.Length < 1 || *f.Length > 0x10000) return "Block length must be in range 1-65536!";
  f.Length = *f.To - *f.From + 1;
  if (*f.Length > 0x10000) return "Block length must be in range 1-65536!";
  if (!f.Start) return "You must input Memory Block Start!";
  if (*f.Start < 0 || *f.Start > 0xFFFF) return "Start position must be in range 0-65535!";
  if (!f.WrapAround && *f.Start + *f.Length > 0x10000)
    return "Block size is too big to fit in memory!";
  return "";
}

}  // namespace vantrel
