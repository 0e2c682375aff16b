#include "TestData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "machine/Machine.h"

namespace vantrel::test {

std::filesystem::path TestDataDir() {
  const char* env = std::getenv("VANTREL_TESTDATA");
  std::filesystem::path dir = (env && *env) ? env : VANTREL_DEFAULT_TESTDATA;
  std::error_code ec;
  return std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

std::filesystem::path TestDataFile(const std::string& relative) {
  const std::filesystem::path dir = TestDataDir();
  if (dir.empty()) return {};
  std::filesystem::path file = dir / relative;
  std::error_code ec;
  return std::filesystem::exists(file, ec) ? file : std::filesystem::path();
}

Bytes ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::filesystem::path> Listing(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool LoadRomPage(const std::filesystem::path& file, int page, uint8_t* rom) {
  const Bytes data = ReadBytes(file);
  if (data.size() < static_cast<size_t>(page + 1) * Memory::kRomSize) return false;
  std::memcpy(rom, data.data() + page * Memory::kRomSize, Memory::kRomSize);
  return true;
}

void RunFrames(Machine& m, uint32_t frames) {
  const uint32_t end = m.State.FrameCount + frames;
  while (m.State.FrameCount != end) m.ProcessorStep();
}

void Type(Machine& m, const std::string& script) {
  std::istringstream in(script);
  std::string token;
  while (in >> token) {
    std::vector<int> keys;
    std::istringstream parts(token);
    std::string part;
    while (std::getline(parts, part, '+')) {
      keys.push_back(part == "ENTER"   ? kKeyEnter
                     : part == "CS"    ? kKeyCapsShift
                     : part == "SS"    ? kKeySymbolShift
                     : part == "SPACE" ? kKeySpace
                                       : KeyIndexOfChar(part[0]));
    }
    for (int k : keys) m.Keys.PressKey(k);
    RunFrames(m, 4);
    for (int k : keys) m.Keys.ReleaseKey(k);
    RunFrames(m, token == "ENTER" ? 50 : 4);  // a command line takes a while
  }
}

std::string ScreenText(Machine& m) {
  const uint8_t* font = m.Mem.Rom48k() + 0x3D00;  // characters 0x20-0x7F
  const uint8_t* screen = m.Mem.Bank(m.Mem.ScreenBank);
  std::string text;
  for (int row = 0; row < 24; ++row) {
    for (int column = 0; column < 32; ++column) {
      char found = '?';
      for (int ch = 0; ch < 96 && found == '?'; ++ch) {
        bool normal = true, inverse = true;
        for (int line = 0; line < 8; ++line) {
          const uint8_t cell =
              screen[((row & 0x18) << 8) | (line << 8) | ((row & 7) << 5) | column];
          normal &= cell == font[ch * 8 + line];
          inverse &= cell == static_cast<uint8_t>(~font[ch * 8 + line]);
        }
        if (normal || inverse) found = ch == 0x5F ? '@' : static_cast<char>(0x20 + ch);
      }
      text += found;
    }
    text += '\n';
  }
  return text;
}

}  // namespace vantrel::test
