// The 12-byte packed decimal keys of numeric index tags.
#include "store/mdx_bcd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "store/store_error.h"

namespace {

std::string Hex(const std::string& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : b) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

TEST(MdxBcd, KnownEncodings) {
  struct Case { double value; const char* hex; };
  const Case cases[] = {
      {0, "340100000000000000000000"},
      {1, "350510000000000000000000"},
      {2, "350520000000000000000000"},
      {10, "360910000000000000000000"},   // whole numbers keep their zeros
      {20, "360920000000000000000000"},
      {123, "370D12300000000000000000"},
      {-2.5, "358925000000000000000000"},
      {0.05, "330550000000000000000000"},
      {1000000, "3B1D10000000000000000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(store::EncodeBcdKey(c.value)), c.hex) << c.value;
    EXPECT_EQ(store::DecodeBcdKey(store::EncodeBcdKey(c.value)), c.value) << c.value;
  }
  EXPECT_EQ(Hex(store::EncodeBcdKey(-0.0)), Hex(store::EncodeBcdKey(0)));
}

TEST(MdxBcd, RoundTripAndOrderOfRandomValues) {
  std::mt19937_64 rng(42);
  std::vector<double> values = {0, -0.5, 0.5, 1e-20, -1e-20, 1e20, -1e20, 123456789.125, 0.1, 0.3};
  for (int i = 0; i < 2000; ++i) {
    const double mant = static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000);
    const int exp = static_cast<int>(rng() % 21) - 10;
    values.push_back(mant * std::pow(10.0, exp));
  }
  for (double v : values) {
    const std::string k = store::EncodeBcdKey(v);
    ASSERT_EQ(k.size(), 12u);
    auto back = store::DecodeBcdKey(k);
    ASSERT_TRUE(back) << v;
    EXPECT_EQ(*back, v) << v;
  }
  for (size_t i = 0; i + 1 < values.size(); ++i) {
    const double a = values[i], b = values[i + 1];
    const int c = store::CompareBcdKeys(store::EncodeBcdKey(a), store::EncodeBcdKey(b));
    EXPECT_EQ(c, (a > b) - (a < b)) << a << " / " << b;
  }
}

TEST(MdxBcd, RefusesWhatCannotBeStored) {
  EXPECT_THROW(store::EncodeBcdKey(std::nan("")), store::StoreError);
  EXPECT_THROW(store::EncodeBcdKey(INFINITY), store::StoreError);
  EXPECT_THROW(store::EncodeBcdKey(1e300), store::StoreError);
  EXPECT_THROW(store::EncodeBcdKey(1e-300), store::StoreError);
  std::string bad = store::EncodeBcdKey(12);
  bad[2] = static_cast<char>(0xA1);  // not a decimal digit
  EXPECT_FALSE(store::DecodeBcdKey(bad));
  bad = store::EncodeBcdKey(12);
  bad[1] = static_cast<char>(0x7F);  // more digits than the key holds
  EXPECT_FALSE(store::DecodeBcdKey(bad));
  EXPECT_FALSE(store::DecodeBcdKey("short"));
}

}  // namespace
