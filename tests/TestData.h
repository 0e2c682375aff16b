#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {
class Machine;
}

namespace vantrel::test {

using Bytes = std::vector<uint8_t>;

// The third-party test data folder: $VANTREL_TESTDATA, else ../shared/testdata beside
// the checkout. Empty when it does not exist.
std::filesystem::path TestDataDir();

// Path of a file inside the test data; empty when the folder or the file is missing.
std::filesystem::path TestDataFile(const std::string& relative);

// A whole file; empty when it cannot be read.
Bytes ReadBytes(const std::filesystem::path& file);
// Writes a whole file, creating its folder.
void WriteBytes(const std::filesystem::path& file, const Bytes& bytes);
// The names in a folder, sorted.
std::vector<std::filesystem::path> Listing(const std::filesystem::path& dir);

// The message of the `Error` that `action` throws; none when it throws none.
template <class Error, class Action>
std::optional<std::string> ErrorOf(Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return std::nullopt;
}

// Copies 16 KB page `page` of `file` into a ROM buffer; false when the file is shorter.
bool LoadRomPage(const std::filesystem::path& file, int page, uint8_t* rom);
// Steps the machine through `frames` frame ends.
void RunFrames(Machine& m, uint32_t frames);
// Types space-separated strokes ("R", "SS+P", "CS+5", "SPACE", "ENTER"), each held and
// released over a few frames as the ROM's keyboard scan needs.
void Type(Machine& m, const std::string& script);
// The displayed screen as 24 lines of text, each cell matched (plain or inverse) against
// the 48K ROM's character set; '?' where nothing matches, '@' for the copyright sign.
std::string ScreenText(Machine& m);

}  // namespace vantrel::test

// Skips the current test, saying why, when a test data file is absent.
#define VANTREL_REQUIRE_TESTDATA(var, relative)                              \
  const std::filesystem::path var = ::vantrel::test::TestDataFile(relative); \
  if (var.empty()) {                                                         \
    GTEST_SKIP() << "test data not found: " << (relative)                    \
                 << " (set VANTREL_TESTDATA to the shared testdata folder)"; \
  }
