#pragma once

#include <filesystem>
#include <string>

namespace vantrel::test {

// The third-party test data folder: $VANTREL_TESTDATA, else ../shared/testdata beside
// the checkout. Empty when it does not exist.
std::filesystem::path TestDataDir();

// Path of a file inside the test data; empty when the folder or the file is missing.
std::filesystem::path TestDataFile(const std::string& relative);

}  // namespace vantrel::test

// Skips the current test, saying why, when a test data file is absent.
#define VANTREL_REQUIRE_TESTDATA(var, relative)                              \
  const std::filesystem::path var = ::vantrel::test::TestDataFile(relative); \
  if (var.empty()) {                                                         \
    GTEST_SKIP() << "test data not found: " << (relative)                    \
                 << " (set VANTREL_TESTDATA to the shared testdata folder)"; \
  }
