// What a clock time of the template and of the records may look like.
#include "dae_export/clock_time_check.h"

#include <gtest/gtest.h>

#include "dae_export/control_plantilla.h"

namespace {

TEST(ClockTimeCheck, HoursAndMinutesWithAColon) {
  struct Case {
    const char* text;
    bool accepted;
  };
  for (const Case& c : {Case{"08:30", true}, Case{"8:30", true}, Case{"00:00", true},
                        Case{"23:59", true}, Case{"24:00", true}, Case{" 9:05 ", true},
                        Case{"ab", false}, Case{"24:01", false}, Case{"25:00", false},
                        Case{"12:60", false}, Case{"1230", false}, Case{"12:5", false},
                        Case{":30", false}, Case{"123:0", false}, Case{"1a:30", false},
                        Case{"12:3x", false}, Case{"-1:30", false}}) {
    SCOPED_TRACE(c.text);
    const std::string problem = dae_export::ClockTimeProblem(c.text, false);
    EXPECT_EQ(problem.empty(), c.accepted) << problem;
    if (!c.accepted) {
      EXPECT_NE(problem.find("HH:MM"), std::string::npos) << problem;
    }
  }
}

TEST(ClockTimeCheck, BlankOnlyWhereAllowed) {
  EXPECT_TRUE(dae_export::ClockTimeProblem("", true).empty());
  EXPECT_TRUE(dae_export::ClockTimeProblem("     ", true).empty());
  EXPECT_FALSE(dae_export::ClockTimeProblem("", false).empty());
  // The template's times are never blank; its period number is not checked.
  EXPECT_FALSE(dae_export::ControlPlantilla::TypedValueProblem("HORAINI", "").empty());
  EXPECT_FALSE(dae_export::ControlPlantilla::TypedValueProblem("horafin", "ab").empty());
  EXPECT_TRUE(dae_export::ControlPlantilla::TypedValueProblem("HORAINI", "8:30").empty());
  EXPECT_TRUE(dae_export::ControlPlantilla::TypedValueProblem("HORA", "x").empty());
}

}  // namespace
