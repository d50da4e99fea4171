// The twenty periods of a new timetable template.
#include <gtest/gtest.h>

#include "dae_export/timetable_template.h"

namespace {

TEST(TemplateRows, TwentyPeriodsWithTheirClockTimes) {
  const char* expected[20][2] = {
      {"08:00", "09:00"}, {"09:00", "10:00"}, {"10:00", "11:00"},
      {"11:00", "12:00"}, {"12:00", "13:00"}, {"13:00", "14:00"},
      {"14:00", "15:00"}, {"15:00", "16:00"}, {"16:00", "17:00"},
      {"17:00", "18:00"}, {"18:00", "19:00"}, {"19:00", "20:00"},
      {"20:00", "21:00"}, {"21:00", "22:00"}, {"22:00", "23:00"},
      {"23:00", "24:00"}, {"00:00", "01:00"}, {"01:00", "02:00"},
      {"02:00", "03:00"}, {"03:00", "04:00"}};
  const auto rows = dae_export::DefaultTemplateRows();
  ASSERT_EQ(rows.size(), 20u);
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(rows[i].hora, i + 1);  // the period number, not the clock hour
    EXPECT_EQ(rows[i].horaIni, expected[i][0]);
    EXPECT_EQ(rows[i].horaFin, expected[i][1]);
  }
}

}  // namespace
