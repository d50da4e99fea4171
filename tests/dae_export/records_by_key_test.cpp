// The record each key leads to in a table being filled afresh.
#include <gtest/gtest.h>

#include <string>

#include "dae_export/records_by_key.h"

namespace {

using dae_export::RecordsByKey;

// Many keys (the table grows many times over), keys that begin like one
// another, the empty key, and a key given again: each finds its first
// record, and a key never given finds none.
TEST(RecordsByKey, EachKeyFindsTheFirstRecordWrittenUnderIt) {
  RecordsByKey m;
  EXPECT_EQ(m.Find("AB  101"), 0u);
  const int n = 20000;
  for (int i = 0; i < n; ++i) m.Add("K" + std::to_string(i), static_cast<uint32_t>(i + 1));
  m.Add("AB", 50001);
  m.Add("AB ", 50002);
  m.Add("", 50003);
  m.Add("K7", 99999);  // already there: the first record stays
  EXPECT_EQ(m.Size(), static_cast<size_t>(n) + 3);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(m.Find("K" + std::to_string(i)), static_cast<uint32_t>(i + 1)) << i;
  }
  EXPECT_EQ(m.Find("AB"), 50001u);
  EXPECT_EQ(m.Find("AB "), 50002u);
  EXPECT_EQ(m.Find(""), 50003u);
  EXPECT_EQ(m.Find("K" + std::to_string(n)), 0u);
  EXPECT_EQ(m.Find("A"), 0u);

  // Room made beforehand changes nothing that is found.
  RecordsByKey r;
  r.Add("X", 1);
  r.Reserve(1000);
  r.Add("Y", 2);
  EXPECT_EQ(r.Find("X"), 1u);
  EXPECT_EQ(r.Find("Y"), 2u);
}

}  // namespace
