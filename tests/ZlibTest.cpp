#include <gtest/gtest.h>

#include "core/Zlib.h"

TEST(Zlib, RoundTripsAndRefusesBadStreams) {
  std::vector<uint8_t> data(50000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 / 13);
  const std::vector<uint8_t> packed = ZlibDeflate(data);
  ASSERT_LT(packed.size(), data.size());
  auto back = ZlibInflate(packed, data.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, data);

  struct Case {
    const char* name;
    std::vector<uint8_t> input;
    size_t max_size;
    std::string error;
  };
  const Case cases[] = {
      {"limit one byte short", packed, data.size() - 1, "larger than expected"},
      {"truncated",
       {packed.begin(), packed.begin() + packed.size() / 2},
       data.size(),
       "stream ends early"},
      {"not zlib", {0x12, 0x34, 0x56, 0x78}, data.size(), "corrupt data"},
      {"empty", {}, data.size(), "stream ends early"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ZlibInflate(c.input, c.max_size, &error)) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}
