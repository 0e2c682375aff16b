#include "TestData.h"

#include <cstdlib>

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

}  // namespace vantrel::test
